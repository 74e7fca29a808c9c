// The Telnet stream of RFC 2217: 0xFF doubled in data and in command values,
// and a received stream split into data and commands however the reads cut
// it, with the server side of mirelle-sim reading a client's requests in order.
#include <gtest/gtest.h>

#include "chipsim/rfc2217_server.h"
#include "serial/rfc2217_codec.h"

namespace mirelle::serial::rfc2217 {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(Rfc2217Codec, IacIsDoubledInDataAndInCommandValues) {
    Bytes out;
    const Bytes data = {0x01, 0xFF, 0xFF, 0x00};
    AppendData(data.data(), data.size(), out);
    EXPECT_EQ(out, (Bytes{0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}));
    out.clear();
    AppendSetBaud(0x0001C2FF, out);  // a rate whose low byte is 0xFF
    EXPECT_EQ(out, (Bytes{kIac, kSb, kOptComPort, kSetBaudRate, 0x00, 0x01, 0xC2, 0xFF, 0xFF, kIac, kSe}));
}

TEST(Rfc2217Codec, ReceivedStreamSplitsIntoDataAndCommandsAcrossAnyCut) {
    // Data with a doubled IAC, a negotiation, a subnegotiation with a doubled
    // IAC in its value, a NOP, and more data.
    const Bytes stream = {0x41, kIac, kIac, 0x42, kIac, kDo, kOptComPort, kIac, kSb, kOptComPort,
                          101, 0x00, 0x00, kIac, kIac, 0x10, kIac, kSe, kIac, 241, 0x43};
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        Decoder d;
        Bytes data;
        std::vector<Command> commands;
        d.Feed(stream.data(), cut, data, commands);
        d.Feed(stream.data() + cut, stream.size() - cut, data, commands);
        EXPECT_EQ(data, (Bytes{0x41, 0xFF, 0x42, 0x43})) << "cut " << cut;
        ASSERT_EQ(commands.size(), 2u) << "cut " << cut;
        EXPECT_EQ(commands[0].kind, Command::Kind::Negotiation);
        EXPECT_EQ(commands[0].verb, kDo);
        EXPECT_EQ(commands[0].option, kOptComPort);
        EXPECT_EQ(commands[1].kind, Command::Kind::Subnegotiation);
        EXPECT_EQ(commands[1].payload, (Bytes{101, 0x00, 0x00, 0xFF, 0x10}));
    }
}

TEST(Rfc2217Codec, OverlongOrBrokenSubnegotiationsStayBounded) {
    Decoder d;
    Bytes stream = {kIac, kSb, kOptComPort};
    stream.insert(stream.end(), 1000, 0x55);
    stream.insert(stream.end(), {kIac, kSe, kIac, kSb, kOptComPort, 1, kIac, kWill, kOptBinary, 0x61});
    Bytes data;
    std::vector<Command> commands;
    d.Feed(stream.data(), stream.size(), data, commands);
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].payload.size(), Decoder::kMaxPayload);
    // IAC WILL inside a subnegotiation breaks it off and counts itself.
    EXPECT_EQ(commands[1].kind, Command::Kind::Negotiation);
    EXPECT_EQ(commands[1].verb, kWill);
    EXPECT_EQ(data, Bytes{0x61});
}

TEST(Rfc2217Server, RequestsComeInOrderAndEachCommandIsAcknowledged) {
    Bytes client;
    AppendNegotiation(kWill, kOptComPort, client);
    AppendNegotiation(kDo, 1, client);  // echo: refused
    AppendSetBaud(9600, client);
    AppendComPortCommand(kSetControl, {kControlDtrOn}, client);
    const Bytes data = {0x18, 0xFF};
    AppendData(data.data(), data.size(), client);
    AppendComPortCommand(kSetControl, {kControlBreakOff}, client);
    AppendComPortCommand(kPurgeData, {kPurgeBoth}, client);

    chipsim::Rfc2217Server server;
    std::vector<chipsim::PortRequest> requests;
    Bytes reply;
    server.Feed(client.data(), client.size(), requests, reply);
    using K = chipsim::PortRequest::Kind;
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(requests[0].kind, K::Baud);
    EXPECT_EQ(requests[0].baud, 9600u);
    EXPECT_EQ(requests[1].kind, K::Line);
    EXPECT_EQ(requests[1].line, LineStep::Kind::Dtr);
    EXPECT_TRUE(requests[1].on);
    EXPECT_EQ(requests[2].data, data);
    EXPECT_EQ(requests[3].line, LineStep::Kind::Break);
    EXPECT_FALSE(requests[3].on);
    EXPECT_EQ(requests[4].purge, kPurgeBoth);

    Bytes expected;
    AppendNegotiation(kDo, kOptComPort, expected);
    AppendNegotiation(kWont, 1, expected);
    AppendComPortCommand(kSetBaudRate + kServerOffset, {0x00, 0x00, 0x25, 0x80}, expected);
    for (const Bytes& ack : {Bytes{kSetControl, kControlDtrOn}, Bytes{kSetControl, kControlBreakOff}, Bytes{kPurgeData, kPurgeBoth}})
        AppendComPortCommand(static_cast<std::uint8_t>(ack[0] + kServerOffset), {ack[1]}, expected);
    EXPECT_EQ(reply, expected);
}

}  // namespace
}  // namespace mirelle::serial::rfc2217

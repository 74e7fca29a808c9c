// Ports across the network: mirelle-cli against mirelle-sim's RFC 2217
// server with the board's reset wired to DTR/RTS, against Debian's ser2net
// serving the simulator's pseudo-terminal (a Full Operation, and the server
// killed mid-program), and the port itself against a server that never
// answers and then goes away.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "serial/network_port.h"
#include "support/unattended_run.h"

namespace mirelle::testing {
namespace {

using Seconds = std::chrono::duration<double>;
constexpr const char* kWiring = "D1 R1 W100 D0 W50 R0";

// A socket listening on 127.0.0.1 at a port the system chose.
int Listen(std::uint16_t& port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    struct sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 1) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        close(fd);
        return -1;
    }
    port = ntohs(a.sin_port);
    return fd;
}

// A port no one listens on right now (for a server started next).
std::uint16_t FreePort() {
    std::uint16_t port = 0;
    const int fd = Listen(port);
    close(fd);
    return port;
}

bool Accepts(std::uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    struct sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

class NetworkPort : public FullOperationPty {
protected:
    void TearDown() override {
        for (pid_t pid : {server_, net_sim_})
            if (pid > 0) kill(pid, SIGTERM), Wait(pid, 5);
        FullOperationPty::TearDown();
    }
    int Cli(std::vector<std::string> args, int limit = 120) {
        args.insert(args.begin(), {std::string(MIRELLE_BIN_DIR) + "/mirelle-cli", "--home", home_.string(), "-q"});
        const int status = Wait(Spawn(args, {}, home_ / "cli.out", home_ / "cli.err"), limit);
        out_ = Slurp(home_ / "cli.out") + Slurp(home_ / "cli.err");
        return status;
    }
    // Puts the program folder on TQ4A01 at its first clock.
    void ChooseTarget() { std::ofstream(home_ / "DATAFILE.TXT", std::ios::binary) << "[Recent]\r\nCPU=0\r\nRATE=0\r\n"; }
    Bytes AreaWith(const std::map<std::uint32_t, std::uint8_t>& data) const {
        Bytes area(0x80000, 0xFF);
        for (const auto& [a, b] : data) area[a - 0x80000] = b;
        return area;
    }
    pid_t server_ = -1, net_sim_ = -1;
    std::string out_;
};

TEST_F(NetworkPort, BoardWiredToTheLinesIsProgrammedOnlyThroughItsSequence) {
    ChooseTarget();
    const std::uint16_t port = FreePort();
    net_sim_ = Spawn({std::string(MIRELLE_BIN_DIR) + "/mirelle-sim", "--chipdef", (home_ / "CHIPDEF.INI").string(),
                      "--target", "TQ4A01", "--no-line-time", "--flash", (home_ / "flash.bin").string(),
                      "--rfc2217", std::to_string(port), "--boot-entry", kWiring},
                     {}, home_ / "sim.log");
    for (int i = 0; i < 200 && !Accepts(port); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const auto data = Pattern(0x80000, 0x1000);
    const std::string file = WriteProgram(data).string(), url = "rfc2217://127.0.0.1:" + std::to_string(port);
    const struct {
        const char* before;
        int status;
        bool programmed;
    } rows[] = {
        {"D1 W100 D0", 5, false},  // not this board's sequence: its boot ROM never answers
        {kWiring, 0, true},
    };
    for (const auto& row : rows) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Cli({"program", file, "-p", url, "--before", row.before}), row.status) << row.before << ": " << out_;
        // No reset prompt's 2.5 s wait before the download.
        if (row.programmed) {
            EXPECT_LT(Seconds(std::chrono::steady_clock::now() - start).count(), 2.5);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the simulator saves its flash
        EXPECT_EQ(Flash() == AreaWith(data), row.programmed) << row.before;
    }
}

class Ser2net : public NetworkPort {
protected:
    // ser2net serving the simulator's pseudo-terminal as RFC 2217 on 127.0.0.1.
    void StartServer() {
        if (access("/usr/sbin/ser2net", X_OK) != 0) GTEST_SKIP() << "ser2net is not installed (scripts/packages.txt)";
        port_ = FreePort();
        std::ofstream(home_ / "ser2net.yaml") << "connection: &sim\n  accepter: telnet(rfc2217),tcp,127.0.0.1,"
                                              << port_ << "\n  connector: serialdev," << link_.string()
                                              << ",9600n81,local\n";
        server_ = Spawn({"/usr/sbin/ser2net", "-n", "-c", (home_ / "ser2net.yaml").string(), "-P",
                         (home_ / "ser2net.pid").string()},
                        {}, home_ / "ser2net.log");
        for (int i = 0; i < 300 && !Accepts(port_); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(Accepts(port_)) << Slurp(home_ / "ser2net.log");
    }
    std::string Url() const { return "rfc2217://127.0.0.1:" + std::to_string(port_); }
    std::uint16_t port_ = 0;
};

TEST_F(Ser2net, FullOperationThroughTheServer) {
    StartSim("TQ4A01", 0);
    StartServer();
    const auto data = Pattern(0x80000, 0x1000);
    EXPECT_EQ(Cli({"program", WriteProgram(data).string(), "-p", Url()}), 0) << out_;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(Flash(), AreaWith(data));
}

TEST_F(Ser2net, ServerKilledMidProgramIsALostLinkInBoundedTime) {
    StartSim("TQ4A01", 0);
    StartServer();
    const std::string file = WriteProgram(Pattern(0x80000, 0x10000)).string();
    const pid_t cli = Spawn({std::string(MIRELLE_BIN_DIR) + "/mirelle-cli", "--home", home_.string(), "-q", "program",
                             file, "-p", Url()},
                            {}, home_ / "cli.out", home_ / "cli.err");
    // The download takes about 3 s; then the blocks go.
    std::this_thread::sleep_for(std::chrono::seconds(5));
    kill(server_, SIGKILL);
    Wait(server_, 5);
    server_ = -1;
    const auto killed = std::chrono::steady_clock::now();
    const int status = Wait(cli, 30);
    const double took = Seconds(std::chrono::steady_clock::now() - killed).count();
    const std::string text = Slurp(home_ / "cli.out") + Slurp(home_ / "cli.err");
    EXPECT_EQ(status, 4) << text;  // the port: as a device unplugged mid-operation
    EXPECT_LT(took, 10.0);
    EXPECT_NE(Slurp(home_ / "MESSFILE.TXT").find("NG"), std::string::npos);
}

// A server that takes everything and answers nothing (not even the COM port
// option), then goes away.
TEST(NetworkPortDirect, SilentServerKeepsTheReadRulesAndItsEndFailsEveryCall) {
    std::uint16_t port = 0;
    const int listener = Listen(port);
    ASSERT_GE(listener, 0);
    std::atomic<bool> close_now{false};
    std::thread server([&] {
        const int c = accept(listener, nullptr, nullptr);
        std::uint8_t buf[256];
        while (!close_now) {
            if (recv(c, buf, sizeof buf, MSG_DONTWAIT) == 0) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        close(c);
    });
    std::unique_ptr<serial::Port> p;
    ASSERT_EQ(serial::OpenNetworkPort("rfc2217://127.0.0.1:" + std::to_string(port), 9600, p), serial::PortResult::Ok);

    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(p->SetDtr(false) && p->SetRts(true) && p->SetBreak(false));  // no answer is waited for
    EXPECT_EQ(p->SetBaud(19200), serial::PortResult::Ok);
    EXPECT_LT(Seconds(std::chrono::steady_clock::now() - start).count(), 0.05);

    std::uint8_t bytes[4] = {0xFF, 1, 2, 3};
    std::size_t done = 0;
    EXPECT_TRUE(p->Write(bytes, 4, done));
    EXPECT_EQ(done, 4u);
    start = std::chrono::steady_clock::now();
    EXPECT_TRUE(p->Read(bytes, 4, done));
    const double waited = Seconds(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(done, 0u);
    EXPECT_GE(waited, 0.39);  // 80 * 4 + 80 ms
    EXPECT_LT(waited, 0.6);

    close_now = true;
    server.join();
    close(listener);
    start = std::chrono::steady_clock::now();
    EXPECT_FALSE(p->Read(bytes, 1, done));
    EXPECT_LT(Seconds(std::chrono::steady_clock::now() - start).count(), 0.2);
    EXPECT_FALSE(p->Write(bytes, 1, done));
    EXPECT_FALSE(p->SetDtr(true));
}

TEST(NetworkPortDirect, AddressesAreReadOrRefused) {
    const struct {
        const char* text;
        bool ok;
        serial::NetworkAddress::Kind kind;
        const char* host;
        std::uint16_t port;
    } rows[] = {
        {"rfc2217://127.0.0.1:2217", true, serial::NetworkAddress::Kind::Rfc2217, "127.0.0.1", 2217},
        {"SOCKET://bench-box:4001", true, serial::NetworkAddress::Kind::Raw, "bench-box", 4001},
        {"rfc2217://[::1]:65535", true, serial::NetworkAddress::Kind::Rfc2217, "::1", 65535},
        {"rfc2217://::1:2217", false, {}, "", 0},
        {"rfc2217://host:0", false, {}, "", 0},
        {"rfc2217://host:65536", false, {}, "", 0},
        {"rfc2217://host", false, {}, "", 0},
        {"rfc2217://:2217", false, {}, "", 0},
        {"telnet://host:23", false, {}, "", 0},
        {"rfc2217://host:22x", false, {}, "", 0},
    };
    for (const auto& row : rows) {
        serial::NetworkAddress a;
        EXPECT_EQ(serial::ParseNetworkAddress(row.text, a), row.ok) << row.text;
        if (!row.ok) continue;
        EXPECT_EQ(a.kind, row.kind) << row.text;
        EXPECT_EQ(a.host, row.host);
        EXPECT_EQ(a.port, row.port);
    }
}

}  // namespace
}  // namespace mirelle::testing

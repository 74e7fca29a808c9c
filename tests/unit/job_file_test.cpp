// The job file: what a written job reads back as, what a station refuses
// before it sends anything, and the lines a hand-edited job is refused for.
#include <gtest/gtest.h>

#include "station/job_file.h"
#include "support/program_folder.h"

namespace mirelle::station {
namespace {

constexpr const char* kChipdef =
    "[TQ9B10]\r\nDownloadFile=tq9b10.bin\r\nLoadAddress=0x1000\r\nStartAddress=0x0\r\nEndAddress=0x7FFF\r\n"
    "FlashSize=32\r\nClock=10MHz,20MHz\r\nBaud=9600,19200\r\n"
    "[TQ9B20]\r\nDownloadFile=b.bin\r\nLoadAddress=0\r\nStartAddress=0\r\nEndAddress=0xFF\r\nFlashSize=1\r\n"
    "Clock=10MHz\r\nBaud=9600\r\n";

class JobFileTest : public test::ProgramFolderTest {
public:
    // For the cases' changes.
    void Put(const std::string& name, const std::string& text) { WriteFile(name, text); }
    void Drop(const std::string& name) { std::filesystem::remove(PathOf(name)); }

protected:
    JobFileTest() : ProgramFolderTest("mirelle-job-") {}

    // A sealed job of two slots for the folder's blinky.mot.
    Job Sealed() {
        WriteFile("CHIPDEF.INI", kChipdef);
        WriteFile("blinky.mot", "S00600004844521B\r\nS9030000FC\r\n");
        Job job;
        job.path = Dir() + "line.job";
        job.target = "TQ9B10";
        job.clock = "20MHz";
        job.program_file = "blinky.mot";
        job.detection = Detection::kKey;
        job.offset = 0x8000;
        job.slots = {{"1", "/dev/serial/by-path/a"}, {"left", "rfc2217://127.0.0.1:4000"}};
        job.patches = {"0x7F00:4:counter=1"};
        std::string error;
        EXPECT_TRUE(SealJob(job, Dir(), error)) << error;
        return job;
    }
};

TEST_F(JobFileTest, AWrittenJobReadsBackAsItWasAndMayRun) {
    const Job job = Sealed();
    std::string error;
    ASSERT_TRUE(WriteJob(job, job.path, error)) << error;
    Job read;
    ASSERT_TRUE(ReadJob(job.path, read, error)) << error;
    EXPECT_EQ(read.name, "line");
    EXPECT_EQ(read.target, job.target);
    EXPECT_EQ(read.clock, job.clock);
    EXPECT_EQ(read.program_sha256, job.program_sha256);
    EXPECT_EQ(read.chipdef_sha256, job.chipdef_sha256);
    EXPECT_EQ(read.detection, Detection::kKey);
    EXPECT_EQ(read.offset, job.offset);
    ASSERT_EQ(read.slots.size(), 2u);
    EXPECT_EQ(read.slots[1].name, "left");
    EXPECT_EQ(read.slots[1].port, "rfc2217://127.0.0.1:4000");
    EXPECT_EQ(read.patches, job.patches);
    EXPECT_EQ(read.sha256.size(), 64u);
    EXPECT_TRUE(CheckJob(read, Dir()).empty());
}

// Each change after `job new` is named, and only what changed.
TEST_F(JobFileTest, AStationRefusesAJobWhoseFilesChangedNamingWhat) {
    struct Case {
        const char* what;
        void (*change)(JobFileTest&, Job&);
        const char* names;
    } cases[] = {
        {"program file", [](JobFileTest& t, Job&) { t.Put("blinky.mot", "S9030000FC\r\n"); },
         "the program file"},
        {"program file gone", [](JobFileTest& t, Job&) { t.Drop("blinky.mot"); },
         "cannot be read"},
        {"chip section value",
         [](JobFileTest& t, Job&) {
             std::string c = kChipdef;
             c.replace(c.find("EndAddress=0x7FFF"), 17, "EndAddress=0x7FFE");
             t.Put("CHIPDEF.INI", c);
         },
         "the chip definition [TQ9B10]"},
        {"another chip's section only", [](JobFileTest& t, Job&) {
             std::string c = kChipdef;
             c.replace(c.find("b.bin"), 5, "c.bin");
             t.Put("CHIPDEF.INI", c);
         }, nullptr},
        {"re-indented section", [](JobFileTest& t, Job&) {
             std::string c = kChipdef;
             c.replace(c.find("Baud=9600,19200"), 15, "  Baud=9600,19200  ");
             t.Put("CHIPDEF.INI", c);
         }, nullptr},
        {"clock", [](JobFileTest&, Job& j) { j.clock = "33MHz"; }, "no clock 33MHz"},
        {"a port twice", [](JobFileTest&, Job& j) { j.slots[1].port = j.slots[0].port; }, "belongs to another slot"},
        {"network port in port mode", [](JobFileTest&, Job& j) { j.detection = Detection::kPort; },
         "cannot appear and disappear"},
    };
    for (const Case& c : cases) {
        Job job = Sealed();
        c.change(*this, job);
        const auto problems = CheckJob(job, Dir());
        if (!c.names) {
            EXPECT_TRUE(problems.empty()) << c.what << ": " << (problems.empty() ? "" : problems[0]);
            continue;
        }
        ASSERT_EQ(problems.size(), 1u) << c.what;
        EXPECT_NE(problems[0].find(c.names), std::string::npos) << c.what << ": " << problems[0];
    }
}

TEST_F(JobFileTest, AHandEditedJobIsRefusedAtItsLine) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"[Job]\nTarget=T\nProgram=p.mot\n[Slots]\n1=a\n1=b\n", ":6: 1 is given twice in [slots]"},
        {"[Job]\nTarget=T\nProgram=p.mot\nDetection=sometimes\n[Slots]\n1=a\n", ":4: Detection=sometimes"},
        {"[Job]\nTarget=T\nProgram=p.mot\nColour=red\n[Slots]\n1=a\n", ":4: no key Colour in [Job]"},
        {"[Job]\nTarget=T\nProgram=p.mot\n[Slot]\n1=a\n", ":4: no section [slot]"},
        {"Target=T\n", ":1: a key before any section"},
        {"[Job]\nTarget=T\nProgram=p.mot\nBaud=fast\n[Slots]\n1=a\n", ":4: Baud=fast is no rate"},
        {"[Job]\nTarget=T\nProgram=p.mot\n", "the job has no slots"},
        {"[Job]\nProgram=p.mot\n[Slots]\n1=a\n", "names no Target="},
    };
    for (const auto& c : cases) {
        WriteFile("hand.job", c.text);
        Job job;
        std::string error;
        EXPECT_FALSE(ReadJob(Dir() + "hand.job", job, error)) << c.text;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
}

}  // namespace
}  // namespace mirelle::station

// End-to-end runs of the built program, each in a fresh working directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "run_program.h"
#include "wave_writer.h"

namespace pellorin::testing {
namespace {

namespace fs = std::filesystem;

const char kHelp[] =
    "Pellorin 1.0 by Quillbrack\n"
    "Enter your .wav file names in a track called tlist.txt\n"
    "Or, use a different list filename by entering it as\n"
    "the first command line argument.\n"
    "Optionally, add the name for the output .cue file as\n"
    "the second command line argument.\n"
    "To split a file into separate tracks, start a line with S\n"
    "followed by the start time.\n"
    "To add a pregap, start a line with P followed by the length\n";

const char kOldSheet[] = "old sheet";

std::string OneSecondWave() { return CanonicalHeader({}, 176400); }

std::string Report(const std::string& rows, const std::string& total) {
  return "\nFile Lengths \t\t\tmin:sec:frames\n\n" + rows + "\nTotal Time:  " + total + "\n";
}

std::string SheetFor(const std::string& wave) {
  return "FILE \"" + wave + "\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
}

struct ChoiceCase {
  bool tlist_present;
  std::vector<std::string> args;
  int status;
  std::string cue_name;  // empty: none written
  std::string wave_listed;
};

void PrintTo(const ChoiceCase& c, std::ostream* os) {
  *os << (c.tlist_present ? "tlist.txt," : "no tlist.txt,") << c.args.size() << " args";
}

class FileChoiceTest : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(FileChoiceTest, PicksListAndCueSheet) {
  const ChoiceCase& c = GetParam();
  ScratchDir dir;
  WriteFile(dir / "t.wav", OneSecondWave());
  WriteFile(dir / "o.wav", OneSecondWave());
  WriteFile(dir / "other.txt", "o.wav\n");
  if (c.tlist_present) WriteFile(dir / "tlist.txt", "t.wav\n");
  std::vector<std::string> before = dir.Entries();

  RunResult run = RunPellorin(dir.path(), c.args);
  EXPECT_EQ(run.status, c.status);
  EXPECT_EQ(run.err, "");
  if (c.cue_name.empty()) {
    EXPECT_EQ(run.out, kHelp);
  } else {
    EXPECT_EQ(run.out, Report("1\t" + c.wave_listed + "\t\t0:1:0\n", "0 min : 1 sec") +
                           "\nWrote cue file called " + c.cue_name + "\n");
    EXPECT_EQ(ReadFile(dir / c.cue_name), SheetFor(c.wave_listed));
    before.push_back(c.cue_name);
    std::sort(before.begin(), before.end());
  }
  EXPECT_EQ(dir.Entries(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FileChoiceTest,
    ::testing::Values(ChoiceCase{true, {}, 0, "output.cue", "t.wav"},
                      ChoiceCase{true, {"other.txt"}, 0, "output.cue", "t.wav"},
                      ChoiceCase{true, {"other.txt", "my.cue"}, 0, "my.cue", "t.wav"},
                      ChoiceCase{true, {"other.txt", "my.cue", "x"}, 0, "output.cue", "t.wav"},
                      ChoiceCase{false, {}, 1, "", ""},
                      ChoiceCase{false, {"other.txt"}, 0, "output.cue", "o.wav"},
                      ChoiceCase{false, {"other.txt", "my.cue"}, 0, "my.cue", "o.wav"},
                      ChoiceCase{false, {"other.txt", "my.cue", "x"}, 0, "output.cue", "o.wav"}));

TEST(RunTest, WorkedExampleWithEveryKindOfLine) {
  ScratchDir dir;
  WriteFile(dir / "intro.wav", CanonicalHeader({}, 10000000 * 4));
  WriteFile(dir / "long.wav", CanonicalHeader({}, 8165556 * 4));
  WriteFile(dir / "last.wav", CanonicalHeader({2, 48000, 16}, 2928000 * 4));
  WriteFile(dir / "tlist.txt",
            "\xEF\xBB\xBFintro.wav\r\nP 00:02:00\r\nlong.wav\r\n\r\nS 04:10:00\r\nS 08:31:50\r\n"
            "P 00:01:00\r\nlast.wav\r\nmastered in 2026\r\n");
  RunResult run = RunPellorin(dir.path(), {});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            Report("1\tintro.wav\t\t3:46:56\n2\tlong.wav\t\t3:5:11\n3\tlast.wav\t\t1:1:0\n",
                   "7 min : 52 sec") +
                "\nWrote cue file called output.cue\n");
  EXPECT_EQ(ReadFile(dir / "output.cue"),
            "FILE \"intro.wav\" WAVE\n"
            "  TRACK 01 AUDIO\n    PREGAP 00:02:00\n    INDEX 01 00:00:00\n"
            "FILE \"long.wav\" WAVE\n"
            "  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n"
            "  TRACK 03 AUDIO\n    INDEX 01 04:10:00\n"
            "  TRACK 04 AUDIO\n    PREGAP 00:01:00\n    INDEX 01 08:31:50\n"
            "FILE \"last.wav\" WAVE\n"
            "  TRACK 05 AUDIO\n    INDEX 01 00:00:00\n");
}

TEST(RunTest, EmptyListWritesEmptySheet) {
  ScratchDir dir;
  WriteFile(dir / "tlist.txt", "\r\n\n");
  WriteFile(dir / "output.cue", kOldSheet);
  RunResult run = RunPellorin(dir.path(), {});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, Report("", "0 min : 0 sec") + "\nWrote cue file called output.cue\n");
  EXPECT_EQ(ReadFile(dir / "output.cue"), "");
}

TEST(RunTest, ListThatIsADirectoryCountsAsAbsent) {
  ScratchDir dir;
  fs::create_directory(dir / "tlist.txt");
  WriteFile(dir / "o.wav", OneSecondWave());
  WriteFile(dir / "other.txt", "o.wav");
  RunResult run = RunPellorin(dir.path(), {"other.txt"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ReadFile(dir / "output.cue"), SheetFor("o.wav"));
}

// Runs that fail: exactly one message, status 2, nothing written or changed.
struct FailureCase {
  const char* name;
  std::string list;  // written to tlist.txt unless empty
  std::vector<std::string> args;
  std::string out;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class FailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FailureTest, ReportsAndWritesNothing) {
  const FailureCase& c = GetParam();
  ScratchDir dir;
  WriteFile(dir / "t.wav", OneSecondWave());
  WriteFile(dir / "nofmt.wav", Riff(DataChunkStart(4)));
  WriteFile(dir / "nodata.wav", Riff(FormatChunk({})));
  WriteFile(dir / "mono0.wav", CanonicalHeader({0, 44100, 16}, 4));
  WriteFile(dir / "random.wav", std::string("\x91\x07RIFZ\xff\x13", 8) + std::string(3000, '\x5a'));
  fs::create_directory(dir / "folder.wav");
  WriteFile(dir / "output.cue", kOldSheet);
  if (!c.list.empty()) WriteFile(dir / "tlist.txt", c.list);
  const std::vector<std::string> before = dir.Entries();

  RunResult run = RunPellorin(dir.path(), c.args);
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, c.out);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(dir.Entries(), before);
  EXPECT_EQ(ReadFile(dir / "output.cue"), kOldSheet);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailureTest,
    ::testing::Values(
        FailureCase{
            "ListMissing", "", {"missing.txt"}, "Cannot open track list called missing.txt\n"},
        FailureCase{
            "ListIsADirectory", "", {"folder.wav"}, "Cannot open track list called folder.wav\n"},
        FailureCase{"SplitWithoutTime", "t.wav\nS\n", {}, "Missing time in track list line S\n"},
        FailureCase{"PregapWithoutTimeBeforeAnyProbe",
                    "missing.wav\nnote\nP \n",
                    {},
                    "Missing time in track list line P \n"},
        FailureCase{"WaveMissing",
                    "t.wav\nmissing.wav\n",
                    {},
                    "Cannot find file in track list called missing.wav\n"},
        FailureCase{"TrailingBlankIsPartOfTheName",
                    "t.wav \n",
                    {},
                    "Cannot find file in track list called t.wav \n"},
        FailureCase{"WaveIsADirectory",
                    "folder.wav",
                    {},
                    "Cannot find file in track list called folder.wav\n"},
        FailureCase{
            "NoFormatChunk", "t.wav\nnofmt.wav", {}, "Can't find format chunk in wave file!\n"},
        FailureCase{"NoDataChunk", "nodata.wav", {}, "Can't find data block in wave file!\n"},
        FailureCase{"RandomBytes", "random.wav", {}, "Can't find format chunk in wave file!\n"},
        FailureCase{
            "ZeroChannels", "mono0.wav", {}, "Unsupported format in wave file called mono0.wav\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RunTest, HeaderCutShortAtEveryLengthFailsCleanly) {
  ScratchDir dir;
  const std::string header = OneSecondWave();
  WriteFile(dir / "tlist.txt", "cut.wav");
  for (std::size_t length = 0; length < header.size(); ++length) {
    WriteFile(dir / "cut.wav", header.substr(0, length));
    RunResult run = RunPellorin(dir.path(), {});
    // The tags end at offsets 15 and 40, the data size at 44.
    EXPECT_EQ(run.out, length < 15   ? "Can't find format chunk in wave file!\n"
                       : length < 40 ? "Can't find data block in wave file!\n"
                                     : "Unsupported format in wave file called cut.wav\n");
    EXPECT_EQ(run.status, 2) << length;
    EXPECT_FALSE(fs::exists(dir / "output.cue")) << length;
  }
}

TEST(RunTest, ListOfRandomBytesEndsByItself) {
  ScratchDir dir;
  WriteFile(dir / "output.cue", kOldSheet);
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    std::string list(1 + random() % 5000, '\0');
    for (char& c : list) c = static_cast<char>(random());
    WriteFile(dir / "tlist.txt", list);
    RunResult run = RunPellorin(dir.path(), {});
    EXPECT_TRUE(run.status == 0 || run.status == 2) << round;
    if (run.status == 2) {
      EXPECT_EQ(ReadFile(dir / "output.cue"), kOldSheet) << round;
    }
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"output.cue", "tlist.txt"})) << round;
  }
}

TEST(RunTest, HugeListUsesItsFirstLines) {
  ScratchDir dir;
  WriteFile(dir / "t.wav", OneSecondWave());
  std::string list = "t.wav\n" + std::string(10 << 20, 'a') + "\nS 1\n";
  for (int i = 0; i < 200; ++i) list += "t.wav\n";
  WriteFile(dir / "tlist.txt", list);
  RunResult run = RunPellorin(dir.path(), {});
  EXPECT_EQ(run.status, 0);
  const std::string sheet = ReadFile(dir / "output.cue");
  // 128 lines used: 126 files of three cue lines each and one split of two.
  EXPECT_EQ(std::count(sheet.begin(), sheet.end(), '\n'), 3 * 126 + 2);
  EXPECT_NE(sheet.find("TRACK 127 AUDIO"), std::string::npos);
  EXPECT_EQ(sheet.find("TRACK 128 AUDIO"), std::string::npos);
}

TEST(RunTest, LongNamesAreKeptWhole) {
  ScratchDir dir;
  const std::string wave = std::string(240, 'w') + ".wav";
  const std::string cue = std::string(200, 'c') + ".cue";
  WriteFile(dir / wave, OneSecondWave());
  WriteFile(dir / "list.txt", wave + "\n" + "S " + std::string(300, '0') + "\n");
  RunResult run = RunPellorin(dir.path(), {"list.txt", cue});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ReadFile(dir / cue),
            SheetFor(wave) + "  TRACK 02 AUDIO\n    INDEX 01 " + std::string(300, '0') + "\n");
}

// Writing the cue sheet: it is replaced whole or not at all.
class CueWriteTest : public ::testing::Test {
 protected:
  CueWriteTest() {
    WriteFile(dir_ / "t.wav", OneSecondWave());
    WriteFile(dir_ / "tlist.txt", "t.wav\n");
  }
  std::string ReportFor(const std::string& cue_name, bool written) const {
    return Report("1\tt.wav\t\t0:1:0\n", "0 min : 1 sec") +
           (written ? "\nWrote cue file called " : "Cannot write cue file called ") + cue_name +
           "\n";
  }
  ScratchDir dir_;
};

TEST_F(CueWriteTest, FileSizeLimitKeepsTheOldSheet) {
  WriteFile(dir_ / "output.cue", kOldSheet);
  const std::vector<std::string> before = dir_.Entries();
  RunResult run = RunPellorin(dir_.path(), {}, {.file_size_limit = 20});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, ReportFor("output.cue", false));
  EXPECT_EQ(ReadFile(dir_ / "output.cue"), kOldSheet);
  EXPECT_EQ(dir_.Entries(), before);
}

TEST_F(CueWriteTest, FullDeviceIsAFailure) {
  RunResult run = RunPellorin(dir_.path(), {"x", "/dev/full"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, ReportFor("/dev/full", false));
}

TEST_F(CueWriteTest, UnwritableStandardOutputIsAFailure) {
  RunResult run = RunPellorin(dir_.path(), {}, {.stdout_path = "/dev/full"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(ReadFile(dir_ / "output.cue"), SheetFor("t.wav"));
}

TEST_F(CueWriteTest, MissingDirectoryIsAFailure) {
  RunResult run = RunPellorin(dir_.path(), {"x", "nowhere/my.cue"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, ReportFor("nowhere/my.cue", false));
}

TEST_F(CueWriteTest, ReplacesKeepingPermissionBits) {
  WriteFile(dir_ / "output.cue", kOldSheet);
  fs::permissions(dir_ / "output.cue",
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  RunResult run = RunPellorin(dir_.path(), {});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ReadFile(dir_ / "output.cue"), SheetFor("t.wav"));
  EXPECT_EQ(fs::status(dir_ / "output.cue").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(dir_.Entries(), (std::vector<std::string>{"output.cue", "t.wav", "tlist.txt"}));
}

TEST_F(CueWriteTest, SymbolicLinkStaysALink) {
  WriteFile(dir_ / "real.cue", kOldSheet);
  fs::create_symlink("real.cue", dir_ / "link.cue");
  RunResult run = RunPellorin(dir_.path(), {"x", "link.cue"});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.cue"));
  EXPECT_EQ(ReadFile(dir_ / "real.cue"), SheetFor("t.wav"));
}

TEST_F(CueWriteTest, StandardOutputGetsTheSheetAfterTheReport) {
  RunResult run = RunPellorin(dir_.path(), {"x", "/dev/stdout"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, Report("1\tt.wav\t\t0:1:0\n", "0 min : 1 sec") + SheetFor("t.wav") +
                         "\nWrote cue file called /dev/stdout\n");
}

TEST_F(CueWriteTest, UnwritableDirectoryWritesAnExistingSheetInPlace) {
  WriteFile(dir_ / "output.cue", kOldSheet);
  fs::permissions(dir_ / "output.cue", fs::perms::all);
  fs::permissions(dir_.path(), fs::perms::owner_read | fs::perms::owner_exec |
                                   fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
  RunResult run = RunPellorin(dir_.path(), {}, {.unprivileged = true});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ReadFile(dir_ / "output.cue"), SheetFor("t.wav"));

  run = RunPellorin(dir_.path(), {"x", "new.cue"}, {.unprivileged = true});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, ReportFor("new.cue", false));
  EXPECT_FALSE(fs::exists(dir_ / "new.cue"));
}

}  // namespace
}  // namespace pellorin::testing

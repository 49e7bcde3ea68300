// End-to-end runs of the built program. Each case writes its files into a
// fresh directory and runs a shell script there, with $P naming the program;
// everything the script prints, standard error included, must match.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "wave_writer.h"

namespace pellorin::testing {
namespace {

namespace fs = std::filesystem;
using Files = std::vector<std::pair<std::string, std::string>>;  // contents "/": a directory

const std::string kWave = CanonicalHeader({}, 176400);  // one second
const std::string kSheetT = "FILE \"t.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";

std::string Report(const std::string& rows, const std::string& total) {
  return "\nFile Lengths \t\t\tmin:sec:frames\n\n" + rows + "\nTotal Time:  " + total + "\n";
}
const std::string kReportT = Report("1\tt.wav\t\t0:1:0\n", "0 min : 1 sec");

std::string RunScript(const std::string& name, Files files, const std::string& script) {
  const fs::path dir = fs::path(::testing::TempDir()) / ("pellorin_" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::permissions(dir, fs::perms::all);  // some scripts run as nobody
  files.insert(
      files.begin(),
      {{"t.wav", kWave}, {"o.wav", kWave}, {"other.txt", "o.wav\n"}, {"output.cue", "old sheet"}});
  for (const auto& [file, bytes] : files) {
    if (bytes == "/") {
      fs::create_directory(dir / file);
    } else {
      std::ofstream(dir / file, std::ios::binary) << bytes;
    }
  }
  const std::string command =
      "cd '" + dir.string() + "' && P='" PELLORIN_BINARY "' && { " + script + "\n} 2>&1";
  std::string printed;
  FILE* pipe = popen(command.c_str(), "r");
  for (int c; (c = std::fgetc(pipe)) != EOF;) printed += static_cast<char>(c);
  pclose(pipe);
  fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add);
  fs::remove_all(dir);
  return printed;
}

// A failing run: its message, status 2, and the directory left as it was.
std::string Fails(const std::string& run) {
  return "a=$(ls -A); " + run +
         "; echo $?; cat output.cue; [ \"$a\" = \"$(ls -A)\" ] && echo ' kept'";
}
std::string Failed(const std::string& message) { return message + "2\nold sheet kept\n"; }

struct RunCase {
  const char* name;
  Files files;
  std::string script, printed;
};

void PrintTo(const RunCase& c, std::ostream* os) { *os << c.name; }

class RunTest : public ::testing::TestWithParam<RunCase> {};

TEST_P(RunTest, PrintsAndWrites) {
  EXPECT_EQ(RunScript(GetParam().name, GetParam().files, GetParam().script), GetParam().printed);
}

const Files kTlist = {{"tlist.txt", "t.wav\n"}};

std::string Bytes(unsigned seed, std::size_t size) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunTest,
    ::testing::Values(
        RunCase{"WorkedExample",
                {{"intro.wav", CanonicalHeader({}, 10000000 * 4)},
                 {"long.wav", CanonicalHeader({}, 8165556 * 4)},
                 {"last.wav", CanonicalHeader({2, 48000, 16}, 2928000 * 4)},
                 {"tlist.txt",
                  "\xEF\xBB\xBFintro.wav\r\nP 00:02:00\r\nlong.wav\r\n\r\nS 04:10:00\r\n"
                  "S 08:31:50\r\nP 00:01:00\r\nlast.wav\r\nmastered in 2026\r\n"}},
                "$P; echo $?; cat output.cue",
                Report("1\tintro.wav\t\t3:46:56\n2\tlong.wav\t\t3:5:11\n3\tlast.wav\t\t1:1:0\n",
                       "7 min : 52 sec") +
                    "\nWrote cue file called output.cue\n0\n"
                    "FILE \"intro.wav\" WAVE\n  TRACK 01 AUDIO\n    PREGAP 00:02:00\n    INDEX 01 "
                    "00:00:00\n"
                    "FILE \"long.wav\" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n"
                    "  TRACK 03 AUDIO\n    INDEX 01 04:10:00\n"
                    "  TRACK 04 AUDIO\n    PREGAP 00:01:00\n    INDEX 01 08:31:50\n"
                    "FILE \"last.wav\" WAVE\n  TRACK 05 AUDIO\n    INDEX 01 00:00:00\n"},
        RunCase{"EmptyList",
                {{"tlist.txt", "\r\n\n"}},
                "$P; echo $?; wc -c < output.cue",
                Report("", "0 min : 0 sec") + "\nWrote cue file called output.cue\n0\n0\n"},
        RunCase{"ListDirectoryIsAbsent",
                {{"tlist.txt", "/"}},
                "$P other.txt >/dev/null; cat output.cue",
                "FILE \"o.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"},
        RunCase{"ListUnreadable",
                {{"d", "/"}},
                Fails("$P d; $P no.txt"),
                Failed("Cannot open track list called d\nCannot open track list called no.txt\n")},
        RunCase{"MissingTimeBeforeAnyProbe",
                {{"tlist.txt", "no.wav\nS\nP \n"}},
                Fails("$P"),
                Failed("Missing time in track list line S\n")},
        RunCase{"WaveMissingAfterOneMeasured",
                {{"tlist.txt", "t.wav\nt.wav \n"}},
                Fails("$P"),
                Failed("Cannot find file in track list called t.wav \n")},
        RunCase{"WaveIsADirectory",
                {{"d.wav", "/"}, {"tlist.txt", "d.wav"}},
                Fails("$P"),
                Failed("Cannot find file in track list called d.wav\n")},
        RunCase{"RandomWave",
                {{"w.wav", Bytes(1, 20000)}, {"tlist.txt", "w.wav"}},
                Fails("$P"),
                Failed("Can't find format chunk in wave file!\n")},
        RunCase{"HeaderCutAtEveryLength",
                {{"tlist.txt", "cut.wav"}},
                "for n in $(seq 0 43); do head -c $n t.wav > cut.wav; $P; echo $?; done | sort | "
                "uniq -c; cat output.cue",
                "     44 2\n     25 Can't find data block in wave file!\n"
                "     15 Can't find format chunk in wave file!\n"
                "      4 Unsupported format in wave file called cut.wav\nold sheet"},
        RunCase{"RandomLists",
                {{"r1", Bytes(1, 3000)}, {"r2", Bytes(2, 50)}, {"r3", "\n" + Bytes(3, 9000)}},
                "for l in r1 r2 r3; do $P $l >/dev/null; echo $?; done",
                "2\n2\n2\n"},
        RunCase{"HugeListUsesItsFirst128Lines",
                {},
                "{ echo t.wav; head -c 10485760 /dev/zero | tr '\\0' a; printf '\\nS 1\\n'; "
                "yes t.wav | head -n 200; } > tlist.txt; $P >/dev/null; echo $?; "
                "grep -c FILE output.cue; tail -n 2 output.cue",
                "0\n126\n  TRACK 127 AUDIO\n    INDEX 01 00:00:00\n"},
        RunCase{"LongNamesKeptWhole",
                {{std::string(240, 'w') + ".wav", kWave},
                 {"list", std::string(240, 'w') + ".wav\nS " + std::string(300, '0')}},
                "$P list " + std::string(200, 'c') + " >/dev/null; cat c*",
                "FILE \"" + std::string(240, 'w') +
                    ".wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 "
                    "00:00:00\n  TRACK 02 AUDIO\n    INDEX 01 " +
                    std::string(300, '0') + "\n"},
        RunCase{"FileSizeLimitKeepsOldSheet", kTlist, Fails("(ulimit -f 0; $P)"),
                Failed(kReportT + "Cannot write cue file called output.cue\n")},
        RunCase{"CueSheetUnwritable", kTlist, Fails("$P x /dev/full; $P x no/my.cue"),
                Failed(kReportT + "Cannot write cue file called /dev/full\n" + kReportT +
                       "Cannot write cue file called no/my.cue\n")},
        RunCase{"ReplaceKeepsPermissions", kTlist,
                "chmod 640 output.cue; $P >/dev/null; stat -c %a output.cue; cat output.cue; ls",
                "640\n" + kSheetT + "o.wav\nother.txt\noutput.cue\nt.wav\ntlist.txt\n"},
        RunCase{"SymbolicLinkStaysALink", kTlist,
                "mv output.cue real.cue; ln -s real.cue my.cue; $P x my.cue >/dev/null; "
                "test -L my.cue && cat real.cue",
                kSheetT},
        RunCase{"StandardOutputAfterReport", kTlist, "$P x /dev/stdout",
                kReportT + kSheetT + "\nWrote cue file called /dev/stdout\n"},
        RunCase{"UnprintableReportFails", kTlist, "$P > /dev/full; echo $?; cat output.cue",
                "2\n" + kSheetT},
        RunCase{"UnwritableDirectory", kTlist,
                "chmod 666 output.cue; chmod 555 .; [ $(id -u) = 0 ] && "
                "U='setpriv --reuid=nobody --regid=nogroup --clear-groups'; "
                "$U $P >/dev/null; echo $?; cat output.cue; $U $P x new.cue; echo $?; ls",
                "0\n" + kSheetT + kReportT +
                    "Cannot write cue file called new.cue\n2\no.wav\nother.txt\noutput.cue\nt.wav\n"
                    "tlist.txt\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileChoiceTest, TlistWinsAndOnlyTwoArgumentsNameTheSheet) {
  const struct {
    bool tlist;
    std::string args, cue, wave;
  } rows[] = {{true, "", "output.cue", "t"},
              {true, "other.txt", "output.cue", "t"},
              {true, "other.txt my.cue", "my.cue", "t"},
              {true, "other.txt my.cue x", "output.cue", "t"},
              {false, "other.txt", "output.cue", "o"},
              {false, "other.txt my.cue", "my.cue", "o"},
              {false, "other.txt my.cue x", "output.cue", "o"}};
  for (const auto& row : rows) {
    const std::string sheet =
        "FILE \"" + row.wave + ".wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    EXPECT_EQ(RunScript("choice", row.tlist ? kTlist : Files{},
                        "rm output.cue; $P " + row.args + "; echo $?; ls | grep cue; cat *.cue"),
              Report("1\t" + row.wave + ".wav\t\t0:1:0\n", "0 min : 1 sec") +
                  "\nWrote cue file called " + row.cue + "\n0\n" + row.cue + "\n" + sheet)
        << row.tlist << " " << row.args;
  }
  EXPECT_EQ(RunScript("help", {}, "rm output.cue; $P; echo $?; ls | grep cue"),
            "Pellorin 1.0 by Quillbrack\n"
            "Enter your .wav file names in a track called tlist.txt\n"
            "Or, use a different list filename by entering it as\n"
            "the first command line argument.\n"
            "Optionally, add the name for the output .cue file as\n"
            "the second command line argument.\n"
            "To split a file into separate tracks, start a line with S\n"
            "followed by the start time.\n"
            "To add a pregap, start a line with P followed by the length\n1\n");
}

}  // namespace
}  // namespace pellorin::testing

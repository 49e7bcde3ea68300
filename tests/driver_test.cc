// End-to-end runs of the built program. Each case runs a bash script in a
// fresh directory that holds t.wav (one second long), l.txt (naming t.wav), an
// old output.cue and the case's own files; everything the script prints,
// standard error included, must match. In the script $P is the program, and
// `fails 'COMMAND'` runs a command that must fail: it prints what the command
// printed, its status, and "unchanged" if every file is as it was before.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "wave_writer.h"

namespace pellorin::testing {
namespace {

namespace fs = std::filesystem;
using Files = std::vector<std::pair<std::string, std::string>>;

std::string Report(const std::string& rows, const std::string& total) {
  return "\nFile Lengths \t\t\tmin:sec:frames\n\n" + rows + "\nTotal Time:  " + total + "\n";
}
const std::string kReport = Report("1\tt.wav\t\t0:1:0\n", "0 min : 1 sec");
const std::string kSheet = "FILE \"t.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
const std::string kUnchanged = "2\nunchanged\n";
std::string CannotWrite(const std::string& name) {
  return kReport + "Cannot write cue file called " + name + "\n" + kUnchanged;
}

std::string RunScript(const std::string& name, Files files, const std::string& script) {
  const fs::path dir = fs::path(::testing::TempDir()) / ("pellorin_" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::permissions(dir, fs::perms::all);  // some scripts run as nobody
  files.insert(
      files.begin(),
      {{"t.wav", CanonicalHeader({}, 176400)}, {"l.txt", "t.wav\n"}, {"output.cue", "old sheet"}});
  for (const auto& [file, bytes] : files) std::ofstream(dir / file, std::ios::binary) << bytes;
  std::ofstream(dir.string() + ".sh")
      << "P=" PELLORIN_BINARY
         "\nstate() { ls -A; find . -type f -exec cksum {} + | sort; }\n"
         "fails() { local before; before=$(state); eval \"$1\"; echo $?; "
         "[ \"$before\" = \"$(state)\" ] && echo unchanged; }\n"
      << script;
  std::string printed;
  FILE* pipe =
      popen(("cd '" + dir.string() + "' && bash '" + dir.string() + ".sh' 2>&1").c_str(), "r");
  for (int c; (c = std::fgetc(pipe)) != EOF;) printed += static_cast<char>(c);
  pclose(pipe);
  fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add);
  fs::remove_all(dir);
  return printed;
}

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

INSTANTIATE_TEST_SUITE_P(
    Cases, RunTest,
    ::testing::Values(
        // Ignored lines and pregaps, a byte order mark, CR LF and blank lines
        // leave the sheet exactly as the bare list gives it.
        RunCase{
            "WorkedExample",
            {{"intro.wav", CanonicalHeader({}, 10000000 * 4)},
             {"long.wav", CanonicalHeader({}, 8165556 * 4)},
             {"last.wav", CanonicalHeader({2, 48000, 16}, 2928000 * 4)},
             {"tlist.txt",
              "\xEF\xBB\xBFintro.wav\r\nP 00:02:00\r\nP 00:09:00\r\nlong.wav\r\n\r\n"
              "S 04:10:00\r\nS 08:31:50\r\nP 00:01:00\r\nlast.wav\r\nmastered 2026\r\nP 1\r\n"}},
            "$P; echo $?; cat output.cue",
            Report("1\tintro.wav\t\t3:46:56\n2\tlong.wav\t\t3:5:11\n3\tlast.wav\t\t1:1:0\n",
                   "7 min : 52 sec") +
                "\nWrote cue file called output.cue\n0\n"
                "FILE \"intro.wav\" WAVE\n  TRACK 01 AUDIO\n    PREGAP 00:02:00\n"
                "    INDEX 01 00:00:00\n"
                "FILE \"long.wav\" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n"
                "  TRACK 03 AUDIO\n    INDEX 01 04:10:00\n"
                "  TRACK 04 AUDIO\n    PREGAP 00:01:00\n    INDEX 01 08:31:50\n"
                "FILE \"last.wav\" WAVE\n  TRACK 05 AUDIO\n    INDEX 01 00:00:00\n"},
        // Endless streams: reading stops at a NUL byte or behind line 128.
        RunCase{"ListEndsAtNulOr128Lines",
                {},
                "$P /dev/zero; echo $?; wc -c < output.cue\n"
                "{ echo t.wav; head -c 10485760 /dev/zero | tr '\\0' a; printf '\\nS 1\\n'; "
                "yes t.wav; } | $P /dev/stdin >/dev/null; echo $?; grep -c FILE output.cue; "
                "tail -n 2 output.cue",
                Report("", "0 min : 0 sec") + "\nWrote cue file called output.cue\n0\n0\n"
                                              "0\n126\n  TRACK 127 AUDIO\n    INDEX 01 00:00:00\n"},
        // A list that is a directory counts as absent, so the argument is read.
        RunCase{"ListFaults",
                {{"a.txt", "no.wav\nS\n"}, {"b.txt", "t.wav\nx\"y.wav\n"}},
                "mkdir tlist.txt d; for l in d no.txt a.txt b.txt; do fails '$P '$l; done",
                "Cannot open track list called d\n" + kUnchanged +
                    "Cannot open track list called no.txt\n" + kUnchanged +
                    "Missing time in track list line S\n" + kUnchanged +
                    "Double quote in file name in track list line x\"y.wav\n" + kUnchanged},
        RunCase{"WaveFaults",
                {{"a.txt", "t.wav\nt.wav \n"}, {"b.txt", "d.wav"}, {"c.txt", "cut.wav"}},
                "mkdir d.wav; fails '$P a.txt'; fails '$P b.txt'\n"
                "for n in $(seq 0 43); do head -c $n t.wav > cut.wav; $P c.txt; echo $?; done | "
                "sort | uniq -c; cat output.cue",
                "Cannot find file in track list called t.wav \n" + kUnchanged +
                    "Cannot find file in track list called d.wav\n" + kUnchanged +
                    "     44 2\n     25 Can't find data block in wave file!\n"
                    "     15 Can't find format chunk in wave file!\n"
                    "      4 Unsupported format in wave file called cut.wav\nold sheet"},
        // Names of 250 bytes, as the temporary file's name stays short.
        RunCase{"NoSizeLimits",
                {{std::string(240, 'w') + ".wav", CanonicalHeader({}, 176400)},
                 {"long.txt", std::string(240, 'w') + ".wav\nS " + std::string(300, '0')}},
                "$P long.txt " + std::string(250, 'c') + " >/dev/null; cat c*",
                "FILE \"" + std::string(240, 'w') + ".wav\" WAVE\n  TRACK 01 AUDIO\n" +
                    "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 01 " +
                    std::string(300, '0') + "\n"},
        RunCase{
            "SheetReplacedWhole",
            {},
            "chmod 640 output.cue; ln -s output.cue link.cue; ln -s new.cue dangling.cue\n"
            "$P l.txt link.cue >/dev/null; (umask 002; $P l.txt dangling.cue >/dev/null)\n"
            "stat -c %a output.cue new.cue; find . -type l | sort; ls -A; cat output.cue new.cue",
            "640\n664\n./dangling.cue\n./link.cue\n"
            "dangling.cue\nl.txt\nlink.cue\nnew.cue\noutput.cue\nt.wav\n" +
                kSheet + kSheet},
        RunCase{"SheetThroughStandardOutput",
                {},
                "$P l.txt /dev/stdout > out.txt; echo $?; cat out.txt",
                "0\n" + kReport + kSheet + "\nWrote cue file called /dev/stdout\n"},
        RunCase{"SheetNotWritten",
                {},
                "ln -s output.cue link.cue; ln t.wav hard.wav; mkdir d; x=$(printf %0250d 0)\n"
                "echo old > $x; y=$(printf %0250d 1)\n"
                "for c in link.cue $x $y; do fails \"(ulimit -f 0; \\$P l.txt $c)\"; done\n"
                "for c in /dev/full no/my.cue d l.txt t.wav hard.wav; do fails \"$P l.txt $c\"; "
                "done",
                CannotWrite("link.cue") + CannotWrite(std::string(250, '0')) +
                    CannotWrite(std::string(249, '0') + "1") + CannotWrite("/dev/full") +
                    CannotWrite("no/my.cue") + CannotWrite("d") + CannotWrite("l.txt") +
                    CannotWrite("t.wav") + CannotWrite("hard.wav")},
        RunCase{"UnwritableDirectory",
                {},
                "chmod 666 output.cue; chmod 555 .; [ $(id -u) = 0 ] && "
                "U='setpriv --reuid=nobody --regid=nogroup --clear-groups'; fails '$U $P l.txt'",
                CannotWrite("output.cue")},
        // Nothing is written when the report cannot be printed, and there is
        // nowhere to say why.
        RunCase{"StandardOutputUnwritable",
                {},
                "mkfifo f; exec 3<>f 4>f 3<&-; fails '$P l.txt >&4'; fails '$P l.txt >&-'",
                kUnchanged + kUnchanged},
        // An interrupt while the temporary sheet exists, then at random moments:
        // runs end by the signal and leave nothing behind.
        RunCase{"Interrupted",
                {},
                "{ echo t.wav; for i in $(seq 127); do printf 'S %050000d\\n' 0; done; } > big\n"
                "$P big full.cue >/dev/null; run() { env --default-signal $P big >/dev/null & }\n"
                "for s in INT TERM; do run; n=0\n"
                "  until compgen -G '.pellorin-*' >/dev/null || ((++n > 100000)); do :; done\n"
                "  kill -$s $!; wait $!; echo $?; done\n"
                "for i in $(seq 20); do run; sleep $(printf 0.%03d $((RANDOM % 100))); "
                "kill -$(shuf -n1 -e INT TERM) $! 2>/dev/null; wait $!; done\n"
                "ls -A; cmp -s output.cue full.cue || [ \"$(cat output.cue)\" = \"old sheet\" ] || echo torn",
                "130\n143\nbig\nfull.cue\nl.txt\noutput.cue\nt.wav\n"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(RunTest, OutOfMemoryEndsTheRunCleanly) {
#ifdef PELLORIN_SANITIZED
  GTEST_SKIP() << "sanitizers reserve more address space than the limit allows";
#endif
  EXPECT_EQ(
      RunScript("memory", {}, "tr '\\0' a < /dev/zero | (ulimit -v 200000; fails '$P /dev/stdin')"),
      "Out of memory\n" + kUnchanged);
}

TEST(FileChoiceTest, TlistWinsAndOnlyTwoArgumentsNameTheSheet) {
  // Each row: whether tlist.txt (naming t.wav) is there, the arguments, and
  // the sheet written with the wave file it names; other.txt names o.wav.
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
    EXPECT_EQ(RunScript("choice", {{"o.wav", CanonicalHeader({}, 4)}, {"other.txt", "o.wav"}},
                        std::string(row.tlist ? "mv l.txt tlist.txt; " : "") +
                            "rm output.cue; $P " + row.args + " >/dev/null; grep -H FILE *.cue"),
              row.cue + ":FILE \"" + row.wave + ".wav\" WAVE\n")
        << row.tlist << " " << row.args;
  }
  EXPECT_EQ(RunScript("help", {}, "rm output.cue; $P; echo $?; ls"),
            "Pellorin 1.0 by Quillbrack\n"
            "Enter your .wav file names in a track called tlist.txt\n"
            "Or, use a different list filename by entering it as\n"
            "the first command line argument.\n"
            "Optionally, add the name for the output .cue file as\n"
            "the second command line argument.\n"
            "To split a file into separate tracks, start a line with S\n"
            "followed by the start time.\n"
            "To add a pregap, start a line with P followed by the length\n1\nl.txt\nt.wav\n");
}

}  // namespace
}  // namespace pellorin::testing

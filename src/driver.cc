#include "driver.h"

#include <csignal>
#include <iostream>
#include <optional>
#include <string_view>
#include <vector>

#include "cue_sheet.h"
#include "length_report.h"
#include "track_list.h"
#include "wave_probe.h"

namespace pellorin {

namespace {

constexpr const char* kDefaultList = "tlist.txt";
constexpr const char* kDefaultCueSheet = "output.cue";

constexpr std::string_view kHelpText =
    "Pellorin 1.0 by Quillbrack\n"
    "Enter your .wav file names in a track called tlist.txt\n"
    "Or, use a different list filename by entering it as\n"
    "the first command line argument.\n"
    "Optionally, add the name for the output .cue file as\n"
    "the second command line argument.\n"
    "To split a file into separate tracks, start a line with S\n"
    "followed by the start time.\n"
    "To add a pregap, start a line with P followed by the length\n";

}  // namespace

int Run(std::span<const std::string> args, std::ostream& out) {
  // tlist.txt in the working directory wins over a list named on the command
  // line; the cue sheet is named only when exactly two arguments are given.
  std::optional<std::string> list_text = ReadListFile(kDefaultList);
  if (!list_text) {
    if (args.empty()) {
      out << kHelpText;
      return kExitHelp;
    }
    list_text = ReadListFile(args[0]);
    if (!list_text) {
      out << "Cannot open track list called " << args[0] << "\n";
      return kExitFailure;
    }
  }
  const std::string cue_name = args.size() == 2 ? args[1] : kDefaultCueSheet;

  const std::vector<ListLine> lines = ParseTrackList(*list_text);
  if (const ListLine* line = FindLineWithoutTime(lines)) {
    out << "Missing time in track list line " << line->text << "\n";
    return kExitFailure;
  }

  std::vector<MeasuredFile> measured;
  for (const ListLine& line : lines) {
    if (line.kind != LineKind::kFile) continue;
    ProbeResult probe = GET_ATTRIBUTES(line.text);
    if (probe.status != ProbeStatus::kOk) {
      out << DescribeProbeFailure(probe.status, line.text);
      return kExitFailure;
    }
    measured.push_back({line.text, probe.attributes});
  }

  out << FormatLengthReport(measured);

  // The sheet may go to our own standard output: what was printed comes first.
  out.flush();
  if (!WriteCueSheet(cue_name, ComposeCueSheet(lines))) {
    out << "Cannot write cue file called " << cue_name << "\n";
    return kExitFailure;
  }
  out << "\nWrote cue file called " << cue_name << "\n";
  return kExitSuccess;
}

}  // namespace pellorin

int main(int argc, char** argv) {
#ifdef SIGXFSZ
  // Past a file-size limit the write fails and is reported like any other
  // failed write, instead of the signal killing the run halfway.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  int status = pellorin::Run(args, std::cout);
  std::cout.flush();
  // A report that could not be printed is a failed run, though nothing is left
  // to tell it on.
  return std::cout ? status : pellorin::kExitFailure;
}

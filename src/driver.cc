#include "driver.h"

#include <optional>
#include <string_view>
#include <vector>

#include "cue_sheet.h"
#include "file_io.h"
#include "length_report.h"
#include "program.h"
#include "sheet_file.h"
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

int Run(std::span<const std::string> args, int out) {
  // tlist.txt in the working directory wins over a list named on the command
  // line; the cue sheet is named only when exactly two arguments are given.
  std::string list_name = kDefaultList;
  std::optional<TrackList> list = ReadTrackList(list_name);
  if (!list) {
    if (args.empty()) return WriteAll(out, kHelpText) ? kExitHelp : kExitFailure;
    list_name = args[0];
    list = ReadTrackList(list_name);
    if (!list) {
      WriteAll(out, "Cannot open track list called " + list_name + "\n");
      return kExitFailure;
    }
  }
  const std::string cue_name = args.size() == 2 ? args[1] : kDefaultCueSheet;

  if (const std::optional<std::string> fault = FindListFault(list->lines)) {
    WriteAll(out, *fault);
    return kExitFailure;
  }

  // Every regular file the run reads, so that the sheet is never written over
  // one.
  std::vector<FileId> inputs;
  if (list->file) inputs.push_back(*list->file);
  std::vector<MeasuredFile> measured;
  for (const ListLine& line : list->lines) {
    if (line.kind != LineKind::kFile) continue;
    const ProbeResult probe = GET_ATTRIBUTES(line.text);
    if (probe.status != ProbeStatus::kOk) {
      WriteAll(out, DescribeProbeFailure(probe.status, line.text));
      return kExitFailure;
    }
    measured.push_back({line.text, probe.attributes});
    if (probe.file) inputs.push_back(*probe.file);
  }

  // A report that cannot be printed fails the run before anything is written.
  if (!WriteAll(out, FormatLengthReport(measured))) return kExitFailure;
  const std::string why = WriteSheetFile(cue_name, ComposeCueSheet(list->lines), inputs, out);
  if (!why.empty()) {
    WriteAll(out, "Cannot write cue file called " + cue_name + ": " + why + "\n");
    return kExitFailure;
  }
  // Once the sheet is in place the run has succeeded, even if the line that
  // confirms it is lost: status 2 always means that no sheet was written.
  WriteAll(out, "\nWrote cue file called " + cue_name + "\n");
  return kExitSuccess;
}

}  // namespace pellorin

int main(int argc, char** argv) { return pellorin::RunProgram(argc, argv, pellorin::Run); }

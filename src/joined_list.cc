#include "joined_list.h"

#include <optional>

#include "cd_audio.h"

namespace pellorin {

JoinedList JoinTrackList(std::span<const ListLine> lines, std::span<const std::int64_t> frames,
                         std::string_view joined_name) {
  const auto fault = [](const char* what, const ListLine& line) {
    return JoinedList{{}, what + (" track list line " + line.text) + "\n"};
  };
  std::string text = std::string(joined_name) + "\n";
  std::int64_t file_start = 0, file_end = 0;  // the current file's sample frames in the joined one
  std::int64_t previous = -1;                 // where the track before starts, in CD frames
  std::size_t files = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const ListLine& line = lines[i];
    const bool pregap = line.kind == LineKind::kPregap;
    // A pregap line right behind a file or split line gives its track a
    // pregap; any other, the cue sheet leaves out.
    if (line.kind == LineKind::kOther ||
        (pregap && lines[i - 1].kind != LineKind::kFile && lines[i - 1].kind != LineKind::kSplit)) {
      continue;
    }
    std::int64_t start = (file_end + kSamplesPerCdFrame / 2) / kSamplesPerCdFrame;
    if (line.kind == LineKind::kFile) {
      file_start = file_end;
      file_end += frames[files++];
    } else {
      const std::optional<std::int64_t> time = ParseCdTime(TimeText(line));
      if (!time) return fault("Time not written mm:ss:ff (seconds 00-59, frames 00-74) in", line);
      if (pregap) {
        text += "P " + FormatCdTime(*time) + "\n";
        continue;
      }
      start = (file_start + kSamplesPerCdFrame / 2) / kSamplesPerCdFrame + *time;
      if (start * kSamplesPerCdFrame >= file_end)
        return fault("Split past the end of its file in", line);
    }
    if (start <= previous) return fault("Empty track before", line);
    previous = start;
    if (i > 0) text += "S " + FormatCdTime(start) + "\n";
  }
  return {text, {}};
}

}  // namespace pellorin

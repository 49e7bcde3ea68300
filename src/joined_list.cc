#include "joined_list.h"

#include <cctype>
#include <optional>

#include "cd_audio.h"

namespace pellorin {

namespace {

// Whether a line that is no file line names a wave file all the same, as
// "B.Wav" does.
bool NamesWaveFile(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower.find(".wav") != std::string::npos;
}

}  // namespace

JoinedList JoinTrackList(std::span<const ListLine> lines, std::span<const std::int64_t> frames,
                         std::string_view joined_name) {
  const auto fault = [](const char* what, const ListLine& line) {
    return JoinedList{{}, what + (" track list line " + line.text) + "\n"};
  };
  constexpr const char* kShort = "Track shorter than one CD frame in";
  if (lines.size() > kMaxUsedLines) return fault("More than 128 lines at", lines[kMaxUsedLines]);
  std::string text = std::string(joined_name) + "\n";
  std::int64_t file_start = 0, file_end = 0;  // the current file's sample frames in the joined one
  std::int64_t previous = -1;                 // where the track before starts, in CD frames
  const ListLine* last_track = &lines[0];     // the line that starts it
  std::size_t files = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const ListLine& line = lines[i];
    if (line.kind == LineKind::kOther) {
      if (NamesWaveFile(line.text)) return fault("Wave file not named .wav or .WAV in", line);
      continue;
    }
    const bool pregap = line.kind == LineKind::kPregap;
    // Only a pregap line right behind a file or split line gives a track a
    // pregap.
    if (pregap && lines[i - 1].kind != LineKind::kFile && lines[i - 1].kind != LineKind::kSplit) {
      return fault("Pregap not right behind a file or split line in", line);
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
      if ((start + 1) * kSamplesPerCdFrame > file_end) {
        return fault("Split past the end of its file in", line);
      }
    }
    // A split holds a whole frame of its file, so only a file's track can be
    // left empty by the file after it.
    if (start <= previous) {
      return line.kind == LineKind::kFile ? fault(kShort, *last_track)
                                          : fault("Empty track before", line);
    }
    if (start > kLastCdTime) return fault("Start past 99:59:74 in", line);
    previous = start;
    last_track = &line;
    if (i > 0) text += "S " + FormatCdTime(start) + "\n";
  }
  // The last track ends with the joined file.
  if ((previous + 1) * kSamplesPerCdFrame > file_end) {
    return fault(kShort, *last_track);
  }
  return {text, {}};
}

}  // namespace pellorin

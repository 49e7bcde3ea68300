#include "cue_sheet.h"

namespace pellorin {

namespace {

void AppendTrack(std::string& cue, int track) {
  cue += "  TRACK ";
  if (track < 10) cue += '0';
  cue += std::to_string(track);
  cue += " AUDIO\n";
}

}  // namespace

std::string ComposeCueSheet(std::span<const ListLine> lines) {
  std::string cue;
  int track = 1;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const ListLine& line = lines[i];
    const bool is_file = line.kind == LineKind::kFile;
    if (!is_file && line.kind != LineKind::kSplit) continue;

    if (is_file) cue.append("FILE \"").append(line.text).append("\" WAVE\n");
    AppendTrack(cue, track++);
    if (i + 1 < lines.size() && lines[i + 1].kind == LineKind::kPregap) {
      cue.append("    PREGAP ").append(TimeText(lines[++i])).append("\n");
    }
    cue.append("    INDEX 01 ").append(is_file ? "00:00:00" : TimeText(line)).append("\n");
  }
  return cue;
}

}  // namespace pellorin

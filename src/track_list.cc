#include "track_list.h"

#include <cstdio>

#include "stdio_file.h"

namespace pellorin {

namespace {

constexpr std::string_view kLineEnds = "\r\n";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t kTimeTextStart = 2;

LineKind Classify(std::string_view line) {
  // A wave file name wins over a class letter: "Part2.wav" is a file.
  if (line.find(".WAV") != std::string_view::npos || line.find(".wav") != std::string_view::npos) {
    return LineKind::kFile;
  }
  if (line.starts_with('S')) return LineKind::kSplit;
  if (line.starts_with('P')) return LineKind::kPregap;
  return LineKind::kOther;
}

}  // namespace

std::optional<std::string> ReadListFile(const std::string& path) {
  FilePtr file = OpenFile(path, "rb");
  if (!file) return std::nullopt;
  std::string text;
  char chunk[1 << 16];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) text.append(chunk, got);
  if (std::ferror(file.get())) return std::nullopt;
  return text;
}

std::vector<ListLine> ParseTrackList(std::string_view list_text) {
  if (list_text.starts_with(kByteOrderMark)) list_text.remove_prefix(kByteOrderMark.size());
  list_text = list_text.substr(0, list_text.find('\0'));

  std::vector<ListLine> lines;
  std::size_t start = list_text.find_first_not_of(kLineEnds);
  while (start != std::string_view::npos && lines.size() < kMaxUsedLines) {
    std::size_t end = list_text.find_first_of(kLineEnds, start);
    std::string_view line = list_text.substr(start, end - start);
    LineKind kind = lines.empty() ? LineKind::kFile : Classify(line);
    lines.push_back({std::string(line), kind});
    start = list_text.find_first_not_of(kLineEnds, end);
  }
  return lines;
}

std::string_view TimeText(const ListLine& line) {
  std::string_view text = line.text;
  return text.size() > kTimeTextStart ? text.substr(kTimeTextStart) : std::string_view();
}

const ListLine* FindLineWithoutTime(std::span<const ListLine> lines) {
  for (const ListLine& line : lines) {
    bool needs_time = line.kind == LineKind::kSplit || line.kind == LineKind::kPregap;
    if (needs_time && TimeText(line).empty()) return &line;
  }
  return nullptr;
}

}  // namespace pellorin

#include "track_list.h"

#include <cstddef>
#include <memory>
#include <utility>

namespace pellorin {

namespace {

// A NUL byte ends the list as well as the line it stands in.
constexpr std::string_view kLineEnds("\r\n\0", 3);
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

// Collects the lines of a list whose text arrives in pieces, holding no more
// of it than the line being read.
class LineCollector {
 public:
  explicit LineCollector(std::size_t most) : most_(most) {}

  // Takes the next piece of the list; false once the list is complete and
  // nothing more of it needs reading.
  bool Add(std::string_view piece) {
    while (!complete_) {
      const std::size_t end = piece.find_first_of(kLineEnds);
      partial_.append(piece.substr(0, end));
      if (end == std::string_view::npos) break;
      complete_ = piece[end] == '\0';
      EndLine();
      piece.remove_prefix(end + 1);
    }
    return !complete_;
  }

  std::vector<ListLine> Finish() && {
    EndLine();
    return std::move(lines_);
  }

 private:
  void EndLine() {
    if (at_list_start_ && partial_.starts_with(kByteOrderMark)) {
      partial_.erase(0, kByteOrderMark.size());
    }
    at_list_start_ = false;
    if (partial_.empty()) return;  // a run of line ends is one boundary
    const LineKind kind = lines_.empty() ? LineKind::kFile : Classify(partial_);
    lines_.push_back({std::move(partial_), kind});
    partial_.clear();
    complete_ = complete_ || lines_.size() == most_;
  }

  std::size_t most_;
  std::vector<ListLine> lines_;
  std::string partial_;
  bool at_list_start_ = true;
  bool complete_ = false;
};

}  // namespace

std::vector<ListLine> ParseTrackList(std::string_view list_text, std::size_t most) {
  LineCollector collector(most);
  collector.Add(list_text);
  return std::move(collector).Finish();
}

std::optional<TrackList> ReadTrackList(const std::string& path, std::size_t most) {
  std::optional<OpenedFile> file = OpenInput(path);
  if (!file) return std::nullopt;
  LineCollector collector(most);
  constexpr std::size_t kChunk = 1 << 16;
  const auto storage = std::make_unique_for_overwrite<char[]>(kChunk);
  const std::span<char> chunk(storage.get(), kChunk);
  for (;;) {
    const std::optional<std::size_t> got = ReadSome(file->fd.get(), std::as_writable_bytes(chunk));
    if (!got) return std::nullopt;
    if (*got == 0 || !collector.Add({chunk.data(), *got})) break;
  }
  return TrackList{std::move(collector).Finish(), file->regular};
}

std::string_view TimeText(const ListLine& line) {
  std::string_view text = line.text;
  return text.size() > kTimeTextStart ? text.substr(kTimeTextStart) : std::string_view();
}

std::optional<std::string> FindListFault(std::span<const ListLine> lines) {
  for (const ListLine& line : lines) {
    const bool needs_time = line.kind == LineKind::kSplit || line.kind == LineKind::kPregap;
    if (needs_time && TimeText(line).empty()) {
      return "Missing time in track list line " + line.text + "\n";
    }
    if (line.kind == LineKind::kFile && line.text.find('"') != std::string::npos) {
      return "Double quote in file name in track list line " + line.text + "\n";
    }
  }
  return std::nullopt;
}

}  // namespace pellorin

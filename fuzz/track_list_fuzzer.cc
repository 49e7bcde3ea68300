// Feeds arbitrary bytes to the track list reader and the cue sheet composer,
// checking what every list, however malformed, must give.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "cue_sheet.h"
#include "track_list.h"

namespace {
void Require(bool condition) {
  if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pellorin;
  const std::string_view list(reinterpret_cast<const char*>(data), size);
  const std::vector<ListLine> lines = ParseTrackList(list);
  Require(lines.size() <= kMaxUsedLines);
  Require(lines.empty() || lines.front().kind == LineKind::kFile);
  for (const ListLine& line : lines) {
    Require(!line.text.empty());
    Require(line.text.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
  }
  FindLineWithoutTime(lines);
  const std::string cue = ComposeCueSheet(lines);
  Require(cue.empty() == lines.empty());
  Require(cue.empty() || cue.back() == '\n');
  return 0;
}

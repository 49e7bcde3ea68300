// Feeds arbitrary bytes to the track list reader and the cue sheet composer,
// checking what every list, however malformed, must give.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "cue_sheet.h"
#include "track_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pellorin;
  const auto lines = ParseTrackList({reinterpret_cast<const char*>(data), size});
  bool sound = lines.size() <= kMaxUsedLines;
  for (const ListLine& line : lines) {
    sound &= !line.text.empty() &&
             line.text.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
  }
  FindListFault(lines);
  const std::string cue = ComposeCueSheet(lines);
  sound &= cue.empty() == lines.empty() && (cue.empty() || cue.back() == '\n');
  if (!sound) __builtin_trap();
  return 0;
}

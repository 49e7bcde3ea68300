// The track list of an album joined into one wave file: the joined file's
// name, then a split line at the CD frame where each further file starts
// (the sample frames before it divided by 588, rounded to the nearest
// frame), each file's own split lines moved by its start, and each pregap
// line that gives a track its pregap kept behind that track.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "track_list.h"

namespace pellorin {

struct JoinedList {
  std::string text;   // the list, one line a line feed
  std::string fault;  // or the message for the first line that keeps it from being made
};

// The list for lines whose file lines name files of these lengths in sample
// frames, in order. A split or pregap time must be written mm:ss:ff; a split
// must start before the end of its file, and every track after the one
// before it.
JoinedList JoinTrackList(std::span<const ListLine> lines, std::span<const std::int64_t> frames,
                         std::string_view joined_name);

}  // namespace pellorin

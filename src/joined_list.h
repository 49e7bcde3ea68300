// The track list of an album joined into one wave file: the joined file's
// name, then a split line at the CD frame where each further file starts
// (the sample frames before it divided by 588, rounded to the nearest
// frame), each file's own split lines moved by its start, and each pregap
// line kept behind its track. The list says exactly what the user's list
// says, or is refused: pellorin reads it as it is written, so that both
// programs agree on every list they both take.
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

// The joined list for lines as ParseTrackList makes them (the first is a
// file line), whose file lines name files of these lengths in sample frames:
// one length for each file line, in order. Refused, naming the line:
// - more than kMaxUsedLines lines, whose last ones pellorin would leave out;
// - a line that pellorin would leave out but the user meant: a pregap line
//   not right behind a file or split line, or a wave file named in another
//   case than ".wav" or ".WAV";
// - a split or pregap time not written mm:ss:ff;
// - a track that would hold less than one whole CD frame of audio (for a
//   split, of its own file), or start no later than the track before it;
// - a start past 99:59:74.
JoinedList JoinTrackList(std::span<const ListLine> lines, std::span<const std::int64_t> frames,
                         std::string_view joined_name);

}  // namespace pellorin

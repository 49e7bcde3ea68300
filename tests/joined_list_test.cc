#include "joined_list.h"

#include <gtest/gtest.h>

#include <vector>

namespace pellorin {
namespace {

// Files of 100000, 130000 and 88300 sample frames, no whole CD frames: the
// second starts at 170.07 frames, the third at 391.16.
const std::vector<std::int64_t> kFrames = {100000, 130000, 88300};
const std::string kNotATime =
    "Time not written mm:ss:ff (seconds 00-59, frames 00-74) in track list line ";

TEST(JoinTrackListTest, StartsEveryTrackAtItsNearestFrame) {
  const struct {
    const char* list;
    std::string joined;
  } cases[] = {
      {"a.wav\nP 00:02:00\nb.wav\nS 00:01:00\nP 00:00:20\nc.wav",
       "j.wav\nP 00:02:00\nS 00:02:20\nS 00:03:20\nP 00:00:20\nS 00:05:16\n"},
      // Pregaps the cue sheet leaves out, and lines it ignores, go.
      {"a.wav\nnote\nP 00:09:00\nb.wav\nP 00:01:00\nP 00:07:00\nc.wav\np 00:03:00",
       "j.wav\nS 00:02:20\nP 00:01:00\nS 00:05:16\n"},
      {"a.wav\nS 00:02:19\nb.wav\nc.wav\nS 00:01:10",
       "j.wav\nS 00:02:19\nS 00:02:20\nS 00:05:16\nS 00:06:26\n"},
      {"a.wav\nSide B\nb.wav\nc.wav", kNotATime + "Side B\n"},
      {"a.wav\nb.wav\nP 00:00:75\nc.wav", kNotATime + "P 00:00:75\n"},
      {"a.wav\nS 1:10\nb.wav\nc.wav", kNotATime + "S 1:10\n"},
      {"a.wav\nS 00:60:00\nb.wav\nc.wav", kNotATime + "S 00:60:00\n"},
      // Frame 170 starts before a.wav ends, and b.wav starts there too.
      {"a.wav\nS 00:02:21\nb.wav\nc.wav",
       "Split past the end of its file in track list line S 00:02:21\n"},
      {"a.wav\nS 00:02:20\nb.wav\nc.wav", "Empty track before track list line b.wav\n"},
      {"a.wav\nb.wav\nS 00:00:00\nc.wav", "Empty track before track list line S 00:00:00\n"},
      {"a.wav\nS 00:01:00\nS 00:00:74\nb.wav\nc.wav",
       "Empty track before track list line S 00:00:74\n"},
  };
  for (const auto& c : cases) {
    const JoinedList joined = JoinTrackList(ParseTrackList(c.list), kFrames, "j.wav");
    EXPECT_EQ(joined.fault.empty() ? joined.text : joined.fault, c.joined) << c.list;
  }
  // A file shorter than half a CD frame starts where the next one does.
  const std::vector<std::int64_t> short_middle = {1000, 200, 1000};
  EXPECT_EQ(JoinTrackList(ParseTrackList("a.wav\nb.wav\nc.wav"), short_middle, "j.wav").fault,
            "Empty track before track list line c.wav\n");
}

}  // namespace
}  // namespace pellorin

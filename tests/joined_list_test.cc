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
const std::string kShort = "Track shorter than one CD frame in track list line ";

TEST(JoinTrackListTest, StartsEveryTrackAtItsNearestFrame) {
  const struct {
    const char* list;
    std::string joined;
    std::vector<std::int64_t> frames = kFrames;
  } cases[] = {
      {"a.wav\nP 00:02:00\nb.wav\nS 00:01:00\nP 00:00:20\nc.wav",
       "j.wav\nP 00:02:00\nS 00:02:20\nS 00:03:20\nP 00:00:20\nS 00:05:16\n"},
      // Lines the cue sheet ignores go; the pregap and the file it would
      // leave out unsaid are refused.
      {"a.wav\nnote\nb.wav\nP 00:01:00\nc.wav\np 00:03:00",
       "j.wav\nS 00:02:20\nP 00:01:00\nS 00:05:16\n"},
      {"a.wav\nnote\nP 00:09:00\nb.wav\nc.wav",
       "Pregap not right behind a file or split line in track list line P 00:09:00\n"},
      {"a.wav\nP 00:01:00\nP 00:07:00\nb.wav\nc.wav",
       "Pregap not right behind a file or split line in track list line P 00:07:00\n"},
      {"a.wav\nb.wav\nc.wav\nd.Wav", "Wave file not named .wav or .WAV in track list line d.Wav\n"},
      {"a.wav\nS 00:02:19\nb.wav\nc.wav\nS 00:01:10",
       "j.wav\nS 00:02:19\nS 00:02:20\nS 00:05:16\nS 00:06:26\n"},
      {"a.wav\nSide B\nb.wav\nc.wav", kNotATime + "Side B\n"},
      {"a.wav\nb.wav\nP 00:00:75\nc.wav", kNotATime + "P 00:00:75\n"},
      {"a.wav\nS 1:10\nb.wav\nc.wav", kNotATime + "S 1:10\n"},
      {"a.wav\nS 00:60:00\nb.wav\nc.wav", kNotATime + "S 00:60:00\n"},
      // A split in a file's last partial frame, or past it, holds no whole
      // frame of it.
      {"a.wav\nS 00:02:20\nb.wav\nc.wav",
       "Split past the end of its file in track list line S 00:02:20\n"},
      {"a.wav\nb.wav\nS 01:05:00",
       "Split past the end of its file in track list line S 01:05:00\n",
       {5880, 4875 * 588 + 176}},
      {"a.wav\nb.wav\nS 00:00:00\nc.wav", "Empty track before track list line S 00:00:00\n"},
      {"a.wav\nS 00:01:00\nS 00:00:74\nb.wav\nc.wav",
       "Empty track before track list line S 00:00:74\n"},
      // A file shorter than half a CD frame starts where the next one does;
      // at the end, any file of less than one.
      {"a.wav\nb.wav\nc.wav", kShort + "b.wav\n", {1000, 200, 1000}},
      {"a.wav\nz.wav", kShort + "z.wav\n", {5880, 0}},
      {"a.wav\nb.wav", kShort + "b.wav\n", {5600, 200}},
      {"a.wav\nb.wav", "j.wav\nS 99:59:74\n", {449999 * 588, 588}},
      {"a.wav\nb.wav", "Start past 99:59:74 in track list line b.wav\n", {450000 * 588, 588}},
  };
  for (const auto& c : cases) {
    const JoinedList joined = JoinTrackList(ParseTrackList(c.list), c.frames, "j.wav");
    EXPECT_EQ(joined.fault.empty() ? joined.text : joined.fault, c.joined) << c.list;
  }
}

}  // namespace
}  // namespace pellorin

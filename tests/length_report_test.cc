#include "length_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pellorin {
namespace {

TEST(TrackLengthTest, FollowsTheSinglePrecisionSteps) {
  const struct {
    std::int64_t rate, frames;
    const char* printed;
  } cases[] = {
      {44100, 6615000, "2:30:0"},
      {44100, 0, "0:0:0"},
      // Single precision lands just under a whole CD frame: exact arithmetic
      // prints 2:43:71 and 5:56:39.
      {44100, 7230048, "2:43:70"},
      {48000, 17112960, "5:56:38"},
      // Either side of a minute above 2^24 frames: never 7:-1 or 60 seconds.
      {44100, 18521999, "6:59:74"},
      {44100, 18522000, "7:0:0"},
      {48000, 34559999, "11:59:74"},
      {44100, 211679999, "79:59:74"},
      // Above 279 kHz single precision rounds these up to the whole minute,
      // which is cut back to its last CD frame. Lengths just below keep their
      // digits, though exact arithmetic prints 0:59:72 for both.
      {352800, 21167999, "0:59:74"},
      {352800, 42335999, "1:59:74"},
      {384000, 23039999, "0:59:74"},
      {352800, 21153888, "0:59:71"},
      {384000, 23029759, "0:59:73"},
      // Above 192 kHz a length can print a frame above the exact one, here
      // 0:47:41, 0:43:53, 0:23:58 and 0:21:63.
      {352800, 16779167, "0:47:42"},
      {384000, 16788479, "0:43:54"},
      {705600, 16783871, "0:23:59"},
      {768000, 16783359, "0:21:64"},
      // A second less one sample rounds up to 75 frames, cut back to 74.
      {1525207, 68634314, "0:44:74"},
      // Lengths no album has: from 2^24 minutes on, single precision cannot
      // hold the whole minutes, which are taken away exactly.
      {1, 1020962610, "17016043:30:0"},
      {1, 4294967295, "71582788:15:0"},
  };
  for (const auto& c : cases) {
    TrackLength l = ComputeTrackLength({c.rate, c.frames});
    EXPECT_EQ(std::to_string(l.minutes) + ":" + std::to_string(l.seconds) + ":" +
                  std::to_string(l.frames),
              c.printed)
        << c.frames << " at " << c.rate;
  }
}

TEST(TotalTimeTest, AddsUpInSinglePrecisionWithoutOverflow) {
  // 79:59:74 alone: within a millisecond of 80 minutes, which the total rounds to.
  const TotalTime near = ComputeTotalTime(std::vector<MeasuredFile>{{"x", {44100, 211679999}}});
  EXPECT_EQ(near.minutes, 80);
  EXPECT_EQ(near.seconds, 0);
  // 127 files of 2^32 - 1 bytes of 8-bit mono at 2000 Hz: minutes past 2^24
  // seconds, which single precision cannot hold.
  const TotalTime huge =
      ComputeTotalTime(std::vector<MeasuredFile>(127, {"x", {2000, 4294967295}}));
  EXPECT_EQ(huge.minutes, 4545509);
  EXPECT_EQ(huge.seconds, 52);
}

}  // namespace
}  // namespace pellorin

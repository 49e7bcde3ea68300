#include "length_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pellorin {
namespace {

struct LengthCase {
  std::int64_t sample_rate;
  std::int64_t frame_count;
  const char* printed;  // min:sec:frames
};

std::string Printed(const TrackLength& l) {
  return std::to_string(l.minutes) + ":" + std::to_string(l.seconds) + ":" +
         std::to_string(l.frames);
}

void PrintTo(const LengthCase& c, std::ostream* os) {
  *os << c.frame_count << " at " << c.sample_rate << " Hz";
}

class TrackLengthTest : public ::testing::TestWithParam<LengthCase> {};

TEST_P(TrackLengthTest, FollowsTheSinglePrecisionSteps) {
  const LengthCase& c = GetParam();
  EXPECT_EQ(Printed(ComputeTrackLength({c.sample_rate, c.frame_count})), c.printed);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, TrackLengthTest,
    ::testing::Values(
        LengthCase{44100, 10000000, "3:46:56"},
        // 7056 / 44100 lands just under 0.16 in single precision: 11 frames, not 12.
        LengthCase{44100, 8165556, "3:5:11"},  //
        LengthCase{48000, 2928000, "1:1:0"},   //
        LengthCase{44100, 6615000, "2:30:0"},  //
        LengthCase{44100, 0, "0:0:0"},
        // A few samples short of seven minutes: 6:59, never 7:-1.
        LengthCase{44100, 18521999, "6:59:74"},  //
        LengthCase{44100, 18522000, "7:0:0"},    //
        LengthCase{44100, 21167999, "7:59:74"},  //
        LengthCase{44100, 21168001, "8:0:0"},    //
        LengthCase{48000, 34559999, "11:59:74"},
        // Exact arithmetic prints one CD frame more for these: 2:43:71, 8:0:53, 5:56:39.
        LengthCase{44100, 7230048, "2:43:70"},  //
        LengthCase{44100, 21199164, "8:0:52"},  //
        LengthCase{48000, 17112960, "5:56:38"}));

TEST(TotalTimeTest, ExceedsThirtyTwoBitsWithoutOverflow) {
  // 128 files of 2^32 - 1 bytes of 8-bit mono at 1 Hz.
  std::vector<MeasuredFile> files(128, {"x", {1, 4294967295}});
  TotalTime total = ComputeTotalTime(files);
  EXPECT_GT(total.minutes, std::int64_t{1} << 32);
  EXPECT_GE(total.seconds, 0);
}

}  // namespace
}  // namespace pellorin

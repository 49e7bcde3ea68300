#include "cue_sheet.h"

#include <gtest/gtest.h>

#include <string>

#include "track_list.h"

namespace pellorin {
namespace {

std::string Compose(std::string_view list) { return ComposeCueSheet(ParseTrackList(list)); }

struct ComposeCase {
  const char* name;
  const char* list;
  const char* cue;
};

void PrintTo(const ComposeCase& c, std::ostream* os) { *os << c.name; }

class ComposeCueSheetTest : public ::testing::TestWithParam<ComposeCase> {};

TEST_P(ComposeCueSheetTest, Composes) { EXPECT_EQ(Compose(GetParam().list), GetParam().cue); }

INSTANTIATE_TEST_SUITE_P(
    Lists, ComposeCueSheetTest,
    ::testing::Values(
        ComposeCase{"Empty", "", ""},
        ComposeCase{"OneFile", "a.wav",
                    "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"},
        ComposeCase{"SecondPregapIgnored", "a.wav\nP 1\nP 2",
                    "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    PREGAP 1\n    INDEX 01 00:00:00\n"},
        ComposeCase{"PregapBehindOtherLineIgnored", "a.wav\nnote\nP 1\nS 2",
                    "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                    "  TRACK 02 AUDIO\n    INDEX 01 2\n"},
        ComposeCase{"TimeTextCopiedVerbatim", "my song.wav\nS-not a time \nPxthree",
                    "FILE \"my song.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                    "  TRACK 02 AUDIO\n    PREGAP three\n    INDEX 01 not a time \n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ComposeCueSheetTest, NumbersTracksAcrossTheSheet) {
  std::string list = "a.wav\n";
  for (int i = 2; i <= 120; ++i) list += "S 00:00:" + std::to_string(i) + "\n";
  std::string cue = Compose(list);
  for (const char* track : {"TRACK 01 AUDIO", "TRACK 09 AUDIO", "TRACK 10 AUDIO", "TRACK 99 AUDIO",
                            "TRACK 100 AUDIO", "TRACK 120 AUDIO"}) {
    EXPECT_NE(cue.find(track), std::string::npos) << track;
  }
  EXPECT_EQ(cue.find("TRACK 121"), std::string::npos);
}

}  // namespace
}  // namespace pellorin

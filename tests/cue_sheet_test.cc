#include "cue_sheet.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "track_list.h"

namespace pellorin {
namespace {

std::string Compose(std::string_view list) { return ComposeCueSheet(ParseTrackList(list)); }

const std::string kTrack1 = "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n";

TEST(ComposeCueSheetTest, AttachesPregapsToTheTrackJustBefore) {
  const std::pair<const char*, std::string> cases[] = {
      {"", ""},
      {"a.wav", kTrack1 + "    INDEX 01 00:00:00\n"},
      {"a.wav\nP 1\nP 2", kTrack1 + "    PREGAP 1\n    INDEX 01 00:00:00\n"},
      {"a.wav\nno\"te\nP 1\nS 2\"\nPx3",
       kTrack1 + "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    PREGAP 3\n    INDEX 01 2\"\n"},
  };
  for (const auto& [list, cue] : cases) EXPECT_EQ(Compose(list), cue) << list;
}

TEST(ComposeCueSheetTest, NumbersTracksAcrossTheSheet) {
  std::string list = "a.wav\n";
  for (int i = 2; i <= 120; ++i) list += "S " + std::to_string(i) + "\n";
  const std::string cue = Compose(list);
  for (const char* track : {"TRACK 09 AUDIO\n    INDEX 01 9", "TRACK 10 AUDIO\n    INDEX 01 10",
                            "TRACK 100 AUDIO\n    INDEX 01 100", "TRACK 120 AUDIO"}) {
    EXPECT_NE(cue.find(track), std::string::npos) << track;
  }
}

}  // namespace
}  // namespace pellorin

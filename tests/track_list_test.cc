#include "track_list.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace pellorin {
namespace {

// The parsed lines as "F text|S text|P text|O text".
std::string Parsed(std::string_view list) {
  std::string out;
  for (const ListLine& line : ParseTrackList(list)) {
    out +=
        std::string(out.empty() ? "" : "|") + "FSPO"[static_cast<int>(line.kind)] + " " + line.text;
  }
  return out;
}

TEST(ParseTrackListTest, SplitsAndClassifies) {
  const char* mixed = "F a.wav|S S 03:25:40|P P 00:02:00|F B.WAV";
  const std::pair<std::string, std::string> cases[] = {
      {"\r\n\n\r\r", ""},
      {"a.wav\rS 03:25:40\rP 00:02:00\rB.WAV", mixed},
      {"\n\na.wav\r\n\r\n\nS 03:25:40\n\rP 00:02:00\n\n\nB.WAV\n\n", mixed},
      {"a\nPart2.wav\nP1.WAV\nSide.wav", "F a|F Part2.wav|F P1.WAV|F Side.wav"},
      {"a\nsong.Wav\ns 1\np 1\nS-1", "F a|O song.Wav|O s 1|O p 1|S S-1"},
      {" a.wav \n\tS 1", "F  a.wav |O \tS 1"},
      {std::string("a\nb\0c\n", 6), "F a|O b"},  // a NUL ends the list
      {"\xEF\xBB\xBF\na\n\xEF\xBB\xBF", "F a|O \xEF\xBB\xBF"},
  };
  for (const auto& [list, parsed] : cases) EXPECT_EQ(Parsed(list), parsed) << list;
}

TEST(FindListFaultTest, ReportsTheFirstLineNoSheetCanBeMadeFrom) {
  const std::pair<const char*, const char*> cases[] = {
      {"a.wav\nS 1\"\nnote \"x\"", ""},  // quotes are harmless outside file names
      // The first line no sheet can be made from.
      {"a.wav\nb\".wav\nSx", "Double quote in file name in track list line b\".wav\n"},
  };
  for (const auto& [list, fault] : cases) {
    EXPECT_EQ(FindListFault(ParseTrackList(list)).value_or(""), fault) << list;
  }
}

}  // namespace
}  // namespace pellorin

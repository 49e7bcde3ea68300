#include "track_list.h"

#include <gtest/gtest.h>

#include <string>

namespace pellorin {
namespace {

// The parsed lines as "F text|S text|P text|O text".
std::string Parsed(std::string_view list) {
  std::string out;
  for (const ListLine& line : ParseTrackList(list)) {
    if (!out.empty()) out += '|';
    out += "FSPO"[static_cast<int>(line.kind)];
    out += ' ' + line.text;
  }
  return out;
}

struct ParseCase {
  const char* name;
  std::string list;
  const char* parsed;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.name; }

class ParseTrackListTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseTrackListTest, Classifies) { EXPECT_EQ(Parsed(GetParam().list), GetParam().parsed); }

constexpr const char* kMixed = "F a.wav|S S 03:25:40|P P 00:02:00|F B.WAV";

INSTANTIATE_TEST_SUITE_P(
    Lists, ParseTrackListTest,
    ::testing::Values(
        ParseCase{"Empty", "", ""}, ParseCase{"OnlyLineEnds", "\r\n\n\r\r", ""},
        ParseCase{"Lf", "a.wav\nS 03:25:40\nP 00:02:00\nB.WAV\n", kMixed},
        ParseCase{"CrLf", "a.wav\r\nS 03:25:40\r\nP 00:02:00\r\nB.WAV\r\n", kMixed},
        ParseCase{"Cr", "a.wav\rS 03:25:40\rP 00:02:00\rB.WAV", kMixed},
        ParseCase{"BlankLines", "\n\na.wav\r\n\r\n\nS 03:25:40\n\rP 00:02:00\n\n\nB.WAV\n\n",
                  kMixed},
        ParseCase{"FirstLineIsAlwaysAFile", "S 01:00:00\nx", "F S 01:00:00|O x"},
        ParseCase{"WaveNameWinsOverLetter", "a.wav\nPart2.wav\nP1.WAV\nSide.wav",
                  "F a.wav|F Part2.wav|F P1.WAV|F Side.wav"},
        ParseCase{"CaseMatters", "a.wav\nsong.Wav\ns 03:25:40\np 1\nS-03:25:40",
                  "F a.wav|O song.Wav|O s 03:25:40|O p 1|S S-03:25:40"},
        ParseCase{"BlanksKept", " a.wav \n\tS 1", "F  a.wav |O \tS 1"},
        ParseCase{"NulEndsList", std::string("a.wav\nb.wav\0c.wav\n", 18), "F a.wav|F b.wav"},
        ParseCase{"ByteOrderMarkDropped",
                  "\xEF\xBB\xBF"
                  "a.wav\n\xEF\xBB\xBF"
                  "b.wav",
                  "F a.wav|F \xEF\xBB\xBF"
                  "b.wav"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParseTrackListTest, UsesOnlyTheFirst128Lines) {
  std::string list;
  for (int i = 0; i < 130; ++i) list += "t" + std::to_string(i) + ".wav\n\n";
  auto lines = ParseTrackList(list);
  ASSERT_EQ(lines.size(), kMaxUsedLines);
  EXPECT_EQ(lines.back().text, "t127.wav");
}

}  // namespace
}  // namespace pellorin

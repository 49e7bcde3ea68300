#include "track_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pellorin {
namespace {

using K = LineKind;

struct Expected {
  std::string text;
  LineKind kind;
};

std::vector<Expected> Parse(std::string_view list) {
  std::vector<Expected> got;
  for (const ListLine& line : ParseTrackList(list)) got.push_back({line.text, line.kind});
  return got;
}

bool operator==(const Expected& a, const Expected& b) {
  return a.text == b.text && a.kind == b.kind;
}

void PrintTo(const Expected& e, std::ostream* os) {
  *os << "{\"" << e.text << "\", " << static_cast<int>(e.kind) << "}";
}

struct ParseCase {
  const char* name;
  std::string list;
  std::vector<Expected> lines;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.name; }

class ParseTrackListTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseTrackListTest, Classifies) { EXPECT_EQ(Parse(GetParam().list), GetParam().lines); }

const std::vector<Expected> kMixed = {{"a.wav", K::kFile},
                                      {"S 03:25:40", K::kSplit},
                                      {"P 00:02:00", K::kPregap},
                                      {"B.WAV", K::kFile}};

INSTANTIATE_TEST_SUITE_P(
    Lists, ParseTrackListTest,
    ::testing::Values(
        ParseCase{"Empty", "", {}}, ParseCase{"OnlyLineEnds", "\r\n\n\r\r", {}},
        ParseCase{"Lf", "a.wav\nS 03:25:40\nP 00:02:00\nB.WAV\n", kMixed},
        ParseCase{"CrLf", "a.wav\r\nS 03:25:40\r\nP 00:02:00\r\nB.WAV\r\n", kMixed},
        ParseCase{"Cr", "a.wav\rS 03:25:40\rP 00:02:00\rB.WAV", kMixed},
        ParseCase{"BlankLines", "\n\na.wav\r\n\r\n\nS 03:25:40\n\rP 00:02:00\n\n\nB.WAV\n\n",
                  kMixed},
        ParseCase{"FirstLineIsAlwaysAFile",
                  "S 01:00:00\nx",
                  {{"S 01:00:00", K::kFile}, {"x", K::kOther}}},
        ParseCase{"WaveNameWinsOverLetter",
                  "a.wav\nPart2.wav\nP1.WAV\nSide.wav",
                  {{"a.wav", K::kFile},
                   {"Part2.wav", K::kFile},
                   {"P1.WAV", K::kFile},
                   {"Side.wav", K::kFile}}},
        ParseCase{"CaseMatters",
                  "a.wav\nsong.Wav\ns 03:25:40\np 1\nS-03:25:40",
                  {{"a.wav", K::kFile},
                   {"song.Wav", K::kOther},
                   {"s 03:25:40", K::kOther},
                   {"p 1", K::kOther},
                   {"S-03:25:40", K::kSplit}}},
        ParseCase{"BlanksKept", " a.wav \n\tS 1", {{" a.wav ", K::kFile}, {"\tS 1", K::kOther}}},
        ParseCase{"NulEndsList",
                  std::string("a.wav\nb.wav\0c.wav\n", 18),
                  {{"a.wav", K::kFile}, {"b.wav", K::kFile}}},
        ParseCase{"ByteOrderMarkDropped",
                  "\xEF\xBB\xBF"
                  "a.wav\n\xEF\xBB\xBF"
                  "b.wav",
                  {{"a.wav", K::kFile},
                   {"\xEF\xBB\xBF"
                    "b.wav",
                    K::kFile}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParseTrackListTest, UsesOnlyTheFirst128Lines) {
  std::string list;
  for (int i = 0; i < 130; ++i) list += "t" + std::to_string(i) + ".wav\n\n";
  auto lines = ParseTrackList(list);
  ASSERT_EQ(lines.size(), kMaxUsedLines);
  EXPECT_EQ(lines.back().text, "t127.wav");
}

TEST(ParseTrackListTest, LongLinesAreKeptWhole) {
  std::string name(100000, 'x');
  auto lines = ParseTrackList("a.wav\n" + name + ".wav\n");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].text, name + ".wav");
}

TEST(TimeTextTest, SkipsLetterAndOneSeparator) {
  auto lines = ParseTrackList("a.wav\nS 03:25:40\nS-03:25:40\nP  1\nS\nP \nSxy");
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(TimeText(lines[1]), "03:25:40");
  EXPECT_EQ(TimeText(lines[2]), "03:25:40");
  EXPECT_EQ(TimeText(lines[3]), " 1");
  EXPECT_EQ(TimeText(lines[4]), "");
  EXPECT_EQ(TimeText(lines[5]), "");
  EXPECT_EQ(TimeText(lines[6]), "y");
}

TEST(FindLineWithoutTimeTest, ReportsTheFirstShortSplitOrPregap) {
  auto complete = ParseTrackList("S\nP 1\nS 2\nxy\n");  // the first line is a file name
  EXPECT_EQ(FindLineWithoutTime(complete), nullptr);
  auto lines = ParseTrackList("a.wav\nS 1\nq\nP \nS\n");
  const ListLine* missing = FindLineWithoutTime(lines);
  ASSERT_NE(missing, nullptr);
  EXPECT_EQ(missing->text, "P ");
}

}  // namespace
}  // namespace pellorin

// The track list: the user's text file naming wave files in playing order,
// with split lines ("S <time>") and pregap lines ("P <time>") between them.
// Reading it yields the classified lines that every later stage walks.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pellorin {

enum class LineKind { kFile, kSplit, kPregap, kOther };

struct ListLine {
  std::string text;
  LineKind kind;
};

// Lines beyond this many non-empty ones are ignored.
inline constexpr std::size_t kMaxUsedLines = 128;

// The whole file, or nothing when it cannot be opened or read (a directory,
// for instance).
std::optional<std::string> ReadListFile(const std::string& path);

// Cuts the raw list text into lines at runs of CR and LF and classifies the
// first kMaxUsedLines of them. The first line always names a file. A NUL byte
// ends the list; a leading UTF-8 byte order mark is dropped.
std::vector<ListLine> ParseTrackList(std::string_view list_text);

// A split line's start time or a pregap line's length: the text from its third
// character on (the class letter and one separator are skipped). Empty when
// the line is too short to carry one.
std::string_view TimeText(const ListLine& line);

// The first split or pregap line that has no time text, or nullptr.
const ListLine* FindLineWithoutTime(std::span<const ListLine> lines);

}  // namespace pellorin

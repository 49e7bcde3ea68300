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

#include "file_io.h"

namespace pellorin {

enum class LineKind { kFile, kSplit, kPregap, kOther };

struct ListLine {
  std::string text;
  LineKind kind;
};

// Lines beyond this many non-empty ones are ignored.
inline constexpr std::size_t kMaxUsedLines = 128;

// Cuts list text into lines at runs of CR and LF and classifies the first
// most of them. The first line always names a file. A NUL byte ends the
// list; a UTF-8 byte order mark at its very start is dropped.
std::vector<ListLine> ParseTrackList(std::string_view list_text, std::size_t most = kMaxUsedLines);

struct TrackList {
  std::vector<ListLine> lines;
  std::optional<FileId> file;  // the regular file it was read from, if it was one
};

// Reads and parses the list file at path, up to most lines, or nothing when
// it cannot be opened or read (a directory, for instance). Reading stops
// where the list ends: at its end of file, at a NUL byte or behind its last
// used line, so an endless stream is no problem, and a list typed at a
// terminal ends at the first end-of-file.
std::optional<TrackList> ReadTrackList(const std::string& path, std::size_t most = kMaxUsedLines);

// A split line's start time or a pregap line's length: the text from its third
// character on (the class letter and one separator are skipped). Empty when
// the line is too short to carry one.
std::string_view TimeText(const ListLine& line);

// The message for the first line that no usable cue sheet can be made from: a
// split or pregap line without a time, or a file name holding a double quote,
// which a cue sheet has no way to write. Nothing when every line is usable.
std::optional<std::string> FindListFault(std::span<const ListLine> lines);

}  // namespace pellorin

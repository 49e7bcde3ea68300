// Where the cue sheet's name leads. The kernel resolves the directory part
// of the name, under its own rules for links; the chain of links at the last
// part is walked here, one link at a time, so that the file at its end can
// be replaced and the links stay. The walk must end where the kernel's own
// lookup of the name ends, so a link that the kernel would not follow (such
// as another user's in a sticky directory, where fs.protected_symlinks is
// set) leads the sheet nowhere either.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>

#include "file_io.h"

namespace pellorin {

struct SheetPlace {
  UniqueFd directory;  // where the entry is, opened with O_PATH
  std::string entry;   // the name there: the last part of the name, or of the last link
  std::optional<struct stat> found;  // what the entry is now; nothing when it is free
  UniqueFd file;                     // what was found, opened with O_PATH
  // Whether found is what a link of /proc leads to that has no path of its
  // own (a pipe, a terminal): entry is that link, and is written through.
  bool through_link = false;
};

// Looks the name up into place; empty, or why the name leads nowhere a sheet
// can be put: the system's text for the lookup that failed, or one of the
// program's own reasons.
std::string LookUpSheet(const std::string& name, SheetPlace& place);

inline constexpr const char* kIsDirectory = "it is a directory";
inline constexpr const char* kLeadsElsewhere =
    "its link leads elsewhere than the kernel's lookup of it";

}  // namespace pellorin

// Where the cue sheet's name leads. The kernel resolves the directory part
// of the name, under its own rules for links; the chain of links at the last
// part is walked here, one link at a time, so that the file at its end can
// be replaced and the links stay. Each link is followed only where the
// kernel's rule allows it (not another user's in a sticky directory, where
// fs.protected_symlinks is set), applied to that very link held open, and
// the walk must end where the kernel's own lookup of the name ends: at
// nothing where it found nothing, at the same file where it found one. So
// a sheet is made or replaced only where the kernel would follow the name,
// decided before anything is made.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>

#include "file_io.h"

namespace pellorin {

struct SheetPlace {
  UniqueFd directory;  // where the entry is, opened with O_PATH
  std::string entry;   // the name there: the last part of the name, or of the last link
  // What the name leads to now; nothing when the entry is free. Anything but
  // a regular file is where the kernel's lookup of the name ends, and the
  // entry is then of no use.
  std::optional<struct stat> found;
  UniqueFd file;  // what was found, opened with O_PATH
};

// Looks the name up into place; empty, or why the name leads nowhere a sheet
// can be put: the system's text for the lookup that failed, or one of the
// program's own reasons.
std::string LookUpSheet(const std::string& name, SheetPlace& place);

inline constexpr const char* kIsDirectory = "it is a directory";
inline constexpr const char* kLeadsElsewhere =
    "its link leads elsewhere than the kernel's lookup of it";

}  // namespace pellorin

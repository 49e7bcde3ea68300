// Putting a finished cue sheet where the user asked for it: an existing sheet
// is replaced whole or not at all, never by a half-written one, and never is
// a file that the run read written over.
#pragma once

#include <ostream>
#include <span>
#include <string>
#include <string_view>

namespace pellorin {

// Writes text as the cue sheet called name; false if nothing was written.
//
// A regular file, a name not taken yet, or a symbolic link ending at either
// gets a new file, written in full beside the link's final target and renamed
// over it; it keeps the permission bits of the sheet it replaces. A device,
// FIFO or socket is written directly. When name leads to the file behind
// file descriptor 1, the sheet goes through standard_output, which must write
// to that descriptor. A directory, a block device, and any of the files named
// by inputs (the ones the run read) are refused.
bool WriteSheetFile(const std::string& name, std::string_view text,
                    std::span<const std::string> inputs, std::ostream& standard_output);

}  // namespace pellorin

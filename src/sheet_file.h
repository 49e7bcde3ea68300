// Putting a finished cue sheet where the user asked for it: an existing sheet
// is replaced whole or not at all, never by a half-written one, and never is
// a file that the run read written over.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "file_io.h"

namespace pellorin {

// Writes text as the cue sheet called name; empty when it did, else why
// nothing was written, in words for the user. What the name leads to
// decides:
// - a regular file, a name not taken yet, or a chain of links ending at either
//   gets a new file, written in full beside the chain's end and put in its
//   place. A new sheet never takes the place of a file that appeared
//   meanwhile. One that replaces a sheet is given the old sheet's owner,
//   group, access ACL and permission bits where it can be, and gives no one
//   but the runner more than the old sheet did, or nothing is written; a
//   sheet that is new gets what any new file gets.
// - the file behind the descriptor standard_output gets the sheet through
//   that descriptor, after what was printed before.
// - a character device or FIFO is written directly, through the name.
// - a directory, block device or socket, and any regular file among inputs
//   (the ones the run read), are refused.
std::string WriteSheetFile(const std::string& name, std::string_view text,
                           std::span<const FileId> inputs, int standard_output);

}  // namespace pellorin

// The cue sheet: the track layout that CD-writing software reads, composed
// from the track list alone and written so that an existing sheet is replaced
// whole or not at all.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "track_list.h"

namespace pellorin {

// FILE, TRACK, PREGAP and INDEX lines for the list. Every file line opens a
// file with a track at its start, every split line a further track in the
// current file; a pregap line right behind either gives that track a pregap.
std::string ComposeCueSheet(std::span<const ListLine> lines);

// Writes the text to path; false if it could not be written in full.
// A missing or regular file is replaced through a temporary file beside it,
// so a failed write leaves the old sheet as it was. A symbolic link, device or
// FIFO is written directly, after whatever this process already printed.
bool WriteCueSheet(const std::string& path, std::string_view text);

}  // namespace pellorin

// The cue sheet: the track layout that CD-writing software reads, composed
// from the track list alone.
#pragma once

#include <span>
#include <string>

#include "track_list.h"

namespace pellorin {

// FILE, TRACK, PREGAP and INDEX lines for the list. Every file line opens a
// file with a track at its start, every split line a further track in the
// current file; a pregap line right behind either gives that track a pregap.
std::string ComposeCueSheet(std::span<const ListLine> lines);

}  // namespace pellorin

// The joining run, for burners that take a cue sheet of one wave file only:
// reads a track list, measures every listed file, which must be CD audio,
// and makes a new directory holding joined.wav, all their samples one after
// another, and its track list, tlist.txt, in which pellorin then writes the
// sheet of one file. The directory appears whole or not at all.
#pragma once

#include <span>
#include <string>

namespace pellorin {

// args are the command-line arguments after the program name, the list and
// the directory; everything the run prints goes to the descriptor out, and
// where that is a terminal, how far the copying is. Returns the exit status.
int RunJoin(std::span<const std::string> args, int out);

}  // namespace pellorin

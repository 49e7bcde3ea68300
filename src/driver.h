// The run: picks the track list and the cue sheet name from the command line,
// then reads the list, measures every listed wave file, prints the lengths
// report and writes the cue sheet, in that order. The first failure ends the
// run with its message before anything is written.
#pragma once

#include <span>
#include <string>

namespace pellorin {

// args are the command-line arguments after the program name; everything the
// run prints goes to the descriptor out, and so does a cue sheet named after
// the file behind it. Returns the exit status.
int Run(std::span<const std::string> args, int out);

}  // namespace pellorin

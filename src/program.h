// What each of the project's programs does around its run: it starts with
// descriptors 0 to 2 safe to use, lets writes fail rather than end it, says
// "Out of memory" where it runs out, and ends with one of three statuses.
#pragma once

#include <span>
#include <string>

namespace pellorin {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitHelp = 1;
inline constexpr int kExitFailure = 2;

// A run: given the command-line arguments after the program name and the
// descriptor everything it prints goes to, returns the exit status.
using RunFunction = int (*)(std::span<const std::string> args, int out);

// main's work: runs run on the command line, printing to standard output.
int RunProgram(int argc, char** argv, RunFunction run);

}  // namespace pellorin

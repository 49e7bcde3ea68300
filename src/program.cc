#include "program.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <new>
#include <vector>

#include "file_io.h"
#include "signal_cleanup.h"

namespace pellorin {

namespace {

// Running out of memory ends the run at once, rather than by an exception:
// where memory is that short, the C++ runtime may have none left to make
// the exception with, and would end the run by abort. The clean-up a signal
// would do comes first.
void OutOfMemory() {
  CleanUpNow();
  WriteAll(STDOUT_FILENO, "Out of memory\n");
  _exit(kExitFailure);
}

}  // namespace

int RunProgram(int argc, char** argv, RunFunction run) {
  // A closed descriptor 0 or 2 would be the next one the run opens, so that
  // reading standard input, or a message of the C library, would reach a
  // file of the run's. With standard output closed, the run has nowhere to
  // say anything.
  for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    if (fcntl(fd, F_GETFD) < 0 && (fd == STDOUT_FILENO || open("/dev/null", O_RDWR) != fd)) {
      return kExitFailure;
    }
  }
  // Failed writes are reported like any other failure rather than ending the
  // run halfway: past a file-size limit, and into a pipe nobody reads.
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
  std::set_new_handler(OutOfMemory);
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  return run(args, STDOUT_FILENO);
}

}  // namespace pellorin

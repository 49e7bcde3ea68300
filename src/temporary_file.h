// A temporary file that cleans up after itself: made in the directory of the
// file it is to become, without a name or under a random hidden one, it is
// gone again unless it is put in place, also when a signal ends the run.
#pragma once

#include <sys/types.h>

#include <string>

#include "file_io.h"
#include "signal_cleanup.h"

namespace pellorin {

// A new file in directory, gone again unless it is put in place, also when a
// signal ends the run; the signals that no handler can catch wait until it is
// gone. It is made with the permission bits of mode, which the kernel narrows
// by the umask or the directory's default ACL, as for any new file.
//
// Where the file system can make a file without a name (O_TMPFILE) and /proc
// lets it be linked, the file gets a name only as it is put in place: its
// own name where that is new, or a hidden random one just before the rename
// over an old file. Elsewhere it has the hidden name from the start, unless
// unnamed_only: then no file is made, and errno is 0.
//
// Every other call that fails leaves errno as the system call that failed
// set it.
class TemporaryFile {
 public:
  TemporaryFile(int directory, mode_t mode, bool unnamed_only = false);
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // -1 when the file could not be made.
  int fd() const { return fd_.get(); }

  // Gives the file the name entry in its directory, where no file has it
  // yet: should one have taken it meanwhile, false. Only where the file
  // system can neither rename without replacing nor make a hard link is a
  // file named from the start renamed to entry whatever entry is, as by
  // MoveTo. False also if closing the file fails.
  bool LinkAs(const std::string& entry);

  // Puts the file in place of entry in its directory, whatever entry is;
  // false if it cannot, or if closing the file fails.
  bool MoveTo(const std::string& entry);

 private:
  bool Name();
  void Forget();

  SignalsHeld library_signals_{kLibrarySignals};
  Removal name_;
  UniqueFd fd_;
  bool named_ = false;  // whether name_ is in the directory now
};

}  // namespace pellorin

// A temporary file that cleans up after itself: made in the directory of the
// file it is to become, without a name or under a random hidden one, it is
// gone again unless it is put in place, also when a signal ends the run.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "file_io.h"

namespace pellorin {

// A signal set as the kernel takes it, a bit for each of its 64 signals. The
// C library's sigset_t is larger, and its calls would neither block nor keep
// blocked the signals it reserves for its threads.
using KernelSignals = std::uint64_t;
static_assert(NSIG - 1 <= 64);
inline constexpr KernelSignals kAllSignals = ~KernelSignals{0};

// The real-time signals the C library reserves for its threads (32 and 33 on
// Linux): no handler can be installed for them, yet they end a process.
inline constexpr KernelSignals kLibrarySignals = KernelSignals{3} << 31;

// Holds signals back while it lives: by default all of them, so that the
// temporary file and what the handler knows of it change together.
class SignalsHeld {
 public:
  explicit SignalsHeld(KernelSignals mask = kAllSignals);
  ~SignalsHeld();
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  KernelSignals saved_;
};

// While it lives, every signal that would end the run removes the temporary
// file first. A signal the caller chose to ignore stays ignored.
class CleanupOnSignals {
 public:
  CleanupOnSignals();
  ~CleanupOnSignals();
  CleanupOnSignals(const CleanupOnSignals&) = delete;
  CleanupOnSignals& operator=(const CleanupOnSignals&) = delete;

 private:
  std::vector<std::pair<int, struct sigaction>> saved_;
};

// A temporary file is named ".pellorin-" and six random letters and digits,
// short enough to fit wherever the name it becomes fits.
constexpr std::string_view kTemporaryPrefix = ".pellorin-";
constexpr std::size_t kRandomLetters = 6;

// Where the temporary file is, in a form a signal handler can use.
struct TemporaryName {
  int directory = -1;
  char name[kTemporaryPrefix.size() + kRandomLetters + 1] = {};
};

// A new file in directory, gone again unless it is put in place, also when a
// signal ends the run; the signals that no handler can catch wait until it is
// gone. It is made with the permission bits of mode, which the kernel narrows
// by the umask or the directory's default ACL, as for any new file.
//
// Where the file system can make a file without a name (O_TMPFILE) and /proc
// lets it be linked, the file gets a name only as it is put in place: its
// own name where that is new, or a hidden random one just before the rename
// over an old file. Elsewhere it has the hidden name from the start, unless
// unnamed_only: then no file is made.
//
// Every call that fails leaves errno as the system call that failed set it.
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
  // system can neither rename without replacing nor link is a file named
  // from the start renamed to entry whatever entry is, as by MoveTo. False
  // also if closing the file fails.
  bool LinkAs(const std::string& entry);

  // Puts the file in place of entry in its directory, whatever entry is;
  // false if it cannot, or if closing the file fails.
  bool MoveTo(const std::string& entry);

 private:
  bool Name();

  CleanupOnSignals cleanup_;
  SignalsHeld library_signals_{kLibrarySignals};
  TemporaryName name_;
  UniqueFd fd_;
  bool named_ = false;  // whether name_ is in the directory now
};

}  // namespace pellorin

#include "temporary_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/random.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <iterator>
#include <span>

namespace pellorin {

namespace {

// The temporary file while it exists. A signal handler can reach nothing
// else, so this is the one piece of process-wide state.
std::atomic<const TemporaryName*> temporary_name{nullptr};
static_assert(std::atomic<const TemporaryName*>::is_always_lock_free);

extern "C" void RemoveTemporaryAndReraise(int signal) {
  const TemporaryName* temporary = temporary_name.load();
  if (temporary != nullptr) unlinkat(temporary->directory, temporary->name, 0);
  // The handler reset itself on entry, so the signal's own action ends the
  // run once it returns, and the caller sees which signal it was.
  raise(signal);
}

// Whether a signal ends a process unless it is caught, and can be caught.
bool EndsTheRun(int signal) {
  constexpr int kHarmless[] = {SIGKILL, SIGSTOP, SIGCHLD, SIGURG, SIGWINCH,
                               SIGCONT, SIGTSTP, SIGTTIN, SIGTTOU};
  return std::ranges::find(kHarmless, signal) == std::end(kHarmless);
}

KernelSignals SetSignalMask(int how, KernelSignals mask) {
  KernelSignals old = 0;
  syscall(SYS_rt_sigprocmask, how, &mask, &old, sizeof mask);
  return old;
}

// Random letters and digits for a new name, as mkstemp picks them.
void Randomize(std::span<char> letters, unsigned attempt) {
  static constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  // Before the kernel's generator is ready, names that differ will do: a
  // name taken is tried again.
  std::uint64_t bits = (static_cast<std::uint64_t>(getpid()) << 32) + attempt * 7919;
  [[maybe_unused]] const ssize_t got = getrandom(&bits, sizeof bits, GRND_NONBLOCK);
  for (char& letter : letters) {
    letter = kAlphabet[static_cast<std::size_t>(bits % kAlphabet.size())];
    bits /= kAlphabet.size();
  }
}

// Picks random letters for name until make, which makes something under it,
// succeeds, or fails for another reason than that the name is taken.
template <typename Make>
bool WithRandomName(TemporaryName& name, Make make) {
  const std::span letters = std::span(name.name).subspan(kTemporaryPrefix.size(), kRandomLetters);
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    Randomize(letters, attempt);
    if (make()) return true;
    if (errno != EEXIST) break;
  }
  return false;
}

// Errors that a file system reports only when the file is closed, such as a
// write that failed late, come out when any descriptor of it is closed.
bool Flushed(int fd) {
  UniqueFd duplicate(fcntl(fd, F_DUPFD_CLOEXEC, 0));
  return duplicate && duplicate.Close();
}

}  // namespace

SignalsHeld::SignalsHeld(KernelSignals mask) : saved_(SetSignalMask(SIG_BLOCK, mask)) {}

SignalsHeld::~SignalsHeld() { SetSignalMask(SIG_SETMASK, saved_); }

CleanupOnSignals::CleanupOnSignals() {
  saved_.reserve(static_cast<std::size_t>(SIGRTMAX));
  struct sigaction cleanup = {};
  cleanup.sa_handler = RemoveTemporaryAndReraise;
  cleanup.sa_flags = static_cast<int>(SA_RESETHAND);
  sigfillset(&cleanup.sa_mask);
  SignalsHeld held;
  for (int signal = 1; signal <= SIGRTMAX; ++signal) {
    struct sigaction old;
    // The C library keeps two real-time signals to itself and refuses them.
    if (!EndsTheRun(signal) || sigaction(signal, &cleanup, &old) != 0) continue;
    if (old.sa_handler == SIG_IGN) {
      sigaction(signal, &old, nullptr);
    } else {
      saved_.emplace_back(signal, old);
    }
  }
}

CleanupOnSignals::~CleanupOnSignals() {
  for (const auto& [signal, old] : saved_) sigaction(signal, &old, nullptr);
}

TemporaryFile::TemporaryFile(int directory, mode_t mode, bool unnamed_only) {
  name_.directory = directory;
  std::ranges::copy(kTemporaryPrefix, name_.name);
  // An unnamed file can be linked through /proc only.
  if (faccessat(AT_FDCWD, "/proc/self/fd", X_OK, 0) == 0) {
    fd_ = UniqueFd(openat(directory, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
    if (fd_) return;
  }
  if (unnamed_only) return;
  SignalsHeld held;
  named_ = WithRandomName(name_, [&] {
    fd_ = UniqueFd(
        openat(directory, name_.name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    return static_cast<bool>(fd_);
  });
  if (named_) temporary_name = &name_;
}

TemporaryFile::~TemporaryFile() {
  SignalsHeld held;
  // Closed first: a file system in user space keeps a file that is removed
  // while open under another hidden name.
  fd_.Close();
  if (named_) unlinkat(name_.directory, name_.name, 0);
  temporary_name = nullptr;
}

// Links the unnamed file under a new random name.
bool TemporaryFile::Name() {
  const std::string path = DescriptorPath(fd_.get());
  SignalsHeld held;
  named_ = WithRandomName(name_, [&] {
    return linkat(AT_FDCWD, path.c_str(), name_.directory, name_.name, AT_SYMLINK_FOLLOW) == 0;
  });
  if (named_) temporary_name = &name_;
  return named_;
}

bool TemporaryFile::LinkAs(const std::string& entry) {
  const int directory = name_.directory;
  if (!named_) {
    if (!Flushed(fd_.get()) || linkat(AT_FDCWD, DescriptorPath(fd_.get()).c_str(), directory,
                                      entry.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      return false;
    }
    // It is in place, and what closing could report has been reported.
    fd_.Close();
    return true;
  }
  if (!fd_.Close()) return false;
  SignalsHeld held;
  if (renameat2(directory, name_.name, directory, entry.c_str(), RENAME_NOREPLACE) == 0) {
    named_ = false;
    temporary_name = nullptr;
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) return false;
  // The hidden name goes with the temporary file.
  if (linkat(directory, name_.name, directory, entry.c_str(), 0) == 0) return true;
  if (errno != EPERM && errno != ENOSYS && errno != ENOTSUP) return false;
  return MoveTo(entry);
}

bool TemporaryFile::MoveTo(const std::string& entry) {
  if (!named_ && !(Flushed(fd_.get()) && Name())) return false;
  if (!fd_.Close()) return false;
  SignalsHeld held;
  if (renameat(name_.directory, name_.name, name_.directory, entry.c_str()) != 0) return false;
  named_ = false;
  temporary_name = nullptr;
  return true;
}

}  // namespace pellorin

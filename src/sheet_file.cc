#include "sheet_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <optional>
#include <utility>

namespace fs = std::filesystem;

namespace pellorin {

namespace {

// The signals that end a run from outside. None of them may leave a
// temporary sheet behind.
constexpr std::array kInterrupts = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// As many links as the system follows before it gives up.
constexpr int kMaxLinks = 40;

// The temporary sheet's name while it exists. A signal handler can reach
// nothing else, so this is the one piece of process-wide state.
std::atomic<const char*> temporary_name{nullptr};
static_assert(std::atomic<const char*>::is_always_lock_free);

extern "C" void RemoveTemporaryAndReraise(int interrupt) {
  if (const char* name = temporary_name.load()) unlink(name);
  // The signal's own action ends the run once this handler returns, so the
  // caller sees which signal it was.
  std::signal(interrupt, SIG_DFL);
  raise(interrupt);
}

// Holds interrupts back while it lives, so that the temporary file and what
// the handler knows of it change together.
class InterruptsHeld {
 public:
  InterruptsHeld() {
    sigset_t interrupts;
    sigemptyset(&interrupts);
    for (int interrupt : kInterrupts) sigaddset(&interrupts, interrupt);
    sigprocmask(SIG_BLOCK, &interrupts, &saved_);
  }
  ~InterruptsHeld() { sigprocmask(SIG_SETMASK, &saved_, nullptr); }
  InterruptsHeld(const InterruptsHeld&) = delete;
  InterruptsHeld& operator=(const InterruptsHeld&) = delete;

 private:
  sigset_t saved_;
};

// A new file with a short hidden name beside the sheet it is to become. It is
// removed again unless it is moved into place, also when an interrupt ends
// the run.
class TemporarySheet {
 public:
  explicit TemporarySheet(const fs::path& directory)
      : name_((directory / ".pellorin-XXXXXX").string()) {
    InterruptsHeld held;
    for (std::size_t i = 0; i < kInterrupts.size(); ++i) {
      sigaction(kInterrupts[i], nullptr, &saved_actions_[i]);
      // A signal the caller chose to ignore stays ignored.
      if (saved_actions_[i].sa_handler == SIG_IGN) continue;
      struct sigaction action = {};
      action.sa_handler = RemoveTemporaryAndReraise;
      sigaction(kInterrupts[i], &action, nullptr);
    }
    fd_ = mkstemp(name_.data());
    exists_ = fd_ >= 0;
    if (exists_) temporary_name = name_.c_str();
  }

  ~TemporarySheet() {
    InterruptsHeld held;
    if (fd_ >= 0) close(fd_);
    if (exists_) unlink(name_.c_str());
    temporary_name = nullptr;
    for (std::size_t i = 0; i < kInterrupts.size(); ++i) {
      sigaction(kInterrupts[i], &saved_actions_[i], nullptr);
    }
  }

  TemporarySheet(const TemporarySheet&) = delete;
  TemporarySheet& operator=(const TemporarySheet&) = delete;

  // -1 when the file could not be made.
  int fd() const { return fd_; }

  // Closes the file and renames it to target; false if either fails.
  bool MoveTo(const fs::path& target) {
    if (close(std::exchange(fd_, -1)) != 0) return false;
    InterruptsHeld held;
    if (rename(name_.c_str(), target.c_str()) != 0) return false;
    exists_ = false;
    temporary_name = nullptr;
    return true;
  }

 private:
  std::string name_;
  int fd_ = -1;
  bool exists_ = false;
  std::array<struct sigaction, kInterrupts.size()> saved_actions_;
};

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = write(fd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

bool ReplaceFile(const fs::path& target, mode_t mode, std::string_view text) {
  const fs::path directory = target.parent_path();
  TemporarySheet temporary(directory.empty() ? fs::path(".") : directory);
  return temporary.fd() >= 0 && WriteAll(temporary.fd(), text) &&
         fchmod(temporary.fd(), mode) == 0 && temporary.MoveTo(target);
}

bool WriteDirectly(const std::string& name, std::string_view text) {
  const int fd = open(name.c_str(), O_WRONLY | O_NOCTTY);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, text);
  return close(fd) == 0 && written;
}

// Where the chain of symbolic links that starts at path ends, whether a file
// is there or not. Replacing that file leaves every link in place.
std::optional<fs::path> FollowLinks(fs::path path) {
  for (int hop = 0; hop < kMaxLinks; ++hop) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(path, error))) return path;
    const fs::path target = fs::read_symlink(path, error);
    if (error) return std::nullopt;
    path = target.is_absolute() ? target : path.parent_path() / target;
  }
  return std::nullopt;
}

// What a file created now would get: what fopen would give it.
mode_t NewFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool IsAnyOf(const struct stat& file, std::span<const std::string> names) {
  return std::ranges::any_of(names, [&file](const std::string& name) {
    struct stat other;
    return stat(name.c_str(), &other) == 0 && SameFile(other, file);
  });
}

}  // namespace

bool WriteSheetFile(const std::string& name, std::string_view text,
                    std::span<const std::string> inputs, std::ostream& standard_output) {
  struct stat target;
  const bool exists = stat(name.c_str(), &target) == 0;
  // Nothing there yet, or a link to nothing, makes the sheet a new file.
  if (!exists && errno != ENOENT) return false;
  if (exists) {
    if (IsAnyOf(target, inputs)) return false;
    struct stat output;
    if (fstat(STDOUT_FILENO, &output) == 0 && SameFile(output, target)) {
      return static_cast<bool>(standard_output.write(text.data(), std::ssize(text)).flush());
    }
    if (S_ISCHR(target.st_mode) || S_ISFIFO(target.st_mode) || S_ISSOCK(target.st_mode)) {
      return WriteDirectly(name, text);
    }
    // A directory, or a block device, which holds a file system or data of
    // its own that a cue sheet must not overwrite.
    if (!S_ISREG(target.st_mode)) return false;
  }
  const std::optional<fs::path> file = FollowLinks(name);
  return file && ReplaceFile(*file, exists ? target.st_mode & 07777 : NewFileMode(), text);
}

}  // namespace pellorin

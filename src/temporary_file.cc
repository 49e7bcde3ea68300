#include "temporary_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "hidden_name.h"

namespace pellorin {

namespace {

// Errors that a file system reports only when the file is closed, such as a
// write that failed late, come out when any descriptor of it is closed.
bool Flushed(int fd) {
  UniqueFd duplicate(fcntl(fd, F_DUPFD_CLOEXEC, 0));
  return duplicate && duplicate.Close();
}

}  // namespace

TemporaryFile::TemporaryFile(int directory, mode_t mode, bool unnamed_only) {
  name_.directory = directory;
  // An unnamed file can be linked through /proc only.
  if (faccessat(AT_FDCWD, "/proc/self/fd", X_OK, 0) == 0) {
    fd_ = UniqueFd(openat(directory, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
    // A file system without unnamed files says so in these two ways.
    if (fd_ || (unnamed_only && errno != EOPNOTSUPP && errno != EISDIR)) return;
  }
  if (unnamed_only) {
    errno = 0;
    return;
  }
  SignalsHeld held;
  named_ = WithRandomName(name_, [&] {
    fd_ = UniqueFd(
        openat(directory, name_.name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    return static_cast<bool>(fd_);
  });
  if (named_) RemoveOnSignal(name_);
}

TemporaryFile::~TemporaryFile() {
  SignalsHeld held;
  // Closed first: a file system in user space keeps a file that is removed
  // while open under another hidden name.
  fd_.Close();
  if (named_) unlinkat(name_.directory, name_.name, 0);
  KeepOnSignal(name_);
}

// The hidden name has become the file's own.
void TemporaryFile::Forget() {
  named_ = false;
  KeepOnSignal(name_);
}

// Links the unnamed file under a new random name.
bool TemporaryFile::Name() {
  const std::string path = DescriptorPath(fd_.get());
  SignalsHeld held;
  named_ = WithRandomName(name_, [&] {
    return linkat(AT_FDCWD, path.c_str(), name_.directory, name_.name, AT_SYMLINK_FOLLOW) == 0;
  });
  if (named_) RemoveOnSignal(name_);
  return named_;
}

bool TemporaryFile::LinkAs(const std::string& entry) {
  const int directory = name_.directory;
  if (!named_) {
    // What closing could report is reported before the file is in place.
    return Flushed(fd_.get()) && linkat(AT_FDCWD, DescriptorPath(fd_.get()).c_str(), directory,
                                        entry.c_str(), AT_SYMLINK_FOLLOW) == 0;
  }
  if (!fd_.Close()) return false;
  SignalsHeld held;
  if (renameat2(directory, name_.name, directory, entry.c_str(), RENAME_NOREPLACE) == 0) {
    Forget();
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) return false;
  // The hidden name goes with the temporary file. A file system that can
  // make no hard link says so in many ways (rclone mounts: EIO); only EEXIST
  // is another file's having taken the name.
  return linkat(directory, name_.name, directory, entry.c_str(), 0) == 0 ||
         (errno != EEXIST && MoveTo(entry));
}

bool TemporaryFile::MoveTo(const std::string& entry) {
  if (!named_ && !(Flushed(fd_.get()) && Name())) return false;
  if (!fd_.Close()) return false;
  SignalsHeld held;
  if (renameat(name_.directory, name_.name, name_.directory, entry.c_str()) != 0) return false;
  Forget();
  return true;
}

}  // namespace pellorin

#include "new_directory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "hidden_name.h"

namespace pellorin {

std::string NewDirectory::Make(const std::string& path) {
  // The system finds nothing by an empty name.
  if (path.empty()) return SystemReason(ENOENT);
  std::string place = path;
  while (place.size() > 1 && place.ends_with('/')) place.pop_back();
  const std::size_t slash = place.rfind('/');
  const std::size_t last = slash == std::string::npos ? 0 : slash + 1;
  // "/" names the root, which is there.
  name_ = last < place.size() ? place.substr(last) : std::string(".");
  place.resize(last);
  parent_ = UniqueFd(open(place.empty() ? "." : place.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!parent_) return SystemReason(errno);
  // The rename at the end refuses a name that is taken; saying so now spares
  // the copying.
  struct stat status;
  if (fstatat(parent_.get(), name_.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
    return SystemReason(EEXIST);
  }
  if (errno != ENOENT) return SystemReason(errno);
  Removal& hidden = made_[0];
  hidden = {parent_.get(), AT_REMOVEDIR, {}};
  SignalsHeld held;
  if (!WithRandomName(hidden, [&] { return mkdirat(parent_.get(), hidden.name, 0777) == 0; })) {
    return SystemReason(errno);
  }
  RemoveOnSignal(hidden);
  count_ = 1;
  hidden_ =
      UniqueFd(openat(parent_.get(), hidden.name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  return hidden_ ? std::string() : SystemReason(errno);
}

UniqueFd NewDirectory::Create(const char* name) {
  if (!hidden_ || count_ == 3) return UniqueFd();
  Removal& file = made_[count_];
  file.directory = hidden_.get();
  std::strncpy(file.name, name, sizeof file.name - 1);
  SignalsHeld held;
  UniqueFd fd(
      openat(file.directory, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (!fd) return fd;
  RemoveOnSignal(file);
  ++count_;
  return fd;
}

std::string NewDirectory::PutInPlace() {
  SignalsHeld held;
  const char* hidden = made_[0].name;
  int renamed = renameat2(parent_.get(), hidden, parent_.get(), name_.c_str(), RENAME_NOREPLACE);
  if (renamed != 0 && (errno == EINVAL || errno == ENOSYS)) {
    // Without a rename that refuses to replace, an empty directory made under
    // the name is the one thing the rename may replace.
    if (mkdirat(parent_.get(), name_.c_str(), 0700) != 0) return SystemReason(errno);
    renamed = renameat(parent_.get(), hidden, parent_.get(), name_.c_str());
    const int error = errno;
    if (renamed != 0) unlinkat(parent_.get(), name_.c_str(), AT_REMOVEDIR);
    errno = error;
  }
  if (renamed != 0) return SystemReason(errno);
  for (; count_ > 0; --count_) KeepOnSignal(made_[count_ - 1]);
  return {};
}

NewDirectory::~NewDirectory() {
  SignalsHeld held;
  for (; count_ > 0; --count_) {
    const Removal& made = made_[count_ - 1];
    unlinkat(made.directory, made.name, made.flags);
    KeepOnSignal(made);
  }
}

}  // namespace pellorin

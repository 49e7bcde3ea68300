#include "sheet_lookup.h"

#include <fcntl.h>
#include <linux/limits.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <tuple>
#include <utility>

namespace pellorin {

namespace {

// As many links as the kernel follows in one lookup.
constexpr int kMaxLinks = 40;

// A path cut behind its last slash: the directory part ("." where there is
// none) and the last part.
std::pair<std::string, std::string> Split(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {".", std::string(path)};
  return {std::string(path.substr(0, slash + 1)), std::string(path.substr(slash + 1))};
}

// A last part that is empty, "." or ".." is a directory's.
bool NamesDirectory(const std::string& last) { return last.empty() || last == "." || last == ".."; }

// The text of the link that fd was opened on, with O_PATH and O_NOFOLLOW.
std::optional<std::string> ReadLink(int fd) {
  std::string text(PATH_MAX, '\0');
  const ssize_t length = readlinkat(fd, "", text.data(), text.size());
  if (length < 0) return std::nullopt;
  text.resize(static_cast<std::size_t>(length));
  return text;
}

// Where the kernel's own lookup of name, from directory, ends: at nothing, or
// at end; false, with errno set, where it fails.
bool KernelLookup(int directory, const char* name, std::optional<struct stat>& end) {
  const UniqueFd file(openat(directory, name, O_PATH | O_CLOEXEC));
  struct stat status;
  if (!file) return errno == ENOENT;
  if (fstat(file.get(), &status) != 0) return false;
  end = status;
  return true;
}

// The kernel's rule for links where fs.protected_symlinks is set, applied to
// the link held open: its follower must own it, or the directory it stands in
// must not be both sticky and open to all, or be the link owner's too. 0
// where the link may be followed, else the error. The follower is the
// effective user, as the run never changes its file-system user. Where the
// setting cannot be read, it counts as set.
int MayFollow(int directory, const struct stat& link) {
  struct stat status;
  if (link.st_uid == geteuid()) return 0;
  if (fstat(directory, &status) != 0) return errno;
  constexpr mode_t kOpenToAll = S_ISVTX | S_IWOTH;
  if ((status.st_mode & kOpenToAll) != kOpenToAll || status.st_uid == link.st_uid) return 0;
  const UniqueFd setting(open("/proc/sys/fs/protected_symlinks", O_RDONLY | O_CLOEXEC));
  char value = '1';
  return setting && read(setting.get(), &value, 1) == 1 && value == '0' ? 0 : EACCES;
}

}  // namespace

std::string LookUpSheet(const std::string& name, SheetPlace& place) {
  auto [directory, last] = Split(name);
  // An empty name too, which the kernel finds nothing by.
  if (NamesDirectory(last)) {
    const UniqueFd file(open(name.c_str(), O_PATH | O_CLOEXEC));
    return file ? kIsDirectory : SystemReason(errno);
  }
  place.directory = UniqueFd(open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!place.directory) return SystemReason(errno);
  place.entry = last;
  // Where the kernel's own lookup of the name ends, asked once a link is met:
  // the walk must end at nothing where it found nothing, and at that very
  // file where it found one.
  bool asked = false;
  std::optional<struct stat> end;
  const auto agrees = [&](const struct stat* status) {
    return !asked || (status && end ? IdOf(*end) == IdOf(*status) : !status && !end);
  };
  for (int links = 0;; ++links) {
    UniqueFd file(
        openat(place.directory.get(), place.entry.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat status;
    if (!file) {
      if (errno != ENOENT) return SystemReason(errno);
      return agrees(nullptr) ? std::string() : kLeadsElsewhere;
    }
    if (fstat(file.get(), &status) != 0) return SystemReason(errno);
    if (!S_ISLNK(status.st_mode)) {
      place.found = status;
      place.file = std::move(file);
      return agrees(&status) ? std::string() : kLeadsElsewhere;
    }
    if (!asked) {
      // The kernel's own lookup says where the links may lead, or why not.
      // An end that is not a regular file is reached through the name.
      if (!KernelLookup(place.directory.get(), last.c_str(), end)) return SystemReason(errno);
      asked = true;
      if (end && !S_ISREG(end->st_mode)) {
        place.found = end;
        return {};
      }
    }
    if (links == kMaxLinks) return SystemReason(ELOOP);
    if (const int refused = MayFollow(place.directory.get(), status)) return SystemReason(refused);
    const std::optional<std::string> text = ReadLink(file.get());
    if (!text) return SystemReason(errno);
    std::tie(directory, last) = Split(*text);
    if (NamesDirectory(last)) return end ? kLeadsElsewhere : SystemReason(ENOENT);
    place.directory = UniqueFd(
        openat(place.directory.get(), directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!place.directory) return SystemReason(errno);
    place.entry = last;
  }
}

}  // namespace pellorin

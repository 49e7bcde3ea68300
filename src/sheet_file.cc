#include "sheet_file.h"

#include <fcntl.h>
#include <linux/limits.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "temporary_file.h"

namespace pellorin {

namespace {

// As many symbolic links as the kernel follows in one lookup.
constexpr int kMaxLinks = 40;

// Where the sheet's name leads: the directory entry at the end of its chain of
// links, and what the lookup found there.
struct Sheet {
  UniqueFd directory;
  std::string entry;
  std::optional<struct stat> found;  // nothing when the name is not taken yet
  bool through_link = false;         // found at the end of the link that entry is
  UniqueFd file;                     // what was found, opened with O_PATH
};

// "a/b/c" is the entry "c" in the directory "a/b"; "c" is in "."; "/c" in "/".
std::pair<std::string, std::string> SplitPath(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {".", std::string(path)};
  return {std::string(path.substr(0, std::max<std::size_t>(slash, 1))),
          std::string(path.substr(slash + 1))};
}

// Opens the directory part of a path; the kernel follows the links in it.
UniqueFd OpenDirectory(int at, const std::string& path) {
  return UniqueFd(openat(at, path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
}

// The kernel's rule for links in a sticky directory that anyone may write to,
// such as /tmp: one is followed only by its owner, or when the directory's
// owner owns it. Otherwise anyone could lead a run to another user's file.
bool MayFollow(int directory, const struct stat& link) {
  constexpr mode_t kSharedSticky = S_ISVTX | S_IWOTH;
  struct stat status;
  return fstat(directory, &status) == 0 &&
         ((status.st_mode & kSharedSticky) != kSharedSticky || link.st_uid == geteuid() ||
          link.st_uid == status.st_uid);
}

// The text of the link that fd was opened on, with O_PATH and O_NOFOLLOW.
std::optional<std::string> ReadLink(int fd) {
  std::string target(PATH_MAX, '\0');
  const ssize_t length = readlinkat(fd, "", target.data(), target.size());
  if (length < 0 || static_cast<std::size_t>(length) == target.size()) return std::nullopt;
  target.resize(static_cast<std::size_t>(length));
  return target;
}

// Looks name up once, following its links one by one as the kernel would, so
// that the sheet can be put where the last of them ends. Nothing when the
// kernel would not follow them, or no file can be made at their end.
std::optional<Sheet> Resolve(const std::string& name) {
  auto [directory, entry] = SplitPath(name);
  Sheet sheet{OpenDirectory(AT_FDCWD, directory), std::move(entry), std::nullopt, false, {}};
  for (int links = 0;; ++links) {
    // A name that ends in a slash, ".", or ".." is a directory's.
    if (!sheet.directory || sheet.entry.empty() || sheet.entry == "." || sheet.entry == "..") {
      return std::nullopt;
    }
    const int at = sheet.directory.get();
    UniqueFd file(openat(at, sheet.entry.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat status;
    if (!file) return errno == ENOENT ? std::optional(std::move(sheet)) : std::nullopt;
    if (fstat(file.get(), &status) != 0) return std::nullopt;
    if (!S_ISLNK(status.st_mode)) {
      sheet.found = status;
      sheet.file = std::move(file);
      return sheet;
    }
    if (links == kMaxLinks || !MayFollow(at, status)) return std::nullopt;

    // Anything but a regular file is taken where the kernel's lookup ends,
    // among them what the links of /proc lead to: pipes and terminals, whose
    // link text is no path.
    const UniqueFd end(openat(at, sheet.entry.c_str(), O_PATH | O_CLOEXEC));
    struct stat end_status;
    if (!end && errno != ENOENT) return std::nullopt;
    if (end && fstat(end.get(), &end_status) != 0) return std::nullopt;
    if (end && !S_ISREG(end_status.st_mode)) {
      sheet.found = end_status;
      sheet.through_link = true;
      return sheet;
    }

    const std::optional<std::string> target = ReadLink(file.get());
    if (!target) return std::nullopt;
    auto [target_directory, target_entry] = SplitPath(*target);
    sheet.directory = OpenDirectory(at, target_directory);
    sheet.entry = std::move(target_entry);
  }
}

// The extended attribute that holds a file's access ACL.
constexpr const char* kAccessAcl = "system.posix_acl_access";

// The access ACL of the regular file that was found: empty when it has none
// or its file system knows none, nothing when it cannot be read. A descriptor
// opened with O_PATH has no attribute calls of its own, so it is read through
// /proc's name for the descriptor; where /proc is not mounted, through the
// entry opened for reading, once it is certain that it is still that file.
std::optional<std::string> AccessAcl(const Sheet& sheet) {
  // As large as an attribute can be; left uninitialised, it costs only the
  // few bytes an ACL takes.
  const auto acl = std::make_unique_for_overwrite<char[]>(XATTR_SIZE_MAX);
  const std::string path = "/proc/self/fd/" + std::to_string(sheet.file.get());
  ssize_t size = getxattr(path.c_str(), kAccessAcl, acl.get(), XATTR_SIZE_MAX);
  if (size < 0 && errno == ENOENT) {
    const UniqueFd file(openat(sheet.directory.get(), sheet.entry.c_str(),
                               O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file || !SameFile(file.get(), IdOf(*sheet.found))) return std::nullopt;
    size = fgetxattr(file.get(), kAccessAcl, acl.get(), XATTR_SIZE_MAX);
  }
  if (size < 0) {
    if (errno == ENODATA || errno == EOPNOTSUPP) return std::string();
    return std::nullopt;
  }
  return std::string(acl.get(), static_cast<std::size_t>(size));
}

// Gives the file behind fd the old sheet's owner and group where the runner
// may: both, or else the group alone. Returns the permission bits to keep:
// the set-user-ID and set-group-ID bits only where both were kept, since they
// would lend someone else's rights otherwise.
mode_t KeepOwner(int fd, const struct stat& old) {
  const mode_t mode = old.st_mode & 07777;
  if (fchown(fd, old.st_uid, old.st_gid) == 0) return mode;
  [[maybe_unused]] const bool group_kept = fchown(fd, static_cast<uid_t>(-1), old.st_gid) == 0;
  return mode & ~mode_t{S_ISUID | S_ISGID};
}

// Gives the file behind fd no more access than the old sheet gave: its owner
// where the runner may, exactly its ACL (none where it had none, whatever the
// directory's default ACL gave the new file), and its mode. With an ACL, the
// group bits of the mode are the ACL's mask, which the old mode holds already.
bool KeepAccess(int fd, const struct stat& old, const std::string& acl) {
  const mode_t mode = KeepOwner(fd, old);
  const bool acl_kept =
      acl.empty() ? fremovexattr(fd, kAccessAcl) == 0 || errno == ENODATA || errno == EOPNOTSUPP
                  : fsetxattr(fd, kAccessAcl, acl.data(), acl.size(), 0) == 0;
  return acl_kept && fchmod(fd, mode) == 0;
}

// Writes the sheet to a new file and renames it over the entry. Should the
// entry have changed since it was looked up, only that directory entry is
// replaced: no file is ever written into but the new one.
//
// A new sheet is made as fopen would make it, so that the kernel applies the
// umask or the directory's default ACL. One that replaces a sheet is its
// maker's alone until it has been given what the old one allowed.
bool Replace(const Sheet& sheet, std::string_view text) {
  std::optional<std::string> acl;
  if (sheet.found && !(acl = AccessAcl(sheet))) return false;
  TemporaryFile temporary(sheet.directory.get(), sheet.found ? 0600 : 0666);
  const int fd = temporary.fd();
  if (fd < 0 || !WriteAll(fd, text)) return false;
  if (sheet.found && !KeepAccess(fd, *sheet.found, *acl)) return false;
  return temporary.MoveTo(sheet.entry);
}

// A device or FIFO is written as it is, once it is certain that the name
// still leads to the one that was looked up.
bool WriteDirectly(const Sheet& sheet, std::string_view text) {
  const int follow = sheet.through_link ? 0 : O_NOFOLLOW;
  UniqueFd fd(
      openat(sheet.directory.get(), sheet.entry.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | follow));
  return fd && SameFile(fd.get(), IdOf(*sheet.found)) && WriteAll(fd.get(), text) && fd.Close();
}

}  // namespace

bool WriteSheetFile(const std::string& name, std::string_view text, std::span<const FileId> inputs,
                    int standard_output) {
  const std::optional<Sheet> sheet = Resolve(name);
  if (!sheet) return false;
  if (!sheet->found) return Replace(*sheet, text);
  const mode_t type = sheet->found->st_mode & S_IFMT;
  const FileId id = IdOf(*sheet->found);
  if (type == S_IFREG && std::ranges::find(inputs, id) != inputs.end()) return false;
  if (SameFile(standard_output, id)) return WriteAll(standard_output, text);
  if (type == S_IFREG) return Replace(*sheet, text);
  if (type == S_IFCHR || type == S_IFIFO) return WriteDirectly(*sheet, text);
  // A directory, a socket, or a block device, which holds a file system or
  // data of its own that a cue sheet must not overwrite.
  return false;
}

}  // namespace pellorin

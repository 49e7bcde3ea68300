#include "sheet_file.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <linux/limits.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
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

#include "access.h"
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

bool InProc(int directory) {
  struct statfs file_system;
  return fstatfs(directory, &file_system) == 0 && file_system.f_type == PROC_SUPER_MAGIC;
}

// Whether a walk of link texts ended where the kernel's own lookup did: at
// the same file, or at nothing.
bool SameEnd(const std::optional<struct stat>& walked, const UniqueFd& kernel,
             bool kernel_found_none) {
  struct stat status;
  if (!kernel) return !walked && kernel_found_none;
  return walked && fstat(kernel.get(), &status) == 0 && IdOf(status) == IdOf(*walked);
}

// Looks path up from the directory at, one name at a time, following each
// symbolic link by its text, so that the sheet can be put where the last of
// them ends and every link on the way is one the kernel's rule for sticky
// directories lets the run follow. Every link's text must lead where the
// kernel's lookup of the link leads, so the sheet goes nowhere else than
// that lookup would take it; only the links of /proc to what is no regular
// file, whose text is no path (pipes, terminals), are taken as the kernel
// takes them. Nothing when the walk fails, or no file can be made at its end.
//
// The text of a link in the directory part of a name is walked for the
// directory it leads to, which may also be named by ".", ".." or a slash.
std::optional<Sheet> Walk(int at, std::string_view path, bool for_directory, int& links) {
  Sheet sheet;
  sheet.directory =
      UniqueFd(path.starts_with('/') || at == AT_FDCWD
                   ? open(path.starts_with('/') ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC)
                   : fcntl(at, F_DUPFD_CLOEXEC, 0));
  while (sheet.directory) {
    path.remove_prefix(std::min(path.find_first_not_of('/'), path.size()));
    const std::string name(path.substr(0, path.find('/')));
    path.remove_prefix(name.size());
    const bool last = path.find_first_not_of('/') == std::string_view::npos;
    const int directory = sheet.directory.get();
    if (last && (!path.empty() || name.empty() || name == "." || name == "..")) {
      // A name that ends so is a directory's.
      if (!for_directory) break;
      sheet.file = UniqueFd(
          openat(directory, name.empty() ? "." : name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
      struct stat status;
      if (!sheet.file || fstat(sheet.file.get(), &status) != 0) break;
      sheet.found = status;
      return sheet;
    }
    if (name.empty() || name == ".") continue;

    UniqueFd file(openat(directory, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat status;
    if (!file) {
      if (!last || errno != ENOENT) break;
      sheet.entry = name;
      return sheet;
    }
    if (fstat(file.get(), &status) != 0) break;
    if (S_ISLNK(status.st_mode)) {
      if (++links > kMaxLinks || !MayFollow(directory, status)) break;
      const UniqueFd kernel(openat(directory, name.c_str(), O_PATH | O_CLOEXEC));
      const bool kernel_found_none = !kernel && errno == ENOENT;
      struct stat end;
      if (last && kernel && fstat(kernel.get(), &end) == 0 && !S_ISREG(end.st_mode) &&
          !S_ISDIR(end.st_mode) && InProc(directory)) {
        sheet.entry = name;
        sheet.found = end;
        sheet.through_link = true;
        return sheet;
      }
      const std::optional<std::string> text = ReadLink(file.get());
      if (!text) break;
      std::optional<Sheet> target = Walk(directory, *text, for_directory || !last, links);
      if (!target || !SameEnd(target->found, kernel, kernel_found_none)) break;
      if (last) return target;
      if (!target->found || !S_ISDIR(target->found->st_mode)) break;
      sheet.directory = std::move(target->file);
    } else if (last) {
      sheet.entry = name;
      sheet.found = status;
      sheet.file = std::move(file);
      return sheet;
    } else {
      if (!S_ISDIR(status.st_mode)) break;
      sheet.directory = std::move(file);
    }
  }
  return std::nullopt;
}

std::optional<Sheet> Resolve(const std::string& name) {
  int links = 0;
  return Walk(AT_FDCWD, name, false, links);
}

// The extended attribute that holds a file's access ACL.
constexpr const char* kAccessAcl = "system.posix_acl_access";

// The access ACL behind fd, or read by reader into a buffer: empty when the
// file has none, its file system keeps none, or it cannot be read, so that
// only the permission bits are left to judge by.
template <typename Reader>
std::vector<AclEntry> ReadAcl(Reader reader) {
  // As large as an attribute can be; left uninitialised, it costs only the
  // few bytes an ACL takes.
  const auto buffer = std::make_unique_for_overwrite<char[]>(XATTR_SIZE_MAX);
  const ssize_t size = reader(buffer.get(), std::size_t{XATTR_SIZE_MAX});
  if (size <= 0) return {};
  return ParseAcl({buffer.get(), static_cast<std::size_t>(size)}).value_or(std::vector<AclEntry>{});
}

// The old sheet's access: its owner, group, mode and ACL. A descriptor
// opened with O_PATH has no attribute calls of its own, so the ACL is read
// through /proc's name for the descriptor; where /proc is not mounted,
// through the entry opened for reading or else for writing (which changes
// nothing), once it is certain that it is still that file.
Access OldAccess(const Sheet& sheet) {
  Access access{sheet.found->st_uid, sheet.found->st_gid, sheet.found->st_mode & 07777, {}};
  const std::string path = DescriptorPath(sheet.file.get());
  access.acl = ReadAcl([&](char* buffer, std::size_t size) {
    ssize_t got = getxattr(path.c_str(), kAccessAcl, buffer, size);
    for (const int mode : {O_RDONLY, O_WRONLY}) {
      if (got >= 0 || errno != ENOENT) break;
      const UniqueFd file(openat(sheet.directory.get(), sheet.entry.c_str(),
                                 mode | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
      if (file && SameFile(file.get(), IdOf(*sheet.found))) {
        got = fgetxattr(file.get(), kAccessAcl, buffer, size);
      } else if (!file && errno == EACCES) {
        errno = ENOENT;  // and try the other mode
      }
    }
    return got;
  });
  return access;
}

// What the file behind fd gives now.
std::optional<Access> AccessOf(int fd) {
  struct stat status;
  if (fstat(fd, &status) != 0) return std::nullopt;
  Access access{status.st_uid, status.st_gid, status.st_mode & 07777, {}};
  access.acl = ReadAcl(
      [&](char* buffer, std::size_t size) { return fgetxattr(fd, kAccessAcl, buffer, size); });
  return access;
}

// Gives the file behind fd the old sheet's owner and group where the runner
// may, both or the group alone, then the old sheet's ACL and mode, narrowed
// where owner or group could not be given. Each call may fail: a file system
// may keep no owners, modes or ACLs, or refuse to change them. What decides
// is what the file has in the end: it gives no one more than the old sheet
// did, or the run fails.
bool KeepAccess(int fd, const Access& old) {
  [[maybe_unused]] const bool owner_given =
      fchown(fd, old.owner, old.group) == 0 || fchown(fd, static_cast<uid_t>(-1), old.group) == 0;
  const std::optional<Access> made = AccessOf(fd);
  if (!made) return false;
  const Access wanted = Replacement(old, made->owner, made->group);
  if (!wanted.acl.empty()) {
    const std::string acl = FormatAcl(wanted.acl);
    fsetxattr(fd, kAccessAcl, acl.data(), acl.size(), 0);
  } else if (!made->acl.empty()) {
    // From the directory's default ACL.
    fremovexattr(fd, kAccessAcl);
  }
  fchmod(fd, wanted.mode);
  const std::optional<Access> now = AccessOf(fd);
  return now && GivesNoMore(old, *now, geteuid());
}

// Whether the directory lets files be added but none be renamed or removed,
// so that a sheet in it can be made but never replaced.
bool AppendOnly(int directory) {
  const UniqueFd readable(openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  int flags = 0;
  return readable && ioctl(readable.get(), FS_IOC_GETFLAGS, &flags) == 0 &&
         (flags & FS_APPEND_FL) != 0;
}

// Writes the sheet to a new file and puts it in place of the entry. Should
// the entry have changed since it was looked up, only that directory entry
// is replaced: no file is ever written into but the new one.
//
// A new sheet is made as any new file is made, so that the kernel applies
// the umask or the directory's default ACL. One that replaces a sheet is its
// maker's alone until it has been given what the old one allowed.
bool Replace(const Sheet& sheet, std::string_view text) {
  if (!sheet.found) {
    TemporaryFile temporary(sheet.directory.get(), 0666);
    return temporary.fd() >= 0 && WriteAll(temporary.fd(), text) && temporary.LinkAs(sheet.entry);
  }
  if (AppendOnly(sheet.directory.get())) return false;
  const Access old = OldAccess(sheet);
  TemporaryFile temporary(sheet.directory.get(), 0600);
  const int fd = temporary.fd();
  return fd >= 0 && WriteAll(fd, text) && KeepAccess(fd, old) && temporary.MoveTo(sheet.entry);
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

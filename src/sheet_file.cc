#include "sheet_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "access.h"
#include "sheet_lookup.h"
#include "temporary_file.h"

namespace pellorin {

namespace {

constexpr const char* kInput = "it is a file this run reads";
constexpr const char* kAppendOnly = "the directory only lets files be added";
constexpr const char* kChanged = "it changed while it was being replaced";

// Whether the directory lets files be added but none be renamed or removed:
// 0 where it does not, -1 where it does, or the error that keeps it from
// being known, which counts as append-only. The system call is made
// directly: the C library's stand-in for a kernel without it would say "not
// append-only" of any directory.
int AppendOnly(int directory) {
  struct statx status;
  if (syscall(SYS_statx, directory, "", AT_EMPTY_PATH, 0, &status) != 0) return errno;
  return (status.stx_attributes & STATX_ATTR_APPEND) != 0 ? -1 : 0;
}

// Writes the sheet to a new file and puts it in place of the entry. Should
// the entry have changed since it was looked up, only that directory entry
// is replaced: no file is ever written into but the new one, and a new sheet
// never takes the place of a file that appeared meanwhile.
//
// A new sheet is made as any new file is made, so that the kernel applies
// the umask or the directory's default ACL. One that replaces a sheet is its
// maker's alone until it has been given what the old one allowed.
std::string Replace(const SheetPlace& place, std::string_view text) {
  // In an append-only directory, a file can be added, never renamed or
  // removed: a sheet is made there only where it needs neither.
  const int append_only = AppendOnly(place.directory.get());
  const std::string append_only_reason = append_only < 0 ? kAppendOnly : SystemReason(append_only);
  if (append_only != 0 && place.found) return append_only_reason;
  const Access old = place.found ? ReadAccess(*place.found, place.file.get()) : Access();
  TemporaryFile temporary(place.directory.get(), place.found ? 0600 : 0666, append_only != 0);
  const int fd = temporary.fd();
  if (fd < 0 && errno == 0) return append_only_reason;
  if (fd < 0 || !WriteAll(fd, text)) return SystemReason(errno);
  if (place.found) {
    if (std::string why = GiveAccess(fd, old); !why.empty()) return why;
    return temporary.MoveTo(place.entry) ? std::string() : SystemReason(errno);
  }
  return temporary.LinkAs(place.entry) ? std::string() : SystemReason(errno);
}

// Anything but a regular file is written as it is, through the name, once
// it is certain that the name still leads to what was looked up.
std::string WriteDirectly(const std::string& name, const FileId& id, std::string_view text) {
  UniqueFd fd(open(name.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
  struct stat status;
  if (!fd || fstat(fd.get(), &status) != 0) return SystemReason(errno);
  if (IdOf(status) != id) return kChanged;
  return WriteAll(fd.get(), text) && fd.Close() ? std::string() : SystemReason(errno);
}

}  // namespace

std::string WriteSheetFile(const std::string& name, std::string_view text,
                           std::span<const FileId> inputs, int standard_output) {
  SheetPlace place;
  if (std::string why = LookUpSheet(name, place); !why.empty()) return why;
  if (!place.found) return Replace(place, text);
  const mode_t type = place.found->st_mode & S_IFMT;
  const FileId id = IdOf(*place.found);
  if (type == S_IFREG && std::ranges::find(inputs, id) != inputs.end()) return kInput;
  if (SameFile(standard_output, id)) {
    return WriteAll(standard_output, text) ? std::string() : SystemReason(errno);
  }
  if (type == S_IFREG) return Replace(place, text);
  if (type == S_IFDIR) return kIsDirectory;
  // A block device holds a file system or data of its own.
  if (type == S_IFBLK) return "it is a block device";
  return type == S_IFSOCK ? "it is a socket" : WriteDirectly(name, id, text);
}

}  // namespace pellorin

#include "sheet_file.h"

#include <fcntl.h>
#include <sys/stat.h>

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

// Whether the directory lets files be added but none be renamed or removed.
bool AppendOnly(int directory) {
  struct statx status;
  return statx(directory, "", AT_EMPTY_PATH, 0, &status) == 0 &&
         (status.stx_attributes & STATX_ATTR_APPEND) != 0;
}

// The old sheet's access. Without /proc, its ACL is read through the entry
// opened for reading, once it is certain that it is still that file.
std::string OldAccess(const SheetPlace& place, Access& old) {
  old = ReadAccess(*place.found, place.file.get());
  if (old.acl_error != ENOENT) return {};
  const UniqueFd file(openat(place.directory.get(), place.entry.c_str(),
                             O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!file) return SystemReason(errno);
  if (!SameFile(file.get(), IdOf(*place.found))) return kChanged;
  old = ReadAccess(*place.found, file.get());
  return {};
}

// Writes the sheet to a new file and puts it in place of the entry. Should
// the entry have changed since it was looked up, only that directory entry
// is replaced: no file is ever written into but the new one.
//
// A new sheet is made as any new file is made, so that the kernel applies
// the umask or the directory's default ACL. One that replaces a sheet is its
// maker's alone until it has been given what the old one allowed.
std::string Replace(const SheetPlace& place, std::string_view text) {
  // In an append-only directory, a file can be added, never renamed or
  // removed: a sheet is made there only where it needs neither.
  const bool append_only = AppendOnly(place.directory.get());
  if (append_only && place.found) return kAppendOnly;
  Access old;
  if (place.found) {
    if (std::string why = OldAccess(place, old); !why.empty()) return why;
  }
  TemporaryFile temporary(place.directory.get(), place.found ? 0600 : 0666, append_only);
  const int fd = temporary.fd();
  if (fd < 0) return append_only ? kAppendOnly : SystemReason(errno);
  if (!WriteAll(fd, text)) return SystemReason(errno);
  if (place.found) {
    if (std::string why = GiveAccess(fd, old); !why.empty()) return why;
  }
  const bool put = place.found ? temporary.MoveTo(place.entry) : temporary.LinkAs(place.entry);
  return put ? std::string() : SystemReason(errno);
}

// A device or FIFO is written as it is, once it is certain that the name
// still leads to the one that was looked up.
std::string WriteDirectly(const SheetPlace& place, std::string_view text) {
  const int follow = place.through_link ? 0 : O_NOFOLLOW;
  UniqueFd fd(
      openat(place.directory.get(), place.entry.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | follow));
  if (!fd) return SystemReason(errno);
  if (!SameFile(fd.get(), IdOf(*place.found))) return kChanged;
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
  if (type == S_IFCHR || type == S_IFIFO) return WriteDirectly(place, text);
  if (type == S_IFDIR) return kIsDirectory;
  // A block device holds a file system or data of its own.
  return type == S_IFBLK ? "it is a block device" : "it is a socket";
}

}  // namespace pellorin

// Who may do what with a file: its owner, group, permission bits and access
// ACL, and the rule a replaced cue sheet keeps, that the new file gives no
// one more than the old one did.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pellorin {

// One entry of an access ACL, as the kernel stores it. The kinds are those of
// the kernel's attribute format; id names the user or group of a named entry.
struct AclEntry {
  enum Kind : std::uint16_t {
    kOwner = 0x01,
    kUser = 0x02,
    kOwningGroup = 0x04,
    kGroup = 0x08,
    kMask = 0x10,
    kOther = 0x20,
  };
  std::uint16_t kind = 0;
  std::uint16_t permissions = 0;  // read 4, write 2, execute 1
  std::uint32_t id = 0;
  bool operator==(const AclEntry&) const = default;
};

// What a file gives whom. Without an ACL, the permission bits of mode say it
// all; with one, its entries do, and the group bits of mode are its mask.
struct Access {
  uid_t owner = 0;
  gid_t group = 0;
  mode_t mode = 0;            // permission bits, with the set-ID and sticky bits
  std::vector<AclEntry> acl;  // empty when the file has none
  // Why the ACL could not be read: 0 where it was, or the file has none or
  // its file system keeps none. An ACL that cannot be read is never taken
  // for none.
  int acl_error = 0;
  bool operator==(const Access&) const = default;
};

// What the file that status and fd describe gives. The ACL is read through
// /proc's name for the descriptor, which may be opened with O_PATH; without
// /proc it is unknown.
Access ReadAccess(const struct stat& status, int fd);

// Gives the file behind fd, a replacement of a file that gave old, the old
// owner and group where the runner may, and old's ACL and mode, narrowed
// where owner or group could not be given; where old's ACL is unknown, the
// owner's permission bits alone. Any step may fail: a file system may keep
// no owners, modes or ACLs, and one that keeps none may refuse them. What
// decides is what the file gives in the end: empty where it gives no one
// more than old did, else why not. Where neither file's ACL can be read, the
// same way, they are judged by their modes, as on a file system that keeps
// no ACLs and says so oddly.
std::string GiveAccess(int fd, const Access& old);

inline constexpr const char* kGivesMore =
    "the new sheet would give others more access than the old one";

// Whether now grants no user a request that old did not, for any groups the
// user may be in, but for runner, the user who makes the new file: it could
// as well remove the old one and make a file of its own.
bool GivesNoMore(const Access& old, const Access& now, uid_t runner);

// What a replacement of old gives when it is owned by owner and group: old's
// permissions, but for the set-ID bits unless both are old's, and with group
// and other narrowed where the group is another, so that its members, who
// had what other had, gain nothing, nor do old's group's members, who now
// count as other.
Access Replacement(const Access& old, uid_t owner, gid_t group);

}  // namespace pellorin

#include "access.h"

#include <endian.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <memory>
#include <set>

#include "file_io.h"

namespace pellorin {

namespace {

// The permissions for one class of the permission bits: owner 2, group 1,
// other 0.
unsigned Bits(mode_t mode, int shift) { return (mode >> 3 * shift) & 07; }

const AclEntry* Find(const std::vector<AclEntry>& acl, std::uint16_t kind) {
  const auto entry = std::ranges::find(acl, kind, &AclEntry::kind);
  return entry == acl.end() ? nullptr : &*entry;
}

// Whether user, in the groups in_group admits, may do all of request at once,
// as the kernel decides it: by the one entry that applies, or for groups by
// any one of those that apply, which must hold every permission asked for.
template <typename InGroup>
bool Grants(const Access& access, uid_t user, InGroup in_group, unsigned request) {
  const auto holds = [request](unsigned permissions) { return (permissions & request) == request; };
  if (access.acl.empty()) {
    if (user == access.owner) return holds(Bits(access.mode, 2));
    return holds(Bits(access.mode, in_group(access.group) ? 1 : 0));
  }
  if (user == access.owner) {
    const AclEntry* owner = Find(access.acl, AclEntry::kOwner);
    return holds(owner ? owner->permissions : Bits(access.mode, 2));
  }
  const AclEntry* mask = Find(access.acl, AclEntry::kMask);
  const unsigned masked = mask ? mask->permissions : 07u;
  bool in_any = false;
  for (const AclEntry& entry : access.acl) {
    if (entry.kind == AclEntry::kUser && entry.id == user) return holds(entry.permissions & masked);
  }
  for (const AclEntry& entry : access.acl) {
    if (entry.kind != AclEntry::kOwningGroup && entry.kind != AclEntry::kGroup) continue;
    if (!in_group(entry.kind == AclEntry::kOwningGroup ? access.group : entry.id)) continue;
    if (holds(entry.permissions & masked)) return true;
    in_any = true;
  }
  const AclEntry* other = Find(access.acl, AclEntry::kOther);
  return !in_any && holds(other ? other->permissions : Bits(access.mode, 0));
}

// The kernel's ACL attribute: a version, then the entries laid out as
// AclEntry lays them out, in little-endian byte order.
constexpr std::uint32_t kAclVersion = 2;
static_assert(sizeof(AclEntry) == 8);

// The entries of an ACL attribute's value; nothing when it is not one.
std::optional<std::vector<AclEntry>> ParseAcl(std::string_view attribute) {
  std::uint32_t version = 0;
  if (attribute.size() < sizeof version) return std::nullopt;
  const std::size_t size = attribute.size() - sizeof version;
  std::memcpy(&version, attribute.data(), sizeof version);
  if (le32toh(version) != kAclVersion || size % sizeof(AclEntry) != 0) return std::nullopt;
  std::vector<AclEntry> entries(size / sizeof(AclEntry));
  std::memcpy(entries.data(), attribute.data() + sizeof version, size);
  for (AclEntry& e : entries) e = {le16toh(e.kind), le16toh(e.permissions), le32toh(e.id)};
  return entries;
}

// The attribute value that holds entries.
std::string FormatAcl(std::vector<AclEntry> entries) {
  const std::uint32_t version = htole32(kAclVersion);
  for (AclEntry& e : entries) e = {htole16(e.kind), htole16(e.permissions), htole32(e.id)};
  return std::string(reinterpret_cast<const char*>(&version), sizeof version)
      .append(reinterpret_cast<const char*>(entries.data()), entries.size() * sizeof(AclEntry));
}

// The extended attribute that holds a file's access ACL.
constexpr const char* kAccessAcl = "system.posix_acl_access";

// Beyond this many groups named, the files are not compared: the answer is
// no. No sheet's ACL names that many groups.
constexpr std::size_t kMostGroups = 12;

}  // namespace

bool GivesNoMore(const Access& old, const Access& now, uid_t runner) {
  if (now == old) return true;
  // The users and groups that either file names, and a user that neither
  // does.
  std::set<uid_t> users = {old.owner, now.owner};
  std::set<gid_t> named_groups = {old.group, now.group};
  for (const Access* file : {&old, &now}) {
    for (const AclEntry& entry : file->acl) {
      if (entry.kind == AclEntry::kUser) users.insert(entry.id);
      if (entry.kind == AclEntry::kGroup) named_groups.insert(entry.id);
    }
  }
  uid_t unnamed = 0;
  while (unnamed == runner || users.contains(unnamed)) ++unnamed;
  users.insert(unnamed);
  const std::vector<gid_t> groups(named_groups.begin(), named_groups.end());
  if (groups.size() > kMostGroups) return false;
  for (const uid_t user : users) {
    if (user == runner) continue;
    for (std::size_t subset = 0; subset < std::size_t{1} << groups.size(); ++subset) {
      const auto in = [&](gid_t group) {
        return (subset >> (std::ranges::lower_bound(groups, group) - groups.begin()) & 1) != 0;
      };
      for (unsigned request = 1; request <= 07; ++request) {
        if (Grants(now, user, in, request) && !Grants(old, user, in, request)) return false;
      }
    }
  }
  return true;
}

Access Replacement(const Access& old, uid_t owner, gid_t group) {
  Access access = old;
  access.owner = owner;
  access.group = group;
  if (owner == old.owner && group == old.group) return access;
  access.mode &= ~mode_t{S_ISUID | S_ISGID};

  // Whoever changes class must gain nothing: the old owner may now come
  // under any entry, the new group's members had at most what other and
  // each group entry gave, and the old group's members count as other now.
  const AclEntry* mask = Find(old.acl, AclEntry::kMask);
  const unsigned masked = mask ? mask->permissions : 07u;
  const unsigned any_entry = owner == old.owner ? 07u : Bits(old.mode, 2);
  unsigned group_keeps = any_entry, other_keeps = any_entry;
  if (group != old.group) {
    group_keeps &= Bits(old.mode, 0) & Bits(old.mode, 1);
    for (const AclEntry& entry : old.acl) {
      if (entry.kind == AclEntry::kOwningGroup || entry.kind == AclEntry::kGroup) {
        group_keeps &= entry.permissions & masked;
      }
    }
    const AclEntry* old_group = Find(old.acl, AclEntry::kOwningGroup);
    other_keeps &= (old_group ? old_group->permissions : 07u) & masked & Bits(old.mode, 1);
  }
  for (AclEntry& entry : access.acl) {
    const bool named = entry.kind == AclEntry::kUser || entry.kind == AclEntry::kGroup;
    const unsigned keeps = named                                  ? any_entry
                           : entry.kind == AclEntry::kOwningGroup ? group_keeps
                           : entry.kind == AclEntry::kOther       ? other_keeps
                                                                  : 07u;
    entry.permissions = static_cast<std::uint16_t>(entry.permissions & keeps);
  }
  const mode_t group_bits = access.acl.empty() ? group_keeps << 3 : 070;  // else the mask
  access.mode &= ~mode_t{077} | group_bits | other_keeps;
  return access;
}

Access ReadAccess(const struct stat& status, int fd) {
  Access access{status.st_uid, status.st_gid, status.st_mode & 07777, {}, 0};
  // As large as an attribute can be; left uninitialised, it costs only the
  // few bytes an ACL takes.
  const auto buffer = std::make_unique_for_overwrite<char[]>(XATTR_SIZE_MAX);
  const ssize_t size =
      getxattr(DescriptorPath(fd).c_str(), kAccessAcl, buffer.get(), XATTR_SIZE_MAX);
  if (size < 0) {
    // Only "no such attribute" and "not kept here" mean that there is none.
    if (errno != ENODATA && errno != ENOTSUP) access.acl_error = errno;
    return access;
  }
  const auto acl = ParseAcl({buffer.get(), static_cast<std::size_t>(size)});
  access.acl = acl.value_or(std::vector<AclEntry>());
  access.acl_error = acl ? 0 : EINVAL;
  return access;
}

std::string GiveAccess(int fd, const Access& old) {
  [[maybe_unused]] const bool given =
      fchown(fd, old.owner, old.group) == 0 || fchown(fd, static_cast<uid_t>(-1), old.group) == 0;
  struct stat status;
  if (fstat(fd, &status) != 0) return SystemReason(errno);
  const Access made = ReadAccess(status, fd);
  Access wanted = Replacement(old, made.owner, made.group);
  if (old.acl_error != 0) {
    // Whatever the unknown ACL held, no one gains where only the owner may
    // do anything.
    wanted.acl.clear();
    wanted.mode &= S_IRWXU;
  }
  if (made.acl_error == 0 && wanted.acl != made.acl) {
    // Only a file system that keeps no ACLs may refuse one.
    const std::string acl = FormatAcl(wanted.acl);
    const int set = wanted.acl.empty() ? fremovexattr(fd, kAccessAcl)
                                       : fsetxattr(fd, kAccessAcl, acl.data(), acl.size(), 0);
    if (set != 0 && errno != ENOTSUP && errno != EPERM) return SystemReason(errno);
  }
  fchmod(fd, wanted.mode);
  if (fstat(fd, &status) != 0) return SystemReason(errno);
  const Access now = ReadAccess(status, fd);
  // A new file whose ACL is unknown can be judged only beside an old one
  // unknown alike; one that lets nobody but its owner in, by its mode alone.
  if (now.acl_error != old.acl_error && (now.acl_error != 0 || (now.mode & 077) != 0)) {
    return SystemReason(now.acl_error != 0 ? now.acl_error : old.acl_error);
  }
  return GivesNoMore(old, now, geteuid()) ? std::string() : kGivesMore;
}

}  // namespace pellorin

#include "access.h"

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <memory>
#include <set>

#include "file_io.h"

namespace pellorin {

namespace {

constexpr std::uint32_t kAclVersion = 2;
constexpr std::size_t kHeaderSize = 4;
constexpr std::size_t kEntrySize = 8;

std::uint32_t Little(std::string_view bytes) {
  std::uint32_t value = 0;
  for (std::size_t i = bytes.size(); i-- > 0;) {
    value = value << 8 | static_cast<unsigned char>(bytes[i]);
  }
  return value;
}

void AppendLittle(std::string& out, std::uint32_t value, std::size_t bytes) {
  for (std::size_t i = 0; i < bytes; ++i) out += static_cast<char>(value >> 8 * i & 0xff);
}

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

// The entries of an ACL attribute's value; nothing when it is not one.
std::optional<std::vector<AclEntry>> ParseAcl(std::string_view attribute) {
  if (attribute.size() < kHeaderSize || (attribute.size() - kHeaderSize) % kEntrySize != 0 ||
      Little(attribute.substr(0, kHeaderSize)) != kAclVersion) {
    return std::nullopt;
  }
  std::vector<AclEntry> entries;
  for (std::size_t at = kHeaderSize; at < attribute.size(); at += kEntrySize) {
    entries.push_back({static_cast<std::uint16_t>(Little(attribute.substr(at, 2))),
                       static_cast<std::uint16_t>(Little(attribute.substr(at + 2, 2))),
                       Little(attribute.substr(at + 4, 4))});
  }
  return entries;
}

// The attribute value that holds entries.
std::string FormatAcl(std::span<const AclEntry> entries) {
  std::string attribute;
  AppendLittle(attribute, kAclVersion, kHeaderSize);
  for (const AclEntry& entry : entries) {
    AppendLittle(attribute, entry.kind, 2);
    AppendLittle(attribute, entry.permissions, 2);
    AppendLittle(attribute, entry.id, 4);
  }
  return attribute;
}

// The extended attribute that holds a file's access ACL.
constexpr const char* kAccessAcl = "system.posix_acl_access";

// Beyond this many groups named, the files are not compared: the answer is
// no. No sheet's ACL names that many groups.
constexpr std::size_t kMostGroups = 12;

}  // namespace

bool GivesNoMore(const Access& old, const Access& now, uid_t runner) {
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

bool Grants(const Access& access, uid_t user, std::span<const gid_t> groups, unsigned request) {
  return Grants(
      access, user, [&](gid_t group) { return std::ranges::find(groups, group) != groups.end(); },
      request);
}

Access ReadAccess(const struct stat& status, int fd) {
  Access access{status.st_uid, status.st_gid, status.st_mode & 07777, {}, 0};
  // As large as an attribute can be; left uninitialised, it costs only the
  // few bytes an ACL takes.
  const auto buffer = std::make_unique_for_overwrite<char[]>(XATTR_SIZE_MAX);
  ssize_t size = fgetxattr(fd, kAccessAcl, buffer.get(), XATTR_SIZE_MAX);
  if (size < 0 && errno == EBADF) {
    size = getxattr(DescriptorPath(fd).c_str(), kAccessAcl, buffer.get(), XATTR_SIZE_MAX);
  }
  if (size < 0) {
    // Only "no such attribute" and "not kept here" mean that there is none.
    if (errno != ENODATA && errno != ENOTSUP) access.acl_error = errno;
    return access;
  }
  const auto acl = ParseAcl({buffer.get(), static_cast<std::size_t>(size)});
  if (acl) access.acl = *acl;
  if (!acl) access.acl_error = EINVAL;
  return access;
}

std::string GiveAccess(int fd, const Access& old) {
  [[maybe_unused]] const bool given =
      fchown(fd, old.owner, old.group) == 0 || fchown(fd, static_cast<uid_t>(-1), old.group) == 0;
  struct stat status;
  if (fstat(fd, &status) != 0) return SystemReason(errno);
  const Access made = ReadAccess(status, fd);
  const Access wanted = Replacement(old, made.owner, made.group);
  if (made.acl_error == 0 && !wanted.acl.empty()) {
    const std::string acl = FormatAcl(wanted.acl);
    fsetxattr(fd, kAccessAcl, acl.data(), acl.size(), 0);
  } else if (made.acl_error == 0 && !made.acl.empty()) {
    fremovexattr(fd, kAccessAcl);  // from the directory's default ACL
  }
  fchmod(fd, wanted.mode);
  if (fstat(fd, &status) != 0) return SystemReason(errno);
  const Access now = ReadAccess(status, fd);
  if (now.acl_error != old.acl_error) {
    return SystemReason(now.acl_error != 0 ? now.acl_error : old.acl_error);
  }
  return GivesNoMore(old, now, geteuid()) ? std::string() : kGivesMore;
}

}  // namespace pellorin

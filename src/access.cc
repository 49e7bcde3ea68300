#include "access.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstddef>

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

// What user, in the groups in_group admits, may do with a file, as the
// kernel decides it, one permission at a time.
template <typename InGroup>
unsigned Permitted(const Access& access, uid_t user, InGroup in_group) {
  if (access.acl.empty()) {
    if (user == access.owner) return Bits(access.mode, 2);
    if (in_group(access.group)) return Bits(access.mode, 1);
    return Bits(access.mode, 0);
  }
  const AclEntry* mask = Find(access.acl, AclEntry::kMask);
  const unsigned masked = mask ? mask->permissions : 07u;
  unsigned groups = 0;
  bool in_any = false;
  for (const AclEntry& entry : access.acl) {
    switch (entry.kind) {
      case AclEntry::kOwner:
        if (user == access.owner) return entry.permissions;
        break;
      case AclEntry::kUser:
        if (user != access.owner && entry.id == user) return entry.permissions & masked;
        break;
      case AclEntry::kOwningGroup:
      case AclEntry::kGroup: {
        const gid_t group = entry.kind == AclEntry::kOwningGroup ? access.group : entry.id;
        if (in_group(group)) {
          in_any = true;
          groups |= entry.permissions;
        }
        break;
      }
      default:
        break;
    }
  }
  if (user == access.owner) return Bits(access.mode, 2);  // an ACL without its owner entry
  if (in_any) return groups & masked;
  const AclEntry* other = Find(access.acl, AclEntry::kOther);
  return other ? other->permissions : Bits(access.mode, 0);
}

// The users and groups that either file names.
void Named(const Access& access, std::vector<uid_t>& users, std::vector<gid_t>& groups) {
  users.push_back(access.owner);
  groups.push_back(access.group);
  for (const AclEntry& entry : access.acl) {
    if (entry.kind == AclEntry::kUser) users.push_back(entry.id);
    if (entry.kind == AclEntry::kGroup) groups.push_back(entry.id);
  }
}

void Unique(auto& ids) {
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
}

// Beyond this many groups named, the files are not compared: the answer is
// no. No sheet's ACL names that many groups.
constexpr std::size_t kMostGroups = 12;

}  // namespace

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

bool GivesNoMore(const Access& old, const Access& now, uid_t runner) {
  std::vector<uid_t> users;
  std::vector<gid_t> groups;
  Named(old, users, groups);
  Named(now, users, groups);
  Unique(users);
  Unique(groups);
  if (groups.size() > kMostGroups) return false;
  // And any user that neither file names.
  uid_t unnamed = 0;
  while (unnamed == runner || std::ranges::binary_search(users, unnamed)) ++unnamed;
  users.push_back(unnamed);
  for (const uid_t user : users) {
    if (user == runner) continue;
    for (std::size_t subset = 0; subset < std::size_t{1} << groups.size(); ++subset) {
      const auto in = [&](gid_t group) {
        const auto at = std::ranges::lower_bound(groups, group) - groups.begin();
        return (subset >> at & 1) != 0;
      };
      if ((Permitted(now, user, in) & ~Permitted(old, user, in)) != 0) return false;
    }
  }
  return true;
}

Access Replacement(const Access& old, uid_t owner, gid_t group) {
  Access access = old;
  access.owner = owner;
  access.group = group;
  if (owner != old.owner || group != old.group) access.mode &= ~mode_t{S_ISUID | S_ISGID};
  if (owner == old.owner && group == old.group) return access;

  // The permissions that the owning group and other may keep: the new
  // group's members had other's before, and whoever no longer belongs to the
  // owner or the owning group counts as other now.
  AclEntry* owning_group = nullptr;
  AclEntry* other = nullptr;
  for (AclEntry& entry : access.acl) {
    if (entry.kind == AclEntry::kOwningGroup) owning_group = &entry;
    if (entry.kind == AclEntry::kOther) other = &entry;
  }
  const AclEntry* mask = Find(old.acl, AclEntry::kMask);
  unsigned group_keeps = owning_group ? owning_group->permissions : Bits(old.mode, 1);
  unsigned other_keeps = Bits(old.mode, 0);
  const unsigned old_group = group_keeps & (mask ? mask->permissions : 07u);
  if (group != old.group) {
    group_keeps &= Bits(old.mode, 0);
    other_keeps &= old_group;
  }
  if (owner != old.owner) {
    group_keeps &= Bits(old.mode, 2);
    other_keeps &= Bits(old.mode, 2);
  }
  access.mode = (access.mode & ~mode_t{07}) | other_keeps;
  if (other) other->permissions = static_cast<std::uint16_t>(other_keeps);
  if (owning_group) {
    owning_group->permissions = static_cast<std::uint16_t>(group_keeps);
  } else {
    access.mode = (access.mode & ~mode_t{070}) | group_keeps << 3;
  }
  return access;
}

}  // namespace pellorin

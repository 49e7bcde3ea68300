#include "access.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pellorin {
namespace {

constexpr uid_t kRunner = 1000, kAlice = 1001, kBob = 1002;
constexpr gid_t kAudio = 29, kRunners = 1000, kStaff = 50;
using E = AclEntry;

// A file of alice and audio with mode and, if any, these ACL entries.
Access File(mode_t mode, std::vector<AclEntry> acl = {}) { return {kAlice, kAudio, mode, acl}; }

std::vector<AclEntry> Acl(std::uint16_t group, std::uint16_t mask, std::uint16_t other,
                          std::vector<AclEntry> named = {}) {
  std::vector<AclEntry> acl{{E::kOwner, 6, 0}};
  for (const AclEntry& entry : named) {
    if (entry.kind == E::kUser) acl.push_back(entry);
  }
  acl.push_back({E::kOwningGroup, group, 0});
  for (const AclEntry& entry : named) {
    if (entry.kind == E::kGroup) acl.push_back(entry);
  }
  acl.push_back({E::kMask, mask, 0});
  acl.push_back({E::kOther, other, 0});
  return acl;
}

TEST(AccessTest, GivesNoMoreForAnyUserInAnyGroups) {
  Access runners = File(0640);
  runners.group = kRunners;
  Access runner_owns = File(0640);
  runner_owns.owner = kRunner;
  Access alice_first = File(0604);  // audio may not read it, others may
  alice_first.group = kRunners;
  const struct {
    const char* what;
    Access old, now;
    bool no_more;
  } cases[] = {
      {"the same", File(0640), File(0640), true},
      {"narrower", File(0644), File(0600), true},
      {"other may write", File(0644), File(0646), false},
      {"another group reads what other could not", File(0640), runners, false},
      {"the runner owns it", File(0640), runner_owns, true},
      {"the old group counts as other", File(0604), alice_first, false},
      {"bob named", File(0640), File(0660, Acl(4, 6, 0, {{E::kUser, 6, kBob}})), false},
      {"bob kept", File(0660, Acl(4, 6, 0, {{E::kUser, 6, kBob}})),
       File(0660, Acl(4, 6, 0, {{E::kUser, 6, kBob}})), true},
      {"bob masked", File(0660, Acl(4, 6, 0, {{E::kUser, 6, kBob}})), File(0640), true},
      {"bob shut out, then other's", File(0644, Acl(4, 4, 4, {{E::kUser, 0, kBob}})), File(0644),
       false},
      {"staff may write", File(0640, Acl(4, 4, 0)),
       File(0660, Acl(4, 6, 0, {{E::kGroup, 6, kStaff}})), false},
      {"the ACL's group entry wider than the mask", File(0640, Acl(6, 4, 0)), File(0640), true},
  };
  for (const auto& c : cases) EXPECT_EQ(GivesNoMore(c.old, c.now, kRunner), c.no_more) << c.what;
}

TEST(AccessTest, ReplacementNarrowsWhereOwnerOrGroupIsAnother) {
  const struct {
    const char* what;
    Access old;
    uid_t owner;
    gid_t group;
    mode_t mode;
    std::uint16_t acl_group = 0, acl_other = 0;
  } cases[] = {
      {"both kept", File(06640), kAlice, kAudio, 06640},
      {"the group is the runner's", File(0640), kAlice, kRunners, 0600},
      {"other reads, the group does not", File(0604), kAlice, kRunners, 0600},
      {"the owner is the runner", File(06664), kRunner, kAudio, 0664},
      {"an owner with less", File(0466), kRunner, kAudio, 0444},
      {"with an ACL", File(0664, Acl(6, 6, 4)), kAlice, kRunners, 0664, 4, 4},
  };
  for (const auto& c : cases) {
    const Access replacement = Replacement(c.old, c.owner, c.group);
    EXPECT_EQ(replacement.mode, c.mode) << c.what;
    EXPECT_TRUE(GivesNoMore(c.old, replacement, kRunner)) << c.what;
    for (const AclEntry& entry : replacement.acl) {
      if (entry.kind == E::kOwningGroup) {
        EXPECT_EQ(entry.permissions, c.acl_group) << c.what;
      } else if (entry.kind == E::kOther) {
        EXPECT_EQ(entry.permissions, c.acl_other) << c.what;
      }
    }
  }
}

TEST(AccessTest, ParsesWhatItFormats) {
  const std::vector<AclEntry> acl = Acl(4, 6, 0, {{E::kUser, 6, kBob}, {E::kGroup, 7, 70000}});
  EXPECT_EQ(ParseAcl(FormatAcl(acl)), acl);
  EXPECT_EQ(FormatAcl(acl).size(), 4 + 8 * acl.size());
  for (const std::string& bad :
       {std::string(), std::string("\2\0\0", 3), std::string("\1\0\0\0", 4),
        std::string("\2\0\0\0\1\0\6\0\0", 9)}) {
    EXPECT_EQ(ParseAcl(bad), std::nullopt);
  }
}

}  // namespace
}  // namespace pellorin

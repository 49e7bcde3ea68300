#include "access.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pellorin {
namespace {

constexpr uid_t kRunner = 1000, kAlice = 1001, kBob = 1002;
constexpr gid_t kAudio = 29, kRunners = 1000, kStaff = 50;
using E = AclEntry;

// A file with mode and, if any, these ACL entries, alice's and audio's unless
// told.
Access File(mode_t mode, std::vector<AclEntry> acl = {}, uid_t owner = kAlice,
            gid_t group = kAudio) {
  return {owner, group, mode, acl};
}

// An ACL with these permissions for the owning group, the mask and other,
// and the named entries; the owner may read and write.
std::vector<AclEntry> Acl(std::uint16_t group, std::uint16_t mask, std::uint16_t other,
                          std::vector<AclEntry> named = {}) {
  named.insert(named.end(),
               {{E::kOwner, 6}, {E::kOwningGroup, group}, {E::kMask, mask}, {E::kOther, other}});
  return named;
}

TEST(AccessTest, GivesNoMoreForAnyUserInAnyGroups) {
  const struct {
    const char* what;
    Access old, now;
    bool no_more;
  } cases[] = {
      {"other may write", File(0644), File(0646), false},
      {"another group reads what other could not", File(0640), File(0640, {}, kAlice, kRunners),
       false},
      {"the runner owns it", File(0640), File(0640, {}, kRunner), true},
      // Audio may not read it, others may.
      {"the old group counts as other", File(0604), File(0604, {}, kAlice, kRunners), false},
      {"bob named", File(0640), File(0660, Acl(4, 6, 0, {{E::kUser, 6, kBob}})), false},
      {"bob masked", File(0660, Acl(4, 6, 0, {{E::kUser, 6, kBob}})), File(0640), true},
      {"bob shut out, then other's", File(0644, Acl(4, 4, 4, {{E::kUser, 0, kBob}})), File(0644),
       false},
      {"staff may write", File(0640, Acl(4, 4, 0)),
       File(0660, Acl(4, 6, 0, {{E::kGroup, 6, kStaff}})), false},
      {"the ACL's group entry wider than the mask", File(0640, Acl(6, 4, 0)), File(0640), true},
  };
  for (const auto& c : cases) EXPECT_EQ(GivesNoMore(c.old, c.now, kRunner), c.no_more) << c.what;
}

// The runner owns the replacement where it cannot give it the old owner.
TEST(AccessTest, ReplacementGivesNoMoreWhereOwnerOrGroupIsTheRunners) {
  for (const Access& old : {File(06664), File(0604), File(0466), File(0664, Acl(6, 6, 4))}) {
    for (const auto& [owner, group] :
         {std::pair{kAlice, kRunners}, {kRunner, kAudio}, {kRunner, kStaff}}) {
      EXPECT_TRUE(GivesNoMore(old, Replacement(old, owner, group), kRunner))
          << std::oct << old.mode << std::dec << " to " << owner << ":" << group;
    }
  }
}

}  // namespace
}  // namespace pellorin

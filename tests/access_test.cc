#include "access.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "file_io.h"

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
      // No one entry lets audio read and write at once.
      {"read and write from two entries", File(0660, Acl(4, 6, 0, {{E::kGroup, 2, kAudio}})),
       File(0660), false},
  };
  for (const auto& c : cases) EXPECT_EQ(GivesNoMore(c.old, c.now, kRunner), c.no_more) << c.what;
}

// The rule against the kernel: files made by root with setfacl for other
// users, and what faccessat grants those users, in every set of the groups
// the files name, for every request.
constexpr uid_t kOwner = 60001, kNamed = 60002, kNobody = 60003, kRunnerHere = 60004;
constexpr gid_t kGroup = 60011, kNamedGroup = 60012, kPrimary = 60099;
const std::vector<std::vector<gid_t>> kGroupSets = {
    {}, {kGroup}, {kNamedGroup}, {kGroup, kNamedGroup}};
const struct {
  mode_t mode;
  std::string acl;
} kFiles[] = {
    {0640, ""},
    {0604, ""},
    {06754, ""},
    {0460, ""},
    {0660, "u::rw-,g::r--,g:60011:-w-,m::rw-,o::---"},
    {0640, "u::rw-,u:60002:rw-,g::---,g:60012:rwx,m::r--,o::r--"},
    {0674, "u::rw-,u:60002:---,g::r-x,g:60012:-wx,m::rwx,o::r--"},
};

// What returns, run as user in groups and in kPrimary.
template <typename What>
int As(uid_t user, const std::vector<gid_t>& groups, What what) {
  const pid_t child = fork();
  if (child == 0) {
    const bool became = setgroups(groups.size(), groups.data()) == 0 &&
                        setresgid(kPrimary, kPrimary, kPrimary) == 0 &&
                        setresuid(user, user, user) == 0;
    _exit(became ? what() : 255);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WEXITSTATUS(status);
}

// The requests that the kernel grants, bit r - 1 for request r.
int KernelGrants(const std::string& path, uid_t user, const std::vector<gid_t>& groups) {
  return As(user, groups, [&] {
    int granted = 0;
    for (int request = 1; request <= 7; ++request) {
      if (faccessat(AT_FDCWD, path.c_str(), request, AT_EACCESS) == 0)
        granted |= 1 << (request - 1);
    }
    return granted;
  });
}

Access Read(const std::string& path) {
  const UniqueFd file(open(path.c_str(), O_RDONLY));
  struct stat status;
  EXPECT_EQ(fstat(file.get(), &status), 0);
  return ReadAccess(status, file.get());
}

TEST(AccessKernelTest, TheRuleGrantsWhatTheKernelGrantsAndReplacementsNoMore) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can make files of other users";
  if (std::system("command -v setfacl >/dev/null") != 0) GTEST_SKIP() << "no setfacl";
  char directory[] = "/tmp/access_test.XXXXXX";
  ASSERT_NE(mkdtemp(directory), nullptr);
  chmod(directory, 0777);
  int made = 0;
  for (const auto& file : kFiles) {
    const std::string old = directory + ("/" + std::to_string(made++));
    close(open(old.c_str(), O_CREAT | O_WRONLY, 0600));
    ASSERT_EQ(chown(old.c_str(), kOwner, kGroup) | chmod(old.c_str(), file.mode), 0);
    if (!file.acl.empty()) {
      ASSERT_EQ(std::system(("setfacl --set " + file.acl + " " + old).c_str()), 0);
    }
    const Access access = Read(old);
    for (const uid_t user : {kOwner, kNamed, kNobody}) {
      for (const auto& groups : kGroupSets) {
        int rule = 0;
        for (unsigned request = 1; request <= 7; ++request) {
          if (Grants(access, user, groups, request)) rule |= 1 << (request - 1);
        }
        EXPECT_EQ(rule, KernelGrants(old, user, groups))
            << old << " " << file.acl << " for " << user;
      }
    }
    // A runner who may give the old group, and one who may not, replaces it.
    for (const auto& runners_groups : {std::vector<gid_t>{}, {kGroup}}) {
      const std::string now = directory + ("/" + std::to_string(made++));
      EXPECT_EQ(As(kRunnerHere, runners_groups,
                   [&] {
                     const UniqueFd fd(open(now.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0600));
                     return fd && GiveAccess(fd.get(), access).empty() ? 0 : 1;
                   }),
                0)
          << now << " replacing " << old;
      for (const uid_t user : {kOwner, kNamed, kNobody}) {
        for (const auto& groups : kGroupSets) {
          EXPECT_EQ(KernelGrants(now, user, groups) & ~KernelGrants(old, user, groups), 0)
              << now << " replacing " << old << " " << file.acl << ", for " << user;
        }
      }
    }
  }
  std::filesystem::remove_all(directory);
}

}  // namespace
}  // namespace pellorin

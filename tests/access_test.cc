#include "access.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <array>
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

// Files made as root and judged by the kernel, for users who own them, are
// named in their ACL or neither, in any of the groups the ACLs name.
class AccessKernelTest : public testing::Test {
 protected:
  static constexpr uid_t kOwner = 60001, kNamed = 60002, kNobody = 60003;
  static constexpr gid_t kGroup = 60011, kNamedGroup = 60012, kPrimary = 60099;

  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "only root can make files of other users";
    if (std::system("command -v setfacl >/dev/null") != 0) GTEST_SKIP() << "no setfacl";
    char name[] = "/tmp/access_test.XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    directory_ = name;
    chmod(name, 0755);
  }
  void TearDown() override {
    if (!directory_.empty()) std::filesystem::remove_all(directory_);
  }

  // A file that gives what access says, made with chown, chmod and setfacl.
  std::string Make(const Access& access) {
    const std::string path = directory_ + "/" + std::to_string(files_++);
    close(open(path.c_str(), O_CREAT | O_WRONLY, 0600));
    EXPECT_EQ(chown(path.c_str(), access.owner, access.group), 0);
    EXPECT_EQ(chmod(path.c_str(), access.mode), 0);
    if (!access.acl.empty()) {
      std::string text;
      for (const AclEntry& entry : access.acl) {
        const char* kind = entry.kind == E::kOwner || entry.kind == E::kUser ? "u:"
                           : entry.kind == E::kMask                          ? "m:"
                           : entry.kind == E::kOther                         ? "o:"
                                                                             : "g:";
        const bool named = entry.kind == E::kUser || entry.kind == E::kGroup;
        text += std::string(text.empty() ? "" : ",") + kind +
                (named ? std::to_string(entry.id) : "") + ":" + "-r"[entry.permissions >> 2 & 1] +
                "-w"[entry.permissions >> 1 & 1] + "-x"[entry.permissions & 1];
      }
      EXPECT_EQ(std::system(("setfacl --set " + text + " " + path).c_str()), 0) << text;
    }
    return path;
  }

  // What the file at path gives, read back from it.
  static Access Read(const std::string& path) {
    const UniqueFd file(open(path.c_str(), O_RDONLY));
    struct stat status;
    EXPECT_EQ(fstat(file.get(), &status), 0);
    return ReadAccess(status, file.get());
  }

  // The requests, as bits 1 to 7 of the result, that the kernel grants user
  // in groups, and in kPrimary, on the file at path.
  static unsigned KernelGrants(const std::string& path, uid_t user, std::vector<gid_t> groups) {
    const pid_t child = fork();
    if (child == 0) {
      if (setgroups(groups.size(), groups.data()) != 0 || setresgid(kPrimary, kPrimary, kPrimary) ||
          setresuid(user, user, user) != 0) {
        _exit(255);
      }
      unsigned granted = 0;
      for (unsigned request = 1; request <= 7; ++request) {
        if (faccessat(AT_FDCWD, path.c_str(), static_cast<int>(request), AT_EACCESS) == 0) {
          granted |= 1u << request;
        }
      }
      _exit(static_cast<int>(granted >> 1));
    }
    int status = 0;
    waitpid(child, &status, 0);
    return static_cast<unsigned>(WEXITSTATUS(status)) << 1;
  }

  static unsigned RuleGrants(const Access& access, uid_t user, const std::vector<gid_t>& groups) {
    unsigned granted = 0;
    for (unsigned request = 1; request <= 7; ++request) {
      if (Grants(access, user, groups, request)) granted |= 1u << request;
    }
    return granted;
  }

  static constexpr std::array<uid_t, 3> kUsers = {kOwner, kNamed, kNobody};
  const std::vector<std::vector<gid_t>> group_sets_ = {
      {}, {kGroup}, {kNamedGroup}, {kGroup, kNamedGroup}};
  std::string directory_;
  int files_ = 0;
};

std::vector<Access> KernelTable(uid_t owner, gid_t group, uid_t named, gid_t named_group) {
  const auto acl = [](std::vector<AclEntry> entries) { return entries; };
  return {
      {owner, group, 0640, {}},
      {owner, group, 0604, {}},
      {owner, group, 06754, {}},
      {owner, group, 0460, {}},
      {owner, group, 0660,
       acl({{E::kOwner, 6},
            {E::kOwningGroup, 4},
            {E::kGroup, 2, group},
            {E::kMask, 6},
            {E::kOther, 0}})},
      {owner, group, 0640,
       acl({{E::kOwner, 6},
            {E::kUser, 6, named},
            {E::kOwningGroup, 0},
            {E::kGroup, 7, named_group},
            {E::kMask, 4},
            {E::kOther, 4}})},
      {owner, group, 0674,
       acl({{E::kOwner, 6},
            {E::kUser, 0, named},
            {E::kOwningGroup, 5},
            {E::kGroup, 3, named_group},
            {E::kMask, 7},
            {E::kOther, 4}})},
  };
}

TEST_F(AccessKernelTest, TheRuleGrantsWhatTheKernelGrants) {
  for (const Access& made : KernelTable(kOwner, kGroup, kNamed, kNamedGroup)) {
    const std::string path = Make(made);
    const Access access = Read(path);
    for (const uid_t user : kUsers) {
      for (const auto& groups : group_sets_) {
        EXPECT_EQ(RuleGrants(access, user, groups), KernelGrants(path, user, groups))
            << path << " mode " << std::oct << made.mode << std::dec << " for " << user << " in "
            << groups.size() << " groups";
      }
    }
  }
}

// A replacement owned by the runner, or in the runner's group, lets the
// kernel grant no one else a request that the old sheet did not.
TEST_F(AccessKernelTest, ReplacementGrantsNoOneMore) {
  constexpr uid_t kRunnerHere = kNobody + 1;
  for (const Access& old : KernelTable(kOwner, kGroup, kNamed, kNamedGroup)) {
    const std::string old_path = Make(old);
    for (const auto& [owner, group] :
         {std::pair{kOwner, kPrimary}, {kRunnerHere, kGroup}, {kRunnerHere, kNamedGroup}}) {
      const std::string path = Make(Replacement(Read(old_path), owner, group));
      for (const uid_t user : kUsers) {
        for (const auto& groups : group_sets_) {
          const unsigned before = KernelGrants(old_path, user, groups);
          EXPECT_EQ(KernelGrants(path, user, groups) & ~before, 0u)
              << old_path << " replaced as " << owner << ":" << group << ", for " << user;
        }
      }
    }
  }
}

}  // namespace
}  // namespace pellorin

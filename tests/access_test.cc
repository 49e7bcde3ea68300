#include "access.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "file_io.h"

namespace pellorin {
namespace {

// The access rule against the kernel, which root asks on behalf of other
// users: files made with setfacl, and what faccessat grants each user in each
// set of the groups the files name, for every request.
constexpr uid_t kOwner = 60001, kNamed = 60002, kNobody = 60003, kRunner = 60004;
constexpr gid_t kGroup = 60011, kNamedGroup = 60012, kPrimary = 60099;
const struct {
  mode_t mode;
  std::string acl;
  uid_t owner = kOwner;
  gid_t group = kGroup;
} kFiles[] = {
    {0640, ""},
    {0646, ""},
    {0604, ""},  // the group may not read what other may
    {0640, "", kOwner, kNamedGroup},
    {0640, "", kRunner},
    {06754, ""},
    {0460, ""},
    // No one entry lets the group read and write at once.
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

// For every user but the runner, in every set of groups: the requests that
// the kernel grants on path, bit r - 1 for request r.
std::vector<int> KernelGrants(const std::string& path) {
  std::vector<int> grid;
  for (const uid_t user : {kOwner, kNamed, kNobody}) {
    for (const std::vector<gid_t>& groups :
         {std::vector<gid_t>{}, {kGroup}, {kNamedGroup}, {kGroup, kNamedGroup}}) {
      int bits = 0;
      for (int request = 1; request <= 7; ++request) {
        const auto granted = [&] { return faccessat(AT_FDCWD, path.c_str(), request, AT_EACCESS); };
        if (As(user, groups, granted) == 0) bits |= 1 << (request - 1);
      }
      grid.push_back(bits);
    }
  }
  return grid;
}

bool NoMore(const std::vector<int>& old, const std::vector<int>& now) {
  return std::ranges::equal(old, now, [](int was, int is) { return (is & ~was) == 0; });
}

// The rule finds that one file gives no one but the runner more than another
// exactly where the kernel finds it; and a
// replacement made by the runner, who may or may not give the old group, in a
// directory whose default ACL would give more, gives no one more.
TEST(AccessKernelTest, TheRuleJudgesAsTheKernelAndReplacementsGiveNoMore) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can make files of other users";
  if (std::system("command -v setfacl >/dev/null") != 0) GTEST_SKIP() << "no setfacl";
  char directory[] = "/tmp/access_test.XXXXXX";
  ASSERT_NE(mkdtemp(directory), nullptr);
  const std::string d = directory, replacements = d + "/new";
  ASSERT_EQ(std::system(("chmod 755 " + d + " && mkdir -m 777 " + replacements +
                         " && setfacl -d -m u:60003:rw " + replacements)
                            .c_str()),
            0);
  std::vector<Access> files;
  std::vector<std::vector<int>> grants;
  for (const auto& file : kFiles) {
    const std::string old = d + "/" + std::to_string(files.size());
    const UniqueFd fd(open(old.c_str(), O_CREAT | O_RDONLY, 0600));
    ASSERT_EQ(fchown(fd.get(), file.owner, file.group) | fchmod(fd.get(), file.mode), 0);
    if (!file.acl.empty()) {
      ASSERT_EQ(std::system(("setfacl --set " + file.acl + " " + old).c_str()), 0);
    }
    struct stat status;
    ASSERT_EQ(fstat(fd.get(), &status), 0);
    files.push_back(ReadAccess(status, fd.get()));
    grants.push_back(KernelGrants(old));
    for (const std::vector<gid_t>& runners_groups : {std::vector<gid_t>{}, {kGroup}}) {
      const std::string now =
          replacements + "/" + old.substr(d.size() + 1) + std::to_string(runners_groups.size());
      EXPECT_EQ(As(kRunner, runners_groups,
                   [&] {
                     const UniqueFd made(open(now.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0600));
                     return made && GiveAccess(made.get(), files.back()).empty() ? 0 : 1;
                   }),
                0)
          << now << " replacing " << old;
      EXPECT_TRUE(NoMore(grants.back(), KernelGrants(now))) << now << " replacing " << old;
    }
  }
  for (std::size_t old = 0; old < files.size(); ++old) {
    for (std::size_t now = 0; now < files.size(); ++now) {
      EXPECT_EQ(GivesNoMore(files[old], files[now], kRunner), NoMore(grants[old], grants[now]))
          << "file " << now << " replacing file " << old;
    }
  }
  std::filesystem::remove_all(directory);
}

}  // namespace
}  // namespace pellorin

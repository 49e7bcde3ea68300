// Runs the built program as a user would: in a working directory of the
// test's own, with its output captured and its exit status read.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pellorin::testing {

struct RunOptions {
  // Largest file the program may write, in bytes; negative for no limit.
  long long file_size_limit = -1;
  // Run as an unprivileged user, so that permissions apply even under root.
  bool unprivileged = false;
  // Where standard output goes instead of being captured, when set.
  std::string stdout_path = {};
};

struct RunResult {
  std::string out;
  std::string err;
  int status = -1;  // exit status; -1 when ended by a signal
};

RunResult RunPellorin(const std::filesystem::path& dir, const std::vector<std::string>& args,
                      const RunOptions& options = {});

// A fresh empty directory, removed with everything in it at the end of scope.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  // Names of the entries in the directory, sorted.
  std::vector<std::string> Entries() const;

 private:
  std::filesystem::path path_;
};

}  // namespace pellorin::testing

#include "run_program.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

namespace pellorin::testing {

namespace {

constexpr uid_t kNobody = 65534;

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t got;
  while ((got = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, got);
  close(fd);
  return text;
}

[[noreturn]] void ExecInChild(const std::filesystem::path& dir,
                              const std::vector<std::string>& args, const RunOptions& options,
                              int out_fd, int err_fd) {
  if (!options.stdout_path.empty()) out_fd = open(options.stdout_path.c_str(), O_WRONLY);
  dup2(out_fd, STDOUT_FILENO);
  dup2(err_fd, STDERR_FILENO);
  int null_fd = open("/dev/null", O_RDONLY);
  dup2(null_fd, STDIN_FILENO);
  if (options.file_size_limit >= 0) {
    rlimit limit{static_cast<rlim_t>(options.file_size_limit),
                 static_cast<rlim_t>(options.file_size_limit)};
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  if (options.unprivileged && geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
    _exit(127);
  }
  if (chdir(dir.c_str()) != 0) _exit(127);
  std::vector<char*> argv{const_cast<char*>(PELLORIN_BINARY)};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  execv(PELLORIN_BINARY, argv.data());
  _exit(127);
}

}  // namespace

RunResult RunPellorin(const std::filesystem::path& dir, const std::vector<std::string>& args,
                      const RunOptions& options) {
  int out_pipe[2], err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) throw std::runtime_error("pipe");
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) ExecInChild(dir, args, options, out_pipe[1], err_pipe[1]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  RunResult result;
  // The program writes nothing to standard error, so reading it last cannot stall.
  result.out = ReadAll(out_pipe[0]);
  result.err = ReadAll(err_pipe[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "pellorin-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
  path_ = pattern;
  // Reachable by the unprivileged user some runs take on.
  std::filesystem::permissions(path_, std::filesystem::perms::all);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> ScratchDir::Entries() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace pellorin::testing

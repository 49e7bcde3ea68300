#include "sheet_lookup.h"

#include <fcntl.h>
#include <linux/limits.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <tuple>
#include <utility>

namespace pellorin {

namespace {

// As many links as the kernel follows in one lookup.
constexpr int kMaxLinks = 40;

// A path cut behind its last slash: the directory part ("." where there is
// none) and the last part.
std::pair<std::string, std::string> Split(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {".", std::string(path)};
  return {std::string(path.substr(0, slash + 1)), std::string(path.substr(slash + 1))};
}

// A last part that is empty, "." or ".." is a directory's.
bool NamesDirectory(const std::string& last) { return last.empty() || last == "." || last == ".."; }

// The text of the link that fd was opened on, with O_PATH and O_NOFOLLOW.
std::optional<std::string> ReadLink(int fd) {
  std::string text(PATH_MAX, '\0');
  const ssize_t length = readlinkat(fd, "", text.data(), text.size());
  if (length < 0) return std::nullopt;
  text.resize(static_cast<std::size_t>(length));
  return text;
}

bool InProc(int directory) {
  struct statfs file_system;
  return fstatfs(directory, &file_system) == 0 && file_system.f_type == PROC_SUPER_MAGIC;
}

}  // namespace

std::string LookUpSheet(const std::string& name, SheetPlace& place) {
  if (name.empty()) return SystemReason(ENOENT);
  auto [directory, last] = Split(name);
  if (NamesDirectory(last)) return kIsDirectory;
  place.directory = UniqueFd(open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!place.directory) return SystemReason(errno);
  place.entry = last;
  UniqueFd kernel;
  struct stat end;
  int links = 0;
  for (;; ++links) {
    UniqueFd file(
        openat(place.directory.get(), place.entry.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat status;
    if (!file) {
      if (errno != ENOENT) return SystemReason(errno);
      break;
    }
    if (fstat(file.get(), &status) != 0) return SystemReason(errno);
    if (!S_ISLNK(status.st_mode)) {
      place.found = status;
      place.file = std::move(file);
      break;
    }
    if (links == 0) {
      // The kernel's own lookup says where the links may lead, or why not.
      kernel = UniqueFd(openat(place.directory.get(), last.c_str(), O_PATH | O_CLOEXEC));
      if (kernel ? fstat(kernel.get(), &end) != 0 : errno != ENOENT) return SystemReason(errno);
    }
    if (links == kMaxLinks) return SystemReason(ELOOP);
    // The links of /proc to pipes and terminals have texts that are no paths.
    if (kernel && !S_ISREG(end.st_mode) && !S_ISDIR(end.st_mode) && InProc(place.directory.get())) {
      place.found = end;
      place.file = std::move(kernel);
      place.through_link = true;
      return {};
    }
    const std::optional<std::string> text = ReadLink(file.get());
    if (!text) return SystemReason(errno);
    std::tie(directory, last) = Split(*text);
    if (NamesDirectory(last)) return kIsDirectory;
    place.directory = UniqueFd(
        openat(place.directory.get(), directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!place.directory) return SystemReason(errno);
    place.entry = last;
  }
  if (links == 0) return {};
  const bool same = kernel ? place.found && IdOf(*place.found) == IdOf(end) : !place.found;
  return same ? std::string() : kLeadsElsewhere;
}

}  // namespace pellorin

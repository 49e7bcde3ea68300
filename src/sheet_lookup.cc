#include "sheet_lookup.h"

#include <fcntl.h>
#include <linux/limits.h>
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

// Where the kernel's own lookup of name, from directory, ends: at nothing, or
// at end; false, with errno set, where it fails.
bool KernelLookup(int directory, const char* name, std::optional<struct stat>& end) {
  const UniqueFd file(openat(directory, name, O_PATH | O_CLOEXEC));
  struct stat status;
  if (!file) return errno == ENOENT;
  if (fstat(file.get(), &status) != 0) return false;
  end = status;
  return true;
}

}  // namespace

std::string LookUpSheet(const std::string& name, SheetPlace& place) {
  auto [directory, last] = Split(name);
  // An empty name too, which the kernel finds nothing by.
  if (NamesDirectory(last)) {
    const UniqueFd file(open(name.c_str(), O_PATH | O_CLOEXEC));
    return file ? kIsDirectory : SystemReason(errno);
  }
  place.directory = UniqueFd(open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!place.directory) return SystemReason(errno);
  place.entry = last;
  std::optional<struct stat> end;  // where the kernel's lookup ends, once a link is met
  for (int links = 0;; ++links) {
    UniqueFd file(
        openat(place.directory.get(), place.entry.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat status;
    if (!file) {
      if (errno != ENOENT) return SystemReason(errno);
      place.through_links = links > 0;
      return end ? kLeadsElsewhere : std::string();
    }
    if (fstat(file.get(), &status) != 0) return SystemReason(errno);
    if (!S_ISLNK(status.st_mode)) {
      place.found = status;
      place.file = std::move(file);
      return !end || IdOf(*end) == IdOf(status) ? std::string() : kLeadsElsewhere;
    }
    if (links == 0) {
      // The kernel's own lookup says where the links may lead, or why not.
      // An end that is not a regular file is reached through the name.
      if (!KernelLookup(place.directory.get(), last.c_str(), end)) return SystemReason(errno);
      if (end && !S_ISREG(end->st_mode)) {
        place.found = end;
        return {};
      }
    }
    if (links == kMaxLinks) return SystemReason(ELOOP);
    const std::optional<std::string> text = ReadLink(file.get());
    if (!text) return SystemReason(errno);
    std::tie(directory, last) = Split(*text);
    if (NamesDirectory(last)) return end ? kLeadsElsewhere : SystemReason(ENOENT);
    place.directory = UniqueFd(
        openat(place.directory.get(), directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!place.directory) return SystemReason(errno);
    place.entry = last;
  }
}

std::string Reaches(const std::string& name, const FileId& id) {
  const UniqueFd file(open(name.c_str(), O_PATH | O_CLOEXEC));
  struct stat status;
  if (!file || fstat(file.get(), &status) != 0) return SystemReason(errno);
  return IdOf(status) == id ? std::string() : kLeadsElsewhere;
}

}  // namespace pellorin

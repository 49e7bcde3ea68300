#include "file_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace pellorin {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

UniqueFd::~UniqueFd() { Close(); }

bool UniqueFd::Close() {
  // The descriptor is gone after close whatever it reports, EINTR included.
  return fd_ < 0 || close(std::exchange(fd_, -1)) == 0;
}

FileId IdOf(const struct stat& status) { return {status.st_dev, status.st_ino}; }

bool SameFile(int fd, const FileId& id) {
  struct stat status;
  return fstat(fd, &status) == 0 && IdOf(status) == id;
}

std::string DescriptorPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

std::optional<OpenedFile> OpenInput(const std::string& path) {
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC));
  struct stat status;
  if (!fd || fstat(fd.get(), &status) != 0) return std::nullopt;
  OpenedFile file{std::move(fd), std::nullopt};
  if (S_ISREG(status.st_mode)) file.regular = IdOf(status);
  return file;
}

std::optional<std::size_t> ReadSome(int fd, std::span<std::byte> buffer) {
  ssize_t got;
  do {
    got = read(fd, buffer.data(), buffer.size());
  } while (got < 0 && errno == EINTR);
  if (got < 0) return std::nullopt;
  return static_cast<std::size_t>(got);
}

std::optional<std::size_t> ReadFull(int fd, std::span<std::byte> buffer) {
  std::size_t filled = 0;
  while (filled < buffer.size()) {
    const std::optional<std::size_t> got = ReadSome(fd, buffer.subspan(filled));
    if (!got) return std::nullopt;
    if (*got == 0) break;
    filled += *got;
  }
  return filled;
}

std::string SystemReason(int error) { return std::strerror(error); }

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = write(fd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace pellorin

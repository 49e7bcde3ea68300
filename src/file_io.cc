#include "file_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

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

CopyResult CopyRange(int in, off_t offset, int out, std::uint64_t length,
                     const std::function<void(std::uint64_t)>& progress) {
  // The kernel copies a few megabytes at a time; a buffer is best kept as
  // small as the processor's caches.
  constexpr std::size_t kStep = std::size_t{8} << 20, kBuffer = std::size_t{256} << 10;
  // Made only where the kernel cannot copy, or fails to: the copy through
  // it then says which side failed.
  std::unique_ptr<char[]> buffer;
  for (std::uint64_t done = 0; done < length;) {
    const auto step =
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer ? kBuffer : kStep, length - done));
    ssize_t got = 0;
    if (!buffer) {
      got = copy_file_range(in, &offset, out, nullptr, step, 0);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        buffer = std::make_unique_for_overwrite<char[]>(kBuffer);
        continue;
      }
    } else {
      got = pread(in, buffer.get(), step, offset);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return {got == 0 ? ENODATA : errno, true};
      if (!WriteAll(out, {buffer.get(), static_cast<std::size_t>(got)})) return {errno, false};
      offset += got;
    }
    done += static_cast<std::uint64_t>(got);
    progress(done);
  }
  return {};
}

}  // namespace pellorin

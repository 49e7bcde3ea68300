// The run's files at the level of descriptors: each input is opened once by
// name, then identified and read through its descriptor, so that what the run
// knows of a file is always the file it read.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace pellorin {

// An owned descriptor: closes itself, so no early return can leak one.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  ~UniqueFd();
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  // Closes it now; false if closing reports an error, such as a write that
  // failed late.
  bool Close();

 private:
  int fd_ = -1;
};

// Which regular file a descriptor is. Only regular files are told apart:
// a terminal or other device may be read and written in one run.
struct FileId {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileId&) const = default;
};

// The file that status describes, and whether fd is the file id.
FileId IdOf(const struct stat& status);
bool SameFile(int fd, const FileId& id);

struct OpenedFile {
  UniqueFd fd;
  std::optional<FileId> regular;  // empty for anything but a regular file
};

// The name /proc gives the file behind fd, by which calls that take a name
// reach that very file.
std::string DescriptorPath(int fd);

// Opens path for reading; nothing when it cannot be opened.
std::optional<OpenedFile> OpenInput(const std::string& path);

// One read of at most buffer.size() bytes, or nothing on an error. 0 is the
// end of the file; a terminal gives it once, at the first end-of-file typed.
std::optional<std::size_t> ReadSome(int fd, std::span<std::byte> buffer);

// Reads until buffer is full or the file ends, or nothing on an error.
std::optional<std::size_t> ReadFull(int fd, std::span<std::byte> buffer);

// The system's text for an error number, such as "Permission denied".
std::string SystemReason(int error);

// Writes all of text; false if any of it could not be written.
bool WriteAll(int fd, std::string_view text);

}  // namespace pellorin

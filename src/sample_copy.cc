#include "sample_copy.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "file_io.h"

namespace pellorin {

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

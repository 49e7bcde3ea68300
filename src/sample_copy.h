// Copying a wave file's samples into the joined file: within the kernel where
// the file systems let it, else through a small buffer, saying how far it is
// as it goes.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>

namespace pellorin {

// How a copy ended: error 0 where all of it was copied; else the error, and
// whether it came from reading (ENODATA where the input ended first).
struct CopyResult {
  int error = 0;
  bool reading = false;
};

// Appends length bytes of in, read from offset on, to out: in the kernel
// (copy_file_range) where the file systems let it, else through a small
// buffer. progress is told the bytes appended so far, every few megabytes at
// most.
CopyResult CopyRange(int in, off_t offset, int out, std::uint64_t length,
                     const std::function<void(std::uint64_t)>& progress);

}  // namespace pellorin

// An owned C stream: closes itself, so no early return can leak a file.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace pellorin {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

inline FilePtr OpenFile(const std::string& path, const char* mode) {
  return FilePtr(std::fopen(path.c_str(), mode));
}

}  // namespace pellorin

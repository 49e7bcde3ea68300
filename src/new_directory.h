// A new directory that appears whole or not at all: made under a hidden
// random name beside the place it is for, filled, and then renamed into that
// place, never over anything there. Until then it goes again, with the files
// made in it, when the run fails or a signal ends it.
#pragma once

#include <string>

#include "file_io.h"
#include "signal_cleanup.h"

namespace pellorin {

class NewDirectory {
 public:
  NewDirectory() = default;
  ~NewDirectory();
  NewDirectory(const NewDirectory&) = delete;
  NewDirectory& operator=(const NewDirectory&) = delete;

  // Makes the hidden directory for path; empty, or why not. Where path is
  // taken already, says so at once.
  std::string Make(const std::string& path);

  // A new file of that name in it, open for writing; none, with errno set,
  // where it cannot be made. At most two.
  UniqueFd Create(const char* name);

  // Renames it into place; empty, or why not.
  std::string PutInPlace();

 private:
  UniqueFd parent_;   // where it is to be, opened with O_PATH
  std::string name_;  // its name there
  UniqueFd hidden_;   // the hidden directory, opened with O_PATH
  Removal made_[3];   // the hidden directory, then the files in it
  int count_ = 0;
};

}  // namespace pellorin

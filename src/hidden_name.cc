#include "hidden_name.h"

#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <span>

namespace pellorin {

namespace {

// Random letters and digits for a new name, as mkstemp picks them.
void Randomize(std::span<char> letters, unsigned attempt) {
  static constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  // Before the kernel's generator is ready, names that differ will do: a
  // name taken is tried again.
  std::uint64_t bits = (static_cast<std::uint64_t>(getpid()) << 32) + attempt * 7919;
  [[maybe_unused]] const ssize_t got = getrandom(&bits, sizeof bits, GRND_NONBLOCK);
  for (char& letter : letters) {
    letter = kAlphabet[static_cast<std::size_t>(bits % kAlphabet.size())];
    bits /= kAlphabet.size();
  }
}

}  // namespace

bool WithRandomName(Removal& name, const std::function<bool()>& make) {
  std::ranges::copy(kTemporaryPrefix, name.name);
  const std::span letters = std::span(name.name).subspan(kTemporaryPrefix.size(), kRandomLetters);
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    Randomize(letters, attempt);
    if (make()) return true;
    if (errno != EEXIST) break;
  }
  return false;
}

}  // namespace pellorin

#include "hidden_name.h"

#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <span>

namespace pellorin {

bool WithRandomName(Removal& name, const std::function<bool()>& make) {
  static constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::ranges::copy(kTemporaryPrefix, name.name);
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    // Random letters and digits, as mkstemp picks them. Before the kernel's
    // generator is ready, names that differ will do: a name taken is tried
    // again.
    std::uint64_t bits = (static_cast<std::uint64_t>(getpid()) << 32) + attempt * 7919;
    [[maybe_unused]] const ssize_t got = getrandom(&bits, sizeof bits, GRND_NONBLOCK);
    for (char& letter : std::span(name.name).subspan(kTemporaryPrefix.size(), kRandomLetters)) {
      letter = kAlphabet[static_cast<std::size_t>(bits % kAlphabet.size())];
      bits /= kAlphabet.size();
    }
    if (make()) return true;
    if (errno != EEXIST) break;
  }
  return false;
}

}  // namespace pellorin

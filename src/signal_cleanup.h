// Clean-up on signals: files a run makes on its way to a result must not
// outlive it. While they exist, any signal that would end the run removes
// them first, and the run then ends by that signal as it would have.
#pragma once

#include <signal.h>

#include <cstdint>
#include <string_view>

namespace pellorin {

// A signal set as the kernel takes it, a bit for each of its 64 signals. The
// C library's sigset_t is larger, and its calls would neither block nor keep
// blocked the signals it reserves for its threads.
using KernelSignals = std::uint64_t;
static_assert(NSIG - 1 <= 64);
inline constexpr KernelSignals kAllSignals = ~KernelSignals{0};

// The real-time signals the C library reserves for its threads (32 and 33 on
// Linux): no handler can be installed for them, yet they end a process.
inline constexpr KernelSignals kLibrarySignals = KernelSignals{3} << 31;

// Holds signals back while it lives: by default all of them, so that a file
// and what the handler knows of it change together.
class SignalsHeld {
 public:
  explicit SignalsHeld(KernelSignals mask = kAllSignals);
  ~SignalsHeld();
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  KernelSignals saved_;
};

// A name in a directory, in a form a signal handler can use: a file, or with
// AT_REMOVEDIR an empty directory.
struct Removal {
  int directory = -1;
  int flags = 0;
  char name[32] = {};
};

// Makes removal pending, or no longer: while it is, any signal that would
// end the run removes it first, after the removals made pending later. A
// signal ignored stays ignored. Call these with signals held, as the name
// appears and as it goes or is kept. At most four are pending at once.
void RemoveOnSignal(const Removal& removal);
void KeepOnSignal(const Removal& removal);

// Text that a signal that ends the run writes first, such as what clears a
// line the run shows on a terminal; nullptr for none. It must outlive its
// being set.
struct SignalNotice {
  int fd = -1;
  std::string_view text;
};
void WriteOnSignal(const SignalNotice* notice);

// Does first what a signal that ends the run does first, for a run that must
// end at once: writes the notice and removes what is pending. Safe in a
// signal handler.
void CleanUpNow();

}  // namespace pellorin

#include "signal_cleanup.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <iterator>

namespace pellorin {

namespace {

// What a signal handler may reach is this, the one piece of process-wide
// state: the removals pending, and the notice.
std::atomic<const Removal*> pending[4];
std::atomic<const SignalNotice*> notice;
static_assert(std::atomic<const Removal*>::is_always_lock_free);

extern "C" void RemoveAndReraise(int signal) {
  CleanUpNow();
  // The handler reset itself on entry, so the signal's own action ends the
  // run once it returns, and the caller sees which signal it was.
  raise(signal);
}

// The signals that do not end a process unless they are caught. sigaction
// refuses the two that cannot be caught.
constexpr int kHarmless[] = {SIGCHLD, SIGURG, SIGWINCH, SIGCONT, SIGTSTP, SIGTTIN, SIGTTOU};

KernelSignals SetSignalMask(int how, KernelSignals mask) {
  KernelSignals old = 0;
  syscall(SYS_rt_sigprocmask, how, &mask, &old, sizeof mask);
  return old;
}

}  // namespace

SignalsHeld::SignalsHeld(KernelSignals mask) : saved_(SetSignalMask(SIG_BLOCK, mask)) {}

SignalsHeld::~SignalsHeld() { SetSignalMask(SIG_SETMASK, saved_); }

void RemoveOnSignal(const Removal& removal) {
  // The handlers stay once installed: with nothing pending, they end the run
  // as the signal would have.
  struct sigaction cleanup = {};
  if (sigaction(SIGTERM, nullptr, &cleanup) == 0 && cleanup.sa_handler != RemoveAndReraise) {
    cleanup.sa_handler = RemoveAndReraise;
    cleanup.sa_flags = static_cast<int>(SA_RESETHAND);
    sigfillset(&cleanup.sa_mask);
    for (int signal = 1; signal <= SIGRTMAX; ++signal) {
      struct sigaction old;
      // Refused: SIGKILL, SIGSTOP and the C library's two real-time signals.
      const bool harmless = std::ranges::find(kHarmless, signal) != std::end(kHarmless);
      if (harmless || sigaction(signal, &cleanup, &old) != 0) continue;
      if (old.sa_handler == SIG_IGN) sigaction(signal, &old, nullptr);
    }
  }
  for (auto& slot : pending) {
    const Removal* none = nullptr;
    if (slot.compare_exchange_strong(none, &removal)) return;
  }
}

void WriteOnSignal(const SignalNotice* text) { notice = text; }

void CleanUpNow() {
  if (const SignalNotice* text = notice.load()) {
    [[maybe_unused]] const ssize_t written = write(text->fd, text->text.data(), text->text.size());
  }
  for (auto slot = std::rbegin(pending); slot != std::rend(pending); ++slot) {
    if (const Removal* removal = slot->load()) {
      unlinkat(removal->directory, removal->name, removal->flags);
    }
  }
}

void KeepOnSignal(const Removal& removal) {
  for (auto& slot : pending) {
    if (slot == &removal) slot = nullptr;
  }
}

}  // namespace pellorin

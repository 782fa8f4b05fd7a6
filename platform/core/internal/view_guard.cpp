#include "platform/core/internal/view_guard.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>

namespace plat_internal {
namespace {

// The guarded views. The signal handler reads them without a lock, so every
// slot is a pair of atomics: a view is published by storing its end before its
// start and withdrawn by clearing its start first; a slot with a zero start is
// free. A view's search for a slot starts at a place derived from its address,
// so that withdrawing it rarely looks further. Views beyond the table are
// refused and the caller reads instead.
constexpr size_t kSlots = size_t{1} << 16;
struct Slot {
  std::atomic<uintptr_t> start{0};
  std::atomic<uintptr_t> end{0};
  std::atomic<bool> faulted{false};  // set by the handler
};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<uintptr_t>::is_always_lock_free);
Slot slots[kSlots];
std::mutex slotLock;  // serialises claiming and freeing slots; never taken by the handler
struct sigaction previousAction;
std::once_flag installed;
uintptr_t pageSize = 4096;  // read once before the handler is installed

size_t HomeSlot(uintptr_t start) { return static_cast<size_t>((start >> 12) * 0x9E3779B97F4A7C15ull >> 48) % kSlots; }

Slot* GuardingSlot(uintptr_t address) {
  for (Slot& slot : slots) {
    const uintptr_t start = slot.start.load(std::memory_order_acquire);
    if (start != 0 && address >= start && address < slot.end.load(std::memory_order_acquire)) return &slot;
  }
  return nullptr;
}

// The slot of the view that starts at `view`, searched from its home slot;
// nullptr when it is not guarded. Called with `slotLock` held.
Slot* SlotOf(const void* view) {
  const auto start = reinterpret_cast<uintptr_t>(view);
  if (start == 0) return nullptr;
  const size_t home = HomeSlot(start);
  for (size_t tried = 0; tried < kSlots; ++tried) {
    Slot& slot = slots[(home + tried) % kSlots];
    if (slot.start.load(std::memory_order_relaxed) == start) return &slot;
  }
  return nullptr;
}

// A page of a view that cannot be read, past the end of a shrunk file or
// failed by the device: the view becomes private zeros from that page to its
// end in one step (the pages after it would fail the same way), is marked,
// and the read is retried. Any other bus error goes on to whoever handled it
// before.
void OnBusError(int signal, siginfo_t* info, void* context) {
  const int savedErrno = errno;
  const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
  Slot* slot = info->si_code == BUS_ADRERR ? GuardingSlot(address) : nullptr;
  if (slot != nullptr) {
    slot->faulted.store(true, std::memory_order_release);
    const uintptr_t first = address & ~(pageSize - 1);
    const uintptr_t end = (slot->end.load(std::memory_order_acquire) + pageSize - 1) & ~(pageSize - 1);
    if (::mmap(reinterpret_cast<void*>(first), end - first, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1,
               0) != MAP_FAILED) {
      errno = savedErrno;
      return;
    }
  }
  if ((previousAction.sa_flags & SA_SIGINFO) != 0 && previousAction.sa_sigaction != nullptr) {
    previousAction.sa_sigaction(signal, info, context);
  } else if (previousAction.sa_handler != SIG_DFL && previousAction.sa_handler != SIG_IGN) {
    previousAction.sa_handler(signal);
  } else {
    // Returning re-runs the faulting read, which now ends the process the
    // default way.
    ::signal(SIGBUS, SIG_DFL);
  }
  errno = savedErrno;
}

void Install() {
  const long size = ::sysconf(_SC_PAGESIZE);
  if (size > 0) pageSize = static_cast<uintptr_t>(size);
  struct sigaction action {};
  action.sa_sigaction = OnBusError;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGBUS, &action, &previousAction);
}

}  // namespace

bool GuardView(const void* view, size_t bytes) {
  if (view == nullptr || bytes == 0) return false;
  std::call_once(installed, Install);
  const auto start = reinterpret_cast<uintptr_t>(view);
  const size_t home = HomeSlot(start);
  std::lock_guard<std::mutex> hold(slotLock);
  for (size_t tried = 0; tried < kSlots; ++tried) {
    Slot& slot = slots[(home + tried) % kSlots];
    if (slot.start.load(std::memory_order_relaxed) != 0) continue;
    slot.faulted.store(false, std::memory_order_relaxed);
    slot.end.store(start + bytes, std::memory_order_release);
    slot.start.store(start, std::memory_order_release);
    return true;
  }
  return false;
}

void UnguardView(const void* view) {
  std::lock_guard<std::mutex> hold(slotLock);
  if (Slot* slot = SlotOf(view)) {
    slot->start.store(0, std::memory_order_release);
    slot->end.store(0, std::memory_order_release);
  }
}

bool ViewFaulted(const void* view) {
  std::lock_guard<std::mutex> hold(slotLock);
  const Slot* slot = SlotOf(view);
  return slot != nullptr && slot->faulted.load(std::memory_order_acquire);
}

}  // namespace plat_internal

// Threads, locks and time of the platform layer.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace plat {

// Milliseconds since an arbitrary start, from a monotonic clock, wrapping at
// 2^32 like the platform counter: compare ticks only by unsigned difference.
uint32_t GetTickCount();

// Suspends the calling thread for at least `ms` milliseconds.
void Sleep(uint32_t ms);

// A non-recursive lock with a non-waiting attempt, as the series lock needs.
class CriticalSection {
 public:
  void Enter() { mutex_.lock(); }
  // True when the lock was free and is now held.
  bool TryEnter() { return mutex_.try_lock(); }
  void Leave() { mutex_.unlock(); }

  // The standard lockable interface, for std::lock_guard and friends.
  void lock() { mutex_.lock(); }
  bool try_lock() { return mutex_.try_lock(); }
  void unlock() { mutex_.unlock(); }

 private:
  std::mutex mutex_;
};

// One worker thread running one entry function, started at once with the
// default stack and priority. The object must outlive the thread's run: its
// destructor waits for the thread to end, so it never leaves a thread behind
// that still uses what its owner is about to free.
class WorkerThread {
 public:
  explicit WorkerThread(std::function<uint32_t()> entry);
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Waits up to `timeoutMs` for the entry function to return; true when it
  // has. INFINITE (0xFFFFFFFF) waits as long as it takes.
  bool Wait(uint32_t timeoutMs);
  bool Finished() const;
  // The entry function's result once Finished().
  uint32_t ExitCode() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
  std::thread thread_;
};

// Starts `entry` on a new worker thread (the stand-in for AfxBeginThread).
std::unique_ptr<WorkerThread> BeginThread(std::function<uint32_t()> entry);

}  // namespace plat

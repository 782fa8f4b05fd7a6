#include "platform/core/threads.h"

#include <chrono>
#include <condition_variable>

namespace plat {

uint32_t GetTickCount() {
  auto since = std::chrono::steady_clock::now().time_since_epoch();
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
  return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}

void Sleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

struct WorkerThread::State {
  std::mutex mutex;
  std::condition_variable ended;
  bool finished = false;
  uint32_t exitCode = 0;
};

WorkerThread::WorkerThread(std::function<uint32_t()> entry) : state_(std::make_shared<State>()) {
  thread_ = std::thread([state = state_, entry = std::move(entry)] {
    uint32_t code = entry ? entry() : 0;
    std::lock_guard<std::mutex> hold(state->mutex);
    state->exitCode = code;
    state->finished = true;
    state->ended.notify_all();
  });
}

WorkerThread::~WorkerThread() {
  if (thread_.joinable()) thread_.join();
}

bool WorkerThread::Wait(uint32_t timeoutMs) {
  std::unique_lock<std::mutex> hold(state_->mutex);
  if (timeoutMs == 0xFFFFFFFFu) {
    state_->ended.wait(hold, [&] { return state_->finished; });
    return true;
  }
  return state_->ended.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] { return state_->finished; });
}

bool WorkerThread::Finished() const {
  std::lock_guard<std::mutex> hold(state_->mutex);
  return state_->finished;
}

uint32_t WorkerThread::ExitCode() const {
  std::lock_guard<std::mutex> hold(state_->mutex);
  return state_->exitCode;
}

std::unique_ptr<WorkerThread> BeginThread(std::function<uint32_t()> entry) {
  return std::make_unique<WorkerThread>(std::move(entry));
}

}  // namespace plat

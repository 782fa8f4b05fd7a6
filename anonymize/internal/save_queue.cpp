#include "anonymize/internal/save_queue.h"

#include <system_error>
#include <utility>

#include "intake/file_system.h"

namespace anonymize_internal {

AnonymizeFailure SaveStream(const ByteBuffer<uint8_t>& stream, const plat::SourceRange* tail,
                            const std::u16string& path) {
  if (tail == nullptr) return SaveBuffer(stream, path) ? AnonymizeFailure::None : AnonymizeFailure::NotSaved;
  switch (SaveBufferWithTail(stream, *tail, path)) {
    case plat::WriteResult::Written: return AnonymizeFailure::None;
    case plat::WriteResult::SourceChanged: return AnonymizeFailure::SourceChanged;
    case plat::WriteResult::Failed: break;
  }
  return AnonymizeFailure::NotSaved;
}

namespace {

// Saves the stream of a job that has one to save.
void Save(SaveJob& job) {
  if (job.outcome == AnonymizeFailure::None)
    job.outcome = SaveStream(job.stream, job.hasTail ? &job.tail : nullptr, job.outputPath);
}

}  // namespace

SaveQueue::SaveQueue(AnonymizeResult& result, int32_t maxPending, int32_t writers)
    : result_(result), maxPending_(maxPending > 1 ? static_cast<size_t>(maxPending) : 1) {
  for (int32_t i = 0; i < writers; ++i) {
    try {
      writers_.emplace_back([this] { Run(); });
    } catch (const std::system_error&) {
      break;  // the writers started so far do the work; with none, Add does
    }
  }
}

SaveQueue::~SaveQueue() { Finish(); }

void SaveQueue::RecordSaved() {
  while (!pending_.empty() && pending_.front().saved) {
    SaveJob& job = pending_.front();
    if (job.outcome == AnonymizeFailure::None) {
      ++result_.written;
    } else {
      ++result_.failed;
      result_.failures.push_back(
          FileFailure{std::move(job.source), std::move(job.outputPath), job.outcome, job.stopPosition, job.fileSize});
    }
    if (job.stream.capacity > 0 && spare_.size() < maxPending_) spare_.push_back(std::move(job.stream));
    pending_.pop_front();
    --claimed_;
  }
}

void SaveQueue::Add(SaveJob job) {
  std::unique_lock<std::mutex> hold(lock_);
  if (writers_.empty()) {
    pending_.push_back(std::move(job));
    ++claimed_;
    Save(pending_.back());
    pending_.back().saved = true;
    RecordSaved();
    return;
  }
  changed_.wait(hold, [this] { return pending_.size() < maxPending_; });
  pending_.push_back(std::move(job));
  changed_.notify_all();
}

ByteBuffer<uint8_t> SaveQueue::TakeBuffer() {
  std::lock_guard<std::mutex> hold(lock_);
  if (spare_.empty()) return ByteBuffer<uint8_t>();
  ByteBuffer<uint8_t> buffer = std::move(spare_.back());
  spare_.pop_back();
  return buffer;
}

bool SaveQueue::NextIsFree() const {
  if (claimed_ == pending_.size()) return true;
  const SaveJob& next = pending_[claimed_];
  for (size_t i = 0; i < claimed_; ++i)
    if (!pending_[i].saved && pending_[i].outputPath == next.outputPath) return false;
  return true;
}

void SaveQueue::Run() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    changed_.wait(hold, [this] { return (stopping_ || claimed_ < pending_.size()) && NextIsFree(); });
    if (claimed_ == pending_.size()) return;  // stopping with nothing left to claim
    // Only the front jobs, already counted, ever leave the queue, and a
    // claimed job is not counted before it is saved: the reference holds
    // while the lock is released.
    SaveJob& job = pending_[claimed_++];
    hold.unlock();
    Save(job);
    hold.lock();
    job.saved = true;
    RecordSaved();
    changed_.notify_all();
  }
}

void SaveQueue::Finish() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& writer : writers_) writer.join();
  writers_.clear();
}

}  // namespace anonymize_internal

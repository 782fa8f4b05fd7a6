// Saving finished output streams on writer threads while the calling thread
// builds the next ones. Files are handed over in the order they are handled
// and their outcomes reach the result in that same order, whichever writer
// saved them.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "analysis/byte_buffer.h"
#include "anonymize/anonymize.h"

namespace anonymize_internal {

// One handled file: a stream to save at `outputPath` (outcome None) or a
// failure already known before any write. The stream is `stream`, followed
// by the bytes of `tail` when `hasTail` is set.
struct SaveJob {
  std::u16string source;
  std::u16string outputPath;
  AnonymizeFailure outcome = AnonymizeFailure::None;
  int64_t stopPosition = -1;  // for AnalysisInterrupted: where the walk stopped
  int64_t fileSize = -1;      // and the source's length
  ByteBuffer<uint8_t> stream;
  bool hasTail = false;
  plat::SourceRange tail;
  bool saved = false;  // the outcome is final
};

// Saves a stream, followed by the bytes of `tail` when given, at `path`.
AnonymizeFailure SaveStream(const ByteBuffer<uint8_t>& stream, const plat::SourceRange* tail,
                            const std::u16string& path);

class SaveQueue {
 public:
  // Outcomes are counted into `result`, which nobody else may touch until
  // Finish returns. At most `maxPending` jobs wait or are being saved at once
  // (at least 1), by up to `writers` threads. Without any writer thread
  // every job is saved in Add.
  SaveQueue(AnonymizeResult& result, int32_t maxPending, int32_t writers);
  ~SaveQueue();  // Finish
  SaveQueue(const SaveQueue&) = delete;
  SaveQueue& operator=(const SaveQueue&) = delete;

  // Hands over the next file; waits while the queue is full.
  void Add(SaveJob job);
  // A buffer for the next stream: one whose stream was saved, or an empty one.
  ByteBuffer<uint8_t> TakeBuffer();
  // Saves every job handed over and stops the writers; jobs added later are
  // saved in Add. Idempotent.
  void Finish();

 private:
  void Run();
  // Whether the next job may be claimed: no job being saved has the same
  // output path, so that of two copies bound for one path the later one
  // stays, as it does when they are saved one after another. Called with
  // `lock_` held.
  bool NextIsFree() const;
  // Counts the outcomes of the saved jobs at the front, in order, and keeps
  // their buffers for reuse. Called with `lock_` held.
  void RecordSaved();

  AnonymizeResult& result_;
  const size_t maxPending_;
  std::mutex lock_;
  std::condition_variable changed_;
  // Jobs not yet counted, in file order; the first `claimed_` of them are
  // being saved or saved. A deque keeps them in place while more are added.
  std::deque<SaveJob> pending_;
  size_t claimed_ = 0;
  std::vector<ByteBuffer<uint8_t>> spare_;
  bool stopping_ = false;
  std::vector<std::thread> writers_;
};

}  // namespace anonymize_internal

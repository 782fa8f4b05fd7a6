#include "intake/loader.h"

#include <vector>

#include "collection/collection.h"
#include "intake/file_system.h"
#include "intake/messages.h"

vxLoader::~vxLoader() {
  cancel.store(1);
  {
    std::lock_guard<std::mutex> hold(queueLock_);
    queued_.clear();
  }
  // A full wait rather than a bounded one: the thread reads this loader and
  // writes into the collection until it returns.
  worker_.reset();
}

int32_t vxLoader::Start(const std::u16string& folderPath) { return Begin(folderPath, false); }

int32_t vxLoader::Submit(const std::u16string& folderPath) { return Begin(folderPath, true); }

int32_t vxLoader::Begin(const std::u16string& folderPath, bool queueWhenBusy) {
  std::unique_lock<std::mutex> hold(queueLock_);
  if (running.load() == 1) {
    if (!queueWhenBusy) return 0;
    queued_.push_back(folderPath);
    return 2;
  }
  running.store(1);
  // The previous run's thread has ended its runs; it may still be posting its
  // last messages, which takes at most a few milliseconds.
  std::unique_ptr<plat::WorkerThread> previous = std::move(worker_);
  hold.unlock();
  previous.reset();
  hold.lock();
  folder = folderPath;
  cursor.store(0);
  cancel.store(0);
  // The lock is held until `thread` is set, so a run that ends at once
  // clears it only afterwards.
  worker_ = plat::BeginThread([this] { return Entry(); });
  thread.store(worker_.get());
  return 1;
}

uint32_t vxLoader::Entry() {
  if (target == nullptr) {
    std::lock_guard<std::mutex> hold(queueLock_);
    queued_.clear();
    running.store(0);
    thread.store(nullptr);
    return 0;
  }
  for (;;) {
    Run();
    if (!continueRuns_) break;
  }
  return 1;
}

bool vxLoader::EndRunOrTakeNext() {
  std::lock_guard<std::mutex> hold(queueLock_);
  if (cancel.load() == 0 && !queued_.empty()) {
    folder = std::move(queued_.front());
    queued_.pop_front();
    return true;
  }
  queued_.clear();
  running.store(0);
  thread.store(nullptr);
  return false;
}

void vxLoader::Post(uint32_t message, uintptr_t wParam, intptr_t lParam) const {
  plat::PostMessageW(target->window, message, wParam, lParam);
}

int32_t vxLoader::Run() {
  std::vector<std::u16string> candidates;
  FolderListingCounts counts;
  if (target->includeSubfolders.load()) {
    ListFolderTree(folder, candidates, &counts);
  } else {
    ListFolderFiles(folder, candidates, &counts);
  }
  const int32_t total = static_cast<int32_t>(candidates.size());
  uint32_t last = clock();
  cursor.store(0);
  int32_t loaded = 0;
  while (cursor.load() < total) {
    if (cancel.load() != 0) break;
    target->LoadFile(candidates[static_cast<size_t>(cursor.load())]);
    ++loaded;
    uint32_t now = clock();
    if (static_cast<uint32_t>(now - last) >= 100) {
      Post(WM_WORK_REDRAW, 0, 0);
      last = now;
    }
    cursor.fetch_add(1);
    Post(WM_LOAD_PROGRESS, static_cast<uintptr_t>(loaded), total);
  }
  continueRuns_ = EndRunOrTakeNext();
  if (counts.subfoldersWithFiles > 0) Post(WM_LOAD_SKIPPED, static_cast<uintptr_t>(counts.subfoldersWithFiles), 0);
  Post(WM_LOAD_PROGRESS, static_cast<uintptr_t>(loaded), -1);
  Post(WM_WORK_REDRAW, 0, 0);
  plat::Sleep(10);
  Post(WM_WORK_REDRAW, 0, 0);
  return loaded;
}

void DestroyLoader(vxLoader* loader) { delete loader; }

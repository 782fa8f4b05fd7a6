// vxLoader: loads the DICOM candidates of dropped folders on its own worker
// thread into a StudyCollection and reports progress to the collection's
// window by posted messages (intake/messages.h):
//   WM_LOAD_PROGRESS (loaded, candidates) after every file,
//   WM_WORK_REDRAW at most every 100 ms of loading,
//   WM_LOAD_SKIPPED (subfolders) when the run left out subfolders that hold
//   files, then WM_LOAD_PROGRESS (loaded, -1), WM_WORK_REDRAW, 10 ms,
//   WM_WORK_REDRAW at the end of each folder's run.
// A run takes the files directly in its folder by their names, or, when the
// collection's includeSubfolders is set, the DICOM files of the whole tree
// below it by their content.
// Only one run is under way at a time. Folders submitted during a run are
// queued and loaded, each as a run of its own, after it; cancelling drops the
// queue. The thread never touches a window and never waits for the
// user-interface thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/core/threads.h"

class StudyCollection;

class vxLoader {
 public:
  // Set by Start, cleared by the thread itself when its last run ends.
  std::atomic<plat::WorkerThread*> thread{nullptr};
  std::u16string folder;  // the folder of the current run (loader thread)
  StudyCollection* target = nullptr;
  std::atomic<int32_t> running{0};  // 1 from a successful Start until the runs end
  std::atomic<int32_t> cancel{0};   // set by the user-interface thread; read before every file
  std::atomic<int32_t> cursor{0};   // index of the next candidate of the current run
  // The tick source of the repaint throttle; tests replace it before Start.
  std::function<uint32_t()> clock = plat::GetTickCount;

  explicit vxLoader(StudyCollection* collection) : target(collection) {}
  // Cancels, drops the queue and waits for the thread to end (it finishes the
  // file in progress first). Never leaves a thread behind that would use the
  // loader or the collection after they are gone.
  virtual ~vxLoader();
  vxLoader(const vxLoader&) = delete;
  vxLoader& operator=(const vxLoader&) = delete;

  // Starts a run over the folder: 1 started, 0 refused because a run is
  // under way (the folder is then discarded).
  int32_t Start(const std::u16string& folderPath);
  // Starts a run, or queues the folder behind the runs under way: 1 started,
  // 2 queued. A folder submitted is never lost unless cancelled.
  int32_t Submit(const std::u16string& folderPath);
  // One run over `folder`, on the loader thread; returns the files loaded.
  int32_t Run();

 private:
  int32_t Begin(const std::u16string& folderPath, bool queueWhenBusy);
  uint32_t Entry();
  // After a run: takes the next queued folder (true), or ends the runs.
  bool EndRunOrTakeNext();
  void Post(uint32_t message, uintptr_t wParam, intptr_t lParam) const;

  std::mutex queueLock_;  // guards queued_, and the start and end of runs
  std::deque<std::u16string> queued_;
  std::unique_ptr<plat::WorkerThread> worker_;  // user-interface thread only
  bool continueRuns_ = false;                   // loader thread only
};

// Deleter of the collection's loader reference: stops and destroys it.
void DestroyLoader(vxLoader* loader);

// Turning a drop into loaded files: dropped files are loaded at once on the
// calling (user-interface) thread, dropped folders go to the collection's
// loader thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/core/drop.h"

class StudyCollection;

// What a drop did, for callers that report it (the command line, tests).
struct DropOutcome {
  int32_t filesLoaded = 0;                // dropped files that joined the tree
  std::vector<std::u16string> rejected;   // dropped files that did not
  int32_t folderRuns = 0;                 // folders started or queued on the loader
};

// Loads every item of the drop in the order given, then releases the drop
// with DragFinish. After each dropped file, `setStatus` (when given) receives
// the status-line text "<path> 文件导入", whether or not the file was
// accepted. A path whose attributes cannot be read goes to the loader like a
// folder (and gives an empty run there).
DropOutcome HandleDrop(plat::HDROP drop, StudyCollection& collection,
                       const std::function<void(const std::u16string&)>& setStatus = {});

// Loads the folder on the collection's loader, creating the loader on first
// use. A folder given while a run is under way is queued behind it; one given
// after the runs ended starts a new run. Returns 1 started, 2 queued.
int32_t StartFolderRun(StudyCollection& collection, const std::u16string& folder);

#include "intake/drop.h"

#include "collection/collection.h"
#include "intake/loader.h"
#include "platform/core/file_system.h"
#include "platform/core/format.h"

DropOutcome HandleDrop(plat::HDROP drop, StudyCollection& collection,
                       const std::function<void(const std::u16string&)>& setStatus) {
  DropOutcome outcome;
  const uint32_t count = plat::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t length = plat::DragQueryFileW(drop, i, nullptr, 0);
    std::u16string buffer(static_cast<size_t>(length) + 1, u'\0');
    plat::DragQueryFileW(drop, i, buffer.data(), length + 1);
    std::u16string path(buffer.c_str());  // up to the first NUL

    // INVALID_FILE_ATTRIBUTES has the directory bit set too.
    if ((plat::GetFileAttributesW(path) & plat::FILE_ATTRIBUTE_DIRECTORY) != 0) {
      StartFolderRun(collection, path);
      ++outcome.folderRuns;
      continue;
    }
    if (collection.LoadFile(path))
      ++outcome.filesLoaded;
    else
      outcome.rejected.push_back(path);
    if (setStatus) setStatus(plat::FormatText(u"%s 文件导入", {path}));
  }
  plat::DragFinish(drop);
  return outcome;
}

int32_t StartFolderRun(StudyCollection& collection, const std::u16string& folder) {
  if (!collection.loader) collection.loader = {new vxLoader(&collection), &DestroyLoader};
  return collection.loader->Submit(folder);
}

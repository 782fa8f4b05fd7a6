// Keeps reads of mapped file views from killing the process when the file
// underneath shrinks: another program may truncate or rewrite a file while
// its view is held, and a read of a page past the new end would otherwise
// raise SIGBUS. Such a page is replaced by zeros instead.
#pragma once

#include <cstddef>

namespace plat_internal {

// Puts a view under guard; false when no more views can be guarded, in which
// case the caller must not keep the view.
bool GuardView(const void* view, size_t bytes);
// Takes a view out of guard before it is unmapped.
void UnguardView(const void* view);

}  // namespace plat_internal

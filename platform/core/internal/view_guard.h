// Keeps reads of mapped file views from killing the process when a page
// cannot be read: another program may truncate or rewrite a file while its
// view is held, and the device under it may fail a read. Either would raise
// SIGBUS; the view is instead filled with zeros from the failed page to its
// end, and marked, so that its owner knows it no longer shows the file.
#pragma once

#include <cstddef>

namespace plat_internal {

// Puts a view under guard; false when no more views can be guarded, in which
// case the caller must not keep the view.
bool GuardView(const void* view, size_t bytes);
// Takes a view out of guard before it is unmapped.
void UnguardView(const void* view);
// Whether a page of the guarded view failed and was replaced by zeros.
bool ViewFaulted(const void* view);

}  // namespace plat_internal

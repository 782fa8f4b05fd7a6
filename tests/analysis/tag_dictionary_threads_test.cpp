#include "analysis/tag_dictionary.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// The loader thread and the UI thread look tags up at the same time, the
// very first lookups included: the index must be built once, safely.
TEST(TagDictionaryThreads, FirstLookupsFromSeveralThreadsAgree) {
  constexpr int kThreads = 4;
  std::atomic<int> ready{0};
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ready.fetch_add(1);
      while (ready.load() < kThreads) {
      }
      for (int32_t i = 0; i < TagDictionaryRowCount(); ++i) {
        const TagDictionaryRow* row = TagDictionaryRowAt(i);
        const int32_t first = TagDictionaryRowOf(row->key);
        if (first < 0 || first > i || TagDictionaryRowAt(first)->key != row->key ||
            VrOfKey(row->key) != TagDictionaryRowAt(first)->vr || NameOfKey(row->key) != TagDictionaryRowAt(first)->name) {
          ++mismatches[t];
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

}  // namespace

// ByteBuffer: capacities in whole steps, room for a step before every
// append, geometric growth, fresh element slots and adopted storage.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "analysis/byte_buffer.h"
#include "analysis/dicom_element.h"

namespace {

TEST(ByteBuffer, AppendsGrowGeometricallyInWholeSteps) {
  struct Case {
    int32_t step;
    int64_t appends;
  } cases[] = {{16, 1000000}, {5, 100000}, {1, 100000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.step);
    ByteBuffer<uint8_t> buffer(c.step);
    std::vector<int32_t> capacities;
    int64_t copied = 0;  // units moved by reallocations
    for (int64_t i = 0; i < c.appends; ++i) {
      const int32_t before = buffer.capacity;
      const int32_t length = buffer.length;
      ASSERT_TRUE(buffer.Append(static_cast<uint8_t>(i)));
      if (buffer.capacity != before) {
        capacities.push_back(buffer.capacity);
        copied += length;
      }
      // Before every append there was room for a whole step.
      ASSERT_GE(buffer.capacity, length + c.step);
    }
    for (size_t i = 0; i < capacities.size(); ++i) {
      EXPECT_EQ(capacities[i] % c.step, 0);
      if (i > 0) {
        EXPECT_GE(capacities[i], capacities[i - 1] + capacities[i - 1] / 2) << "growth is geometric";
      }
    }
    // n appends move O(n) units in all, not O(n^2).
    EXPECT_LE(copied, 3 * c.appends);
    EXPECT_LT(capacities.size(), 64u);
    for (int64_t i = 0; i < c.appends; i += 9973) EXPECT_EQ(buffer[static_cast<int32_t>(i)], static_cast<uint8_t>(i));
  }
}

TEST(ByteBuffer, ReserveAssignAndRelease) {
  ByteBuffer<uint8_t> buffer;
  EXPECT_TRUE(buffer.Reserve(20));
  EXPECT_EQ(buffer.capacity, 32);
  EXPECT_EQ(buffer.length, 0);
  EXPECT_TRUE(buffer.Reserve(10));
  EXPECT_EQ(buffer.capacity, 32) << "enough room: nothing happens";

  const uint8_t bytes[40] = {1, 2, 3};
  EXPECT_TRUE(buffer.Assign(bytes, 40));
  EXPECT_EQ(buffer.length, 40);
  EXPECT_EQ(buffer.capacity % 16, 0);
  EXPECT_GE(buffer.capacity, 40);
  EXPECT_EQ(buffer[2], 3);

  const int32_t capacity = buffer.capacity;
  EXPECT_FALSE(buffer.Reserve(static_cast<int64_t>(INT32_MAX) + 1));
  EXPECT_EQ(buffer.capacity, capacity) << "a failed reserve changes nothing";
  EXPECT_EQ(buffer.length, 40);

  buffer.Release();
  EXPECT_EQ(buffer.capacity, 0);
  EXPECT_EQ(buffer.length, 0);
  EXPECT_EQ(buffer.data, nullptr);
}

TEST(ByteBuffer, LargeBuffersKeepEveryRule) {
  // Whole files of many megabytes take a differently aligned allocation;
  // the rules and the content are the same.
  ByteBuffer<uint8_t> buffer;
  ASSERT_TRUE(buffer.Reserve(40000001));
  EXPECT_EQ(buffer.capacity % 16, 0);
  EXPECT_GE(buffer.capacity, 40000001);
  std::vector<uint8_t> chunk(1 << 20);
  for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<uint8_t>(i * 7);
  for (int i = 0; i < 50; ++i) ASSERT_TRUE(buffer.Append(chunk.data(), static_cast<int64_t>(chunk.size())));
  EXPECT_EQ(buffer.length, 50 << 20);
  EXPECT_EQ(buffer.capacity % 16, 0);
  EXPECT_EQ(buffer[(49 << 20) + 3], static_cast<uint8_t>(21));
  ByteBuffer<uint8_t> moved(std::move(buffer));
  EXPECT_EQ(moved.length, 50 << 20);
  EXPECT_EQ(buffer.data, nullptr);
}

TEST(ByteBuffer, FreshElementSlotsHoldAllOnes) {
  ByteBuffer<DicomElement> list;
  const DicomElement record{0x0010, 0x0010, vr::PN, 8, 132, 148, 0};
  for (int i = 0; i < 1000; ++i) {
    ASSERT_TRUE(list.Append(record));
    for (int32_t slot = list.length; slot < list.capacity; ++slot) {
      ASSERT_EQ(list.data[slot].vr, -1);
      ASSERT_EQ(list.data[slot].length, -1);
      ASSERT_EQ(list.data[slot].depth, -1);
    }
  }
  for (const DicomElement& e : list) EXPECT_EQ(e.end, 148);
}

// Adopted storage comes from malloc here and is counted when it is let go.
std::vector<std::pair<void*, size_t>> released;
void CountedFree(void* storage, size_t bytes) {
  released.emplace_back(storage, bytes);
  std::free(storage);
}
uint8_t* Storage(size_t n, uint8_t fill) {
  auto* storage = static_cast<uint8_t*>(std::malloc(n));
  std::memset(storage, fill, n);
  return storage;
}

TEST(ByteBuffer, AdoptedStorageIsReleasedOnceByItsOwnFunction) {
  released.clear();
  {
    ByteBuffer<uint8_t> buffer;
    ASSERT_TRUE(buffer.Reserve(100));  // storage of its own goes first, the usual way
    uint8_t* first = Storage(1000, 7);
    buffer.Adopt(first, 1000, CountedFree);
    EXPECT_TRUE(buffer.Adopted());
    EXPECT_EQ(buffer.data, first);
    EXPECT_EQ(buffer.length, 1000);
    EXPECT_EQ(buffer.capacity, 1000) << "the whole storage, not rounded to the step";
    EXPECT_TRUE(released.empty());

    // Growing moves the content into storage of its own and lets the
    // adopted one go.
    const uint8_t more[3] = {1, 2, 3};
    ASSERT_TRUE(buffer.Append(more, 3));
    EXPECT_FALSE(buffer.Adopted());
    ASSERT_EQ(released.size(), 1u);
    EXPECT_EQ(released[0], std::make_pair(static_cast<void*>(first), size_t{1000}));
    EXPECT_EQ(buffer.length, 1003);
    EXPECT_EQ(buffer[999], 7);
    EXPECT_EQ(buffer[1002], 3);
    EXPECT_EQ(buffer.capacity % 16, 0);

    // Moves carry the release function along; Release calls it.
    uint8_t* second = Storage(64, 9);
    buffer.Adopt(second, 64, CountedFree);
    ByteBuffer<uint8_t> moved(std::move(buffer));
    EXPECT_FALSE(buffer.Adopted());
    EXPECT_TRUE(moved.Adopted());
    moved.Release();
    ASSERT_EQ(released.size(), 2u);
    EXPECT_EQ(released[1].first, second);

    uint8_t* third = Storage(32, 1);
    moved.Adopt(third, 32, CountedFree);
  }  // destruction lets the last one go
  ASSERT_EQ(released.size(), 3u);
  EXPECT_EQ(released[2].second, 32u);
}

}  // namespace

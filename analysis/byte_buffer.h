// The growable array behind file bytes, element lists and output streams.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

namespace byte_buffer_internal {

constexpr size_t kHugePage = size_t{2} << 20;
// Buffers from this size up are whole files or output streams that are
// written through at once.
constexpr size_t kPopulatedMinimum = size_t{256} << 10;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// Whether storage of this many bytes comes from its own populated mapping.
// Sanitized builds keep every buffer on the heap, where the sanitizers watch
// its bounds.
inline bool IsMapped(size_t bytes) { return !kSanitized && bytes >= kPopulatedMinimum && bytes < 8 * kHugePage; }

// Storage for a buffer of `bytes` bytes, released with Free(storage, bytes).
//
// Large buffers (whole files of many megabytes) are aligned to 2 MiB and
// advised into transparent huge pages: the kernel then maps a 400 MB file's
// buffer in a few hundred page faults instead of a hundred thousand, which
// would otherwise cost more than reading the file. Buffers of a quarter of a
// megabyte and more get their own mapping with every page populated in one
// call, which costs a fraction of faulting the pages in one by one while the
// file is read into them (a folder of 0.5 MB files loads a third faster).
inline void* Allocate(size_t bytes) {
  if (IsMapped(bytes)) {
    void* storage = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    return storage == MAP_FAILED ? nullptr : storage;
  }
  if (bytes < 8 * kHugePage) return std::malloc(bytes);
  const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  void* storage = std::aligned_alloc(kHugePage, rounded);
#ifdef MADV_HUGEPAGE
  if (storage != nullptr) (void)madvise(storage, rounded, MADV_HUGEPAGE);
#endif
  return storage;
}

inline void Free(void* storage, size_t bytes) {
  if (storage == nullptr) return;
  if (IsMapped(bytes)) {
    munmap(storage, bytes);
  } else {
    std::free(storage);
  }
}

}  // namespace byte_buffer_internal

// A growable array of trivially copyable units with the four fields the rest
// of the system reads: data, capacity, length and step.
//
// Capacities are always multiples of the step (16 unless a caller chooses
// otherwise), except for adopted storage (see Adopt). Growth is geometric, so
// that appending n units one at a time costs O(n) in all: a capacity that must
// grow becomes at least one and a half times what it was. A unit type may
// define `static Unit Fresh()`; slots that growth adds then hold that value
// until they are used.
template <typename Unit>
class ByteBuffer {
  static_assert(std::is_trivially_copyable_v<Unit>);

 public:
  Unit* data = nullptr;
  int32_t capacity = 0;
  int32_t length = 0;
  int32_t step = 16;

  ByteBuffer() = default;
  explicit ByteBuffer(int32_t growthStep) : step(growthStep > 0 ? growthStep : 16) {}
  ~ByteBuffer() { Release(); }
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;
  ByteBuffer(ByteBuffer&& other) noexcept { Swap(other); }
  ByteBuffer& operator=(ByteBuffer&& other) noexcept {
    if (this != &other) {
      Release();
      Swap(other);
    }
    return *this;
  }

  // Makes room for at least n units. Returns false (and changes nothing) when
  // n cannot be held in a signed 32-bit capacity or memory runs out.
  bool Reserve(int64_t n) {
    if (n <= capacity) return true;
    int64_t wanted = n;
    int64_t geometric = static_cast<int64_t>(capacity) + capacity / 2;
    if (geometric > wanted) wanted = geometric;
    int64_t rounded = (wanted + step - 1) / step * step;
    if (rounded > INT32_MAX) rounded = n;  // fall back to the exact need near the limit
    if (rounded > INT32_MAX) return false;
    auto* grown = static_cast<Unit*>(byte_buffer_internal::Allocate(static_cast<size_t>(rounded) * sizeof(Unit)));
    if (grown == nullptr) return false;
    if (length > 0) std::memcpy(grown, data, static_cast<size_t>(length) * sizeof(Unit));
    if constexpr (requires { Unit::Fresh(); }) {
      for (int64_t i = length; i < rounded; ++i) grown[i] = Unit::Fresh();
    }
    FreeStorage();
    data = grown;
    capacity = static_cast<int32_t>(rounded);
    return true;
  }

  // Appends one unit; false when the array cannot grow. Before every append
  // the capacity is made at least length + step.
  bool Append(const Unit& unit) {
    if (!Reserve(static_cast<int64_t>(length) + step)) return false;
    data[length++] = unit;
    return true;
  }

  // Appends n units.
  bool Append(const Unit* units, int64_t n) {
    if (n <= 0) return true;
    if (!Reserve(static_cast<int64_t>(length) + n)) return false;
    std::memcpy(data + length, units, static_cast<size_t>(n) * sizeof(Unit));
    length += static_cast<int32_t>(n);
    return true;
  }

  // Replaces the content with n units.
  bool Assign(const Unit* units, int64_t n) {
    length = 0;
    return Append(units, n);
  }

  void Release() {
    FreeStorage();
    data = nullptr;
    capacity = 0;
    length = 0;
  }

  // Takes `count` units of storage made elsewhere (a mapped file, say) as
  // the whole content: length and capacity become `count`, whatever the step.
  // `release(storage, count * sizeof(Unit))` ends the storage when the buffer
  // lets it go, on Release or when it grows into storage of its own.
  using ReleaseFunction = void (*)(void* storage, size_t bytes);
  void Adopt(Unit* storage, int32_t count, ReleaseFunction release) {
    Release();
    data = storage;
    capacity = length = count;
    release_ = release;
  }
  // Whether the storage was adopted and not allocated by this buffer.
  bool Adopted() const { return release_ != nullptr; }

  Unit* begin() { return data; }
  Unit* end() { return data + length; }
  const Unit* begin() const { return data; }
  const Unit* end() const { return data + length; }
  Unit& operator[](int32_t i) { return data[i]; }
  const Unit& operator[](int32_t i) const { return data[i]; }

 private:
  void FreeStorage() {
    const size_t bytes = static_cast<size_t>(capacity) * sizeof(Unit);
    if (release_ != nullptr) {
      if (data != nullptr) release_(data, bytes);
      release_ = nullptr;
    } else {
      byte_buffer_internal::Free(data, bytes);
    }
  }

  void Swap(ByteBuffer& other) noexcept {
    std::swap(data, other.data);
    std::swap(capacity, other.capacity);
    std::swap(length, other.length);
    std::swap(step, other.step);
    std::swap(release_, other.release_);
  }

  ReleaseFunction release_ = nullptr;  // set for adopted storage
};

// Views of files: their bytes, what a reader sees after the file shrank
// underneath, and stamps that tell a changed file from an untouched one.
#include "platform/core/files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/core/text.h"
#include "tests/support/temp_dir.h"

namespace {

std::u16string U(const std::string& s) { return plat::PathFromNative(s); }

std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i * 13 + 1);
  return bytes;
}

// Reads every byte through a volatile pointer, so that the reads happen.
std::vector<uint8_t> ReadAllOf(const uint8_t* view, size_t n) {
  std::vector<uint8_t> out(n);
  const volatile uint8_t* p = view;
  for (size_t i = 0; i < n; ++i) out[i] = p[i];
  return out;
}

TEST(FileViewTest, ShowsTheFileAndOutlivesItsDescriptor) {
  fixture::TempDir dir;
  const std::vector<uint8_t> bytes = Pattern(3 * 4096 + 100);
  std::string path = dir.Write("a.bin", bytes);
  plat::InputFile in;
  ASSERT_TRUE(in.Open(U(path)));
  EXPECT_EQ(in.MapView(0), nullptr);
  EXPECT_EQ(in.MapView(bytes.size() + 1), nullptr) << "no view beyond the end";
  uint8_t* view = in.MapView(bytes.size());
  ASSERT_NE(view, nullptr);
  in.Close();  // the view outlives the descriptor
  EXPECT_EQ(ReadAllOf(view, bytes.size()), bytes);
  EXPECT_FALSE(plat::ViewFaulted(view));
  plat::ReleaseView(view, bytes.size());
}

TEST(FileViewTest, PagesPastTheEndOfAShrunkFileReadAsZeros) {
  fixture::TempDir dir;
  const size_t size = 64 * 4096;
  const std::vector<uint8_t> bytes = Pattern(size);
  std::string path = dir.Write("a.bin", bytes);
  plat::InputFile in;
  ASSERT_TRUE(in.Open(U(path)));
  uint8_t* view = in.MapView(size);
  ASSERT_NE(view, nullptr);
  // Another program truncates the file while its view is held.
  const size_t kept = 5 * 4096 + 10;
  ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(kept)), 0);
  EXPECT_FALSE(plat::ViewFaulted(view)) << "nothing failed yet";
  std::vector<uint8_t> seen = ReadAllOf(view, size);
  EXPECT_TRUE(plat::ViewFaulted(view));
  EXPECT_TRUE(std::equal(seen.begin(), seen.begin() + kept, bytes.begin()));
  for (size_t i = 6 * 4096; i < size; i += 997) ASSERT_EQ(seen[i], 0) << i;
  plat::ReleaseView(view, size);

  // A new view of the same place and a second shrink: the guard covers
  // every live view, not only the first.
  ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(size)), 0);
  ASSERT_TRUE(in.Open(U(path)));
  view = in.MapView(size);
  ASSERT_NE(view, nullptr);
  EXPECT_FALSE(plat::ViewFaulted(view)) << "a new view starts unmarked";
  ASSERT_EQ(::truncate(path.c_str(), 0), 0);
  EXPECT_EQ(ReadAllOf(view + size - 4096, 4096), std::vector<uint8_t>(4096, 0));
  plat::ReleaseView(view, size);
}

TEST(FileViewDeathTest, ABusErrorOutsideEveryViewStillEndsTheProcess) {
  fixture::TempDir dir;
  std::string path = dir.Write("a.bin", Pattern(8 * 4096));
  // Guard views exist, so the handler is installed ...
  plat::InputFile in;
  ASSERT_TRUE(in.Open(U(path)));
  uint8_t* view = in.MapView(4096);
  ASSERT_NE(view, nullptr);
  // ... but a mapping of its own, read past the end of its shrunk file, is
  // not the handler's to mend: the process ends, by the signal or through
  // whoever handled it before (a sanitizer reports it and exits). Mended, the
  // read would give zero and the child would exit with 0.
  EXPECT_DEATH(
      {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        void* raw = ::mmap(nullptr, 8 * 4096, PROT_READ, MAP_SHARED, ::fileno(f), 0);
        if (raw == MAP_FAILED || ::truncate(path.c_str(), 4096) != 0) std::_Exit(0);
        std::_Exit(static_cast<const volatile uint8_t*>(raw)[5 * 4096]);
      },
      "");
  plat::ReleaseView(view, 4096);
}

TEST(FileStampTest, ChangesWithEveryKindOfRewrite) {
  fixture::TempDir dir;
  std::string path = dir.Write("a.bin", Pattern(1000));
  plat::InputFile in;
  ASSERT_TRUE(in.Open(U(path)));
  const plat::FileStamp opened = in.Stamp();
  plat::FileStamp now;
  ASSERT_TRUE(plat::StampOf(U(path), now));
  EXPECT_EQ(now, opened);
  EXPECT_EQ(opened.size, 1000u);

  struct Case {
    const char* name;
    void (*change)(const std::string& path);
  } cases[] = {
      {"grown", [](const std::string& p) { std::FILE* f = std::fopen(p.c_str(), "ab"); std::fputc(1, f); std::fclose(f); }},
      {"truncated", [](const std::string& p) { ASSERT_EQ(::truncate(p.c_str(), 10), 0); }},
      {"rewritten in place, same size",
       [](const std::string& p) { std::FILE* f = std::fopen(p.c_str(), "r+b"); std::fputc(7, f); std::fclose(f); }},
      {"rewritten in place, modification time restored",
       [](const std::string& p) {
         struct stat before;
         ASSERT_EQ(::stat(p.c_str(), &before), 0);
         std::FILE* f = std::fopen(p.c_str(), "r+b");
         std::fputc(9, f);
         std::fclose(f);
         struct timespec restored[2] = {before.st_atim, before.st_mtim};
         ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), restored, 0), 0);
       }},
      {"replaced by another file", [](const std::string& p) {
         std::string other = p + ".new";
         std::FILE* f = std::fopen(other.c_str(), "wb");
         std::fclose(f);
         ASSERT_EQ(::rename(other.c_str(), p.c_str()), 0);
       }},
  };
  for (const Case& c : cases) {
    std::string copy = dir.Write(std::string("case-") + c.name, Pattern(1000));
    // Stamps in the same clock tick would be equal; move the first one back.
    struct timespec earlier[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, copy.c_str(), earlier, 0), 0);
    plat::FileStamp before, after;
    ASSERT_TRUE(plat::StampOf(U(copy), before));
    // The record's change time comes from a coarse clock: a change in the
    // same tick as the stamp would not show in it.
    ::usleep(20000);
    c.change(copy);
    ASSERT_TRUE(plat::StampOf(U(copy), after));
    EXPECT_NE(after, before) << c.name;
  }
  EXPECT_FALSE(plat::StampOf(U(dir.Join("missing")), now));
}

}  // namespace

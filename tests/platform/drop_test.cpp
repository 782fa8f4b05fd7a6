#include "platform/core/drop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

TEST(DropTest, QueryFollowsTheShellConventions) {
  plat::HDROP drop = plat::CreateDrop({u"/data/a.dcm", u"/data/文件夹"});
  EXPECT_EQ(plat::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0), 2u);
  EXPECT_EQ(plat::DragQueryFileW(drop, 1, nullptr, 0), 9u);
  char16_t buffer[16];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  EXPECT_EQ(plat::DragQueryFileW(drop, 1, buffer, 10), 9u);
  EXPECT_EQ(std::u16string(buffer), u"/data/文件夹");
  // A short buffer gets what fits and a terminator.
  EXPECT_EQ(plat::DragQueryFileW(drop, 0, buffer, 5), 4u);
  EXPECT_EQ(std::u16string(buffer), u"/dat");
  EXPECT_EQ(plat::DragQueryFileW(drop, 2, buffer, 16), 0u);
  EXPECT_EQ(plat::DragQueryFileW(nullptr, 0xFFFFFFFF, nullptr, 0), 0u);
  plat::DragFinish(drop);
}

}  // namespace

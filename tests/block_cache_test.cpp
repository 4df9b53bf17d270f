#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/block_cache.h"

namespace {

using normlevel::BlockCache;

// The header's examples: a freed block serves the next request of its
// class, and only of its class.
TEST(BlockCache, HeaderExamples) {
  BlockCache cache;
  void* block = cache.allocate(100);
  cache.release(block);
  EXPECT_EQ(cache.allocate(90), block);
  cache.release(block);
  void* larger = cache.allocate(129);
  EXPECT_NE(larger, block) << "a block of 128 bytes is too small";
  cache.release(larger);
  cache.release(cache.allocate(100000));
  EXPECT_EQ(cache.kept(100000), 0u) << "past the largest class nothing is kept";
  cache.close();
}

// Every byte asked for can be written (a sanitizer's build sees any that
// cannot), and the block is aligned as malloc aligns.
TEST(BlockCache, BlocksHoldWhatIsAskedAligned) {
  BlockCache cache;
  for (const std::size_t size : {0, 1, 15, 16, 17, 4095, 4096, 4097, 65535, 65536, 65537, 1 << 20}) {
    for (int round = 0; round < 2; ++round) {  // new, then kept
      auto* block = static_cast<unsigned char*>(cache.allocate(size));
      ASSERT_NE(block, nullptr) << size;
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % alignof(std::max_align_t), 0u) << size;
      std::memset(block, 0xA5, size);
      cache.release(block);
    }
  }
  cache.close();
}

TEST(BlockCache, KeepsSixtyFourBlocksOrAQuarterMebibyteAClass) {
  const struct {
    std::size_t size;
    unsigned kept;
  } classes[] = {{16, 64}, {3000, 64}, {4096, 64}, {8192, 32}, {65536, 4}, {65537, 0}};
  for (const auto& c : classes) {
    BlockCache cache;
    std::vector<void*> blocks;
    for (int i = 0; i < 100; ++i) blocks.push_back(cache.allocate(c.size));
    for (void* block : blocks) cache.release(block);
    EXPECT_EQ(cache.kept(c.size), c.kept) << c.size;
    cache.close();
  }
}

// A block allocated by one thread's cache and freed by another's serves
// the other; nothing is kept once a cache is closed.
TEST(BlockCache, ServesBlocksOfOtherCachesAndKeepsNoneOnceClosed) {
  BlockCache mine, other;
  void* block = other.allocate(2400);
  mine.release(block);
  EXPECT_EQ(mine.kept(2400), 1u);
  EXPECT_EQ(mine.allocate(2049), block);
  mine.close();
  EXPECT_EQ(mine.kept(2400), 0u);
  mine.release(block);
  EXPECT_EQ(mine.kept(2400), 0u) << "released after close: freed at once";
  other.close();
}

// Sizes that leave no room for the header are refused before the system
// is asked (where the size would wrap round to a small block).
TEST(BlockCache, RefusesSizesWithNoRoomForTheHeader) {
  BlockCache cache;
  for (const std::size_t size : {SIZE_MAX, SIZE_MAX - 1}) EXPECT_EQ(cache.allocate(size), nullptr) << size;
}

}  // namespace

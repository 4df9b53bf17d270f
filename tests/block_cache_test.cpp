#include <gtest/gtest.h>

#include <algorithm>
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

// ---- the depot ----------------------------------------------------------

using normlevel::BlockDepot;

// What one cache frees past what it keeps serves another, a batch at a
// time: half what the class keeps.
TEST(BlockDepot, PassesBlocksOnInBatches) {
  const struct {
    std::size_t size;
    unsigned batch;
  } classes[] = {{16, 32}, {100, 32}, {4096, 32}, {8192, 16}, {32768, 4}, {65536, 2}, {65537, 0}};
  for (const auto& c : classes) {
    BlockDepot depot;
    BlockCache freeing(&depot), asking(&depot);
    EXPECT_EQ(BlockDepot::batch(c.size), c.batch) << c.size;
    const unsigned kept = c.batch > 0 ? 2 * c.batch : 0;
    std::vector<void*> given;
    for (unsigned i = 0; i < kept + c.batch; ++i) given.push_back(freeing.allocate(c.size));
    for (void* block : given) freeing.release(block);
    EXPECT_EQ(freeing.kept(c.size), kept) << c.size;
    EXPECT_EQ(depot.held(c.size), c.batch > 0 ? 1u : 0u) << c.size;
    std::vector<void*> taken;
    for (unsigned i = 0; i <= c.batch; ++i) taken.push_back(asking.allocate(c.size));
    for (unsigned i = 0; i < c.batch; ++i)
      EXPECT_NE(std::find(given.end() - c.batch, given.end(), taken[i]), given.end()) << c.size << " #" << i;
    EXPECT_EQ(std::find(given.begin(), given.end(), taken.back()), given.end()) << c.size << ": the batch ran out";
    EXPECT_EQ(depot.held(c.size), 0u) << c.size;
    for (void* block : taken) asking.release(block);
    freeing.close();
    asking.close();
    depot.clear();
  }
}

// The header's example, and a depot's limit: four batches a class, the
// rest freed (a sanitizer's build sees any block lost or freed twice).
TEST(BlockDepot, HeaderExampleAndFourBatchesAClass) {
  BlockDepot depot;
  BlockCache a(&depot), b(&depot);
  std::vector<void*> blocks;
  for (int i = 0; i < 96; ++i) blocks.push_back(a.allocate(100));
  for (void* block : blocks) a.release(block);
  EXPECT_EQ(a.kept(100), 64u);
  EXPECT_EQ(depot.held(100), 1u);
  blocks.clear();
  for (int i = 0; i < 33; ++i) blocks.push_back(b.allocate(100));
  EXPECT_EQ(depot.held(100), 0u);
  for (int i = 0; i < 64 + 6 * 32 - 33; ++i) blocks.push_back(b.allocate(100));
  for (void* block : blocks) a.release(block);
  EXPECT_EQ(depot.held(100), BlockDepot::kKeptBatches);
  a.close();
  b.close();
  depot.clear();
  EXPECT_EQ(depot.held(100), 0u);
}

// A closed cache neither hands blocks on nor takes a batch it could not
// give back.
TEST(BlockDepot, ClosedCachesNeitherGiveNorTake) {
  BlockDepot depot;
  BlockCache open(&depot), closed(&depot);
  closed.close();
  std::vector<void*> blocks;
  for (int i = 0; i < 96; ++i) blocks.push_back(open.allocate(200));
  for (void* block : blocks) closed.release(block);
  EXPECT_EQ(depot.held(200), 0u) << "released into a closed cache: freed at once";
  blocks.clear();
  for (int i = 0; i < 96; ++i) blocks.push_back(open.allocate(200));
  for (void* block : blocks) open.release(block);
  ASSERT_EQ(depot.held(200), 1u);
  closed.release(closed.allocate(200));
  EXPECT_EQ(depot.held(200), 1u);
  open.close();
  depot.clear();
}

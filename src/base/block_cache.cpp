#include "base/block_cache.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <thread>

namespace normlevel {

namespace {

// The header keeps the block after it aligned as malloc aligns.
constexpr std::size_t kHeader = alignof(std::max_align_t);
constexpr int kLarge = -1;

int size_class(std::size_t size, int classes) {
  const int c = size <= 16 ? 0 : std::bit_width(size - 1) - 4;
  return c < classes ? c : kLarge;
}

constexpr std::size_t class_bytes(int c) { return std::size_t{16} << c; }

// A shift, not a division (the compiler cannot tell class_bytes is a power
// of two): this is asked at every release.
unsigned most_kept(int c) {
  const std::size_t by_bytes = BlockCache::kKeptBytes >> (4 + c);  // kKeptBytes / class_bytes(c)
  return by_bytes < BlockCache::kKeptBlocks ? static_cast<unsigned>(by_bytes) : BlockCache::kKeptBlocks;
}

unsigned batch_of(int c) { return std::max(1u, most_kept(c) / 2); }

int& class_of_block(void* block) { return *reinterpret_cast<int*>(static_cast<char*>(block) - kHeader); }

void free_block(void* block) { std::free(static_cast<char*>(block) - kHeader); }

void free_list(BlockCache::Free* block) {
  while (block != nullptr) {
    BlockCache::Free* next = block->next;
    free_block(block);
    block = next;
  }
}

}  // namespace

void* BlockCache::allocate(std::size_t size) noexcept {
  const int c = size_class(size, kClasses);
  if (c != kLarge && head_[c] == nullptr) refill(c);
  if (c != kLarge && head_[c] != nullptr) {
    Free* block = head_[c];
    head_[c] = block->next;
    --count_[c];
    return block;
  }
  const std::size_t bytes = c != kLarge ? class_bytes(c) : size;
  if (bytes > SIZE_MAX - kHeader) return nullptr;
  char* raw = static_cast<char*>(std::malloc(kHeader + bytes));
  if (raw == nullptr) return nullptr;
  void* block = raw + kHeader;
  class_of_block(block) = c;
  return block;
}

void BlockCache::release(void* block) noexcept {
  if (block == nullptr) return;
  const int c = class_of_block(block);
  if (c != kLarge && !closed_) {
    Free* kept = static_cast<Free*>(block);
    if (count_[c] < most_kept(c)) {
      kept->next = head_[c];
      head_[c] = kept;
      ++count_[c];
      return;
    }
    if (depot_ != nullptr) return spill(c, kept);
  }
  free_block(block);
}

// The blocks spilt past the class's limit first, then a batch from the
// depot (not once closed: nothing would give it back).
void BlockCache::refill(int c) noexcept {
  if (spilt_[c] == nullptr && depot_ != nullptr && !closed_) {
    spilt_[c] = depot_->take(c);
    spilt_count_[c] = spilt_[c] != nullptr ? batch_of(c) : 0;
  }
  head_[c] = spilt_[c];
  count_[c] = spilt_count_[c];
  spilt_[c] = nullptr;
  spilt_count_[c] = 0;
}

void BlockCache::spill(int c, Free* block) noexcept {
  block->next = spilt_[c];
  spilt_[c] = block;
  if (++spilt_count_[c] < batch_of(c)) return;
  depot_->give(c, spilt_[c]);
  spilt_[c] = nullptr;
  spilt_count_[c] = 0;
}

void BlockCache::close() noexcept {
  closed_ = true;
  for (int c = 0; c < kClasses; ++c) {
    free_list(head_[c]);
    free_list(spilt_[c]);
    head_[c] = spilt_[c] = nullptr;
    count_[c] = spilt_count_[c] = 0;
  }
}

unsigned BlockCache::kept(std::size_t size) const noexcept {
  const int c = size_class(size, kClasses);
  return c != kLarge ? count_[c] : 0;
}

unsigned BlockDepot::batch(std::size_t size) noexcept {
  const int c = size_class(size, BlockCache::kClasses);
  return c != kLarge ? batch_of(c) : 0;
}

// Held for a few instructions at a time: a thread that finds it taken
// gives way rather than sleep.
void BlockDepot::lock() noexcept {
  while (busy_.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
}

void BlockDepot::give(int c, BlockCache::Free* batch) noexcept {
  lock();
  const bool room = count_[c] < kKeptBatches;
  if (room) {
    batch->next_batch = batches_[c];
    batches_[c] = batch;
    ++count_[c];
  }
  unlock();
  if (!room) free_list(batch);
}

BlockCache::Free* BlockDepot::take(int c) noexcept {
  lock();
  BlockCache::Free* batch = batches_[c];
  if (batch != nullptr) {
    batches_[c] = batch->next_batch;
    --count_[c];
  }
  unlock();
  return batch;
}

void BlockDepot::clear() noexcept {
  for (int c = 0; c < BlockCache::kClasses; ++c)
    while (BlockCache::Free* batch = take(c)) free_list(batch);
}

unsigned BlockDepot::held(std::size_t size) noexcept {
  const int c = size_class(size, BlockCache::kClasses);
  if (c == kLarge) return 0;
  lock();
  const unsigned count = count_[c];
  unlock();
  return count;
}

}  // namespace normlevel

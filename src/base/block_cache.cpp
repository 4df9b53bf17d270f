#include "base/block_cache.h"

#include <bit>
#include <cstdint>
#include <cstdlib>

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

unsigned most_kept(int c) {
  const std::size_t by_bytes = BlockCache::kKeptBytes / class_bytes(c);
  return by_bytes < BlockCache::kKeptBlocks ? static_cast<unsigned>(by_bytes) : BlockCache::kKeptBlocks;
}

int& class_of_block(void* block) { return *reinterpret_cast<int*>(static_cast<char*>(block) - kHeader); }

}  // namespace

void* BlockCache::allocate(std::size_t size) noexcept {
  const int c = size_class(size, kClasses);
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
  if (c != kLarge && !closed_ && count_[c] < most_kept(c)) {
    Free* kept = static_cast<Free*>(block);
    kept->next = head_[c];
    head_[c] = kept;
    ++count_[c];
    return;
  }
  std::free(static_cast<char*>(block) - kHeader);
}

void BlockCache::close() noexcept {
  closed_ = true;
  for (int c = 0; c < kClasses; ++c) {
    while (Free* block = head_[c]) {
      head_[c] = block->next;
      std::free(reinterpret_cast<char*>(block) - kHeader);
    }
    count_[c] = 0;
  }
}

unsigned BlockCache::kept(std::size_t size) const noexcept {
  const int c = size_class(size, kClasses);
  return c != kLarge ? count_[c] : 0;
}

}  // namespace normlevel

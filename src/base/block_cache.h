#pragma once

// Memory blocks for one thread, the ones it frees kept for its next
// requests. A run allocates and frees the same few sizes section after
// section; the system's allocator takes a lock and atomic operations for
// each of them once a second thread exists, and another one's lock for a
// block that thread allocated (a section read on one thread and computed
// on another).

#include <atomic>
#include <bit>
#include <cstddef>

namespace normlevel {

class BlockDepot;

/// Blocks of 16, 32, 64 ... 64 KiB bytes behind a header naming their size
/// class, so that a block is released without its size, into any cache: one
/// a thread frees serves that thread's next request of the class. Larger
/// requests go straight to std::malloc and std::free; so do blocks past what
/// a class keeps, unless the cache has a depot: they then go there a batch
/// at a time, and a class run dry takes a batch back. Constant-initialized
/// and trivially destroyed, so a thread_local one costs no guard; `close`
/// gives back what it keeps.
///   allocate(100) -> a block of 128 bytes; release it, and allocate(90)
///   gives the same block; allocate(100000) -> a block of its own.
class BlockCache {
 public:
  constexpr BlockCache() = default;
  /// Passing blocks on through `depot`, which outlives the cache.
  constexpr explicit BlockCache(BlockDepot* depot) : depot_(depot) {}

  static constexpr std::size_t kLargest = std::size_t{64} << 10;
  /// What a class keeps: 64 blocks, and no more than 256 KiB of them.
  static constexpr unsigned kKeptBlocks = 64;
  static constexpr std::size_t kKeptBytes = std::size_t{256} << 10;

  /// At least `size` bytes, aligned as std::malloc aligns; nullptr where the
  /// system has not that much.
  void* allocate(std::size_t size) noexcept;
  /// A block that `allocate` gave, from this cache or another; nullptr is ignored.
  void release(void* block) noexcept;
  /// Frees every block kept: from now on released blocks are freed at once.
  void close() noexcept;
  /// How many blocks of the class `size` falls in are kept.
  unsigned kept(std::size_t size) const noexcept;

  static constexpr int kClasses = std::bit_width(kLargest / 16);  // 16, 32, ... kLargest
  /// A kept block: the next in its list, and in a depot the next batch.
  struct Free {
    Free* next;
    Free* next_batch;
  };

 private:
  void refill(int c) noexcept;
  void spill(int c, Free* block) noexcept;

  BlockDepot* depot_ = nullptr;
  Free* head_[kClasses] = {};
  unsigned count_[kClasses] = {};
  Free* spilt_[kClasses] = {};  // past what a class keeps: a batch in the making
  unsigned spilt_count_[kClasses] = {};
  bool closed_ = false;
};

/// Where threads' caches pass blocks on to one another: a section is read on
/// one thread and freed on another, its results the other way round, so one
/// cache would fill up with blocks it never asks for and the other run dry.
/// A lock for a batch of 2 to 32 blocks (half what a class keeps), rather than
/// the system's for each; past four batches a class, a batch is freed.
///   cache A releases 96 blocks of 100 bytes -> A keeps 64, the depot holds one batch of 32;
///   cache B then allocates 33 -> 32 from the batch, 1 from std::malloc.
class BlockDepot {
 public:
  static constexpr unsigned kKeptBatches = 4;
  /// The blocks in a batch of the class `size` falls in.
  static unsigned batch(std::size_t size) noexcept;
  /// Keeps a batch of class c, chained through `next`; frees it when full.
  void give(int c, BlockCache::Free* batch) noexcept;
  /// A batch of class c, or nullptr.
  BlockCache::Free* take(int c) noexcept;
  /// How many batches of the class `size` falls in are held.
  unsigned held(std::size_t size) noexcept;
  /// Frees every batch held: for a depot that ends before the program
  /// (the program's own is never destroyed, as a thread may end after it).
  void clear() noexcept;

 private:
  void lock() noexcept;
  void unlock() noexcept { busy_.clear(std::memory_order_release); }

  std::atomic_flag busy_;
  BlockCache::Free* batches_[BlockCache::kClasses] = {};
  unsigned count_[BlockCache::kClasses] = {};
};

}  // namespace normlevel

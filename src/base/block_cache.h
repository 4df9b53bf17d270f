#pragma once

// Memory blocks for one thread, the ones it frees kept for its next
// requests. A run allocates and frees the same few sizes section after
// section; the system's allocator takes a lock and atomic operations for
// each of them once a second thread exists, and another one's lock for a
// block that thread allocated (a section read on one thread and computed
// on another).

#include <bit>
#include <cstddef>

namespace normlevel {

/// Blocks of 16, 32, 64 ... 64 KiB bytes behind a header naming their size
/// class, so that a block is released without its size, into any cache: one
/// a thread frees serves that thread's next request of the class. Larger
/// requests, and blocks past what a class keeps, go straight to and from
/// std::malloc and std::free. Constant-initialized and trivially destroyed,
/// so a thread_local one costs no guard; `close` gives back what it keeps.
///   allocate(100) -> a block of 128 bytes; release it, and allocate(90)
///   gives the same block; allocate(100000) -> a block of its own.
class BlockCache {
 public:
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

 private:
  static constexpr int kClasses = std::bit_width(kLargest / 16);  // 16, 32, ... kLargest
  struct Free {
    Free* next;
  };
  Free* head_[kClasses] = {};
  unsigned count_[kClasses] = {};
  bool closed_ = false;
};

}  // namespace normlevel

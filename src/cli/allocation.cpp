// The program's own operator new and delete: each thread keeps the blocks
// it frees for its next requests (BlockCache), and passes on to the others
// those it frees beyond them (BlockDepot). Linked into the program
// alone: a program that uses the library keeps its own allocator.

#include <cstddef>
#include <new>

#include "base/block_cache.h"

namespace {

normlevel::BlockDepot depot;
thread_local normlevel::BlockCache cache(&depot);

// When the thread ends, what its cache keeps goes back to the system; a
// block freed after that (by a later destructor) is freed at once.
struct Closer {
  bool set_up = false;
  ~Closer() { cache.close(); }
};
thread_local Closer closer;
thread_local bool armed = false;

// A thread's Closer is set up (its destructor registered) on its first
// use, before the thread's cache can keep anything.
void arm() {
  if (armed) return;
  armed = true;
  closer.set_up = true;
}

void* allocate(std::size_t size) {
  arm();
  for (;;) {
    if (void* block = cache.allocate(size)) return block;
    const std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw std::bad_alloc();
    handler();
  }
}

void* allocate(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocate(size);
  } catch (...) {
    return nullptr;
  }
}

void release(void* block) noexcept {
  arm();
  cache.release(block);
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t& tag) noexcept { return allocate(size, tag); }
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return allocate(size, tag); }
void operator delete(void* block) noexcept { release(block); }
void operator delete[](void* block) noexcept { release(block); }
void operator delete(void* block, std::size_t) noexcept { release(block); }
void operator delete[](void* block, std::size_t) noexcept { release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { release(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { release(block); }

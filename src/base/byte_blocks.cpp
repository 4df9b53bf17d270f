#include "base/byte_blocks.h"

#include <functional>
#include <utility>

namespace normlevel {

std::size_t read_up_to(std::FILE* stream, char* buffer, std::size_t size) {
  std::size_t used = 0;
  for (std::size_t got; used < size && (got = std::fread(buffer + used, 1, size - used, stream)) > 0;) used += got;
  return used;
}

StreamBlocks::StreamBlocks(FileHandle file, std::FILE* stream, std::size_t block_size)
    : file_(std::move(file)), stream_(stream), block_size_(block_size > 0 ? block_size : 1) {}

// Read straight into the block: no byte is set before the file's is. A
// failure is thrown once the bytes read before it have been given.
std::string_view StreamBlocks::next() {
  if (failed_) {
    failed_ = false;
    throw ReadError();
  }
  if (ended_) return {};
  std::unique_ptr<char[]> block = new_block();
  const std::size_t used = read_up_to(stream_, block.get(), block_size_);
  ended_ = used < block_size_;
  failed_ = ended_ && std::ferror(stream_);
  if (used == 0) {
    spare_.push_back(std::move(block));
    return next();
  }
  blocks_.push_back(std::move(block));
  return {blocks_.back().get(), used};
}

void StreamBlocks::release_before(const char* from) {
  std::size_t keep = blocks_.empty() ? 0 : blocks_.size() - 1;
  for (std::size_t k = 0; from != nullptr && k < blocks_.size(); ++k) {
    const char* start = blocks_[k].get();
    if (std::less_equal<>()(start, from) && std::less<>()(from, start + block_size_)) keep = k;
  }
  for (; keep > 0; --keep) {
    spare_.push_back(std::move(blocks_.front()));
    blocks_.pop_front();
  }
}

std::unique_ptr<char[]> StreamBlocks::new_block() {
  if (spare_.empty()) return std::unique_ptr<char[]>(new char[block_size_]);  // left unset: fread fills it
  std::unique_ptr<char[]> block = std::move(spare_.back());
  spare_.pop_back();
  return block;
}

}  // namespace normlevel

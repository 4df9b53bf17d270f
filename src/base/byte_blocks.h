#pragma once

// A text read a block at a time as it is asked for, so that a long file's
// first parts are at work while the rest is read, and the blocks already
// gone through are used again rather than the whole file held at once.

#include <cstddef>
#include <cstdio>
#include <deque>
#include <memory>
#include <string_view>
#include <vector>

#include "base/Failure.h"
#include "base/platform.h"

namespace normlevel {

/// The system could not read an input through. Not its end: a reader that
/// took it for one would give what it read so far as the whole of it.
class ReadError : public Failure {
 public:
  ReadError() : Failure(kSystemError, "cannot read: the system reported an error", kReadDataFile) {}
};

/// Reads up to `size` bytes of `stream` into `buffer`: fewer only at its end
/// or where reading fails (std::ferror tells which).
std::size_t read_up_to(std::FILE* stream, char* buffer, std::size_t size);

/// Where a reader gets the bytes of a text, a block at a time.
class ByteBlocks {
 public:
  virtual ~ByteBlocks() = default;
  /// The next block; empty at the end, and after. Throws ReadError where
  /// reading failed, after the blocks read before it.
  virtual std::string_view next() = 0;
  /// No byte before `from` is looked at again (nullptr: none before the
  /// block last given), so the blocks wholly before it may be used again.
  virtual void release_before(const char* from) = 0;
};

/// A stream's bytes in blocks of `block_size` (the last one shorter).
class StreamBlocks : public ByteBlocks {
 public:
  /// Reads `stream`, closing `file` (which may hold none) at the end.
  StreamBlocks(FileHandle file, std::FILE* stream, std::size_t block_size = std::size_t{1} << 20);
  std::string_view next() override;
  void release_before(const char* from) override;

 private:
  std::unique_ptr<char[]> new_block();

  FileHandle file_;
  std::FILE* stream_;
  std::size_t block_size_;
  std::deque<std::unique_ptr<char[]>> blocks_;  // given and not yet released, in order
  std::vector<std::unique_ptr<char[]>> spare_;
  bool ended_ = false, failed_ = false;
};

}  // namespace normlevel

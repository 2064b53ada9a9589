// Bytes the tool holds to read from: an input file's contents, or the
// record a block's text assembles to.
#ifndef BCODE_TOOLS_SUPPORT_BYTEBUFFER_H
#define BCODE_TOOLS_SUPPORT_BYTEBUFFER_H

#include <cstddef>
#include <string>
#include <string_view>

#include "bcode/foundation/krarena.h"

namespace bctool {

// A buffer of bytes with room that grows. Room of kMappedFrom bytes or more
// is a mapping of its own in whole huge pages: the system hands those out
// already cleared many times faster than it maps in fresh small pages, and
// nothing clears them again before reading writes them. Less room is
// ordinary memory, so that a small file never takes a huge page. Where the
// system has no huge pages the mapping takes small ones.
class ByteBuffer {
 public:
  static constexpr std::size_t kHugePage = kKRHugePageBytes;
  static constexpr std::size_t kMappedFrom = std::size_t{256} << 10;

  ByteBuffer() = default;
  // Holds `bytes` without copying them.
  explicit ByteBuffer(std::string bytes);
  ByteBuffer(ByteBuffer&& other) noexcept;
  ByteBuffer& operator=(ByteBuffer&& other) noexcept;
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;
  ~ByteBuffer();

  void swap(ByteBuffer& other) noexcept;

  const char* data() const { return mapped_ != nullptr ? mapped_ : memory_.data(); }
  char* data() { return mapped_ != nullptr ? mapped_ : memory_.data(); }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::size_t capacity() const { return mapped_ != nullptr ? mappedBytes_ : memory_.size(); }
  // Whether the room is a mapping of whole huge pages.
  bool mapped() const { return mapped_ != nullptr; }

  std::string_view view() const { return {data(), size_}; }
  operator std::string_view() const { return view(); }

  // Makes room for at least `bytes` bytes, keeping those held. Throws
  // std::bad_alloc when the system has no memory for it.
  void reserve(std::size_t bytes);
  // Holds the first `bytes` bytes of the room (at most capacity()): those
  // written into data() since they were last held.
  void resize(std::size_t bytes);

 private:
  void unmap() noexcept;

  std::string memory_;  // the room when it is not mapped
  char* mapped_ = nullptr;
  std::size_t mappedBytes_ = 0;
  std::size_t size_ = 0;
};

}  // namespace bctool

#endif  // BCODE_TOOLS_SUPPORT_BYTEBUFFER_H

#include "tools/support/bytebuffer.h"

#include <sys/mman.h>

#include <cassert>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

#include "bcode/foundation/krarena.h"

namespace bctool {

namespace {

constexpr std::uintptr_t kHugeMask = ByteBuffer::kHugePage - 1;

// `bytes` of fresh memory, a whole number of huge pages starting on a huge
// page boundary (the system advised to back them by huge pages).
char* mapHugePages(std::size_t bytes) {
  // A huge page more than asked leaves room to start on a boundary; what
  // lies before it and after the end goes back at once.
  const std::size_t spare = ByteBuffer::kHugePage;
  void* start =
      ::mmap(nullptr, bytes + spare, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (start == MAP_FAILED) throw std::bad_alloc();
  const auto at = reinterpret_cast<std::uintptr_t>(start);
  const std::uintptr_t begin = (at + kHugeMask) & ~kHugeMask;
  if (begin > at) ::munmap(start, begin - at);
  if (begin - at < spare) ::munmap(reinterpret_cast<void*>(begin + bytes), spare - (begin - at));
  char* room = reinterpret_cast<char*>(begin);
  // A system that knows no huge pages refuses the advice; the room then
  // fills page by page as ordinary memory does.
  krAdviseHugePages(room, bytes);
  return room;
}

}  // namespace

ByteBuffer::ByteBuffer(std::string bytes) : memory_(std::move(bytes)), size_(memory_.size()) {}

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept {
  swap(other);
}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
  ByteBuffer taken(std::move(other));
  swap(taken);
  return *this;
}

void ByteBuffer::swap(ByteBuffer& other) noexcept {
  memory_.swap(other.memory_);
  std::swap(mapped_, other.mapped_);
  std::swap(mappedBytes_, other.mappedBytes_);
  std::swap(size_, other.size_);
}

ByteBuffer::~ByteBuffer() {
  unmap();
}

void ByteBuffer::reserve(std::size_t bytes) {
  if (bytes <= capacity()) return;
  if (bytes < kMappedFrom) {
    memory_.resize(bytes);
    return;
  }
  if (bytes > SIZE_MAX - 2 * kHugePage) throw std::bad_alloc();
  const std::size_t room = (bytes + kHugeMask) & ~kHugeMask;
  char* mapped = mapHugePages(room);
  std::memcpy(mapped, data(), size_);
  unmap();
  std::string().swap(memory_);
  mapped_ = mapped;
  mappedBytes_ = room;
}

void ByteBuffer::resize(std::size_t bytes) {
  assert(bytes <= capacity());
  size_ = bytes;
}

void ByteBuffer::unmap() noexcept {
  if (mapped_ != nullptr) ::munmap(mapped_, mappedBytes_);
  mapped_ = nullptr;
  mappedBytes_ = 0;
}

}  // namespace bctool

#include "bcode/foundation/krystrng.h"

#include <cstring>
#include <new>
#include <ostream>

#include "bcode/foundation/krerror.h"

thread_local KRString::ERRORS KRString::error = KRString::KRSTRING_OK;

namespace {

// Source lines reported when a character buffer cannot be allocated: a string
// made from characters, and a copy of another string.
constexpr int kFromCharsLine = 279;
constexpr int kCopyLine = 324;

}  // namespace

char* KRString::allocate(std::uint16_t length, int line) {
  try {
    return new char[static_cast<std::size_t>(length) + 1];
  } catch (const std::bad_alloc&) {
    throw KRErrorNoHeap("krystrng", line);
  }
}

void KRString::take(const char* text, std::uint16_t length, int line) {
  char* fresh = allocate(length, line);
  if (length != 0) std::memcpy(fresh, text, length);
  fresh[length] = '\0';
  delete[] chars_;
  chars_ = fresh;
  length_ = length;
}

void KRString::adopt(char* chars, std::uint16_t length) {
  delete[] chars_;
  chars_ = chars;
  length_ = length;
}

KRString::KRString() : chars_(nullptr), length_(0) {
  take("", 0, kFromCharsLine);
}

KRString::KRString(const char* text) : chars_(nullptr), length_(0) {
  const std::size_t size = text != nullptr ? std::strlen(text) : 0;
  if (size > 0xFFFF) {
    error = KRSTRING_FAILED;
    take("", 0, kFromCharsLine);
    return;
  }
  take(text, static_cast<std::uint16_t>(size), kFromCharsLine);
}

KRString::KRString(const char* text, std::uint16_t length) : chars_(nullptr), length_(0) {
  if (text == nullptr && length != 0) {
    error = KRSTRING_FAILED;
    length = 0;
  }
  take(text, length, kFromCharsLine);
}

KRString::KRString(char fill, std::uint16_t count) : chars_(nullptr), length_(0) {
  chars_ = allocate(count, kFromCharsLine);
  std::memset(chars_, fill, count);
  chars_[count] = '\0';
  length_ = count;
}

KRString::KRString(const KRString& other) : chars_(nullptr), length_(0) {
  take(other.chars_, other.length_, kCopyLine);
}

KRString& KRString::operator=(const KRString& other) {
  if (this != &other) take(other.chars_, other.length_, kCopyLine);
  return *this;
}

KRString::~KRString() {
  delete[] chars_;
}

void KRString::assign(const char* text, std::uint16_t length) {
  if (text == nullptr && length != 0) {
    error = KRSTRING_FAILED;
    length = 0;
  }
  take(text, length, kFromCharsLine);
}

bool KRString::operator==(const KRString& other) const {
  // A loaded name may hold zero bytes: compare the length and every character.
  return length_ == other.length_ && std::memcmp(chars_, other.chars_, length_) == 0;
}

void KRString::printOn(std::ostream& os) const {
  os.write(chars_, length_);
}

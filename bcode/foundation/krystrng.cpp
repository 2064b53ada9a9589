#include "bcode/foundation/krystrng.h"

#include <cstring>
#include <new>
#include <ostream>

#include "bcode/foundation/krarenastore.h"
#include "bcode/foundation/krerror.h"

thread_local KRString::ERRORS KRString::error = KRString::KRSTRING_OK;

namespace {

// Source lines reported when a character buffer cannot be allocated: a string
// made from characters, and a copy of another string.
constexpr int kFromCharsLine = 279;
constexpr int kCopyLine = 324;

// What every empty string points at.
constexpr char kNoChars[1] = "";

}  // namespace

char* KRString::newChars(std::uint16_t length) noexcept {
  return static_cast<char*>(krArenaTryBytes(static_cast<std::size_t>(length) + 1));
}

char* KRString::allocate(std::uint16_t length, int line) {
  char* chars = newChars(length);
  if (chars == nullptr) throw KRErrorNoHeap("krystrng", line);
  return chars;
}

void KRString::release() noexcept {
  if (chars_ != kNoChars) krArenaDelete(const_cast<char*>(chars_));
  chars_ = kNoChars;
  length_ = 0;
}

void KRString::take(const char* text, std::uint16_t length, int line) {
  if (length == 0) {
    release();
    return;
  }
  char* fresh = allocate(length, line);
  std::memcpy(fresh, text, length);
  fresh[length] = '\0';
  adopt(fresh, length);
}

void KRString::adopt(char* chars, std::uint16_t length) {
  release();
  chars_ = chars;
  length_ = length;
}

KRString::KRString() : chars_(kNoChars), length_(0) {}

KRString::KRString(const char* text) : KRString() {
  const std::size_t size = text != nullptr ? std::strlen(text) : 0;
  if (size > 0xFFFF) {
    error = KRSTRING_FAILED;
    return;
  }
  take(text, static_cast<std::uint16_t>(size), kFromCharsLine);
}

KRString::KRString(const char* text, std::uint16_t length) : KRString() {
  if (text == nullptr && length != 0) {
    error = KRSTRING_FAILED;
    length = 0;
  }
  take(text, length, kFromCharsLine);
}

KRString::KRString(char fill, std::uint16_t count) : KRString() {
  if (count == 0) return;
  char* chars = allocate(count, kFromCharsLine);
  std::memset(chars, fill, count);
  chars[count] = '\0';
  adopt(chars, count);
}

KRString::KRString(const KRString& other) : KRString() {
  take(other.chars_, other.length_, kCopyLine);
}

KRString& KRString::operator=(const KRString& other) {
  if (this != &other) take(other.chars_, other.length_, kCopyLine);
  return *this;
}

KRString::~KRString() {
  release();
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

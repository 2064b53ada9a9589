#include "bcode/foundation/krfieldio.h"

#include <cstddef>
#include <cstdint>
#include <istream>
#include <memory>
#include <new>
#include <ostream>

#include "bcode/foundation/krarenastore.h"
#include "bcode/foundation/krystrng.h"

namespace {

// Marks a stream as failed without letting an exception mask turn that into
// a throw: the library reports stream failures through its flags only.
void markFailed(std::ios& stream, std::ios::iostate state) {
  try {
    stream.setstate(state);
  } catch (const std::ios::failure&) {
  }
}

// Writes `size` bytes as one field: the stream must be good and take them all.
bool putField(std::ostream& os, const char* data, std::size_t size) {
  std::streambuf* buf = os.rdbuf();
  if (!os.good() || buf == nullptr) return false;
  std::streamsize put = 0;
  try {
    put = buf->sputn(data, static_cast<std::streamsize>(size));
  } catch (...) {
    put = 0;
  }
  if (put != static_cast<std::streamsize>(size)) {
    markFailed(os, std::ios::badbit);
    return false;
  }
  return true;
}

// Reads `size` bytes as one field: all of them must come.
bool getField(std::istream& is, char* data, std::size_t size) {
  std::streambuf* buf = is.rdbuf();
  if (!is.good() || buf == nullptr) return false;
  std::streamsize got = 0;
  try {
    got = buf->sgetn(data, static_cast<std::streamsize>(size));
  } catch (...) {
    got = 0;
  }
  if (got != static_cast<std::streamsize>(size)) {
    markFailed(is, std::ios::eofbit | std::ios::failbit);
    return false;
  }
  return true;
}

}  // namespace

KRFieldWriter& KRFieldWriter::bytes(const void* data, std::size_t size) {
  if (ok_) ok_ = putField(os_, static_cast<const char*>(data), size);
  return *this;
}

KRFieldWriter& KRFieldWriter::fail(bool shortWrite) {
  if (shortWrite) markFailed(os_, std::ios::badbit);
  ok_ = false;
  return *this;
}

KRFieldWriter& KRFieldWriter::putBytewise(std::uint32_t value, int size) {
  if (!ok_) return *this;
  std::streambuf* buf = state_.good() ? state_.rdbuf() : nullptr;
  if (buf == nullptr) return fail(false);
  try {
    for (int i = 0; i < size; ++i) {
      const auto byte = static_cast<char>((value >> (8 * i)) & 0xFF);
      if (std::streambuf::traits_type::eq_int_type(buf->sputc(byte),
                                                   std::streambuf::traits_type::eof())) {
        return fail(true);
      }
    }
  } catch (...) {
    return fail(true);
  }
  return *this;
}

KRFieldWriter& KRFieldWriter::name(const KRString& text) {
  const auto length = static_cast<std::uint8_t>(text.length() & 0xFF);
  return u8(length).bytes(text.c_str(), length);
}

void KRPutAreaMapper::willWrite(std::size_t bytes) noexcept {
  // A stretch under this is left to fault in: the call would cost about as
  // much as the faults.
  constexpr std::ptrdiff_t kMinStretch = std::ptrdiff_t{64} << 10;
  std::streambuf* buf = state_.good() ? state_.rdbuf() : nullptr;
  if (buf == nullptr) return;
  char* const next = (buf->*KRBufferAreas::kPutNext)();
  char* const end = (buf->*KRBufferAreas::kPutEnd)();
  if (next == nullptr || end - next < kMinStretch) return;
  const auto room = static_cast<std::size_t>(end - next);
  char* const to = next + (bytes < room ? bytes : room);
  // The whole pages of an earlier call are not asked for again; that call
  // left the page it ended in, which this one takes whole.
  const auto at = [](const char* p) { return reinterpret_cast<std::uintptr_t>(p); };
  char* from = next;
  if (at(mappedTo_) > at(next) && at(mappedTo_) <= at(to)) from += at(mappedTo_) - at(next);
  if (to - from < kMinStretch) return;
  krPrefault(from, static_cast<std::size_t>(to - from));
  // krPrefault's pages are of 4 KiB.
  mappedTo_ = reinterpret_cast<const char*>(at(to) & ~std::uintptr_t{4095});
}

KRFieldReader& KRFieldReader::bytes(void* data, std::size_t size) {
  if (ok() && !getField(is_, static_cast<char*>(data), size)) status_ = SHORT_READ;
  return *this;
}

bool KRFieldReader::getBytewise(std::uint32_t& value, int size) {
  if (!ok()) return false;
  std::streambuf* buf = state_.good() ? state_.rdbuf() : nullptr;
  if (buf == nullptr) return fail(false);
  try {
    for (int i = 0; i < size; ++i) {
      const auto ch = buf->sbumpc();
      if (std::streambuf::traits_type::eq_int_type(ch, std::streambuf::traits_type::eof())) {
        return fail(true);
      }
      value |= static_cast<std::uint32_t>(static_cast<unsigned char>(ch)) << (8 * i);
    }
  } catch (...) {
    return fail(true);
  }
  return true;
}

bool KRFieldReader::fail(bool mark) {
  if (mark) markFailed(is_, std::ios::eofbit | std::ios::failbit);
  status_ = SHORT_READ;
  return false;
}

std::size_t KRFieldReader::remaining() const {
  std::streambuf* buf = is_.good() ? is_.rdbuf() : nullptr;
  if (buf == nullptr) return 0;
  try {
    const std::streamsize available = buf->in_avail();
    return available > 0 ? static_cast<std::size_t>(available) : 0;
  } catch (...) {
    return 0;
  }
}

KRFieldReader& KRFieldReader::i16(std::int16_t& value) {
  std::uint16_t raw = 0;
  if (u16(raw).ok()) value = static_cast<std::int16_t>(raw);
  return *this;
}

KRFieldReader& KRFieldReader::i32(std::int32_t& value) {
  std::uint32_t raw = 0;
  if (u32(raw).ok()) value = static_cast<std::int32_t>(raw);
  return *this;
}

KRFieldReader& KRFieldReader::name(KRString& text) {
  std::uint8_t length = 0;
  if (!u8(length).ok()) return *this;
  if (length == 0) {
    text.release();
    return *this;
  }
  std::unique_ptr<char, KRArenaDeleter> chars(KRString::newChars(length));
  if (!chars) {
    status_ = NO_MEMORY;
    return *this;
  }
  if (!bytes(chars.get(), length).ok()) return *this;
  chars.get()[length] = '\0';
  // The buffer read into becomes the string's own: one allocation a name.
  text.adopt(chars.release(), length);
  return *this;
}

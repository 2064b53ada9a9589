// Checked field I/O for every record of the library. Integers are little-endian
// of 1, 2 or 4 bytes; a name is a length byte followed by its characters.
//
// A writer or reader is sticky: after the first field that fails, later fields
// are neither written nor read and ok() stays false, so a record's code can
// write all its fields and test once, exactly as if it had stopped at the
// failing field. A field write fails when the stream does not take all of its
// bytes; a field read fails when fewer bytes come than the field has.
//
// A record of a bounded length (an instruction's) may go through a span of
// the buffer's area instead (record()): one check for the whole record
// where the area holds its longest form, and the same bytes either way.
#ifndef BCODE_FOUNDATION_KRFIELDIO_H
#define BCODE_FOUNDATION_KRFIELDIO_H

#include <cstddef>
#include <cstdint>
#include <istream>
#include <ostream>
#include <streambuf>
#include <type_traits>

#include "bcode/foundation/krexport.h"

class KRString;

// The get and put areas of a stream buffer, which sbumpc and sputc use
// inline one character at a time: a field that lies wholly inside the area
// is read or written at once, the rest goes character by character. Only
// names the protected members; never made.
struct KRBufferAreas : std::streambuf {
  static constexpr char* (std::streambuf::*kGetNext)() const = &KRBufferAreas::gptr;
  static constexpr char* (std::streambuf::*kGetEnd)() const = &KRBufferAreas::egptr;
  static constexpr void (std::streambuf::*kGetBump)(int) = &KRBufferAreas::gbump;
  static constexpr char* (std::streambuf::*kPutNext)() const = &KRBufferAreas::pptr;
  static constexpr char* (std::streambuf::*kPutEnd)() const = &KRBufferAreas::epptr;
  static constexpr void (std::streambuf::*kPutBump)(int) = &KRBufferAreas::pbump;
};

// An unsigned field of 1, 2 or 4 bytes, little-endian, from `at`.
template <class Field>
Field krLoadLittleEndian(const char* at) {
  static_assert(std::is_unsigned_v<Field> && sizeof(Field) <= 4,
                "fields are unsigned integers of 1, 2 or 4 bytes");
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < sizeof(Field); ++i) {
    value |= static_cast<std::uint32_t>(static_cast<unsigned char>(at[i])) << (8 * i);
  }
  return static_cast<Field>(value);
}

// `value` as a field of its width, little-endian, at `at`.
template <class Field>
void krStoreLittleEndian(char* at, Field value) {
  static_assert(std::is_unsigned_v<Field> && sizeof(Field) <= 4,
                "fields are unsigned integers of 1, 2 or 4 bytes");
  for (std::size_t i = 0; i < sizeof(Field); ++i) {
    at[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  }
}

// The fields of a record that lies wholly in a stream buffer's get area,
// read one after the other without a check each: what
// KRFieldReader::record hands the record's reader when the area holds the
// longest record of its kind. Offers the reader's integer fields; none of
// them fails.
class KRFieldSpanReader {
 public:
  explicit KRFieldSpanReader(const char* next) : next_(next) {}

  template <class... Fields>
  KRFieldSpanReader& fields(Fields&... values) {
    // A local cursor: the fields stored may alias the span's own.
    const char* at = next_;
    ((values = krLoadLittleEndian<Fields>(at), at += sizeof(Fields)), ...);
    next_ = at;
    return *this;
  }
  KRFieldSpanReader& u8(std::uint8_t& value) { return fields(value); }
  KRFieldSpanReader& u16(std::uint16_t& value) { return fields(value); }
  KRFieldSpanReader& u32(std::uint32_t& value) { return fields(value); }

  static constexpr bool ok() { return true; }
  // The first byte not read yet.
  const char* next() const { return next_; }

 private:
  const char* next_;
};

// The writer's counterpart: the fields of a record that fits wholly in a
// stream buffer's put area, written without a check each
// (KRFieldWriter::record).
class KRFieldSpanWriter {
 public:
  explicit KRFieldSpanWriter(char* next) : next_(next) {}

  template <class... Fields>
  KRFieldSpanWriter& fields(Fields... values) {
    char* at = next_;
    ((krStoreLittleEndian(at, values), at += sizeof(Fields)), ...);
    next_ = at;
    return *this;
  }
  KRFieldSpanWriter& u8(std::uint8_t value) { return fields(value); }
  KRFieldSpanWriter& u16(std::uint16_t value) { return fields(value); }
  KRFieldSpanWriter& u32(std::uint32_t value) { return fields(value); }

  static constexpr bool ok() { return true; }
  // The first byte not written yet.
  char* next() const { return next_; }

 private:
  char* next_;
};

class BCODE_API KRFieldWriter {
 public:
  explicit KRFieldWriter(std::ostream& os) : os_(os), state_(os) {}

  KRFieldWriter& u8(std::uint8_t value) { return put(value); }
  KRFieldWriter& u16(std::uint16_t value) { return put(value); }
  KRFieldWriter& u32(std::uint32_t value) { return put(value); }
  KRFieldWriter& i16(std::int16_t value) { return u16(static_cast<std::uint16_t>(value)); }
  KRFieldWriter& i32(std::int32_t value) { return u32(static_cast<std::uint32_t>(value)); }
  // Presence and flag bytes: 1 for yes, 0 for no.
  KRFieldWriter& flag(bool present) { return u8(present ? 1 : 0); }
  // A name: its length's low 8 bits, then that many characters.
  KRFieldWriter& name(const KRString& text);
  // Raw bytes as one field.
  KRFieldWriter& bytes(const void* data, std::size_t size);

  // Consecutive unsigned fields of a record, each as wide as its type: in
  // one go when they all fit the put area, else one after the other, so
  // that the stream gets the same bytes and the writer stops at the same
  // field as with u8, u16 and u32 in turn.
  template <class... Fields>
  KRFieldWriter& fields(Fields... values) {
    static_assert(((std::is_unsigned_v<Fields> && sizeof(Fields) <= 4) && ...),
                  "fields are unsigned integers of 1, 2 or 4 bytes");
    constexpr int total = static_cast<int>((sizeof(Fields) + ...));
    if (char* next = roomFor(total)) {
      commit(next, KRFieldSpanWriter(next).fields(values...).next());
    } else {
      (put(values), ...);
    }
    return *this;
  }

  // A record of at most `MaxBytes` bytes, written by `write(out)`: with
  // `out` a KRFieldSpanWriter over the put area when that has room for
  // `MaxBytes` bytes, its fields then take no check each and what it wrote
  // joins the stream after; else with this writer, field by field.
  // `write` answers whether the record was written: a span's writer that
  // answers false leaves nothing behind, and the caller writes the record
  // another way. While it runs, `write` reaches the stream through `out`
  // only.
  template <int MaxBytes, class Write>
  bool record(Write&& write) {
    char* next = roomFor(MaxBytes);
    if (next == nullptr) return write(*this);
    KRFieldSpanWriter span(next);
    if (!write(span)) return false;
    commit(next, span.next());
    return true;
  }

  bool ok() const { return ok_; }

 private:
  // The put area's next byte when it has room for `bytes` more, else null
  // (also after a failed field and for a stream without a buffer).
  char* roomFor(std::ptrdiff_t bytes) const {
    std::streambuf* buf = ok_ && state_.good() ? state_.rdbuf() : nullptr;
    char* next = buf != nullptr ? (buf->*KRBufferAreas::kPutNext)() : nullptr;
    return next != nullptr && (buf->*KRBufferAreas::kPutEnd)() - next >= bytes ? next : nullptr;
  }
  // What was written into the put area from `next` (roomFor's) to `end`
  // joins the stream.
  void commit(const char* next, const char* end) {
    (state_.rdbuf()->*KRBufferAreas::kPutBump)(static_cast<int>(end - next));
  }

  // A field goes into the buffer's put area at once when it fits, else byte
  // by byte, so that a field costs a virtual call only when the area is full.
  template <class Field>
  KRFieldWriter& put(Field value) {
    if (char* next = roomFor(sizeof(Field))) {
      krStoreLittleEndian(next, value);
      commit(next, next + sizeof(Field));
      return *this;
    }
    return putBytewise(value, static_cast<int>(sizeof(Field)));
  }
  KRFieldWriter& putBytewise(std::uint32_t value, int size);
  // The field failed; a short write marks the stream bad.
  KRFieldWriter& fail(bool shortWrite);

  std::ostream& os_;
  // The stream's state and buffer, found once rather than for every field.
  const std::ios& state_;
  bool ok_ = true;
};

// Maps in, ahead of a long save, the pages of a large put area that the
// save is about to fill: fresh memory faults in a page at a time when first
// written, which costs several times what mapping the pages in with one
// call does (krPrefault). Only whole pages inside the put area, only as far
// as the caller says it will still write at least, and only a stretch of
// 64 KiB or more at a time; for a smaller area or a stream without one it
// does nothing. Only advice: the bytes written stay the same.
class BCODE_API KRPutAreaMapper {
 public:
  explicit KRPutAreaMapper(std::ostream& os) : state_(os) {}

  // At least `bytes` more will be written to the stream.
  void willWrite(std::size_t bytes) noexcept;

 private:
  const std::ios& state_;
  const char* mappedTo_ = nullptr;  // where the pages mapped in so far end
};

class BCODE_API KRFieldReader {
 public:
  // Why a read stopped: a short read, or a name whose buffer could not be
  // made (records map these to different flag values).
  enum Status : int { OK = 0, SHORT_READ = 1, NO_MEMORY = 2 };

  explicit KRFieldReader(std::istream& is) : is_(is), state_(is) {}

  KRFieldReader& u8(std::uint8_t& value) { return get(value); }
  KRFieldReader& u16(std::uint16_t& value) { return get(value); }
  KRFieldReader& u32(std::uint32_t& value) { return get(value); }
  KRFieldReader& i16(std::int16_t& value);
  KRFieldReader& i32(std::int32_t& value);
  // A name: the length byte, then the characters into `text`.
  KRFieldReader& name(KRString& text);
  KRFieldReader& bytes(void* data, std::size_t size);

  // Consecutive unsigned fields of a record, each as wide as its type, as
  // the writer's fields(): in one go when they all lie in the get area,
  // else one after the other; a field after a failed one keeps its value.
  template <class... Fields>
  KRFieldReader& fields(Fields&... values) {
    static_assert(((std::is_unsigned_v<Fields> && sizeof(Fields) <= 4) && ...),
                  "fields are unsigned integers of 1, 2 or 4 bytes");
    constexpr int total = static_cast<int>((sizeof(Fields) + ...));
    if (const char* next = heldFor(total)) {
      consume(next, KRFieldSpanReader(next).fields(values...).next());
    } else {
      (get(values), ...);
    }
    return *this;
  }

  // A record of at most `MaxBytes` bytes, read by `read(in)`: with `in` a
  // KRFieldSpanReader over the get area when that holds `MaxBytes` bytes, its
  // fields then take no check each and the bytes it read leave the area
  // after; else with this reader, field by field. Either way the same
  // fields are read, and `read` answers what the record is made into.
  // While it runs, `read` reaches the stream through `in` only.
  template <int MaxBytes, class Read>
  auto record(Read&& read) {
    const char* next = heldFor(MaxBytes);
    if (next == nullptr) return read(*this);
    KRFieldSpanReader span(next);
    auto made = read(span);
    consume(next, span.next());
    return made;
  }

  bool ok() const { return status_ == OK; }
  Status status() const { return status_; }

  // How many bytes the stream can still hand out, as far as its buffer
  // knows (a stream over memory, a regular file); 0 when it cannot tell.
  // A count read from a record reserves at most this many elements.
  std::size_t remaining() const;

 private:
  // The get area's next byte when it holds `bytes` more, else null (also
  // after a failed field and for a stream without a buffer).
  const char* heldFor(std::ptrdiff_t bytes) const {
    std::streambuf* buf = ok() && state_.good() ? state_.rdbuf() : nullptr;
    const char* next = buf != nullptr ? (buf->*KRBufferAreas::kGetNext)() : nullptr;
    return next != nullptr && (buf->*KRBufferAreas::kGetEnd)() - next >= bytes ? next : nullptr;
  }
  // What was read from the get area from `next` (heldFor's) to `end`
  // leaves it.
  void consume(const char* next, const char* end) {
    (state_.rdbuf()->*KRBufferAreas::kGetBump)(static_cast<int>(end - next));
  }

  // A field straight from the buffer's get area when it lies wholly in it
  // (a stream over memory, or a file's buffer), else byte by byte; after a
  // failed field `value` keeps what it held.
  template <class Field>
  KRFieldReader& get(Field& value) {
    if (const char* next = heldFor(sizeof(Field))) {
      value = krLoadLittleEndian<Field>(next);
      consume(next, next + sizeof(Field));
      return *this;
    }
    std::uint32_t v = 0;
    if (getBytewise(v, static_cast<int>(sizeof(Field)))) value = static_cast<Field>(v);
    return *this;
  }
  bool getBytewise(std::uint32_t& value, int size);
  // The field failed; `mark` sets eof and fail on the stream. Always false.
  bool fail(bool mark);

  std::istream& is_;
  const std::ios& state_;  // as the writer's
  Status status_ = OK;
};

#endif  // BCODE_FOUNDATION_KRFIELDIO_H

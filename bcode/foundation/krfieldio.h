// Checked field I/O for every record of the library. Integers are little-endian
// of 1, 2 or 4 bytes; a name is a length byte followed by its characters.
//
// A writer or reader is sticky: after the first field that fails, later fields
// are neither written nor read and ok() stays false, so a record's code can
// write all its fields and test once, exactly as if it had stopped at the
// failing field. A field write fails when the stream does not take all of its
// bytes; a field read fails when fewer bytes come than the field has.
#ifndef BCODE_FOUNDATION_KRFIELDIO_H
#define BCODE_FOUNDATION_KRFIELDIO_H

#include <cstdint>
#include <iosfwd>

#include "bcode/foundation/krexport.h"

class KRString;

class BCODE_API KRFieldWriter {
 public:
  explicit KRFieldWriter(std::ostream& os) : os_(os) {}

  KRFieldWriter& u8(std::uint8_t value);
  KRFieldWriter& u16(std::uint16_t value);
  KRFieldWriter& u32(std::uint32_t value);
  KRFieldWriter& i16(std::int16_t value) { return u16(static_cast<std::uint16_t>(value)); }
  KRFieldWriter& i32(std::int32_t value) { return u32(static_cast<std::uint32_t>(value)); }
  // Presence and flag bytes: 1 for yes, 0 for no.
  KRFieldWriter& flag(bool present) { return u8(present ? 1 : 0); }
  // A name: its length's low 8 bits, then that many characters.
  KRFieldWriter& name(const KRString& text);
  // Raw bytes as one field.
  KRFieldWriter& bytes(const void* data, std::size_t size);

  bool ok() const { return ok_; }

 private:
  std::ostream& os_;
  bool ok_ = true;
};

class BCODE_API KRFieldReader {
 public:
  // Why a read stopped: a short read, or a name whose buffer or string could
  // not be made (records map these to different flag values).
  enum Status : int { OK = 0, SHORT_READ = 1, NO_MEMORY = 2, BAD_STRING = 3 };

  explicit KRFieldReader(std::istream& is) : is_(is) {}

  KRFieldReader& u8(std::uint8_t& value);
  KRFieldReader& u16(std::uint16_t& value);
  KRFieldReader& u32(std::uint32_t& value);
  KRFieldReader& i16(std::int16_t& value);
  KRFieldReader& i32(std::int32_t& value);
  // A name: the length byte, then the characters into `text`.
  KRFieldReader& name(KRString& text);
  KRFieldReader& bytes(void* data, std::size_t size);

  bool ok() const { return status_ == OK; }
  Status status() const { return status_; }

 private:
  std::istream& is_;
  Status status_ = OK;
};

#endif  // BCODE_FOUNDATION_KRFIELDIO_H

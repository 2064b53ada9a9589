// Typed constants of a block's constant table: one class per data type, each
// holding its value as the compiler computes with it and converting on request
// to the controller's encodings (coarse timer word, day number, BCD date and
// time). Records, listing lines and debug dumps live here too.
#ifndef BCODE_CONST_BCCONSTANT_H
#define BCODE_CONST_BCCONSTANT_H

#include <cstdint>
#include <iosfwd>
#include <new>

#include "bcode/foundation/krarena.h"
#include "bcode/foundation/krerror.h"
#include "bcode/foundation/krexport.h"
#include "bcode/foundation/kryref.h"
#include "bcode/foundation/krystrng.h"

// The controller's date and time: 8 bytes, two BCD digits per byte.
// 0 year in the century (90..99: 1990s, 00..89: 2000..2089), 1 month, 2 day,
// 3 hours, 4 minutes, 5 seconds, 6 milliseconds hundreds|tens,
// 7 milliseconds units (high nibble) | weekday (low nibble).
struct BC_VANTOR_DT {
  unsigned char data[8];
};
static_assert(sizeof(BC_VANTOR_DT) == 8, "BC_VANTOR_DT is the controller's 8-byte record");

class BCODE_API BCConstant : public KRArenaObject {
 public:
  // Also the class tags of the constant records.
  enum CLASS_TYPE : int {
    DWORD_CONST = 0,
    DINT_CONST = 1,
    REAL_CONST = 2,
    TIME_CONST = 3,
    K4TIME_CONST = 4,
    TOD_CONST = 5,
    DATE_CONST = 6,
    DT_CONST = 7,
    STRING_CONST = 8,
  };
  enum ERRORS : int { BCCONSTANT_OK = 0, BCCONSTANT_FAILED = 1, BCCONSTANT_NO_MEMORY = 2 };
  KR_ERROR_FLAG_MEMBERS()

  BCConstant() = default;
  BCConstant(const BCConstant&) = default;
  virtual ~BCConstant() = default;

  virtual CLASS_TYPE isA() const = 0;
  virtual unsigned char getDataType() const = 0;
  // Value equality; 0 for a constant of another class.
  virtual int isEqual(const BCConstant& other) const = 0;
  // A heap copy, null when it cannot be made.
  virtual BCConstant* newCopy() const = 0;
  // Listing form: type name at `column`, value at column + 10, then the line
  // (160 bytes starting at `line`) is emitted and cleared.
  virtual void printOn(std::ostream& os, char* column, char* line) const = 0;
  // Debug form, one line.
  virtual void printOn(std::ostream& os) const = 0;

  // 1 when both are of the same class and equal in value, else 0.
  int operator==(const BCConstant& other) const;

  // Writes the record: class tag, then the value part. Flag 1 on a short write.
  void save(std::ostream& os) const;
  // Reads one record; null with the flag set (1: bad or short record,
  // 2: no memory). `extra` is handed to loadInstance unchanged.
  static BCConstant* iload(std::istream& is, int* extra);
  // Emits a listing line: zero bytes before `end` become blanks and control
  // characters before `end` are shifted to 129..159; the buffer is cleared.
  void store(std::ostream& os, char* end, char* line) const;

 protected:
  virtual void loadInstance(std::istream& is, int* extra) = 0;
  virtual void saveInstance(std::ostream& os) const = 0;

 private:
  // Constants are not assigned through the base; the two classes that need
  // assignment define their own.
  BCConstant& operator=(const BCConstant&) { return *this; }
};

// What every constant class shares: its class tag, its data type code and
// the copy, made as `Derived`, the class deriving from it.
template <class Derived, BCConstant::CLASS_TYPE Tag, unsigned char DataType>
class BCODE_API BCConstantOf : public BCConstant {
 public:
  CLASS_TYPE isA() const override { return Tag; }
  unsigned char getDataType() const override { return DataType; }
  BCConstant* newCopy() const override {
    return new (std::nothrow) Derived(static_cast<const Derived&>(*this));
  }

 protected:
  BCConstantOf() = default;
  BCConstantOf(const BCConstantOf&) = default;
};

// A constant of one 32-bit value: equal by value (two NaNs with the same bits
// are equal too, as a NaN must reload equal to itself), a 4-byte record of
// the value's bits, the listing form of its class tag and a dump of the value.
template <class Derived, class Value, BCConstant::CLASS_TYPE Tag, unsigned char DataType>
class BCODE_API BCWordConstOf : public BCConstantOf<Derived, Tag, DataType> {
 public:
  Value getValue() const { return value_; }

  int isEqual(const BCConstant& other) const override;
  void printOn(std::ostream& os, char* column, char* line) const override;
  void printOn(std::ostream& os) const override;

 protected:
  explicit BCWordConstOf(Value value) : value_(value) {}
  BCWordConstOf(const BCWordConstOf&) = default;

  void setValue(Value value) { value_ = value; }

  void loadInstance(std::istream& is, int* extra) override;
  void saveInstance(std::ostream& os) const override;

 private:
  Value value_;
};

class BCODE_API BCDWordConst
    : public BCWordConstOf<BCDWordConst, std::uint32_t, BCConstant::DWORD_CONST, 6> {
 public:
  explicit BCDWordConst(std::uint32_t value) : BCWordConstOf(value) {}
};

class BCODE_API BCDIntConst
    : public BCWordConstOf<BCDIntConst, std::int32_t, BCConstant::DINT_CONST, 7> {
 public:
  explicit BCDIntConst(std::int32_t value) : BCWordConstOf(value) {}
};

// Equal as floats (+0.0 == -0.0).
class BCODE_API BCRealConst : public BCWordConstOf<BCRealConst, float, BCConstant::REAL_CONST, 8> {
 public:
  explicit BCRealConst(float value) : BCWordConstOf(value) {}
};

// A duration in milliseconds.
class BCODE_API BCTimeConst
    : public BCWordConstOf<BCTimeConst, std::int32_t, BCConstant::TIME_CONST, 11> {
 public:
  explicit BCTimeConst(std::int32_t milliseconds) : BCWordConstOf(milliseconds) {}
};

// A coarse timer duration, kept in milliseconds; the 16-bit timer word
// (three BCD digits and a time base) exists only at the conversions.
class BCODE_API BCK4TimeConst
    : public BCWordConstOf<BCK4TimeConst, std::int32_t, BCConstant::K4TIME_CONST, 12> {
 public:
  explicit BCK4TimeConst(std::int32_t milliseconds) : BCWordConstOf(milliseconds) {}

  // Replaces the value by the milliseconds the timer word denotes.
  void setVantorK4Time(std::uint16_t word);
  // The timer word: the three leading digits of the value in 10 ms units,
  // cut (never rounded), with the smallest time base that fits.
  std::uint16_t getVantorK4Time() const;
};

// A time of day in milliseconds since midnight.
class BCODE_API BCTODConst
    : public BCWordConstOf<BCTODConst, std::int32_t, BCConstant::TOD_CONST, 10> {
 public:
  explicit BCTODConst(std::int32_t milliseconds) : BCWordConstOf(milliseconds) {}
  // Parts are not range-checked.
  BCTODConst(unsigned char hours, unsigned char minutes, unsigned char seconds,
             std::uint16_t milliseconds);
  BCTODConst(const BCTODConst&) = default;
  BCTODConst& operator=(const BCTODConst& other);

  void calcHMS(unsigned char& hours, unsigned char& minutes, unsigned char& seconds,
               std::uint16_t& milliseconds) const;
};

// A calendar date, not validated; the year is the full year.
class BCODE_API BCDateConst : public BCConstantOf<BCDateConst, BCConstant::DATE_CONST, 9> {
 public:
  BCDateConst(unsigned char day, unsigned char month, std::uint16_t year)
      : day_(day), month_(month), year_(year) {}
  // The date of a controller day number.
  explicit BCDateConst(std::uint16_t dayNumber);
  BCDateConst(const BCDateConst&) = default;
  BCDateConst& operator=(const BCDateConst& other);

  unsigned char getDay() const { return day_; }
  unsigned char getMonth() const { return month_; }
  std::uint16_t getYear() const { return year_; }
  // The controller day number; 0 and flag 1 for a year before 1990 or a day
  // number beyond 16 bits.
  std::uint16_t getVantorDate() const;

  int isEqual(const BCConstant& other) const override;
  void printOn(std::ostream& os, char* column, char* line) const override;
  void printOn(std::ostream& os) const override;

 protected:
  void loadInstance(std::istream& is, int* extra) override;
  void saveInstance(std::ostream& os) const override;

 private:
  unsigned char day_;
  unsigned char month_;
  std::uint16_t year_;
};

// A date and a time of day.
class BCODE_API BCDTConst : public BCConstantOf<BCDTConst, BCConstant::DT_CONST, 14> {
 public:
  BCDTConst(const BCDateConst& date, const BCTODConst& tod) : date_(date), tod_(tod) {}
  // From the controller's record; the weekday nibble is ignored.
  explicit BCDTConst(const BC_VANTOR_DT& dt);
  BCDTConst(const BCDTConst&) = default;

  const BCDateConst& getDate() const { return date_; }
  const BCTODConst& getTOD() const { return tod_; }
  // The controller's record, with the weekday of the date in the last nibble.
  BC_VANTOR_DT getVantorDT() const;

  int isEqual(const BCConstant& other) const override;
  // Two lines: the date at the column, then the time of day.
  void printOn(std::ostream& os, char* column, char* line) const override;
  void printOn(std::ostream& os) const override;

 protected:
  void loadInstance(std::istream& is, int* extra) override;
  void saveInstance(std::ostream& os) const override;

 private:
  BCDateConst date_;
  BCTODConst tod_;
};

// A string; only strings of up to 255 characters can be stored in a record.
class BCODE_API BCStringConst : public BCConstantOf<BCStringConst, BCConstant::STRING_CONST, 19> {
 public:
  // Copies the characters; flag 1 when the string could not be made.
  explicit BCStringConst(const KRString& value);
  BCStringConst(const BCStringConst& other);

  const KRString& getValue() const { return value_; }
  // The length's low 8 bits, as the record carries it.
  unsigned char getActLength() const { return static_cast<unsigned char>(value_.length()); }

  // Equal characters up to the terminating zero; case matters.
  int isEqual(const BCConstant& other) const override;
  // Null (flag cleared) when the copy reported a failure.
  BCConstant* newCopy() const override;
  void printOn(std::ostream& os, char* column, char* line) const override;
  void printOn(std::ostream& os) const override;

 protected:
  void loadInstance(std::istream& is, int* extra) override;
  void saveInstance(std::ostream& os) const override;

 private:
  void copyFrom(const KRString& value);

  KRString value_;
};

extern template class BCODE_API KRRefTable<BCConstant*>;

#endif  // BCODE_CONST_BCCONSTANT_H

#include "bcode/const/bcconstant.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iomanip>
#include <istream>
#include <memory>
#include <new>
#include <ostream>
#include <type_traits>

#include "bcode/foundation/krarenastore.h"
#include "bcode/foundation/krcalendar.h"
#include "bcode/foundation/krfieldio.h"
#include "bcode/foundation/krlistline.h"
#include "bcode/foundation/krneutralstream.h"

KR_DEFINE_ERROR_FLAG(BCConstant)

template class KRRefTable<BCConstant*>;

namespace {

constexpr std::int32_t kMsPerSecond = 1000;
constexpr std::int32_t kMsPerMinute = 60 * kMsPerSecond;
constexpr std::int32_t kMsPerHour = 60 * kMsPerMinute;
constexpr std::int32_t kMsPerDay = 24 * kMsPerHour;

// The columns of a constant's listing line, from the constant's column.
constexpr KRListColumn kTypeColumn{"type name", 0, 10};
constexpr KRListColumn kValueColumn{"value", 10, 0};
// The second line of a date and time: a "-", then the time of day's
// columns from the second column, as a time of day lists them.
constexpr KRListColumn kMarkColumn{"-", 0, 7};
constexpr KRListColumn kSecondColumn{"time of day", 7, 0};

// What a class tag fixes in listings and dumps.
struct ClassRow {
  BCConstant::CLASS_TYPE tag;
  const char* listName;
  const char* dumpName;
};

constexpr ClassRow kRows[] = {
#define BC_X(tag, Class, blank, listName, dumpName) {BCConstant::tag, listName, dumpName},
#include "bcode/const/bcconstant.def"
#undef BC_X
};
constexpr std::size_t kClassCount = sizeof kRows / sizeof kRows[0];

// Row i holds tag i, and every tag has its row.
constexpr bool rowsFollowTheTags() {
  for (std::size_t i = 0; i < kClassCount; ++i) {
    if (kRows[i].tag != static_cast<int>(i)) return false;
  }
  return kRows[kClassCount - 1].tag == BCConstant::STRING_CONST;
}
static_assert(rowsFollowTheTags(), "bcconstant.def: one row per class tag, in tag order");

const ClassRow& rowOf(const BCConstant& constant) {
  return kRows[constant.isA()];
}

// A constant's listing line, its type name written.
KRListLine named(const BCConstant& constant, char* column, char* line) {
  const KRListLine out(line, column);
  out.put(kTypeColumn, rowOf(constant).listName);
  return out;
}

// The other constant as the class of `self`, null when the classes differ.
template <class C>
const C* sameClass(const BCConstant& other) {
  return dynamic_cast<const C*>(&other);
}

// A duration split into parts that truncate toward zero and keep its sign.
struct TimeParts {
  long days = 0;
  long hours = 0;
  long minutes = 0;
  long seconds = 0;
  long milliseconds = 0;
};

TimeParts splitTime(std::int32_t value, bool withDays) {
  TimeParts parts;
  std::int32_t rest = value;
  if (withDays) {
    parts.days = rest / kMsPerDay;
    rest -= static_cast<std::int32_t>(parts.days) * kMsPerDay;
  }
  parts.hours = rest / kMsPerHour;
  rest -= static_cast<std::int32_t>(parts.hours) * kMsPerHour;
  parts.minutes = rest / kMsPerMinute;
  rest -= static_cast<std::int32_t>(parts.minutes) * kMsPerMinute;
  parts.seconds = rest / kMsPerSecond;
  parts.milliseconds = rest - static_cast<std::int32_t>(parts.seconds) * kMsPerSecond;
  return parts;
}

// Writes the parts one behind the other; returns where the last one starts,
// which is the end mark of the line.
char* putParts(char* line, char* at, const char* const* formats, const long* values,
               std::size_t count) {
  char* last = at;
  for (std::size_t i = 0; i < count; ++i) {
    last = at;
    at = krLinePrintf(line, at, formats[i], values[i]);
  }
  return last;
}

char* putTime(char* line, char* at, std::int32_t value) {
  static const char* const kFormats[] = {"T#%ldd", "%ldh", "%ldm", "%lds", "%ldms"};
  const TimeParts p = splitTime(value, true);
  const long values[] = {p.days, p.hours, p.minutes, p.seconds, p.milliseconds};
  return putParts(line, at, kFormats, values, 5);
}

char* putK4Time(char* line, char* at, std::int32_t value) {
  static const char* const kFormats[] = {"TK4#%ldh", "%ldm", "%lds", "%ldms"};
  const TimeParts p = splitTime(value, false);
  const long values[] = {p.hours, p.minutes, p.seconds, p.milliseconds};
  return putParts(line, at, kFormats, values, 4);
}

char* putTimeOfDay(char* line, char* at, std::int32_t value) {
  static const char* const kFormats[] = {"TOD#%ld:", "%ld:", "%ld.", "%ld"};
  const TimeParts p = splitTime(value, false);
  const long values[] = {p.hours, p.minutes, p.seconds, p.milliseconds};
  return putParts(line, at, kFormats, values, 4);
}

// The value part of a 32-bit constant's listing line; returns the line's end
// mark.
char* putWord(BCConstant::CLASS_TYPE tag, char* line, char* at, std::uint32_t bits) {
  const auto value = static_cast<std::int32_t>(bits);
  switch (tag) {
    case BCConstant::DWORD_CONST:
      krLinePrintf(line, at, "0x%08lx", static_cast<unsigned long>(bits));
      return at;
    case BCConstant::DINT_CONST:
      krLinePrintf(line, at, "%ld", static_cast<long>(value));
      return at;
    case BCConstant::TIME_CONST:
      return putTime(line, at, value);
    case BCConstant::K4TIME_CONST:
      return putK4Time(line, at, value);
    default:
      return putTimeOfDay(line, at, value);
  }
}

void putDate(char* line, char* at, const BCDateConst& date) {
  krLinePrintf(line, at, "D#%i-%i-%i", static_cast<int>(date.getYear()),
               static_cast<int>(date.getMonth()), static_cast<int>(date.getDay()));
}

// Digits of a BCD byte, taken with their binary values when above 9.
int fromBcd(unsigned char byte) {
  return 10 * (byte >> 4) + (byte & 0x0F);
}

// Two decimal digits into one byte; larger values are cut to 8 bits.
unsigned char toBcd(unsigned value) {
  return static_cast<unsigned char>(((value / 10) << 4) | (value % 10));
}

// A string constant's length byte and characters; the text ends at its
// first zero. False after a short read.
bool readText(std::istream& is, KRString& text) {
  char chars[256];
  std::uint8_t length = 0;
  if (!KRFieldReader(is).u8(length).bytes(chars, length).ok()) return false;
  chars[length] = '\0';
  text.assign(chars, static_cast<std::uint16_t>(std::strlen(chars)));
  return true;
}

std::uint32_t packedBcd(std::uint32_t value) {
  std::uint32_t packed = 0;
  for (unsigned shift = 0; value != 0; shift += 4, value /= 10) packed |= (value % 10) << shift;
  return packed;
}

// A blank constant of the class a record tag names, null for an unknown tag
// or when it cannot be allocated.
BCConstant* newBlank(std::uint8_t tag) {
  switch (tag) {
#define BC_X(classTag, Class, blank, ...) \
  case BCConstant::classTag:              \
    return new (std::nothrow) Class blank;
#include "bcode/const/bcconstant.def"
#undef BC_X
    default:
      return nullptr;
  }
}

}  // namespace

// ---------------------------------------------------------------- BCConstant

int BCConstant::operator==(const BCConstant& other) const {
  return isA() == other.isA() && isEqual(other) != 0 ? 1 : 0;
}

void BCConstant::save(std::ostream& os) const {
  if (!KRFieldWriter(os).u8(static_cast<std::uint8_t>(isA())).ok()) {
    setError(BCCONSTANT_FAILED);
    return;
  }
  saveInstance(os);
}

BCConstant* BCConstant::iload(std::istream& is, int* extra) {
  std::uint8_t tag = 0;
  if (!KRFieldReader(is).u8(tag).ok() || tag >= kClassCount) {
    setError(BCCONSTANT_FAILED);
    return nullptr;
  }
  if (tag == STRING_CONST) {
    // A string is made from its text, read first. Only a short read refuses
    // it here; any flag is its caller's to judge.
    KRString text;  // copied into the constant
    bool read = false;
    {
      const KRHeapScope transient;
      read = readText(is, text);
    }
    if (!read) {
      setError(BCCONSTANT_FAILED);
      return nullptr;
    }
    BCConstant* string = new (std::nothrow) BCStringConst(text);
    if (string == nullptr) setError(BCCONSTANT_NO_MEMORY);
    return string;
  }
  std::unique_ptr<BCConstant> constant(newBlank(tag));
  if (!constant) {
    setError(BCCONSTANT_NO_MEMORY);
    return nullptr;
  }
  constant->loadInstance(is, extra);
  // A flag left set by an earlier failure refuses the constant too.
  if (getError() != BCCONSTANT_OK) return nullptr;
  return constant.release();
}

void BCConstant::store(std::ostream& os, char* end, char* line) const {
  krLineStore(os, end, line, KR_STORE_SHIFT_CONTROLS);
}

// ------------------------------------------- constants of one 32-bit value

template <class Derived, class Value, BCConstant::CLASS_TYPE Tag, unsigned char DataType>
int BCWordConstOf<Derived, Value, Tag, DataType>::isEqual(const BCConstant& other) const {
  const auto* that = sameClass<BCWordConstOf>(other);
  if (that == nullptr) return 0;
  if (value_ == that->value_) return 1;
  // Only a NaN differs from a value of the same bits.
  return std::memcmp(&value_, &that->value_, sizeof value_) == 0 ? 1 : 0;
}

template <class Derived, class Value, BCConstant::CLASS_TYPE Tag, unsigned char DataType>
void BCWordConstOf<Derived, Value, Tag, DataType>::printOn(std::ostream& os, char* column,
                                                           char* line) const {
  char* const at = named(*this, column, line).at(kValueColumn);
  char* end = at;
  if constexpr (std::is_floating_point_v<Value>) {
    krLinePrintf(line, at, "%e", static_cast<double>(value_));
  } else {
    end = putWord(Tag, line, at, static_cast<std::uint32_t>(value_));
  }
  this->store(os, end, line);
}

// The debug form shows a real as a floating point number and every other
// value as signed.
template <class Derived, class Value, BCConstant::CLASS_TYPE Tag, unsigned char DataType>
void BCWordConstOf<Derived, Value, Tag, DataType>::printOn(std::ostream& os) const {
  const KRNeutralStream neutral(os);
  os << rowOf(*this).dumpName << std::setw(7);
  if constexpr (std::is_floating_point_v<Value>) {
    os << static_cast<double>(value_);
  } else {
    os << static_cast<std::int32_t>(value_);
  }
  os << '\n';
}

template <class Derived, class Value, BCConstant::CLASS_TYPE Tag, unsigned char DataType>
void BCWordConstOf<Derived, Value, Tag, DataType>::loadInstance(std::istream& is, int*) {
  std::uint32_t bits = 0;
  if (!KRFieldReader(is).u32(bits).ok()) {
    this->setError(BCConstant::BCCONSTANT_FAILED);
    return;
  }
  std::memcpy(&value_, &bits, sizeof value_);
}

template <class Derived, class Value, BCConstant::CLASS_TYPE Tag, unsigned char DataType>
void BCWordConstOf<Derived, Value, Tag, DataType>::saveInstance(std::ostream& os) const {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &value_, sizeof bits);
  if (!KRFieldWriter(os).u32(bits).ok()) this->setError(BCConstant::BCCONSTANT_FAILED);
}

template class BCWordConstOf<BCDWordConst, std::uint32_t, BCConstant::DWORD_CONST, 6>;
template class BCWordConstOf<BCDIntConst, std::int32_t, BCConstant::DINT_CONST, 7>;
template class BCWordConstOf<BCRealConst, float, BCConstant::REAL_CONST, 8>;
template class BCWordConstOf<BCTimeConst, std::int32_t, BCConstant::TIME_CONST, 11>;
template class BCWordConstOf<BCK4TimeConst, std::int32_t, BCConstant::K4TIME_CONST, 12>;
template class BCWordConstOf<BCTODConst, std::int32_t, BCConstant::TOD_CONST, 10>;

// The value follows the vtable pointer: 16 bytes of the arena.
static_assert(sizeof(BCDWordConst) == 16 && sizeof(BCRealConst) == 16, "word constants grew");

// ------------------------------------------------------------- BCK4TimeConst

void BCK4TimeConst::setVantorK4Time(std::uint16_t word) {
  static const std::int32_t kBase[] = {10, 100, 1000, 10000};
  const std::int32_t count = 100 * ((word >> 8) & 0x0F) + 10 * ((word >> 4) & 0x0F) + (word & 0x0F);
  setValue(count * kBase[(word >> 12) & 0x03]);
}

std::uint16_t BCK4TimeConst::getVantorK4Time() const {
  constexpr std::int32_t kLargest = 9990000;
  if (getValue() < 10) return 0;
  std::int32_t rest = std::min(getValue(), kLargest) / 10;
  unsigned units = rest % 10;
  unsigned tens = rest / 10 % 10;
  unsigned hundreds = rest / 100 % 10;
  unsigned base = 0;
  // Each further digit pushes the kept three down and coarsens the base.
  for (rest /= 1000; rest != 0; rest /= 10, ++base) {
    units = tens;
    tens = hundreds;
    hundreds = rest % 10;
  }
  return static_cast<std::uint16_t>(base << 12 | hundreds << 8 | tens << 4 | units);
}

// ---------------------------------------------------------------- BCTODConst

BCTODConst::BCTODConst(unsigned char hours, unsigned char minutes, unsigned char seconds,
                       std::uint16_t milliseconds)
    : BCWordConstOf(static_cast<std::int32_t>(((hours * 60U + minutes) * 60U + seconds) * 1000U +
                                              milliseconds)) {}

BCTODConst& BCTODConst::operator=(const BCTODConst& other) {
  setValue(other.getValue());
  return *this;
}

void BCTODConst::calcHMS(unsigned char& hours, unsigned char& minutes, unsigned char& seconds,
                         std::uint16_t& milliseconds) const {
  const TimeParts p = splitTime(getValue(), false);
  hours = static_cast<unsigned char>(p.hours);
  minutes = static_cast<unsigned char>(p.minutes);
  seconds = static_cast<unsigned char>(p.seconds);
  milliseconds = static_cast<std::uint16_t>(p.milliseconds);
}

// --------------------------------------------------------------- BCDateConst

BCDateConst::BCDateConst(std::uint16_t dayNumber) {
  std::uint16_t day = 0;
  std::uint16_t month = 0;
  std::uint16_t year = 0;
  krVantorDateToDate(dayNumber, day, month, year);
  day_ = static_cast<unsigned char>(day);
  month_ = static_cast<unsigned char>(month);
  year_ = year;
}

BCDateConst& BCDateConst::operator=(const BCDateConst& other) {
  day_ = other.day_;
  month_ = other.month_;
  year_ = other.year_;
  return *this;
}

std::uint16_t BCDateConst::getVantorDate() const {
  constexpr std::uint16_t kFirstYear = 1990;
  if (year_ < kFirstYear) {
    setError(BCCONSTANT_FAILED);
    return 0;
  }
  const std::uint32_t dayNumber = krDateToVantorDate(day_, month_, year_);
  if (dayNumber > 0xFFFF) {
    setError(BCCONSTANT_FAILED);
    return 0;
  }
  return static_cast<std::uint16_t>(dayNumber);
}

int BCDateConst::isEqual(const BCConstant& other) const {
  const BCDateConst* that = sameClass<BCDateConst>(other);
  return that != nullptr && day_ == that->day_ && month_ == that->month_ && year_ == that->year_
             ? 1
             : 0;
}

void BCDateConst::printOn(std::ostream& os, char* column, char* line) const {
  const KRListLine out = named(*this, column, line);
  putDate(line, out.at(kValueColumn), *this);
  store(os, out.at(kValueColumn), line);
}

void BCDateConst::printOn(std::ostream& os) const {
  const KRNeutralStream neutral(os);
  os << rowOf(*this).dumpName << std::setw(2) << static_cast<int>(day_) << '.' << std::setw(2)
     << static_cast<int>(month_) << '.' << std::setw(2) << year_ << '\n';
}

void BCDateConst::loadInstance(std::istream& is, int*) {
  if (!KRFieldReader(is).u8(day_).u8(month_).u16(year_).ok()) setError(BCCONSTANT_FAILED);
}

void BCDateConst::saveInstance(std::ostream& os) const {
  if (!KRFieldWriter(os).u8(day_).u8(month_).u16(year_).ok()) setError(BCCONSTANT_FAILED);
}

// ----------------------------------------------------------------- BCDTConst

BCDTConst::BCDTConst(const BC_VANTOR_DT& dt) : date_(0, 0, 0), tod_(0) {
  const unsigned char* b = dt.data;
  const int yy = fromBcd(b[0]);
  const auto year = static_cast<std::uint16_t>(yy < 90 ? 2000 + yy : 1900 + yy);
  date_ = BCDateConst(static_cast<unsigned char>(fromBcd(b[2])),
                      static_cast<unsigned char>(fromBcd(b[1])), year);
  // The low nibble of the last byte is the weekday, which follows from the date.
  const auto ms = static_cast<std::uint16_t>(100 * (b[6] >> 4) + 10 * (b[6] & 0x0F) + (b[7] >> 4));
  tod_ = BCTODConst(static_cast<unsigned char>(fromBcd(b[3])),
                    static_cast<unsigned char>(fromBcd(b[4])),
                    static_cast<unsigned char>(fromBcd(b[5])), ms);
}

BC_VANTOR_DT BCDTConst::getVantorDT() const {
  const unsigned year = date_.getYear();
  const unsigned yy = (year >= 2000 ? year - 2000 : year - 1900) & 0xFF;
  unsigned char h = 0;
  unsigned char m = 0;
  unsigned char s = 0;
  std::uint16_t ms = 0;
  tod_.calcHMS(h, m, s, ms);
  const std::uint32_t msDigits = packedBcd(ms);
  const auto weekday =
      static_cast<unsigned>(krWeekday(date_.getDay(), date_.getMonth(), date_.getYear()));
  BC_VANTOR_DT dt{};
  dt.data[0] = toBcd(yy);
  dt.data[1] = toBcd(date_.getMonth());
  dt.data[2] = toBcd(date_.getDay());
  dt.data[3] = toBcd(h);
  dt.data[4] = toBcd(m);
  dt.data[5] = toBcd(s);
  dt.data[6] = static_cast<unsigned char>((msDigits >> 4) & 0xFF);
  dt.data[7] = static_cast<unsigned char>(((msDigits & 0x0F) << 4) | (weekday & 0x0F));
  return dt;
}

int BCDTConst::isEqual(const BCConstant& other) const {
  const BCDTConst* that = sameClass<BCDTConst>(other);
  return that != nullptr && date_ == that->date_ && tod_ == that->tod_ ? 1 : 0;
}

void BCDTConst::printOn(std::ostream& os, char* column, char* line) const {
  const KRListLine out = named(*this, column, line);
  putDate(line, out.at(kValueColumn), date_);
  store(os, out.at(kValueColumn), line);

  const KRListLine second(line, line);
  second.put(kMarkColumn, "-");
  const KRListLine tod(line, second.at(kSecondColumn));
  tod.put(kTypeColumn, "TOD");
  store(os, putTimeOfDay(line, tod.at(kValueColumn), tod_.getValue()), line);
}

void BCDTConst::printOn(std::ostream& os) const {
  const KRNeutralStream neutral(os);
  os << rowOf(*this).dumpName << std::setw(7) << tod_.getValue() << "  ";
  date_.printOn(os);
}

void BCDTConst::loadInstance(std::istream& is, int*) {
  unsigned char day = 0;
  unsigned char month = 0;
  std::uint16_t year = 0;
  std::int32_t milliseconds = 0;
  if (!KRFieldReader(is).u8(day).u8(month).u16(year).i32(milliseconds).ok()) {
    setError(BCCONSTANT_FAILED);
    return;
  }
  date_ = BCDateConst(day, month, year);
  tod_ = BCTODConst(milliseconds);
}

void BCDTConst::saveInstance(std::ostream& os) const {
  KRFieldWriter out(os);
  out.u8(date_.getDay()).u8(date_.getMonth()).u16(date_.getYear()).i32(tod_.getValue());
  if (!out.ok()) setError(BCCONSTANT_FAILED);
}

// ------------------------------------------------------------- BCStringConst

BCStringConst::BCStringConst(const KRString& value) {
  copyFrom(value);
}

BCStringConst::BCStringConst(const BCStringConst& other) : BCConstantOf(other) {
  copyFrom(other.value_);
}

// The value starts empty; a string failure on the way is the constant's flag 1.
void BCStringConst::copyFrom(const KRString& value) {
  if (KRString::error != KRString::KRSTRING_OK) {
    KRString::error = KRString::KRSTRING_OK;
    setError(BCCONSTANT_FAILED);
    return;
  }
  value_ = value;
  if (KRString::error != KRString::KRSTRING_OK) {
    KRString::error = KRString::KRSTRING_OK;
    setError(BCCONSTANT_FAILED);
  }
}

int BCStringConst::isEqual(const BCConstant& other) const {
  const BCStringConst* that = sameClass<BCStringConst>(other);
  if (that == nullptr || KRString::error != KRString::KRSTRING_OK) return 0;
  return std::strcmp(value_.c_str(), that->value_.c_str()) == 0 ? 1 : 0;
}

BCConstant* BCStringConst::newCopy() const {
  std::unique_ptr<BCConstant> copy(new (std::nothrow) BCStringConst(*this));
  if (getError() != BCCONSTANT_OK) {
    resetError();
    return nullptr;
  }
  return copy.release();
}

void BCStringConst::printOn(std::ostream& os, char* column, char* line) const {
  const KRListLine out = named(*this, column, line);
  out.printf(kValueColumn, "'%s'", value_.c_str());
  // The line ends inside the quoted text, as long as the text is.
  const KRListColumn end{"end", kValueColumn.position + value_.length(), 0};
  store(os, out.at(end), line);
}

void BCStringConst::printOn(std::ostream& os) const {
  const KRNeutralStream neutral(os);
  os << rowOf(*this).dumpName;
  value_.printOn(os);
  os << "'\n";
}

void BCStringConst::loadInstance(std::istream& is, int*) {
  if (!readText(is, value_)) {
    setError(BCCONSTANT_FAILED);
    return;
  }
  if (KRString::error != KRString::KRSTRING_OK) {
    KRString::error = KRString::KRSTRING_OK;
    setError(BCCONSTANT_FAILED);
  }
}

void BCStringConst::saveInstance(std::ostream& os) const {
  if (!KRFieldWriter(os).name(value_).ok()) setError(BCCONSTANT_FAILED);
}

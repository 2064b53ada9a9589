#include "bcode/types/krtypedesc.h"

#include <climits>
#include <istream>
#include <memory>
#include <new>
#include <ostream>
#include <string>
#include <utility>

#include "bcode/foundation/krarenastore.h"
#include "bcode/foundation/krfieldio.h"
#include "bcode/foundation/krlistline.h"
#include "bcode/foundation/krneutralstream.h"
#include "bcode/types/krinstancedesc.h"
#include "bcode/types/krtypetab.h"
#include "bcode/types/krtypewalk.h"

KR_DEFINE_ERROR_FLAG(KRTypedesc)
KR_DEFINE_ERROR_FLAG(KRArrayRange)
KR_DEFINE_ERROR_FLAG(KRStructComp)
static_assert(kKRArenaFits<KRStructComp>, "components fit arena storage");

// The rows of the class table carry the documented tags, in tag order, and
// each class fits the alignment of the arena a load places it in.
#define KR_X(tag, enumerator, Class, word)                                          \
  static_assert(KRTypedesc::enumerator == (tag), #Class " has the tag of its row"); \
  static_assert(kKRArenaFits<Class>, #Class " fits arena storage");
#include "bcode/types/krtypedesc.def"
#undef KR_X

namespace {

using krtype::asListed;
using krtype::printIndent;
using krtype::rightAligned;
using krtype::roundUp;
using krtype::startListing;

constexpr int kClassTags[] = {
#define KR_X(tag, enumerator, Class, word) tag,
#include "bcode/types/krtypedesc.def"
#undef KR_X
};
constexpr const char* kDumpWords[] = {
#define KR_X(tag, enumerator, Class, word) word,
#include "bcode/types/krtypedesc.def"
#undef KR_X
};

constexpr bool tagsInOrder() {
  for (int i = 0; i < static_cast<int>(sizeof kClassTags / sizeof kClassTags[0]); ++i) {
    if (kClassTags[i] != i) return false;
  }
  return true;
}
static_assert(tagsInOrder() &&
                  sizeof kClassTags / sizeof kClassTags[0] == KRTypedesc::KR_INSTANCE_DESC + 1,
              "one row per class tag, in tag order");

// Width in bytes of each array bound that KRArrayRange::load reads.
thread_local unsigned int g_boundaryByteLen = 4;

constexpr const char* kArrayLineTemplate = "-    -                   -      -     -         -";

// Number of elements of one dimension, with 32-bit wrap like every length.
std::uint32_t elementCount(const KRArrayRange& range) {
  return static_cast<std::uint32_t>(range.getUpperBound()) -
         static_cast<std::uint32_t>(range.getLowerBound()) + 1U;
}

bool isNestedArray(const KRTypedesc& desc) {
  return desc.getDataType() == KR_DT_ARRAY && desc.isA() == KRTypedesc::KR_ARRAY_DESC;
}

const char* nameAt(const char* const* names, unsigned index) {
  if (names == nullptr || names[index] == nullptr) return "";
  return names[index];
}

const char* typeNameOf(const char* const* names, const KRTypeRef& ref) {
  const KRTypedesc* desc = ref.ptr();
  return desc != nullptr ? nameAt(names, desc->getDataType()) : "???";
}

}  // namespace

namespace {

using krtype::recordFailed;

// Whether a nested part (range, component) reported a failure; its flag is
// cleared, as the failure is passed upward.
template <class Part>
bool nestedFailed() {
  if (Part::getError() == static_cast<typename Part::ERRORS>(0)) return false;
  Part::resetError();
  return true;
}

}  // namespace

const char* krtype::dumpWord(int classTag) {
  return classTag >= 0 && classTag <= KRTypedesc::KR_INSTANCE_DESC ? kDumpWords[classTag] : "";
}

// ---------------------------------------------------------------- KRTypedesc

KRTypedesc::~KRTypedesc() = default;

bool KRTypedesc::equalType(const KRTypedesc& other) const {
  return dataType == other.dataType;
}

bool KRTypedesc::operator==(const KRTypedesc& other) const {
  return KRTypeWalk::equal(*this, other);
}

void KRTypedesc::setGlobal(std::uint16_t number) {
  global = 1;
  gdtNo = number;
}

void KRTypedesc::setLocal() {
  global = 0;
  gdtNo = 0;
}

void KRTypedesc::store(std::ostream& os, char* end, char* line) {
  krLineStore(os, end, line);
}

void KRTypedesc::save(std::ostream& os) const {
  if (!KRFieldWriter(os).u8(static_cast<std::uint8_t>(isA())).ok()) {
    setError(KRTYPEDESC_FAILED);
    return;
  }
  saveInstance(os);
}

bool KRTypedesc::saveInstance(std::ostream& os) const {
  if (KRFieldWriter(os).u8(dataType).u8(global).u16(gdtNo).ok()) return true;
  return recordFailed();
}

bool KRTypedesc::loadInstance(std::istream& is, KRTypeEnv* /*env*/) {
  if (KRFieldReader(is).u8(dataType).u8(global).u16(gdtNo).ok()) return true;
  return recordFailed();
}

KRTypedesc* KRTypedesc::iload(std::istream& is, KRTypeEnv* env) {
  std::uint8_t tag = 0;
  if (!KRFieldReader(is).u8(tag).ok()) {
    setError(KRTYPEDESC_FAILED);
    return nullptr;
  }
  std::unique_ptr<KRTypedesc> desc;
  switch (tag) {
#define KR_X(tag, enumerator, Class, word)  \
  case enumerator:                          \
    desc.reset(new (std::nothrow) Class()); \
    break;
#include "bcode/types/krtypedesc.def"
#undef KR_X
    default:
      setError(KRTYPEDESC_FAILED);
      return nullptr;
  }
  if (!desc) {
    setError(KRTYPEDESC_NO_MEMORY);
    return nullptr;
  }
  if (!desc->loadInstance(is, env) || getError() != KRTYPEDESC_OK) return nullptr;
  return desc.release();
}

void KRTypedesc::printGDTAndLength(std::ostream& os) const {
  if (isGlobal()) os << "        GDT " << rightAligned(gdtNo, 5);
  os << "  storageLen=" << storageLength();
}

void KRTypedesc::putGDTColumn(char* line, bool bare) const {
  const KRListLine out = krtype::typeLine(line);
  const KRListColumn& at = bare ? krtype::oneIn(krtype::kGDTColumn) : krtype::kGDTColumn;
  if (isGlobal()) {
    out.printf(at, bare ? "%u" : " %u", static_cast<unsigned>(gdtNo));
  } else {
    out.put(at, bare ? "-" : " -");
  }
}

void KRTypedesc::finishListing(std::ostream& os, int level, char* line) {
  if (level == 5) store(os, line, line);
}

void KRTypedesc::dumpReference(std::ostream& os, long indent, std::uint16_t index) const {
  printIndent(os, indent);
  os << krtype::dumpWord(isA()) << " (";
  if (index != 0) os << "type " << std::to_string(index) << ", ";
  os << "dumped above)\n";
}

// ---------------------------------------------------------------- KRElemDesc

std::uint32_t KRElemDesc::storageLength() const {
  if (!krIsElemTypeCode(dataType)) {
    KRTypeWalk::fail();
    return 0;
  }
  return krFindDataType(dataType)->storageLength;
}

std::uint32_t KRElemDesc::alignment() const {
  return krIsElemTypeCode(dataType) ? krFindDataType(dataType)->alignment : 16;
}

void KRElemDesc::printOn(std::ostream& os, int level, char* /*text*/, char* line,
                         const char* const* typeNames) const {
  const unsigned code = dataType;
  const bool named = code <= 34 || code == 254 || code == 255;
  const unsigned nameIndex = named ? krTypeNameIndex(code) : 0;
  startListing(line, level);
  putGDTColumn(line, false);
  const KRListLine out = krtype::typeLine(line);
  out.put(krtype::kTypeNameColumn, nameAt(typeNames, nameIndex));
  out.put(krtype::kLengthColumn, " -");
  out.put(krtype::oneIn(krtype::kShapeColumn), "-");
  out.put(krtype::kTypeIndexColumn, "-");
  out.store(os, krtype::kTypeIndexColumn);
  if (!named) {
    krLinePrintf(line, line, "#*** ERROR: falscher Datentyp: %i !", static_cast<int>(code));
    store(os, line, line);
  }
  finishListing(os, level, line);
}

void KRElemDesc::printOn(std::ostream& os, int indent) const {
  const KRNeutralStream neutral(os);
  printIndent(os, indent);
  os << krtype::dumpWord(KR_ELEM_DESC) << ": " << rightAligned(dataType, 3);
  printGDTAndLength(os);
  os << '\n';
}

// -------------------------------------------------------------- KRStringDesc

bool KRStringDesc::equalType(const KRTypedesc& other) const {
  return KRTypedesc::equalType(other) && other.isA() == KR_STRING_DESC &&
         static_cast<const KRStringDesc&>(other).maxLen_ == maxLen_;
}

std::uint32_t KRStringDesc::storageLength() const {
  return 8U * maxLen_ + 16U;
}

void KRStringDesc::printOn(std::ostream& os, int level, char* /*text*/, char* line,
                           const char* const* /*typeNames*/) const {
  startListing(line, level);
  putGDTColumn(line, false);
  const KRListLine out = krtype::typeLine(line);
  out.put(krtype::kTypeNameColumn, "STRING");
  out.printf(krtype::kLengthColumn, " %i", static_cast<int>(maxLen_));
  out.put(krtype::kShapeColumn, " -");
  out.put(krtype::kTypeIndexColumn, "-");
  out.store(os, krtype::kTypeIndexColumn);
  finishListing(os, level, line);
}

void KRStringDesc::printOn(std::ostream& os, int indent) const {
  const KRNeutralStream neutral(os);
  printIndent(os, indent);
  os << krtype::dumpWord(KR_STRING_DESC) << " [" << static_cast<unsigned>(maxLen_) << "]";
  printGDTAndLength(os);
  os << '\n';
}

bool KRStringDesc::saveInstance(std::ostream& os) const {
  if (!KRTypedesc::saveInstance(os)) return false;
  if (KRFieldWriter(os).u8(maxLen_).ok()) return true;
  return recordFailed();
}

bool KRStringDesc::loadInstance(std::istream& is, KRTypeEnv* env) {
  if (!KRTypedesc::loadInstance(is, env)) return false;
  if (KRFieldReader(is).u8(maxLen_).ok()) return true;
  return recordFailed();
}

// -------------------------------------------------------------- KRArrayRange

KRArrayRange::KRArrayRange() {
  g_boundaryByteLen = 4;
}

KRArrayRange::KRArrayRange(std::int32_t lo, std::int32_t hi, unsigned int len) : lo_(lo), hi_(hi) {
  g_boundaryByteLen = len;
}

void KRArrayRange::SetBoundaryByteLen(unsigned int len) {
  g_boundaryByteLen = len;
}

void KRArrayRange::save(std::ostream& os) const {
  if (!KRFieldWriter(os).i32(lo_).i32(hi_).ok()) setError(KRARRAYRANGE_FAILED);
}

void KRArrayRange::load(std::istream& is) {
  KRFieldReader in(is);
  if (g_boundaryByteLen == 4) {
    in.i32(lo_).i32(hi_);
  } else if (g_boundaryByteLen == 2) {
    std::int16_t lo = 0;
    std::int16_t hi = 0;
    if (in.i16(lo).i16(hi).ok()) {
      lo_ = lo;
      hi_ = hi;
    }
  } else {
    setError(KRARRAYRANGE_FAILED);
    return;
  }
  if (!in.ok()) setError(KRARRAYRANGE_FAILED);
}

// --------------------------------------------------------------- KRArrayDesc

KRArrayDesc::KRArrayDesc() : ranges_(-1, 0, 6) {}

KRArrayDesc::KRArrayDesc(const KRTypeRef& elemType)
    : KRTypedesc(KR_DT_ARRAY), ranges_(-1, 0, 6), elemType_(elemType) {}

KRArrayDesc::KRArrayDesc(const KRArrayDesc& other)
    : KRTypedesc(other), ranges_(-1, 0, 6), elemType_(other.elemType_) {
  for (unsigned d = 1; d <= other.dimCount_; ++d) {
    const KRArrayRange range = other.getRange(static_cast<std::uint16_t>(d));
    addDim(range.getLowerBound(), range.getUpperBound());
  }
}

void KRArrayDesc::addDim(std::int32_t lo, std::int32_t hi) {
  if (dimCount_ == UCHAR_MAX) {
    setError(KRTYPEDESC_FAILED);
    return;
  }
  // Growing the store constructs ranges, which would reset the bound width.
  const unsigned int width = g_boundaryByteLen;
  ranges_[dimCount_] = KRArrayRange(lo, hi, width);
  g_boundaryByteLen = width;
  ++dimCount_;
}

KRArrayRange KRArrayDesc::getRange(std::uint16_t n) const {
  if (n < 1 || n > dimCount_) {
    setError(KRTYPEDESC_FAILED);
    return KRArrayRange(0, 0, g_boundaryByteLen);
  }
  return ranges_[n - 1];
}

std::uint32_t KRArrayDesc::storageLengthInArrays() const {
  return KRTypeWalk::measure(KRTypeWalk::LENGTH_IN_ARRAYS, *this, 1, [this]() -> std::uint32_t {
    if (dimCount_ == 0) return 0;
    const KRTypedesc* elem = elemType_.ptr();
    if (elem == nullptr) {
      KRTypeWalk::fail();
      return 1;
    }
    const std::uint32_t e = isNestedArray(*elem)
                                ? static_cast<const KRArrayDesc*>(elem)->storageLengthInArrays()
                                : elem->storageLength();
    const std::uint32_t lastCount = elementCount(ranges_[dimCount_ - 1]);
    std::uint32_t length = lastCount * e;
    if (elem->getDataType() == KR_DT_BOOL) {
      length = roundUp(length, 8);
    } else if (elem->getDataType() == KR_DT_STRING && e % 16 != 0) {
      length += 8U * lastCount;
    }
    for (int d = dimCount_ - 2; d >= 0; --d) length *= elementCount(ranges_[d]);
    return length;
  });
}

std::uint32_t KRArrayDesc::storageLength() const {
  return roundUp(storageLengthInArrays(), 16);
}

std::uint32_t KRArrayDesc::alignmentInArrays() const {
  return KRTypeWalk::measure(KRTypeWalk::ALIGN_IN_ARRAYS, *this, 1, [this]() -> std::uint32_t {
    const KRTypedesc* elem = elemType_.ptr();
    if (elem == nullptr) {
      KRTypeWalk::fail();
      return 1;
    }
    if (isNestedArray(*elem)) return static_cast<const KRArrayDesc*>(elem)->alignmentInArrays();
    const unsigned code = elem->getDataType();
    return code == KR_DT_BOOL || code == KR_DT_BYTE || code == KR_DT_CHAR ? 8 : 16;
  });
}

KRTypeRef KRArrayDesc::convertHierarchical(KRTypeTab& tab) const {
  KRTypeRef current = elemType_;
  for (unsigned d = dimCount_; d >= 1; --d) {
    std::unique_ptr<KRArrayDesc> nested(new (std::nothrow) KRArrayDesc(current));
    if (!nested) {
      setError(KRTYPEDESC_NO_MEMORY);
      return KRTypeRef();
    }
    const KRArrayRange& range = ranges_[static_cast<std::int32_t>(d) - 1];
    nested->addDim(range.getLowerBound(), range.getUpperBound());
    if (nested->getDim() != 1) {
      setError(KRTYPEDESC_NO_MEMORY);
      return KRTypeRef();
    }
    current = tab.add(nested.release());
    if (KRRefTable<KRTypedesc*>::error != KRREFTABLE_OK) {
      KRRefTable<KRTypedesc*>::error = KRREFTABLE_OK;
      setError(KRTYPEDESC_NO_MEMORY);
      return KRTypeRef();
    }
  }
  return current;
}

bool KRArrayDesc::equalType(const KRTypedesc& other) const {
  return KRTypeWalk::equal(*this, other);
}

void KRArrayDesc::printOn(std::ostream& os, int level, char* /*text*/, char* line,
                          const char* const* typeNames) const {
  if (dimCount_ == 0) return;
  startListing(line, level);
  putGDTColumn(line, false);
  const KRListLine out = krtype::typeLine(line);
  out.put(krtype::kTypeNameColumn, "ARRAY");
  out.printf(krtype::kLengthColumn, " %ld", asListed(storageLength()));
  for (int d = 0; d < dimCount_; ++d) {
    const KRArrayRange& range = ranges_[d];
    char* at = out.printf(krtype::kShapeColumn, " [%ld", static_cast<long>(range.getLowerBound()));
    at = krLinePrintf(line, at, "..%ld", static_cast<long>(range.getUpperBound()));
    if (d + 1 < dimCount_) {
      krLinePut(line, at, "]");
      out.put(krtype::kTypeIndexColumn, "-");
      out.store(os, krtype::kTypeIndexColumn);
      krLinePut(line, line, kArrayLineTemplate);
    } else {
      krLinePut(line, at, "]OF");
      out.printf(krtype::kTypeIndexColumn, "%i", static_cast<int>(elemType_.getIndex()));
      if (dimCount_ > 1) out.put(krtype::kTypeNameColumn, typeNameOf(typeNames, elemType_));
      out.store(os, krtype::kTypeIndexColumn);
    }
  }
  finishListing(os, level, line);
}

void KRArrayDesc::printOn(std::ostream& os, int indent) const {
  const KRNeutralStream neutral(os);
  KRTypeWalk::dump(os, *this, indent);
}

void KRArrayDesc::dumpHead(std::ostream& os, long indent) const {
  printIndent(os, indent);
  os << krtype::dumpWord(KR_ARRAY_DESC) << "[";
  for (int d = 0; d < dimCount_; ++d) {
    if (d > 0) os << ",";
    os << ranges_[d].getLowerBound() << ".." << ranges_[d].getUpperBound();
  }
  os << "] OF";
  printGDTAndLength(os);
  os << " (" << storageLengthInArrays() << ")\n";
}

bool KRArrayDesc::saveInstance(std::ostream& os) const {
  if (!KRTypedesc::saveInstance(os)) return false;
  if (!KRFieldWriter(os).u8(dimCount_).u16(elemType_.getIndex()).ok()) {
    return recordFailed();
  }
  for (int d = 0; d < dimCount_; ++d) {
    ranges_[d].save(os);
    if (nestedFailed<KRArrayRange>()) return recordFailed();
  }
  return true;
}

bool KRArrayDesc::loadInstance(std::istream& is, KRTypeEnv* env) {
  if (!KRTypedesc::loadInstance(is, env)) return false;
  dimCount_ = 0;
  std::uint8_t dims = 0;
  std::uint16_t elemIndex = 0;
  if (!KRFieldReader(is).u8(dims).u16(elemIndex).ok()) {
    return recordFailed();
  }
  elemType_ = KRTypeRef(elemIndex, env != nullptr ? env->getTypeTab() : nullptr);
  const unsigned int width = env != nullptr ? env->GetBoundaryByteLen() : 4;
  for (unsigned d = 0; d < dims; ++d) {
    KRArrayRange range(0, 0, width);
    range.load(is);
    if (nestedFailed<KRArrayRange>()) return recordFailed();
    const unsigned before = dimCount_;
    addDim(range.getLowerBound(), range.getUpperBound());
    if (dimCount_ == before) return false;
  }
  return true;
}

// ---------------------------------------------------------- KRStructuredComp

KRStructuredComp::~KRStructuredComp() = default;

// -------------------------------------------------------------- KRStructComp

KRStructComp::KRStructComp(const KRString& name, const KRTypeRef& type) : name_(name), type_(type) {
  if (KRString::error != KRString::KRSTRING_OK) {
    KRString::error = KRString::KRSTRING_OK;
    setError(KRSTRUCTCOMP_FAILED);
  }
}

bool KRStructComp::operator==(const KRStructComp& other) const {
  if (name_ != other.name_) return false;
  const KRTypedesc* mine = type_.ptr();
  const KRTypedesc* theirs = other.type_.ptr();
  if (mine == nullptr || theirs == nullptr) {
    setError(KRSTRUCTCOMP_FAILED);
    return false;
  }
  return *mine == *theirs;
}

void KRStructComp::save(std::ostream& os) const {
  if (!KRFieldWriter(os).u16(type_.getIndex()).name(name_).ok()) setError(KRSTRUCTCOMP_FAILED);
}

void KRStructComp::load(std::istream& is, KRTypeTab* table) {
  offset_ = 0;
  KRFieldReader in(is);
  std::uint16_t typeIndex = 0;
  if (!in.u16(typeIndex).ok()) {
    setError(KRSTRUCTCOMP_FAILED);
    return;
  }
  type_ = KRTypeRef(typeIndex, table);
  if (in.name(name_).ok()) return;
  setError(in.status() == KRFieldReader::NO_MEMORY ? KRSTRUCTCOMP_NO_MEMORY : KRSTRUCTCOMP_FAILED);
}

// -------------------------------------------------------------- KRStructDesc

KRStructDesc::KRStructDesc() : KRStructuredDesc(KR_DT_STRUCT), comps_(-1, 0, 10) {}

KRStructDesc::KRStructDesc(const KRStructDesc& other) : KRStructuredDesc(other), comps_(-1, 0, 10) {
  for (std::uint32_t i = 1; i <= other.compCount_; ++i) {
    const KRStructComp* comp = other.compAt(static_cast<std::uint16_t>(i));
    addComp(comp->getName(), comp->getTypeRef());
  }
}

KRStructDesc::~KRStructDesc() {
  for (std::uint32_t i = 1; i <= compCount_; ++i) delete compAt(static_cast<std::uint16_t>(i));
}

KRStructComp* KRStructDesc::compAt(std::uint16_t n) const {
  if (n < 1 || n > compCount_) return nullptr;
  return comps_[n - 1];
}

void KRStructDesc::addComp(const KRString& name, const KRTypeRef& type) {
  // A full structure refuses before anything is made.
  if (refusedWhenFull()) return;
  std::unique_ptr<KRStructComp> comp(new (std::nothrow) KRStructComp(name, type));
  if (!comp) {
    setError(KRTYPEDESC_NO_MEMORY);
    return;
  }
  if (KRStructComp::getError() != KRStructComp::KRSTRUCTCOMP_OK) {
    KRStructComp::resetError();
    setError(KRTYPEDESC_NO_MEMORY);
    return;
  }
  appendComp(std::move(comp));
}

bool KRStructDesc::refusedWhenFull() const {
  if (compCount_ < UINT16_MAX) return false;
  setError(KRTYPEDESC_NO_MEMORY);
  return true;
}

bool KRStructDesc::appendComp(std::unique_ptr<KRStructComp> comp) {
  if (refusedWhenFull()) return false;
  comps_[compCount_] = comp.get();
  comp.release();
  ++compCount_;
  return true;
}

KRStructComp& KRStructDesc::getComp(std::uint16_t n) {
  return const_cast<KRStructComp&>(static_cast<const KRStructDesc*>(this)->getComp(n));
}

const KRStructComp& KRStructDesc::getComp(std::uint16_t n) const {
  if (KRStructComp* comp = compAt(n)) return *comp;
  setError(KRTYPEDESC_FAILED);
  // A caller that asked for a missing component gets an empty stand-in.
  static thread_local KRStructComp none;
  none = KRStructComp();
  return none;
}

void KRStructDesc::updateCompOffsets() const {
  getCompOffset(getNoOfComp());
}

KRStructuredComp* KRStructDesc::getStructuredComp(std::uint16_t n) const {
  return compAt(n);
}

std::uint32_t KRStructDesc::getCompOffset(std::uint16_t n) const {
  if (n > compCount_) {
    KRTypeWalk::fail();
    return 0;
  }
  // One walk for the whole layout, so shared component types count once.
  const KRTypeQueryScope shared;
  std::uint32_t offset = 0;
  const KRTypedesc* previous = nullptr;
  for (std::uint32_t i = 1; i <= n; ++i) {
    if (previous != nullptr) offset += previous->storageLength();
    KRStructComp* comp = compAt(static_cast<std::uint16_t>(i));
    const KRTypedesc* type = comp->getTypeRef().ptr();
    if (type == nullptr) {
      KRTypeWalk::fail();
      return 0;
    }
    const std::uint32_t align = type->alignment();
    if (align > 1) offset = roundUp(offset, align);
    comp->setOffset(offset);
    previous = type;
  }
  return offset;
}

std::uint32_t KRStructDesc::storageLength() const {
  return KRTypeWalk::measure(KRTypeWalk::LENGTH, *this, 1, [this]() -> std::uint32_t {
    if (compCount_ == 0) return 0;
    const KRTypedesc* last = compAt(compCount_)->getTypeRef().ptr();
    if (last == nullptr) {
      KRTypeWalk::fail();
      return 1;
    }
    const std::uint32_t length = getCompOffset(compCount_) + last->storageLength();
    switch (last->getDataType()) {
      case KR_DT_BOOL:
      case KR_DT_BYTE:
      case KR_DT_CHAR:
      case KR_DT_STRING:
        return roundUp(length, 16);
      default:
        return length;
    }
  });
}

bool KRStructDesc::equalType(const KRTypedesc& other) const {
  return KRTypeWalk::equal(*this, other);
}

void KRStructDesc::printOn(std::ostream& os, int level, char* /*text*/, char* line,
                           const char* const* typeNames) const {
  startListing(line, level);
  putGDTColumn(line, true);
  const KRListLine out = krtype::typeLine(line);
  out.put(krtype::kTypeNameColumn, "STRUCT");
  out.printf(krtype::kLengthColumn, " %ld", asListed(storageLength()));
  out.printf(krtype::oneIn(krtype::kShapeColumn), "%i", static_cast<int>(compCount_));
  out.put(krtype::kTypeIndexColumn, "-");
  out.store(os, krtype::kTypeIndexColumn);
  const KRListLine comps = krtype::componentLine(line, level);
  for (std::uint32_t i = 1; i <= compCount_; ++i) {
    const KRStructComp* comp = compAt(static_cast<std::uint16_t>(i));
    krLinePut(line, line, "-");
    comps.put(krtype::kCompNameColumn, comp->getName().c_str());
    comps.printf(krtype::kCompOffsetColumn, "%ld", asListed(comp->getOffset()));
    comps.put(krtype::kCompGDTColumn, " -");
    comps.put(krtype::kCompTypeNameColumn, typeNameOf(typeNames, comp->getTypeRef()));
    comps.put(krtype::kCompShapeColumn, " -         -");
    out.printf(krtype::kTypeIndexColumn, "%i", static_cast<int>(comp->getTypeRef().getIndex()));
    out.store(os, krtype::kTypeIndexColumn);
  }
  finishListing(os, level, line);
}

void KRStructDesc::printOn(std::ostream& os, int indent) const {
  const KRNeutralStream neutral(os);
  KRTypeWalk::dump(os, *this, indent);
}

void KRStructDesc::dumpHead(std::ostream& os, long indent) const {
  printIndent(os, indent);
  os << krtype::dumpWord(KR_STRUCT_DESC);
  printGDTAndLength(os);
  os << '\n';
}

void KRStructDesc::dumpCompHead(std::ostream& os, long indent, std::uint16_t n) const {
  const KRStructComp* comp = compAt(n);
  printIndent(os, indent + 2);
  os << rightAligned(comp->getOffset(), 5) << "  ";
  comp->getName().printOn(os);
}

bool KRStructDesc::saveInstance(std::ostream& os) const {
  if (!KRTypedesc::saveInstance(os)) return false;
  if (!KRFieldWriter(os).u16(compCount_).ok()) {
    return recordFailed();
  }
  for (std::uint32_t i = 1; i <= compCount_; ++i) {
    compAt(static_cast<std::uint16_t>(i))->save(os);
    if (nestedFailed<KRStructComp>()) return recordFailed();
  }
  return true;
}

bool KRStructDesc::loadInstance(std::istream& is, KRTypeEnv* env) {
  if (!KRTypedesc::loadInstance(is, env)) return false;
  std::uint16_t count = 0;
  if (!KRFieldReader(is).u16(count).ok()) {
    return recordFailed();
  }
  KRTypeTab* table = env != nullptr ? env->getTypeTab() : nullptr;
  for (std::uint32_t i = 0; i < count; ++i) {
    // Read in place: the name lands in the buffer the component keeps.
    std::unique_ptr<KRStructComp> comp(new (std::nothrow) KRStructComp());
    if (!comp) {
      setError(KRTYPEDESC_NO_MEMORY);
      return false;
    }
    comp->load(is, table);
    if (nestedFailed<KRStructComp>()) return recordFailed();
    if (!appendComp(std::move(comp))) return false;
  }
  return true;
}

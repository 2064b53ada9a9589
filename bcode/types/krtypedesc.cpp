#include "bcode/types/krtypedesc.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "bcode/foundation/krfieldio.h"
#include "bcode/foundation/krlistline.h"
#include "bcode/foundation/krysequ.h"
#include "bcode/interface/bcssb.h"
#include "bcode/interface/bcssbentry.h"
#include "bcode/types/krtypetab.h"
#include "bcode/types/krtypewalk.h"

KR_DEFINE_ERROR_FLAG(KRTypedesc)
KR_DEFINE_ERROR_FLAG(KRArrayRange)
KR_DEFINE_ERROR_FLAG(KRStructComp)

namespace {

// Width in bytes of each array bound that KRArrayRange::load reads.
thread_local unsigned int g_boundaryByteLen = 4;

constexpr const char* kIllegalTypeRef = "*** Error: illegal typeRef !";
constexpr const char* kArrayLineTemplate = "-    -                   -      -     -         -";

// Deeper nesting than this is treated like a cycle: it keeps hostile type
// graphs from exhausting the stack while no real type comes near it.
constexpr std::size_t kMaxNesting = 256;

std::uint32_t roundUp(std::uint32_t value, std::uint32_t unit) {
  const std::uint32_t rest = value % unit;
  return rest == 0 ? value : value + (unit - rest);
}

// Number of elements of one dimension, with 32-bit wrap like every length.
std::uint32_t elementCount(const KRArrayRange& range) {
  return static_cast<std::uint32_t>(range.getUpperBound()) -
         static_cast<std::uint32_t>(range.getLowerBound()) + 1U;
}

bool isNestedArray(const KRTypedesc& desc) {
  return desc.getDataType() == KR_DT_ARRAY && desc.isA() == KRTypedesc::KR_ARRAY_DESC;
}

// Listing lengths are 32-bit signed values.
long asListed(std::uint32_t value) {
  return static_cast<long>(static_cast<std::int32_t>(value));
}

std::string rightAligned(long value, int width) {
  char text[32];
  std::snprintf(text, sizeof text, "%*ld", width, value);
  return text;
}

void printIndent(std::ostream& os, long indent) {
  if (indent <= 0) return;
  const auto count = static_cast<std::uint16_t>(indent > 0xFFFF ? 0xFFFF : indent);
  KRString(' ', count).printOn(os);
}

// A column of the line buffer, or null for a column outside it (writes at
// null are dropped by the line writer).
char* column(char* line, long col) {
  if (line == nullptr || col < 0 || col >= static_cast<long>(kKRLineSize)) return nullptr;
  return line + col;
}

const char* nameAt(const char* const* names, unsigned index) {
  if (names == nullptr || names[index] == nullptr) return "";
  return names[index];
}

const char* typeNameOf(const char* const* names, const KRTypeRef& ref) {
  const KRTypedesc* desc = ref.ptr();
  return desc != nullptr ? nameAt(names, desc->getDataType()) : "???";
}

void startListing(char* line, int level) {
  if (level > 5) krLinePut(line, line, "-");
}

}  // namespace

// Per-call state of the operations that follow type references: memoised
// answers and the frames in progress (so a cycle is seen when a frame is met
// again), and the expansion budget of a dump. The outermost call creates it,
// or a KRTypeQueryScope around many calls; calls nested inside, also those
// through interface entries, share it.
struct KRTypeWalkState {
  enum Query : int { LENGTH, LENGTH_IN_ARRAYS, ALIGN_IN_ARRAYS, EQUAL };
  struct Key {
    const void* a;
    const void* b;
    Query query;
    bool operator==(const Key& other) const {
      return a == other.a && b == other.b && query == other.query;
    }
  };
  struct KeyHash {
    std::size_t operator()(const Key& key) const {
      const std::hash<const void*> hash;
      return hash(key.a) ^ (hash(key.b) * 31U) ^ static_cast<std::size_t>(key.query);
    }
  };
  struct Answer {
    bool done = false;
    bool failed = false;
    std::uint32_t value = 0;
  };

  std::unordered_map<Key, Answer, KeyHash> memo;
  std::uint64_t failures = 0;
  std::size_t depth = 0;
  bool dumpStarted = false;
  std::uint64_t budget = 0;
  std::unordered_set<const KRTypedesc*> path;
};

namespace {

using WalkState = KRTypeWalkState;

WalkState*& activeWalk() {
  static thread_local WalkState* walk = nullptr;
  return walk;
}

// Joins the walk of the call in progress, or starts one for an outermost call.
class WalkScope {
 public:
  WalkScope() : walk_(activeWalk()) {
    if (walk_ == nullptr) {
      own_.emplace();
      walk_ = &*own_;
      activeWalk() = walk_;
    }
  }
  ~WalkScope() {
    if (own_) activeWalk() = nullptr;
  }
  WalkScope(const WalkScope&) = delete;
  WalkScope& operator=(const WalkScope&) = delete;
  WalkState& walk() const { return *walk_; }

 private:
  WalkState* walk_;
  std::optional<WalkState> own_;
};

// Descriptors plus references reachable from `root`: what a dump of an
// ordinary type expands, counted without expanding shared parts twice.
std::uint64_t graphSize(const KRTypedesc& root) {
  std::unordered_set<const KRTypedesc*> seen{&root};
  std::vector<const KRTypedesc*> pending{&root};
  std::uint64_t size = 0;
  const auto visit = [&](const KRTypeRef& ref) {
    ++size;
    const KRTypedesc* next = ref.ptr();
    if (next != nullptr && seen.insert(next).second) pending.push_back(next);
  };
  while (!pending.empty()) {
    const KRTypedesc* desc = pending.back();
    pending.pop_back();
    ++size;
    if (desc->isA() == KRTypedesc::KR_ARRAY_DESC) {
      visit(static_cast<const KRArrayDesc*>(desc)->getElemTypeRef());
    } else if (desc->isA() == KRTypedesc::KR_STRUCT_DESC) {
      const auto* structure = static_cast<const KRStructDesc*>(desc);
      for (std::uint32_t i = 1; i <= structure->getNoOfComp(); ++i) {
        visit(structure->getComp(static_cast<std::uint16_t>(i)).getTypeRef());
      }
    }
  }
  return size;
}

}  // namespace

KRTypeQueryScope::KRTypeQueryScope() {
  if (activeWalk() != nullptr) return;
  // Without memory for a shared walk every query keeps its own.
  own_.reset(new (std::nothrow) KRTypeWalkState());
  activeWalk() = own_.get();
}

KRTypeQueryScope::~KRTypeQueryScope() {
  if (own_) activeWalk() = nullptr;
}

// The operations of a walk; a friend of KRTypedesc so that it can set the flag.
class KRTypeWalk {
 public:
  using Query = WalkState::Query;
  static constexpr Query LENGTH = WalkState::LENGTH;
  static constexpr Query LENGTH_IN_ARRAYS = WalkState::LENGTH_IN_ARRAYS;
  static constexpr Query ALIGN_IN_ARRAYS = WalkState::ALIGN_IN_ARRAYS;
  static constexpr Query EQUAL = WalkState::EQUAL;
  using Scope = WalkScope;

  // Keeps a descriptor on the dump path while it is being dumped; the first
  // frame of a call sets the expansion budget: ample for any real type, yet
  // linear in the graph however often its parts are shared.
  class DumpFrame {
   public:
    explicit DumpFrame(const KRTypedesc& desc) : desc_(&desc) {
      WalkState& walk = scope_.walk();
      try {
        if (!walk.dumpStarted) {
          walk.dumpStarted = true;
          walk.budget = 16 * graphSize(desc) + 4096;
        }
        entered_ = walk.path.insert(desc_).second;
      } catch (const std::bad_alloc&) {
        // Without room to follow the path the dump expands no further type.
        walk.budget = 0;
        fail();
      }
    }
    ~DumpFrame() {
      if (entered_) scope_.walk().path.erase(desc_);
    }
    DumpFrame(const DumpFrame&) = delete;
    DumpFrame& operator=(const DumpFrame&) = delete;

   private:
    WalkScope scope_;
    const KRTypedesc* desc_;
    bool entered_ = false;
  };

  // The answer of `query` for (a, b), computed once per call. A frame met
  // again while it is computed is a cycle: flag 1 and `neutral`.
  template <class Compute>
  static std::uint32_t memo(Query query, const void* a, const void* b, std::uint32_t neutral,
                            Compute&& compute) {
    const WalkScope scope;
    WalkState& walk = scope.walk();
    const WalkState::Key key{a, b, query};
    const auto found = walk.memo.find(key);
    if (found != walk.memo.end()) {
      if (!found->second.done) {
        fail();
        return neutral;
      }
      if (found->second.failed) fail();
      return found->second.value;
    }
    if (walk.depth >= kMaxNesting) {
      fail();
      return neutral;
    }
    WalkState::Answer* slot = nullptr;
    try {
      slot = &walk.memo[key];
    } catch (const std::bad_alloc&) {
      // No room to remember the answer, so no way to see a cycle: give up.
      fail();
      return neutral;
    }
    WalkState::Answer& answer = *slot;
    const std::uint64_t failuresBefore = walk.failures;
    ++walk.depth;
    const std::uint32_t value = compute();
    --walk.depth;
    answer.value = value;
    answer.failed = walk.failures != failuresBefore;
    answer.done = true;
    return value;
  }

  // Sets the descriptor flag to 1 and marks every frame in progress failed.
  static void fail() {
    KRTypedesc::setError(KRTypedesc::KRTYPEDESC_FAILED);
    if (activeWalk() != nullptr) ++activeWalk()->failures;
  }

  // Dumps the type `ref` names, or the illegal-reference line for a type that
  // does not resolve, is already being dumped, nests too deep or is past the
  // call's budget.
  static void dumpType(std::ostream& os, const KRTypeRef& ref, int indent) {
    const WalkScope scope;
    WalkState& walk = scope.walk();
    const KRTypedesc* desc = ref.ptr();
    if (desc == nullptr || walk.path.count(desc) != 0 || walk.path.size() >= kMaxNesting ||
        walk.budget == 0) {
      os << kIllegalTypeRef << '\n';
      return;
    }
    --walk.budget;
    desc->printOn(os, indent);
  }
};

namespace {

// A record that failed: the descriptor flag is 1.
bool recordFailed() {
  KRTypeWalk::fail();
  return false;
}

// Whether a nested part (range, component) reported a failure; its flag is
// cleared, as the failure is passed upward.
template <class Part>
bool nestedFailed() {
  if (Part::getError() == static_cast<typename Part::ERRORS>(0)) return false;
  Part::resetError();
  return true;
}

}  // namespace

// ---------------------------------------------------------------- KRTypedesc

KRTypedesc::~KRTypedesc() = default;

bool KRTypedesc::equalType(const KRTypedesc& other) const {
  return dataType == other.dataType;
}

bool KRTypedesc::operator==(const KRTypedesc& other) const {
  return KRTypeWalk::memo(KRTypeWalk::EQUAL, this, &other, 0,
                          [&] { return equalType(other) ? 1U : 0U; }) != 0;
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
  if (!KRFieldReader(is).u8(tag).ok() || tag > KR_INSTANCE_DESC) {
    setError(KRTYPEDESC_FAILED);
    return nullptr;
  }
  std::unique_ptr<KRTypedesc> desc;
  switch (tag) {
    case KR_ELEM_DESC:
      desc.reset(new (std::nothrow) KRElemDesc());
      break;
    case KR_ARRAY_DESC:
      desc.reset(new (std::nothrow) KRArrayDesc());
      break;
    case KR_STRUCT_DESC:
      desc.reset(new (std::nothrow) KRStructDesc());
      break;
    case KR_STRING_DESC:
      desc.reset(new (std::nothrow) KRStringDesc());
      break;
    default:
      desc.reset(new (std::nothrow) KRInstanceDesc());
      break;
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

void KRTypedesc::putGDTColumn(char* line, int col, bool bare) const {
  if (isGlobal()) {
    krLinePrintf(line, column(line, col), bare ? "%u" : " %u", static_cast<unsigned>(gdtNo));
  } else {
    krLinePut(line, column(line, col), bare ? "-" : " -");
  }
}

void KRTypedesc::finishListing(std::ostream& os, int level, char* line) {
  if (level == 5) store(os, line, line);
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
  putGDTColumn(line, 31, false);
  krLinePut(line, column(line, 38), nameAt(typeNames, nameIndex));
  krLinePut(line, column(line, 47), " -");
  krLinePut(line, column(line, 58), "-");
  krLinePut(line, column(line, 75), "-");
  store(os, column(line, 75), line);
  if (!named) {
    krLinePrintf(line, line, "#*** ERROR: falscher Datentyp: %i !", static_cast<int>(code));
    store(os, line, line);
  }
  finishListing(os, level, line);
}

void KRElemDesc::printOn(std::ostream& os, int indent) const {
  printIndent(os, indent);
  os << "ElemType: " << rightAligned(dataType, 3);
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
  putGDTColumn(line, 31, false);
  krLinePut(line, column(line, 38), "STRING");
  krLinePrintf(line, column(line, 47), " %i", static_cast<int>(maxLen_));
  krLinePut(line, column(line, 57), " -");
  krLinePut(line, column(line, 75), "-");
  store(os, column(line, 75), line);
  finishListing(os, level, line);
}

void KRStringDesc::printOn(std::ostream& os, int indent) const {
  printIndent(os, indent);
  os << "STRING [" << static_cast<unsigned>(maxLen_) << "]";
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
  return KRTypeWalk::memo(
      KRTypeWalk::LENGTH_IN_ARRAYS, this, nullptr, 1, [this]() -> std::uint32_t {
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
  return KRTypeWalk::memo(KRTypeWalk::ALIGN_IN_ARRAYS, this, nullptr, 1, [this]() -> std::uint32_t {
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
  if (!KRTypedesc::equalType(other) || other.isA() != KR_ARRAY_DESC) return false;
  const auto& that = static_cast<const KRArrayDesc&>(other);
  if (dimCount_ != that.dimCount_) return false;
  for (int d = 0; d < dimCount_; ++d) {
    if (ranges_[d] != that.ranges_[d]) return false;
  }
  const KRTypedesc* mine = elemType_.ptr();
  const KRTypedesc* theirs = that.elemType_.ptr();
  if (mine == nullptr || theirs == nullptr) {
    KRTypeWalk::fail();
    return false;
  }
  return *mine == *theirs;
}

void KRArrayDesc::printOn(std::ostream& os, int level, char* /*text*/, char* line,
                          const char* const* typeNames) const {
  if (dimCount_ == 0) return;
  startListing(line, level);
  putGDTColumn(line, 31, false);
  krLinePut(line, column(line, 38), "ARRAY");
  krLinePrintf(line, column(line, 47), " %ld", asListed(storageLength()));
  for (int d = 0; d < dimCount_; ++d) {
    const KRArrayRange& range = ranges_[d];
    char* at =
        krLinePrintf(line, column(line, 57), " [%ld", static_cast<long>(range.getLowerBound()));
    at = krLinePrintf(line, at, "..%ld", static_cast<long>(range.getUpperBound()));
    if (d + 1 < dimCount_) {
      krLinePut(line, at, "]");
      krLinePut(line, column(line, 75), "-");
      store(os, column(line, 75), line);
      krLinePut(line, line, kArrayLineTemplate);
    } else {
      krLinePut(line, at, "]OF");
      krLinePrintf(line, column(line, 75), "%i", static_cast<int>(elemType_.getIndex()));
      if (dimCount_ > 1) krLinePut(line, column(line, 38), typeNameOf(typeNames, elemType_));
      store(os, column(line, 75), line);
    }
  }
  finishListing(os, level, line);
}

void KRArrayDesc::printOn(std::ostream& os, int indent) const {
  const KRTypeWalk::DumpFrame frame(*this);
  printIndent(os, indent);
  os << "ARRAY[";
  for (int d = 0; d < dimCount_; ++d) {
    if (d > 0) os << ",";
    os << ranges_[d].getLowerBound() << ".." << ranges_[d].getUpperBound();
  }
  os << "] OF";
  printGDTAndLength(os);
  os << " (" << storageLengthInArrays() << ")\n";
  KRTypeWalk::dumpType(os, elemType_, indent + 2);
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
  if (name_.length() != other.name_.length() ||
      std::memcmp(name_.c_str(), other.name_.c_str(), name_.length()) != 0) {
    return false;
  }
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
  KRString name;
  if (in.name(name).ok()) {
    name_ = name;
    return;
  }
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
  if (compCount_ == UINT16_MAX) {
    setError(KRTYPEDESC_NO_MEMORY);
    return;
  }
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
  comps_[compCount_] = comp.get();
  comp.release();
  ++compCount_;
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
  const KRTypeWalk::Scope scope;
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
  return KRTypeWalk::memo(KRTypeWalk::LENGTH, this, nullptr, 1, [this]() -> std::uint32_t {
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
  if (!KRTypedesc::equalType(other) || other.isA() != KR_STRUCT_DESC) return false;
  const auto& that = static_cast<const KRStructDesc&>(other);
  if (compCount_ != that.compCount_) return false;
  for (std::uint32_t i = 1; i <= compCount_; ++i) {
    const auto n = static_cast<std::uint16_t>(i);
    if (!(*compAt(n) == *that.compAt(n))) return false;
  }
  return true;
}

void KRStructDesc::printOn(std::ostream& os, int level, char* /*text*/, char* line,
                           const char* const* typeNames) const {
  startListing(line, level);
  putGDTColumn(line, 32, true);
  krLinePut(line, column(line, 38), "STRUCT");
  krLinePrintf(line, column(line, 47), " %ld", asListed(storageLength()));
  krLinePrintf(line, column(line, 58), "%i", static_cast<int>(compCount_));
  krLinePut(line, column(line, 75), "-");
  store(os, column(line, 75), line);
  const long c = level;
  for (std::uint32_t i = 1; i <= compCount_; ++i) {
    const KRStructComp* comp = compAt(static_cast<std::uint16_t>(i));
    krLinePut(line, line, "-");
    krLinePut(line, column(line, c), comp->getName().c_str());
    krLinePrintf(line, column(line, c + 20), "%ld", asListed(comp->getOffset()));
    krLinePut(line, column(line, c + 26), " -");
    krLinePut(line, column(line, c + 33), typeNameOf(typeNames, comp->getTypeRef()));
    krLinePut(line, column(line, c + 42), " -         -");
    krLinePrintf(line, column(line, 75), "%i", static_cast<int>(comp->getTypeRef().getIndex()));
    store(os, column(line, 75), line);
  }
  finishListing(os, level, line);
}

void KRStructDesc::printOn(std::ostream& os, int indent) const {
  const KRTypeWalk::DumpFrame frame(*this);
  printIndent(os, indent);
  os << "STRUCT";
  printGDTAndLength(os);
  os << '\n';
  for (std::uint32_t i = 1; i <= compCount_; ++i) {
    const KRStructComp* comp = compAt(static_cast<std::uint16_t>(i));
    printIndent(os, static_cast<long>(indent) + 2);
    os << rightAligned(comp->getOffset(), 5) << "  ";
    comp->getName().printOn(os);
    KRTypeWalk::dumpType(os, comp->getTypeRef(), indent + 4);
  }
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
    KRStructComp comp;
    comp.load(is, table);
    if (nestedFailed<KRStructComp>()) return recordFailed();
    const std::uint16_t before = compCount_;
    addComp(comp.getName(), comp.getTypeRef());
    if (compCount_ == before) return false;
  }
  return true;
}

// ------------------------------------------------------------ KRInstanceDesc

KRInstanceDesc::KRInstanceDesc() = default;

KRInstanceDesc::KRInstanceDesc(std::uint16_t blockNo, KR_BLOCK_KIND kind, BCSSBList* list)
    : KRStructuredDesc(KR_DT_INSTANCE), blockNo_(blockNo), kind_(kind), list_(list) {}

namespace {

BCSSB* interfaceOf(BCSSBList* list, std::uint16_t blockNo, KR_BLOCK_KIND kind) {
  return list != nullptr ? list->lookup(blockNo, kind) : nullptr;
}

}  // namespace

std::uint16_t KRInstanceDesc::getNoOfComp() const {
  const BCSSB* ssb = interfaceOf(list_, blockNo_, kind_);
  if (ssb == nullptr) {
    KRTypeWalk::fail();
    return 0;
  }
  const std::uint32_t count = ssb->getEntryCount();
  return static_cast<std::uint16_t>(count > UINT16_MAX ? UINT16_MAX : count);
}

KRStructuredComp* KRInstanceDesc::getStructuredComp(std::uint16_t n) const {
  return BCSSBRef(blockNo_, kind_, n, list_).ptr();
}

std::uint32_t KRInstanceDesc::getCompOffset(std::uint16_t n) const {
  const KRStructuredComp* entry = getStructuredComp(n);
  if (entry == nullptr) {
    KRTypeWalk::fail();
    return 0;
  }
  return entry->getOffset();
}

bool KRInstanceDesc::equalType(const KRTypedesc& other) const {
  if (!KRTypedesc::equalType(other) || other.isA() != KR_INSTANCE_DESC) return false;
  const auto& that = static_cast<const KRInstanceDesc&>(other);
  return blockNo_ == that.blockNo_ && kind_ == that.kind_;
}

std::uint32_t KRInstanceDesc::storageLength() const {
  return KRTypeWalk::memo(KRTypeWalk::LENGTH, this, nullptr, 0, [this]() -> std::uint32_t {
    BCSSB* ssb = interfaceOf(list_, blockNo_, kind_);
    if (ssb == nullptr) {
      KRTypeWalk::fail();
      return 0;
    }
    // A layout failure inside the description (an entry whose type is this
    // instance, say) is passed upward as this type's failure.
    const KRSequenceErrors before = KRSequence<BCSSBEntry*>::error;
    const std::uint32_t length = ssb->storageLength();
    if (before == KRSEQUENCE_OK && KRSequence<BCSSBEntry*>::error != KRSEQUENCE_OK) {
      KRSequence<BCSSBEntry*>::error = KRSEQUENCE_OK;
      KRTypeWalk::fail();
      return 0;
    }
    return roundUp(length, 16);
  });
}

void KRInstanceDesc::printOn(std::ostream& os, int level, char* /*text*/, char* line,
                             const char* const* /*typeNames*/) const {
  startListing(line, level);
  putGDTColumn(line, 32, true);
  krLinePut(line, column(line, 38), "INSTANCE");
  krLinePrintf(line, column(line, 47), " %ld", asListed(storageLength()));
  krLinePrintf(line, column(line, 58), "%i", static_cast<int>(getNoOfComp()));
  if (kind_ == KR_FB_KENN) {
    krLinePrintf(line, column(line, 70), "FB%d", static_cast<int>(blockNo_));
  } else if (kind_ == KR_SFB_KENN) {
    krLinePrintf(line, column(line, 70), "SFB%d", static_cast<int>(blockNo_));
  } else {
    krLinePut(line, column(line, 70), "???");
  }
  store(os, column(line, 70), line);
  finishListing(os, level, line);
}

void KRInstanceDesc::printOn(std::ostream& os, int indent) const {
  printIndent(os, indent);
  os << "InstanzTyp v. BlockKind: " << rightAligned(static_cast<long>(kind_), 3)
     << "  , BlockNo = " << blockNo_ << '\n';
  if (list_ == nullptr) {
    std::cout << "*** error: illegal SSB reference " << '\n';
    return;
  }
  printGDTAndLength(os);
  os << '\n';
}

bool KRInstanceDesc::saveInstance(std::ostream& os) const {
  if (!KRTypedesc::saveInstance(os)) return false;
  if (KRFieldWriter(os).u16(blockNo_).u8(static_cast<std::uint8_t>(kind_)).ok()) return true;
  return recordFailed();
}

bool KRInstanceDesc::loadInstance(std::istream& is, KRTypeEnv* env) {
  list_ = env != nullptr ? env->getSSBList() : nullptr;
  if (!KRTypedesc::loadInstance(is, env)) return false;
  std::uint8_t kind = 0;
  if (!KRFieldReader(is).u16(blockNo_).u8(kind).ok()) {
    return recordFailed();
  }
  kind_ = static_cast<KR_BLOCK_KIND>(kind);
  return true;
}

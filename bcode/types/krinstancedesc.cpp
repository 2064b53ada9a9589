#include "bcode/types/krinstancedesc.h"

#include <iostream>
#include <new>
#include <optional>
#include <vector>

#include "bcode/foundation/krfieldio.h"
#include "bcode/foundation/krlistline.h"
#include "bcode/foundation/krneutralstream.h"
#include "bcode/foundation/krysequ.h"
#include "bcode/interface/bcssb.h"
#include "bcode/interface/bcssbentry.h"
#include "bcode/types/krtypetab.h"
#include "bcode/types/krtypewalk.h"

using krtype::asListed;
using krtype::printIndent;
using krtype::recordFailed;
using krtype::rightAligned;
using krtype::roundUp;
using krtype::startListing;

KRInstanceDesc::KRInstanceDesc() = default;

KRInstanceDesc::KRInstanceDesc(std::uint16_t blockNo, KR_BLOCK_KIND kind, BCSSBList* list)
    : KRStructuredDesc(KR_DT_INSTANCE), blockNo_(blockNo), kind_(kind), list_(list) {}

namespace {

BCSSB* interfaceOf(BCSSBList* list, std::uint16_t blockNo, KR_BLOCK_KIND kind) {
  return list != nullptr ? list->lookup(blockNo, kind) : nullptr;
}

// The offsets of a description's entries, put back when a layout that the
// walk drops (it lacked some types' lengths) has stored its guesses there.
class KeptOffsets {
 public:
  explicit KeptOffsets(const BCSSB& ssb) : ssb_(ssb) {
    offsets_.reserve(ssb.getEntryCount());
    for (std::uint32_t n = 1; n <= ssb.getEntryCount(); ++n) {
      offsets_.push_back(ssb.lookup(static_cast<std::uint16_t>(n))->getOffset());
    }
  }
  void restore() const {
    for (std::uint32_t n = 1; n <= offsets_.size(); ++n) {
      ssb_.lookup(static_cast<std::uint16_t>(n))->setOffset(offsets_[n - 1]);
    }
  }

 private:
  const BCSSB& ssb_;
  std::vector<std::uint32_t> offsets_;
};

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
  return KRTypeWalk::measure(KRTypeWalk::LENGTH, *this, 0, [this]() -> std::uint32_t {
    BCSSB* ssb = interfaceOf(list_, blockNo_, kind_);
    if (ssb == nullptr) {
      KRTypeWalk::fail();
      return 0;
    }
    std::optional<KeptOffsets> kept;
    try {
      kept.emplace(*ssb);
    } catch (const std::bad_alloc&) {
      KRTypeWalk::fail();
      return 0;
    }
    // A layout failure inside the description (an entry whose type is this
    // instance, say) is this type's failure, also when the caller left the
    // description's flag set.
    auto& layoutFlag = KRSequence<BCSSBEntry*>::error;
    const KRSequenceErrors before = layoutFlag;
    layoutFlag = KRSEQUENCE_OK;
    const std::uint32_t length = ssb->storageLength();
    const bool failed = layoutFlag != KRSEQUENCE_OK;
    layoutFlag = before;
    if (KRTypeWalk::incomplete()) {
      kept->restore();
      return 0;
    }
    if (failed) {
      KRTypeWalk::fail();
      return 0;
    }
    return roundUp(length, 16);
  });
}

void KRInstanceDesc::printOn(std::ostream& os, int level, char* /*text*/, char* line,
                             const char* const* /*typeNames*/) const {
  startListing(line, level);
  putGDTColumn(line, true);
  const KRListLine out = krtype::typeLine(line);
  out.put(krtype::kTypeNameColumn, "INSTANCE");
  out.printf(krtype::kLengthColumn, " %ld", asListed(storageLength()));
  out.printf(krtype::oneIn(krtype::kShapeColumn), "%i", static_cast<int>(getNoOfComp()));
  if (kind_ == KR_FB_KENN) {
    out.printf(krtype::kInstanceBlockColumn, "FB%d", static_cast<int>(blockNo_));
  } else if (kind_ == KR_SFB_KENN) {
    out.printf(krtype::kInstanceBlockColumn, "SFB%d", static_cast<int>(blockNo_));
  } else {
    out.put(krtype::kInstanceBlockColumn, "???");
  }
  out.store(os, krtype::kInstanceBlockColumn);
  finishListing(os, level, line);
}

void KRInstanceDesc::printOn(std::ostream& os, int indent) const {
  const KRNeutralStream neutral(os);
  printIndent(os, indent);
  os << krtype::dumpWord(KR_INSTANCE_DESC)
     << " v. BlockKind: " << rightAligned(static_cast<long>(kind_), 3)
     << "  , BlockNo = " << blockNo_ << '\n';
  if (list_ == nullptr) {
    const KRNeutralStream neutralOut(std::cout);
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

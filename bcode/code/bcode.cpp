#include "bcode/code/bcode.h"

#include <new>

#include "bcode/code/bcinternal.h"

#include "bcode/const/bcconstlist.h"
#include "bcode/instr/bcinstruction.h"
#include "bcode/interface/bcssb.h"
#include "bcode/interface/bcssbentry.h"
#include "bcode/localdata/bcldlist.h"
#include "bcode/operand/bcoperand.h"
#include "bcode/types/krdatatype.h"
#include "bcode/types/krtypetab.h"
#include "bcode/types/krtypewalk.h"

KR_DEFINE_ERROR_FLAG(BCode)

namespace {

// Parameter kind of a function block's static variables: the block's static
// local data begin at the first of them.
constexpr unsigned short kStaticParamKind = 3;
// Local data start on a word boundary.
constexpr std::uint32_t kWordBits = 16;

// Creates one collection; false (its flag cleared) when it could not be
// allocated or its flag tells that its construction failed. A collection
// that exists is kept either way, so the block stays usable.
template <class Collection, class Flag = Collection>
bool create(std::unique_ptr<Collection>& slot) {
  slot = bcNewCollection<Collection>();
  return !bcTakeFlag<Flag>() && slot != nullptr;
}

// Replaces an owned collection; the old one is destroyed. A block never
// gives up a collection for none: false for a null one.
template <class Collection>
bool replace(std::unique_ptr<Collection>& slot, Collection* collection) {
  if (collection == nullptr) return false;
  if (slot.get() != collection) slot.reset(collection);
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction

BCode::BCode() {
  init();
}

BCode::BCode(std::uint16_t blockNo, KR_BLOCK_KIND kind) {
  init();
  setBlockInfo(blockNo, kind);
}

BCode::~BCode() {
  // With its arena current, the objects the block loaded are given back
  // without the atomic count that a delete from elsewhere takes.
  const KRArenaScope arena(&arena_);
  instrList_.reset();
  constList_.reset();
  opList_.reset();
  lsdList_.reset();
  lddList_.reset();
  ssbList_.reset();
  typeTab_.reset();
}

void BCode::init() {
  blockNo_ = 0;
  kind_ = static_cast<KR_BLOCK_KIND>(0);
  const bool created = create<BCInstructionList, KRSequence<BCInstruction*>>(instrList_) &&
                       create<BCConstantList, KRRefTable<BCConstant*>>(constList_) &&
                       create<BCOperandList, KRRefTable<BCOperand*>>(opList_) &&
                       create<BCLDList, KRSequence<BCLDEntry*>>(lsdList_) &&
                       create<BCLDList, KRSequence<BCLDEntry*>>(lddList_) &&
                       create<BCSSBList>(ssbList_) &&
                       create<KRTypeTab, KRRefTable<KRTypedesc*>>(typeTab_);
  if (!created) setError(BCODE_NO_MEMORY);
}

bool BCode::isComplete() const {
  return instrList_ && constList_ && opList_ && lsdList_ && lddList_ && ssbList_ && typeTab_;
}

void BCode::setBlockInfo(std::uint16_t blockNo, KR_BLOCK_KIND kind) {
  blockNo_ = blockNo;
  kind_ = kind;
}

// ---------------------------------------------------------------------------
// Accessors and setters

namespace {
template <class Collection>
Collection& present(const std::unique_ptr<Collection>& slot) {
  KR_ASSERT(slot != nullptr, "a collection of a block whose construction failed was used");
  return *slot;
}
}  // namespace

BCInstructionList& BCode::getInstrList() {
  return present(instrList_);
}
const BCInstructionList& BCode::getInstrList() const {
  return present(instrList_);
}
BCConstantList& BCode::getConstList() {
  return present(constList_);
}
const BCConstantList& BCode::getConstList() const {
  return present(constList_);
}
BCOperandList& BCode::getOpList() {
  return present(opList_);
}
const BCOperandList& BCode::getOpList() const {
  return present(opList_);
}
BCLDList& BCode::getLSDList() {
  return present(lsdList_);
}
const BCLDList& BCode::getLSDList() const {
  return present(lsdList_);
}
BCLDList& BCode::getLDDList() {
  return present(lddList_);
}
const BCLDList& BCode::getLDDList() const {
  return present(lddList_);
}
BCSSBList& BCode::getSSBList() {
  return present(ssbList_);
}
const BCSSBList& BCode::getSSBList() const {
  return present(ssbList_);
}
KRTypeTab& BCode::getTypeTab() {
  return present(typeTab_);
}
const KRTypeTab& BCode::getTypeTab() const {
  return present(typeTab_);
}

void BCode::setInstrList(BCInstructionList* list) {
  if (!replace(instrList_, list)) setError(BCODE_FAILED);
}
void BCode::setConstList(BCConstantList* list) {
  if (!replace(constList_, list)) setError(BCODE_FAILED);
}
void BCode::setOpList(BCOperandList* list) {
  if (!replace(opList_, list)) setError(BCODE_FAILED);
}
// The other local data list is refused: both slots would own and delete it.
void BCode::setLSDList(BCLDList* list) {
  if (list == lddList_.get() || !replace(lsdList_, list)) setError(BCODE_FAILED);
}
void BCode::setLDDList(BCLDList* list) {
  if (list == lsdList_.get() || !replace(lddList_, list)) setError(BCODE_FAILED);
}
void BCode::setSSBList(BCSSBList* list) {
  if (!replace(ssbList_, list)) setError(BCODE_FAILED);
}
void BCode::setTypeTab(KRTypeTab* table) {
  if (!replace(typeTab_, table)) setError(BCODE_FAILED);
}

// ---------------------------------------------------------------------------
// Types and layout

void BCode::initElemTypes() {
  if (!typeTab_) {
    setError(BCODE_NO_MEMORY);
    return;
  }
  for (const unsigned char code : kKRElemTypeCodes) {
    KRElemDesc* desc = new (std::nothrow) KRElemDesc(code);
    if (desc == nullptr) {
      setError(BCODE_NO_MEMORY);
      return;
    }
    typeTab_->add(desc);  // owns the descriptor from here on, even when it throws
  }
  if (bcTakeFlag<KRRefTable<KRTypedesc*>>()) setError(BCODE_NO_MEMORY);
}

void BCode::calcOffsets() {
  // The layout needs the interface and local data lists only.
  if (!ssbList_ || !lsdList_ || !lddList_) {
    setError(BCODE_FAILED);
    return;
  }
  // Types shared by the interface and both lists are measured once. Each
  // layout measures every entry, the last one too, so a type that cannot be
  // measured fails the block's layout wherever it is used.
  const KRTypeQueryScope shared;
  std::uint32_t size = 0;
  if (BCSSB* own = ssbList_->lookup(blockNo_, kind_)) {
    own->getLastOffset();
    if (bcTakeFlag<KRSequence<BCSSBEntry*>>()) {
      setError(BCODE_FAILED);
      return;
    }
    const BCSSBEntry* firstStatic = own->getNthEntryOfParamKind(kStaticParamKind, 1);
    size = firstStatic != nullptr ? firstStatic->getOffset() : own->storageLength();
    if (bcTakeFlag<KRSequence<BCSSBEntry*>>()) {
      setError(BCODE_FAILED);
      return;
    }
  }
  if (size % kWordBits != 0) size += kWordBits - size % kWordBits;

  lsdList_->setStartOffset(size);
  lsdList_->getLastOffset();
  if (bcTakeFlag<KRSequence<BCLDEntry*>>()) {
    setError(BCODE_FAILED);
    return;
  }
  lddList_->setStartOffset(0);
  lddList_->getLastOffset();
  if (bcTakeFlag<KRSequence<BCLDEntry*>>()) setError(BCODE_FAILED);
}

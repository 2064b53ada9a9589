#include "bcode/code/bcode.h"

#include <istream>
#include <new>
#include <ostream>

#include "bcode/const/bcconstlist.h"
#include "bcode/foundation/krfieldio.h"
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
// Array bounds in a block record are four bytes wide.
constexpr unsigned int kBoundaryByteLen = 4;

// A new empty collection, null when it cannot be allocated.
template <class Collection>
std::unique_ptr<Collection> newCollection() {
  try {
    return std::unique_ptr<Collection>(new (std::nothrow) Collection());
  } catch (const KRErrorNoHeap&) {
    return nullptr;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

// Clears a container flag; answers whether it was set.
template <class Flag>
bool takeFlag(const Flag& flag) {
  if (flag == 0) return false;
  flag = {};
  return true;
}

bool takeSSBListFlag() {
  if (BCSSBList::getError() == BCSSBList::BCSSBLIST_OK) return false;
  BCSSBList::resetError();
  return true;
}

// Creates one collection; false (its flag cleared) when it could not be
// allocated or its flag tells that its construction failed. A collection
// that exists is kept either way, so the block stays usable.
template <class Collection, class TakeFlag>
bool create(std::unique_ptr<Collection>& slot, TakeFlag&& takeFailure) {
  slot = newCollection<Collection>();
  return !takeFailure() && slot != nullptr;
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
  const bool created =
      create(instrList_, [] { return takeFlag(KRSequence<BCInstruction*>::error); }) &&
      create(constList_, [] { return takeFlag(KRRefTable<BCConstant*>::error); }) &&
      create(opList_, [] { return takeFlag(KRRefTable<BCOperand*>::error); }) &&
      create(lsdList_, [] { return takeFlag(KRSequence<BCLDEntry*>::error); }) &&
      create(lddList_, [] { return takeFlag(KRSequence<BCLDEntry*>::error); }) &&
      create(ssbList_, takeSSBListFlag) &&
      create(typeTab_, [] { return takeFlag(KRRefTable<KRTypedesc*>::error); });
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
  if (takeFlag(KRRefTable<KRTypedesc*>::error)) setError(BCODE_NO_MEMORY);
}

void BCode::calcOffsets() {
  // The layout needs the interface and local data lists only.
  if (!ssbList_ || !lsdList_ || !lddList_) {
    setError(BCODE_FAILED);
    return;
  }
  // Types shared by the interface and both lists are measured once.
  const KRTypeQueryScope shared;
  std::uint32_t size = 0;
  if (BCSSB* own = ssbList_->lookup(blockNo_, kind_)) {
    own->getLastOffset();
    if (takeFlag(KRSequence<BCSSBEntry*>::error)) {
      setError(BCODE_FAILED);
      return;
    }
    const BCSSBEntry* firstStatic = own->getNthEntryOfParamKind(kStaticParamKind, 1);
    size = firstStatic != nullptr ? firstStatic->getOffset() : own->storageLength();
    if (takeFlag(KRSequence<BCSSBEntry*>::error)) {
      setError(BCODE_FAILED);
      return;
    }
  }
  if (size % kWordBits != 0) size += kWordBits - size % kWordBits;

  lsdList_->setStartOffset(size);
  lsdList_->getLastOffset();
  if (takeFlag(KRSequence<BCLDEntry*>::error)) {
    setError(BCODE_FAILED);
    return;
  }
  lddList_->setStartOffset(0);
  lddList_->getLastOffset();
  if (takeFlag(KRSequence<BCLDEntry*>::error)) setError(BCODE_FAILED);
}

// ---------------------------------------------------------------------------
// The block record

void BCode::save(std::ostream& os) const {
  if (!isComplete()) {
    setError(BCODE_FAILED);
    return;
  }
  KRFieldWriter out(os);
  if (!out.u16(blockNo_).u8(static_cast<std::uint8_t>(kind_)).ok()) {
    setError(BCODE_FAILED);
    return;
  }
  typeTab_->save(os);
  if (takeFlag(KRRefTable<KRTypedesc*>::error)) {
    setError(BCODE_FAILED);
    return;
  }
  ssbList_->save(os);
  if (takeSSBListFlag()) {
    setError(BCODE_FAILED);
    return;
  }
  for (const BCLDList* list : {lddList_.get(), lsdList_.get()}) {
    list->save(os);
    if (takeFlag(KRSequence<BCLDEntry*>::error)) {
      setError(BCODE_FAILED);
      return;
    }
  }
  constList_->save(os);
  if (KRRefTable<BCConstant*>::error == KRREFTABLE_OK) opList_->save(os);
  if (KRRefTable<BCConstant*>::error == KRREFTABLE_OK &&
      KRRefTable<BCOperand*>::error == KRREFTABLE_OK) {
    instrList_->save(os);
  }
  if (takeFlag(KRRefTable<BCConstant*>::error) || takeFlag(KRRefTable<BCOperand*>::error) ||
      takeFlag(KRSequence<BCInstruction*>::error)) {
    setError(BCODE_FAILED);
  }
}

namespace {

// Loads one section with `load` and hands it to the block with `attach`. A
// null result or the section's flag fails the block load: the flag is
// cleared and the section destroyed.
template <class Section, class Load, class TakeFlag>
bool loadSection(BCode& block, void (BCode::*attach)(Section*), Load&& load,
                 TakeFlag&& takeFailure) {
  std::unique_ptr<Section> section(load());
  if (takeFailure() || !section) return false;
  (block.*attach)(section.release());
  return true;
}

}  // namespace

BCode* BCode::iload(std::istream& is) {
  // A construction that reported a failure (flag 2) still loads: every
  // section it could not create is replaced by the loaded one.
  std::unique_ptr<BCode> block(new (std::nothrow) BCode());
  if (!block) {
    setError(BCODE_NO_MEMORY);
    return nullptr;
  }
  std::uint16_t blockNo = 0;
  std::uint8_t kind = 0;
  if (!KRFieldReader(is).u16(blockNo).u8(kind).ok()) {
    setError(BCODE_FAILED);
    return nullptr;
  }
  block->setBlockInfo(blockNo, static_cast<KR_BLOCK_KIND>(kind));

  std::unique_ptr<BCSSBList> ssbList = newCollection<BCSSBList>();
  if (!ssbList) {
    setError(BCODE_NO_MEMORY);
    return nullptr;
  }
  // Instance types look their blocks up in the interface list still to be read.
  KRTypeEnv env(nullptr, ssbList.get(), kBoundaryByteLen);
  if (!loadSection(
          *block, &BCode::setTypeTab, [&] { return KRTypeTab::iload(is, &env); },
          [] { return takeFlag(KRRefTable<KRTypedesc*>::error); })) {
    setError(BCODE_FAILED);
    return nullptr;
  }
  KRTypeTab* const table = block->typeTab_.get();
  ssbList->load(is, table);
  if (takeSSBListFlag()) {
    setError(BCODE_FAILED);
    return nullptr;
  }
  block->setSSBList(ssbList.release());

  const auto takeLDFlag = [] { return takeFlag(KRSequence<BCLDEntry*>::error); };
  const auto loadLDList = [&] { return BCLDList::iload(is, table); };
  if (!loadSection(*block, &BCode::setLDDList, loadLDList, takeLDFlag) ||
      !loadSection(*block, &BCode::setLSDList, loadLDList, takeLDFlag) ||
      !loadSection(
          *block, &BCode::setConstList, [&] { return BCConstantList::iload(is); },
          [] { return takeFlag(KRRefTable<BCConstant*>::error); })) {
    setError(BCODE_FAILED);
    return nullptr;
  }

  // A layout failure stays visible as flag 1 on the block returned.
  block->calcOffsets();

  BCode* const loading = block.get();
  if (!loadSection(
          *block, &BCode::setOpList, [&] { return BCOperandList::iload(is, loading); },
          [] { return takeFlag(KRRefTable<BCOperand*>::error); }) ||
      !loadSection(
          *block, &BCode::setInstrList, [&] { return BCInstructionList::iload(is, loading); },
          [] { return takeFlag(KRSequence<BCInstruction*>::error); })) {
    setError(BCODE_FAILED);
    return nullptr;
  }
  return block.release();
}

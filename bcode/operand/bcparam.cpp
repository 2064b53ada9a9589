#include "bcode/operand/bcparam.h"

#include <iostream>
#include <istream>
#include <ostream>

#include "bcode/code/bcode.h"
#include "bcode/foundation/krfieldio.h"
#include "bcode/foundation/krneutralstream.h"
#include "bcode/interface/bcssbentry.h"

namespace {

const char* blockKindName(KR_BLOCK_KIND kind) {
  const char* name = krBlockKindName(kind);
  return name != nullptr ? name : "UNDEF";
}

// The reference of `other` when it is an own parameter of the family whose
// first tag is `firstTag` (EP, AP and DP follow it); none otherwise.
BCSSBRef ownParamRef(const BCOperand& other, BCOperand::CLASS_TYPE firstTag) {
  if (other.isA() < firstTag || other.isA() > firstTag + 2) return BCSSBRef();
  if (const auto* fb = dynamic_cast<const BCParFB*>(&other)) return fb->getSSBRef();
  if (const auto* fc = dynamic_cast<const BCParFC*>(&other)) return fc->getSSBRef();
  return BCSSBRef();
}

}  // namespace

// ---- all parameters

unsigned char BCParam::getDataType() const {
  return resolvedDataType();
}

int BCParam::isEqual(const BCOperand& other) const {
  return sameClassAnd<BCParam>(other, [this](const BCParam& param) {
    return BCOperand::isEqual(param) != 0 && blockKind == param.blockKind;
  });
}

const BCSSBEntry* BCParam::bindEntry(KR_BLOCK_KIND kind, const BCSSBRef& ref) {
  const BCSSBEntry* entry = ref.ptr();
  if (entry == nullptr) {
    setError(BCOPERAND_FAILED);
    return nullptr;
  }
  typeRef = entry->getTypeRef();
  blockKind = kind;
  return entry;
}

void BCParam::printHead(const KRListLine& out, const char* const* typeNames,
                        const std::uint16_t* sonBlockNo) const {
  printTypeColumns(out, typeNames);
  if (sonBlockNo != nullptr) {
    out.printf(kNumberColumn, "%i", static_cast<int>(*sonBlockNo));
  } else {
    out.put(kNumberColumn, "-");
  }
}

void BCParam::dumpEntryLine(std::ostream& os, const BCSSBRef& ref,
                            const std::uint16_t* sonBlockNo) const {
  os << mnemonic();
  if (sonBlockNo != nullptr) {
    dumpField(os, *sonBlockNo, 6);
    os << ' ';
  } else {
    os << "       ";
  }
  dumpField(os, blockKind, 2);
  os << "   ";
  if (const BCSSBEntry* entry = ref.ptr()) {
    entry->printOn(os);
  } else {
    const KRNeutralStream neutralOut(std::cout);
    std::cout << "*** error: illegal SSB reference " << std::endl;
  }
}

void BCParam::printParamStart(const KRListLine& out) const {
  out.put(kBlockKindColumn, blockKindName(blockKind));
  out.put(kParDashColumn, "-");
}

void BCParam::loadEntryRef(std::istream& is, BCode* code, BCSSBRef& ref) {
  std::uint16_t parNo = 0;
  std::uint8_t kind = 0;
  std::uint16_t blockNo = 0;
  checkRead(KRFieldReader(is).u16(parNo).u8(kind).u16(blockNo));
  blockKind = static_cast<KR_BLOCK_KIND>(kind);
  ref = BCSSBRef(blockNo, blockKind, parNo, code != nullptr ? &code->getSSBList() : nullptr);
}

void BCParam::saveEntryRef(std::ostream& os, const BCSSBRef& ref) {
  checkWrite(KRFieldWriter(os)
                 .u16(ref.getParNo())
                 .u8(static_cast<std::uint8_t>(ref.getBlockKind()))
                 .u16(ref.getBlockNo()));
}

int BCParam::entriesOverlap(const BCSSBRef& own, std::uint16_t ownNo, const BCSSBRef& other) {
  const BCSSBEntry* ownEntry = own.ptr();
  const BCSSBEntry* otherEntry = other.ptr();
  if (ownEntry == nullptr || otherEntry == nullptr) return 0;
  return viewsOverlap(ownNo, ownEntry->getViewVarNo(), other.getParNo(),
                      otherEntry->getViewVarNo());
}

// ---- FB parameters

BCParFB::BCParFB(KR_BLOCK_KIND kind, const BCSSBRef& ref) {
  if (const BCSSBEntry* entry = bindEntry(kind, ref)) {
    offset = entry->getOffset();
    ssbRef = ref;
  }
}

int BCParFB::isEqual(const BCOperand& other) const {
  return sameClassAnd<BCParFB>(other, [this](const BCParFB& param) {
    return BCParam::isEqual(param) != 0 && offset == param.offset && ssbRef == param.ssbRef;
  });
}

int BCParFB::identView(const BCOperand& other) const {
  return entriesOverlap(ssbRef, ssbRef.getParNo(), ownParamRef(other, CT_FBEP));
}

void BCParFB::printOn(std::ostream& os, char* at, char* line) const {
  const KRListLine out(line, at);
  printParamStart(out);
  if (ssbRef.ptr() == nullptr) {
    out.put(kParRefColumn, "???");
    out.store(os, kParRefColumn);
    return;
  }
  out.printf(kParRefColumn, "%i", static_cast<int>(ssbRef.getParNo()));
  printOffset(out, kParOffsetColumn, offset);
  out.store(os, kParOffsetColumn);
}

void BCParFB::loadInstance(std::istream& is, BCode* code) {
  BCOperand::loadInstance(is, code);
  loadEntryRef(is, code, ssbRef);
  checkRead(KRFieldReader(is).u32(offset));
}

void BCParFB::saveInstance(std::ostream& os) const {
  BCOperand::saveInstance(os);
  saveEntryRef(os, ssbRef);
  checkWrite(KRFieldWriter(os).u32(offset));
}

// ---- FC parameters

BCParFC::BCParFC(KR_BLOCK_KIND kind, const BCSSBRef& ref) {
  if (bindEntry(kind, ref) != nullptr) {
    parNo = ref.getParNo();
    ssbRef = ref;
  }
}

int BCParFC::isEqual(const BCOperand& other) const {
  return sameClassAnd<BCParFC>(other, [this](const BCParFC& param) {
    return BCParam::isEqual(param) != 0 && parNo == param.parNo && ssbRef == param.ssbRef;
  });
}

int BCParFC::identView(const BCOperand& other) const {
  return entriesOverlap(ssbRef, parNo, ownParamRef(other, CT_FCEP));
}

void BCParFC::printOn(std::ostream& os, char* at, char* line) const {
  const KRListLine out(line, at);
  printParamStart(out);
  if (ssbRef.ptr() != nullptr) {
    out.printf(kParRefColumn, "%i", static_cast<int>(ssbRef.getParNo()));
  } else {
    out.put(kParRefColumn, "???");
  }
  out.put(kParOffsetColumn, "-");
  out.store(os, kParOffsetColumn);
}

void BCParFC::loadInstance(std::istream& is, BCode* code) {
  BCOperand::loadInstance(is, code);
  loadEntryRef(is, code, ssbRef);
  parNo = ssbRef.getParNo();
}

void BCParFC::saveInstance(std::ostream& os) const {
  BCOperand::saveInstance(os);
  saveEntryRef(os, ssbRef);
}

// ---- own parameters: the listing and dump of one family each

#define BC_DEFINE_OWN_PARAM(Class, Family)                                                    \
  void Class::printOn(std::ostream& os, char* col, char* line, const char* const* classNames, \
                      const char* const* typeNames) const {                                   \
    printClassName(KRListLine(line, col), classNames);                                        \
    printOn(os, col, line, typeNames);                                                        \
  }                                                                                           \
  void Class::printOn(std::ostream& os, char* col, char* line, const char* const* typeNames)  \
      const {                                                                                 \
    const KRListLine out(line, col);                                                          \
    printHead(out, typeNames, nullptr);                                                       \
    Family::printOn(os, out.at(kParamColumn), line);                                          \
  }                                                                                           \
  void Class::printOn(std::ostream& os) const {                                               \
    const KRNeutralStream neutral(os);                                                        \
    dumpEntryLine(os, ssbRef, nullptr);                                                       \
  }

BC_DEFINE_OWN_PARAM(BCOwnFB, BCParFB)
BC_DEFINE_OWN_PARAM(BCOwnFC, BCParFC)

// ---- son parameters: they show, compare and record the number of the
// block whose parameter they name.

template <class Family>
BCSonParam<Family>::BCSonParam(KR_BLOCK_KIND kind, const BCSSBRef& ref) : Family(kind, ref) {
  if (this->ssbRef.getList() != nullptr) blockNo = ref.getBlockNo();  // bound
}

template <class Family>
int BCSonParam<Family>::isEqual(const BCOperand& other) const {
  return this->template sameClassAnd<BCSonParam>(other, [this](const BCSonParam& son) {
    return Family::isEqual(son) != 0 && blockNo == son.blockNo;
  });
}

template <class Family>
void BCSonParam<Family>::printOn(std::ostream& os, char* col, char* line,
                                 const char* const* classNames,
                                 const char* const* typeNames) const {
  this->printClassName(KRListLine(line, col), classNames);
  printOn(os, col, line, typeNames);
}

template <class Family>
void BCSonParam<Family>::printOn(std::ostream& os, char* col, char* line,
                                 const char* const* typeNames) const {
  const KRListLine out(line, col);
  this->printHead(out, typeNames, &blockNo);
  Family::printOn(os, out.at(BCOperand::kParamColumn), line);
}

template <class Family>
void BCSonParam<Family>::printOn(std::ostream& os) const {
  const KRNeutralStream neutral(os);
  this->dumpEntryLine(os, this->ssbRef, &blockNo);
}

template <class Family>
void BCSonParam<Family>::loadInstance(std::istream& is, BCode* code) {
  Family::loadInstance(is, code);
  this->loadNumber(is, blockNo);
}

template <class Family>
void BCSonParam<Family>::saveInstance(std::ostream& os) const {
  Family::saveInstance(os);
  this->saveNumber(os, blockNo);
}

template class BCSonParam<BCParFB>;
template class BCSonParam<BCParFC>;

// ---- parameters of a call object

BCParICALL::BCParICALL(std::uint16_t parNo, std::uint16_t icallNo, const KRTypeRef& type)
    : BCParam(kKRCallParamBlockKind, type), parNo(parNo), icallNo(icallNo) {}

int BCParICALL::isEqual(const BCOperand& other) const {
  return sameClassAnd<BCParICALL>(other, [this](const BCParICALL& param) {
    return BCParam::isEqual(param) != 0 && parNo == param.parNo && icallNo == param.icallNo;
  });
}

void BCParICALL::printOn(std::ostream& os, char* col, char* line, const char* const* classNames,
                         const char* const* typeNames) const {
  printClassName(KRListLine(line, col), classNames);
  printOn(os, col, line, typeNames);
}

void BCParICALL::printOn(std::ostream& os, char* col, char* line,
                         const char* const* typeNames) const {
  const KRListLine out(line, col);
  printTypeColumns(out, typeNames);
  out.printf(kNumberColumn, "%i", static_cast<int>(icallNo));
  out.put(kParamColumn, "ICallP");
  out.printf(kParNoColumn, "%i", static_cast<int>(parNo));
  printDashes(out, {kVarColumn, kOffsetColumn});
  out.store(os, kOffsetColumn);
}

void BCParICALL::printOn(std::ostream& os) const {
  const KRNeutralStream neutral(os);
  os << mnemonic() << "       ";
  dumpField(os, blockKind, 2);
  os << "    ";
  dumpField(os, parNo, 6);
  os << ' ';
  dumpField(os, icallNo, 6);
  os << '\n';
}

void BCParICALL::loadInstance(std::istream& is, BCode* code) {
  BCOperand::loadInstance(is, code);
  std::uint8_t kind = 0;
  checkRead(KRFieldReader(is).u8(kind).u16(parNo).u16(icallNo));
  blockKind = static_cast<KR_BLOCK_KIND>(kind);
}

void BCParICALL::saveInstance(std::ostream& os) const {
  BCOperand::saveInstance(os);
  checkWrite(KRFieldWriter(os).u8(static_cast<std::uint8_t>(blockKind)).u16(parNo).u16(icallNo));
}

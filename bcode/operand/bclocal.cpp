#include "bcode/operand/bclocal.h"

#include <iostream>
#include <istream>
#include <ostream>

#include "bcode/code/bcode.h"
#include "bcode/foundation/krfieldio.h"
#include "bcode/foundation/krneutralstream.h"

BCLocalOperand::BCLocalOperand(const BCLDRef& ref) : ldRef(ref) {
  const BCLDEntry* entry = ref.ptr();
  if (entry == nullptr) {
    setError(BCOPERAND_FAILED);
    return;
  }
  typeRef = entry->getTypeRef();
  const std::uint16_t viewed = entry->getViewVarNo();
  if (viewed == 0) {
    relOffset = entry->getOffset();
    return;
  }
  // A view addresses the storage of the variable it views.
  const BCLDEntry* target = ref.getListPtr()->lookup(BCLDRef(viewed, ref.getListPtr()));
  if (target == nullptr) {
    setError(BCOPERAND_FAILED);
    return;
  }
  relOffset = target->getOffset();
}

unsigned char BCLocalOperand::getDataType() const {
  return resolvedDataType();
}

std::uint32_t BCLocalOperand::getOffset() const {
  const BCLDList* list = ldRef.getListPtr();
  if (list == nullptr) {
    setError(BCOPERAND_FAILED);
    return 0;
  }
  return list->getStartOffset() + relOffset;
}

int BCLocalOperand::isEqual(const BCOperand& other) const {
  return sameClassAnd<BCLocalOperand>(other, [this](const BCLocalOperand& local) {
    return isA() == local.isA() && ldRef == local.ldRef;
  });
}

// Only variables of the same list overlap.
int BCLocalOperand::identView(const BCOperand& other) const {
  const auto* local = dynamic_cast<const BCLocalOperand*>(&other);
  if (other.isA() != isA() || local == nullptr) return 0;
  const BCLDEntry* own = ldRef.ptr();
  const BCLDEntry* theirs = local->ldRef.ptr();
  if (own == nullptr || theirs == nullptr) return 0;
  return viewsOverlap(getVarNo(), own->getViewVarNo(), local->getVarNo(), theirs->getViewVarNo());
}

void BCLocalOperand::printOn(std::ostream& os, char* col, char* line, const char* const* classNames,
                             const char* const* typeNames) const {
  const KRListLine out(line, col);
  printClassName(out, classNames);
  printTypeColumns(out, typeNames);
  printDashes(out, {kNumberColumn, kParamColumn, kParNoColumn});
  if (ldRef.ptr() != nullptr) {
    out.printf(kVarColumn, "%i", static_cast<int>(getVarNo()));
  } else {
    out.put(kVarColumn, "???");
  }
  printOffset(out, kOffsetColumn, getOffset());
  out.store(os, kOffsetColumn);
}

void BCLocalOperand::printOn(std::ostream& os) const {
  const KRNeutralStream neutral(os);
  os << mnemonic();
  dumpField(os, static_cast<std::int32_t>(getOffset()), 6);
  os << ' ';
  dumpField(os, getVarNo(), 6);
  os << "  ";
  if (const BCLDEntry* entry = ldRef.ptr()) {
    entry->printOn(os);
  } else {
    const KRNeutralStream neutralOut(std::cout);
    std::cout << (isA() == CT_LSD ? "*** error: illegal LSD reference "
                                  : "*** error: illegal LDD reference ")
              << std::endl;
  }
}

void BCLocalOperand::loadInstance(std::istream& is, BCode* code) {
  BCOperand::loadInstance(is, code);
  std::uint16_t varNo = 0;
  checkRead(KRFieldReader(is).u16(varNo).u32(relOffset));
  BCLDList* list = nullptr;
  if (code != nullptr) list = isA() == CT_LSD ? &code->getLSDList() : &code->getLDDList();
  ldRef = BCLDRef(varNo, list);
}

void BCLocalOperand::saveInstance(std::ostream& os) const {
  BCOperand::saveInstance(os);
  checkWrite(KRFieldWriter(os).u16(getVarNo()).u32(relOffset));
}

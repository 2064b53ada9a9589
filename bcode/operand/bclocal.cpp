#include "bcode/operand/bclocal.h"

#include <iostream>
#include <istream>
#include <new>
#include <ostream>

#include "bcode/code/bcode.h"
#include "bcode/foundation/krfieldio.h"
#include "bcode/foundation/krlistline.h"

// The behaviour both local data classes share, written once for either.
struct BCLocalOps {
  template <class Local>
  static void construct(Local& self, const BCLDRef& ref) {
    self.ldRef = ref;
    const BCLDEntry* entry = ref.ptr();
    if (entry == nullptr) {
      Local::setError(BCOperand::BCOPERAND_FAILED);
      return;
    }
    self.typeRef = entry->getTypeRef();
    const std::uint16_t viewed = entry->getViewVarNo();
    if (viewed == 0) {
      self.relOffset = entry->getOffset();
      return;
    }
    // A view addresses the storage of the variable it views.
    const BCLDEntry* target = ref.getListPtr()->lookup(BCLDRef(viewed, ref.getListPtr()));
    if (target == nullptr) {
      Local::setError(BCOperand::BCOPERAND_FAILED);
      return;
    }
    self.relOffset = target->getOffset();
  }

  template <class Local>
  static std::uint32_t offset(const Local& self) {
    const BCLDList* list = self.ldRef.getListPtr();
    if (list == nullptr) {
      Local::setError(BCOperand::BCOPERAND_FAILED);
      return 0;
    }
    return list->getStartOffset() + self.relOffset;
  }

  template <class Local>
  static int isEqual(const Local& self, const BCOperand& other) {
    const auto* local = dynamic_cast<const Local*>(&other);
    return local != nullptr && self.ldRef == local->ldRef ? 1 : 0;
  }

  // Only variables of the same list overlap.
  template <class Local>
  static int identView(const Local& self, const BCOperand& other) {
    const auto* local = dynamic_cast<const Local*>(&other);
    if (other.isA() != self.isA() || local == nullptr) return 0;
    const BCLDEntry* own = self.ldRef.ptr();
    const BCLDEntry* theirs = local->ldRef.ptr();
    if (own == nullptr || theirs == nullptr) return 0;
    return Local::viewsOverlap(self.getVarNo(), own->getViewVarNo(), local->getVarNo(),
                               theirs->getViewVarNo());
  }

  template <class Local>
  static void list(const Local& self, std::ostream& os, char* col, char* line,
                   const char* const* classNames, const char* const* typeNames) {
    self.printClassName(col, line, classNames);
    self.printTypeColumns(col, line, typeNames);
    Local::printDashes(col, line, {Local::COL_NUMBER, Local::COL_PARAM, Local::COL_PAR_NO});
    if (self.ldRef.ptr() != nullptr) {
      krLinePrintf(line, col + Local::COL_VAR, "%i", static_cast<int>(self.getVarNo()));
    } else {
      krLinePut(line, col + Local::COL_VAR, "???");
    }
    Local::printOffset(col + Local::COL_OFFSET, line, self.getOffset());
    self.store(os, col + Local::COL_OFFSET, line);
  }

  template <class Local>
  static void dump(const Local& self, std::ostream& os, const char* illegalReference) {
    os << self.mnemonic();
    Local::dumpField(os, static_cast<std::int32_t>(self.getOffset()), 6);
    os << ' ';
    Local::dumpField(os, self.getVarNo(), 6);
    os << "  ";
    if (const BCLDEntry* entry = self.ldRef.ptr()) {
      entry->printOn(os);
    } else {
      std::cout << illegalReference << std::endl;
    }
  }

  template <class Local>
  static void load(Local& self, std::istream& is, BCode* code) {
    self.BCOperand::loadInstance(is, code);
    std::uint16_t varNo = 0;
    Local::checkRead(KRFieldReader(is).u16(varNo).u32(self.relOffset));
    BCLDList* list = nullptr;
    if (code != nullptr) {
      list = self.isA() == BCOperand::CT_LSD ? &code->getLSDList() : &code->getLDDList();
    }
    self.ldRef = BCLDRef(varNo, list);
  }

  template <class Local>
  static void save(const Local& self, std::ostream& os) {
    self.BCOperand::saveInstance(os);
    Local::checkWrite(KRFieldWriter(os).u16(self.getVarNo()).u32(self.relOffset));
  }
};

#define BC_DEFINE_LOCAL_OPERAND(Class, illegalReference)                                      \
  Class::Class(const BCLDRef& ref) {                                                          \
    BCLocalOps::construct(*this, ref);                                                        \
  }                                                                                           \
  unsigned char Class::getDataType() const {                                                  \
    return resolvedDataType();                                                                \
  }                                                                                           \
  int Class::isEqual(const BCOperand& other) const {                                          \
    return BCLocalOps::isEqual(*this, other);                                                 \
  }                                                                                           \
  int Class::identView(const BCOperand& other) const {                                        \
    return BCLocalOps::identView(*this, other);                                               \
  }                                                                                           \
  BC_DEFINE_OPERAND_LEAF(Class)                                                               \
  void Class::printOn(std::ostream& os, char* col, char* line, const char* const* classNames, \
                      const char* const* typeNames) const {                                   \
    BCLocalOps::list(*this, os, col, line, classNames, typeNames);                            \
  }                                                                                           \
  void Class::printOn(std::ostream& os) const {                                               \
    BCLocalOps::dump(*this, os, illegalReference);                                            \
  }                                                                                           \
  std::uint32_t Class::getOffset() const {                                                    \
    return BCLocalOps::offset(*this);                                                         \
  }                                                                                           \
  void Class::loadInstance(std::istream& is, BCode* code) {                                   \
    BCLocalOps::load(*this, is, code);                                                        \
  }                                                                                           \
  void Class::saveInstance(std::ostream& os) const {                                          \
    BCLocalOps::save(*this, os);                                                              \
  }

BC_DEFINE_LOCAL_OPERAND(BCoLSD, "*** error: illegal LSD reference ")
BC_DEFINE_LOCAL_OPERAND(BCoLDD, "*** error: illegal LDD reference ")

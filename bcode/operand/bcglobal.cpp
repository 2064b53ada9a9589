#include "bcode/operand/bcglobal.h"

#include <cstdio>
#include <istream>
#include <new>
#include <ostream>

#include "bcode/foundation/krfieldio.h"
#include "bcode/foundation/krlistline.h"

// ---- variables in an area

unsigned char BCGlobVar::getDataType() const {
  return resolvedDataType();
}

int BCGlobVar::isEqual(const BCOperand& other) const {
  return sameClassAnd<BCGlobVar>(other, [this](const BCGlobVar& var) {
    return BCOperand::isEqual(var) != 0 && offset == var.offset;
  });
}

void BCGlobVar::loadInstance(std::istream& is, BCode* code) {
  BCOperand::loadInstance(is, code);
  checkRead(KRFieldReader(is).u32(offset));
}

void BCGlobVar::saveInstance(std::ostream& os) const {
  BCOperand::saveInstance(os);
  checkWrite(KRFieldWriter(os).u32(offset));
}

void BCGlobVar::printVarLine(std::ostream& os, char* col, char* line, const char* const* classNames,
                             const char* const* typeNames, const char* number) const {
  printClassName(col, line, classNames);
  printTypeColumns(col, line, typeNames);
  krLinePut(line, col + COL_NUMBER, number);
  printDashes(col, line, {COL_PARAM, COL_VAR, COL_PAR_NO});
  printOffset(col + COL_OFFSET, line, offset);
  store(os, col + COL_OFFSET, line);
}

void BCGlobArea::printOn(std::ostream& os, char* col, char* line, const char* const* classNames,
                         const char* const* typeNames) const {
  printVarLine(os, col, line, classNames, typeNames, "-");
}

void BCGlobArea::printOn(std::ostream& os) const {
  os << mnemonic();
  dumpField(os, static_cast<std::int32_t>(offset), 6);
  dumpType(os);
}

BC_DEFINE_OPERAND_LEAF(BCoE)
BC_DEFINE_OPERAND_LEAF(BCoA)
BC_DEFINE_OPERAND_LEAF(BCoM)
BC_DEFINE_OPERAND_LEAF(BCoPE)
BC_DEFINE_OPERAND_LEAF(BCoPA)

// ---- data block area

BC_DEFINE_OPERAND_LEAF(BCoDBBER)

int BCoDBBER::isEqual(const BCOperand& other) const {
  return sameClassAnd<BCoDBBER>(other, [this](const BCoDBBER& var) {
    return BCGlobVar::isEqual(var) != 0 && dbNo == var.dbNo;
  });
}

void BCoDBBER::printOn(std::ostream& os, char* col, char* line, const char* const* classNames,
                       const char* const* typeNames) const {
  char number[8];
  std::snprintf(number, sizeof number, "%i", static_cast<int>(dbNo));
  printVarLine(os, col, line, classNames, typeNames, number);
}

void BCoDBBER::printOn(std::ostream& os) const {
  os << mnemonic();
  dumpField(os, static_cast<std::int32_t>(offset), 6);
  dumpField(os, dbNo, 5);
  dumpType(os);
}

void BCoDBBER::loadInstance(std::istream& is, BCode* code) {
  BCGlobVar::loadInstance(is, code);
  loadNumber(is, dbNo);
}

void BCoDBBER::saveInstance(std::ostream& os) const {
  BCGlobVar::saveInstance(os);
  saveNumber(os, dbNo);
}

// ---- operands named by a number: flags, timers and counters, blocks.
// They carry no type; it is implied by the class.

#define BC_DEFINE_NUMBERED_OPERAND(Class, field, typeText)                                        \
  unsigned char Class::getDataType() const {                                                      \
    return fixedDataType();                                                                       \
  }                                                                                               \
  int Class::isEqual(const BCOperand& other) const {                                              \
    return sameClassAnd<Class>(other, [this](const Class& same) { return field == same.field; }); \
  }                                                                                               \
  void Class::printOn(std::ostream& os, char* col, char* line, const char* const* classNames,     \
                      const char* const*) const {                                                 \
    printNumberLine(os, col, line, classNames, typeText, field);                                  \
  }                                                                                               \
  void Class::printOn(std::ostream& os) const {                                                   \
    dumpNumberLine(os, field);                                                                    \
  }                                                                                               \
  void Class::loadInstance(std::istream& is, BCode*) {                                            \
    loadNumber(is, field);                                                                        \
  }                                                                                               \
  void Class::saveInstance(std::ostream& os) const {                                              \
    saveNumber(os, field);                                                                        \
  }

BC_DEFINE_NUMBERED_OPERAND(BCoMFL, mflNo, "BOOL")
BC_DEFINE_NUMBERED_OPERAND(BCFctElem, fctNo, "-")
BC_DEFINE_NUMBERED_OPERAND(BCBlock, blockNo, "-")

BC_DEFINE_OPERAND_LEAF(BCoMFL)
BC_DEFINE_OPERAND_LEAF(BCoT)
BC_DEFINE_OPERAND_LEAF(BCoZ)
BC_DEFINE_OPERAND_LEAF(BCoOB)
BC_DEFINE_OPERAND_LEAF(BCoFB)
BC_DEFINE_OPERAND_LEAF(BCoFC)
BC_DEFINE_OPERAND_LEAF(BCoSFB)
BC_DEFINE_OPERAND_LEAF(BCoSFC)
BC_DEFINE_OPERAND_LEAF(BCoDB)
BC_DEFINE_OPERAND_LEAF(BCoSDB)
BC_DEFINE_OPERAND_LEAF(BCoICall)

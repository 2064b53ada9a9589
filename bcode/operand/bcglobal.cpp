#include "bcode/operand/bcglobal.h"

#include <cstdio>
#include <istream>
#include <ostream>

#include "bcode/foundation/krfieldio.h"
#include "bcode/foundation/krneutralstream.h"

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
  const KRListLine out(line, col);
  printClassName(out, classNames);
  printTypeColumns(out, typeNames);
  out.put(kNumberColumn, number);
  printDashes(out, {kParamColumn, kVarColumn, kParNoColumn});
  printOffset(out, kOffsetColumn, offset);
  out.store(os, kOffsetColumn);
}

void BCGlobArea::printOn(std::ostream& os, char* col, char* line, const char* const* classNames,
                         const char* const* typeNames) const {
  printVarLine(os, col, line, classNames, typeNames, "-");
}

void BCGlobArea::printOn(std::ostream& os) const {
  const KRNeutralStream neutral(os);
  os << mnemonic();
  dumpField(os, static_cast<std::int32_t>(offset), 6);
  dumpType(os);
}

// ---- data block area

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
  const KRNeutralStream neutral(os);
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

// ---- operands named by a number: flags, timers and counters, blocks

unsigned char BCNumberedOperand::getDataType() const {
  return impliedDataType();
}

int BCNumberedOperand::isEqual(const BCOperand& other) const {
  return sameClassAnd<BCNumberedOperand>(other, [this](const BCNumberedOperand& same) {
    return kind() == same.kind() && number_ == same.number_;
  });
}

void BCNumberedOperand::printOn(std::ostream& os, char* col, char* line,
                                const char* const* classNames, const char* const*) const {
  const KRListLine out(line, col);
  printClassName(out, classNames);
  // A flag shows the BOOL it always is; the others show no type.
  out.put(kTypeColumn, kind() == K_MFL ? "BOOL" : "-");
  printDashes(out, {kTypeIndexColumn, kParamColumn, kVarColumn, kParNoColumn, kOffsetColumn});
  out.printf(kNumberColumn, "%i", static_cast<int>(number_));
  out.store(os, kOffsetColumn);
}

void BCNumberedOperand::printOn(std::ostream& os) const {
  const KRNeutralStream neutral(os);
  os << mnemonic();
  dumpField(os, number_, 6);
  os << '\n';
}

void BCNumberedOperand::loadInstance(std::istream& is, BCode*) {
  loadNumber(is, number_);
}

void BCNumberedOperand::saveInstance(std::ostream& os) const {
  saveNumber(os, number_);
}

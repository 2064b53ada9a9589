#include "bcode/instr/bcinstrop.h"

#include <iomanip>
#include <istream>
#include <memory>
#include <new>
#include <ostream>

#include "bcode/code/bcode.h"
#include "bcode/const/bcconstant.h"
#include "bcode/const/bcimmediate.h"
#include "bcode/foundation/krfieldio.h"
#include "bcode/foundation/krlistline.h"
#include "bcode/types/krtypedesc.h"

KR_DEFINE_ERROR_FLAG(BCInstructionOp)

namespace {

// Listing columns of an operand row, counted from the operand's column.
enum OperandColumn : int {
  COL_WORD = 0,
  COL_NUMBER = 8,
  COL_REFR = 17,
  COL_STATUS = 26,
  COL_TEST = 33,
  COL_AREA = 38,
  COL_TYPE_INDEX = 42,
  COL_TYPE_NAME = 49,
  COL_LAST = 59,
};

const char* statusWord(BCTMP::STATUS_TYPE status) {
  switch (status) {
    case BCTMP::TMG:
      return "TMG";
    case BCTMP::TML:
      return "TML";
    case BCTMP::TMT:
      return "TMT";
  }
  return nullptr;
}

// A listing needs a line and a column in it; without them nothing is written.
bool noLine(const char* column, const char* line) {
  return column == nullptr || line == nullptr;
}

template <class Op>
const Op* sameClass(const BCInstructionOp& other) {
  return dynamic_cast<const Op*>(&other);
}

// The listing's words for the flags.
const char* refrText(const BCInstructionOp& op) {
  return op.getRefrFlag() == BCInstructionOp::REFR ? "REFR" : "NO_REFR";
}
const char* testText(const BCInstructionOp& op) {
  return op.getTestFlag() == 1 ? "t" : "n";
}

// The type name of a data type code; codes 254 and 255 use entries 30 and 31.
const char* typeNameOf(const char* const* typeNames, unsigned char dataType) {
  if (typeNames == nullptr) return "???";
  const unsigned index = dataType >= 254 ? dataType - 224u : dataType;
  return typeNames[index] != nullptr ? typeNames[index] : "???";
}

// Columns 0 to 42 of a table operand's row: word, index and flags.
void listHandle(const BCInstructionOp& op, char* column, char* line, const char* word,
                unsigned index) {
  krLinePut(line, column + COL_WORD, word);
  krLinePrintf(line, column + COL_NUMBER, "%u", index);
  krLinePut(line, column + COL_REFR, refrText(op));
  krLinePut(line, column + COL_STATUS, "-");
  krLinePut(line, column + COL_TEST, testText(op));
  krLinePut(line, column + COL_AREA, "-");
  krLinePut(line, column + COL_TYPE_INDEX, "-");
}

// The dump of a table operand up to the entry's own dump.
void dumpHandle(std::ostream& os, const BCInstructionOp& op, const char* word, unsigned index) {
  os << std::setw(7) << index << "   " << word << "  " << testText(op) << "  " << std::setw(2)
     << static_cast<unsigned>(op.getDataType()) << "      ";
}

}  // namespace

// ---------------------------------------------------------------------------
// BCInstructionOp

BCInstructionOp::~BCInstructionOp() = default;

int BCInstructionOp::identView(const BCInstructionOp& /*other*/) const {
  return 0;
}

int BCInstructionOp::isEqual(const BCInstructionOp& other) const {
  return dataType_ == other.dataType_ && refrFlag_ == other.refrFlag_ &&
         testFlag_ == other.testFlag_;
}

void BCInstructionOp::printOn(std::ostream& /*os*/, char* /*column*/, char* /*line*/,
                              const char* const* /*typeNames*/) const {}

bool BCInstructionOp::operator==(const BCInstructionOp& other) const {
  return isA() == other.isA() && isEqual(other) != 0;
}

void BCInstructionOp::save(std::ostream& os) const {
  if (!KRFieldWriter(os).u8(static_cast<std::uint8_t>(isA())).ok()) {
    setError(BCINSTRUCTIONOP_FAILED);
    return;
  }
  saveInstance(os);
}

BCInstructionOp* BCInstructionOp::iload(std::istream& is, BCode* block) {
  std::uint8_t tag = 0;
  if (!KRFieldReader(is).u8(tag).ok()) {
    setError(BCINSTRUCTIONOP_FAILED);
    return nullptr;
  }
  std::unique_ptr<BCInstructionOp> op(newOperandOfClass(tag));
  if (!op) {
    setError(BCINSTRUCTIONOP_FAILED);
    return nullptr;
  }
  op->loadInstance(is, block);
  if (getError() != BCINSTRUCTIONOP_OK) return nullptr;
  return op.release();
}

void BCInstructionOp::store(std::ostream& os, char* end, char* line) const {
  krLineStore(os, end, line);
}

void BCInstructionOp::saveInstance(std::ostream& os) const {
  KRFieldWriter out(os);
  out.u8(dataType_).u8(static_cast<std::uint8_t>(refrFlag_)).u8(testFlag_);
  if (!out.ok()) setError(BCINSTRUCTIONOP_FAILED);
}

void BCInstructionOp::loadInstance(std::istream& is, BCode* /*block*/) {
  std::uint8_t refr = 0;
  KRFieldReader in(is);
  in.u8(dataType_).u8(refr).u8(testFlag_);
  refrFlag_ = static_cast<REFR_VAL>(refr);
  if (!in.ok()) setError(BCINSTRUCTIONOP_FAILED);
}

// ---------------------------------------------------------------------------
// BCTMP

BCTMP::BCTMP(unsigned char dataType, std::uint32_t tmpNo, STATUS_TYPE status, AREA_TYPE lArea,
             const KRTypeRef& type)
    : tmpNo_(tmpNo), status_(status), lArea_(lArea), type_(type) {
  setDataType(dataType);
}

BCTMP::BCTMP(unsigned char dataType, std::uint32_t tmpNo, STATUS_TYPE status, AREA_TYPE lArea)
    : BCTMP(dataType, tmpNo, status, lArea, KRTypeRef()) {}

int BCTMP::isEqual(const BCInstructionOp& other) const {
  const BCTMP* tmp = sameClass<BCTMP>(other);
  if (tmp == nullptr || !BCInstructionOp::isEqual(other)) return 0;
  if (tmpNo_ != tmp->tmpNo_ || status_ != tmp->status_ || lArea_ != tmp->lArea_) return 0;
  if (type_.getIndex() == tmp->type_.getIndex()) return 1;
  const KRTypedesc* own = type_.ptr();
  const KRTypedesc* others = tmp->type_.ptr();
  return own != nullptr && others != nullptr && *own == *others;
}

BCInstructionOp* BCTMP::newCopy() const {
  return new (std::nothrow) BCTMP(*this);
}

void BCTMP::printOn(std::ostream& os, char* column, char* line,
                    const char* const* typeNames) const {
  if (noLine(column, line)) return;
  const char* status = statusWord(status_);
  krLinePut(line, column + COL_WORD, "TMP");
  krLinePrintf(line, column + COL_NUMBER, "%u", tmpNo_);
  krLinePut(line, column + COL_REFR, refrText(*this));
  krLinePut(line, column + COL_STATUS, status != nullptr ? status : "???");
  krLinePut(line, column + COL_TEST, testText(*this));
  krLinePut(line, column + COL_AREA, lArea_ == L_AREA ? "L" : "G");
  if (type_.ptr() != nullptr) {
    krLinePrintf(line, column + COL_TYPE_INDEX, "%i", type_.getIndex());
  } else {
    krLinePut(line, column + COL_TYPE_INDEX, "-");
  }
  krLinePut(line, column + COL_TYPE_NAME, typeNameOf(typeNames, getDataType()));
  krLinePut(line, column + COL_LAST, "-");
  store(os, column + COL_LAST, line);
}

void BCTMP::printOn(std::ostream& os) const {
  const char* status = statusWord(status_);
  os << std::setw(7) << tmpNo_ << "   " << (status != nullptr ? status : "") << "  "
     << testText(*this) << "  " << std::setw(2) << static_cast<unsigned>(getDataType()) << "  "
     << (lArea_ == L_AREA ? "L" : " ");
  if (const KRTypedesc* desc = type_.ptr()) {
    desc->printOn(os, 3);
  } else {
    os << '\n';
  }
}

void BCTMP::saveInstance(std::ostream& os) const {
  BCInstructionOp::saveInstance(os);
  KRFieldWriter out(os);
  out.u16(type_.getIndex())
      .u32(tmpNo_)
      .u8(static_cast<std::uint8_t>(status_))
      .u8(static_cast<std::uint8_t>(lArea_));
  if (!out.ok()) setError(BCINSTRUCTIONOP_FAILED);
}

void BCTMP::loadInstance(std::istream& is, BCode* block) {
  BCInstructionOp::loadInstance(is, block);
  std::uint16_t typeIndex = 0;
  std::uint8_t status = 0;
  std::uint8_t lArea = 0;
  KRFieldReader in(is);
  in.u16(typeIndex).u32(tmpNo_).u8(status).u8(lArea);
  type_ = KRTypeRef(typeIndex, block != nullptr ? &block->getTypeTab() : nullptr);
  status_ = static_cast<STATUS_TYPE>(status);
  lArea_ = static_cast<AREA_TYPE>(lArea);
  if (!in.ok()) setError(BCINSTRUCTIONOP_FAILED);
}

// ---------------------------------------------------------------------------
// BCNUM

int BCNUM::isEqual(const BCInstructionOp& other) const {
  const BCNUM* num = sameClass<BCNUM>(other);
  return num != nullptr && value_ == num->value_;
}

BCInstructionOp* BCNUM::newCopy() const {
  return new (std::nothrow) BCNUM(*this);
}

void BCNUM::printOn(std::ostream& os, char* column, char* line,
                    const char* const* /*typeNames*/) const {
  if (noLine(column, line)) return;
  krLinePut(line, column + COL_WORD, "NUM");
  krLinePrintf(line, column + COL_NUMBER, "%u", value_);
  for (int at :
       {COL_REFR, COL_STATUS, COL_TEST, COL_AREA, COL_TYPE_INDEX, COL_TYPE_NAME, COL_LAST}) {
    krLinePut(line, column + at, "-");
  }
  store(os, column + COL_LAST, line);
}

void BCNUM::printOn(std::ostream& os) const {
  os << std::setw(7) << value_ << "   NUM\n";
}

void BCNUM::saveInstance(std::ostream& os) const {
  BCInstructionOp::saveInstance(os);
  if (!KRFieldWriter(os).u16(value_).ok()) setError(BCINSTRUCTIONOP_FAILED);
}

void BCNUM::loadInstance(std::istream& is, BCode* block) {
  BCInstructionOp::loadInstance(is, block);
  if (!KRFieldReader(is).u16(value_).ok()) setError(BCINSTRUCTIONOP_FAILED);
}

// ---------------------------------------------------------------------------
// BCIMM

void BCIMM::saveInstance(std::ostream& os) const {
  BCInstructionOp::saveInstance(os);
}

void BCIMM::loadInstance(std::istream& is, BCode* block) {
  BCInstructionOp::loadInstance(is, block);
}

namespace {
// Columns 0 to 49 of an immediate's row: only the test flag and the type name.
void listImmediateColumns(const BCInstructionOp& op, char* column, char* line,
                          const char* const* typeNames) {
  krLinePut(line, column + COL_WORD, "IMM");
  for (int at : {COL_NUMBER, COL_REFR, COL_STATUS}) krLinePut(line, column + at, "-");
  krLinePut(line, column + COL_TEST, testText(op));
  for (int at : {COL_AREA, COL_TYPE_INDEX}) krLinePut(line, column + at, "-");
  krLinePut(line, column + COL_TYPE_NAME, typeNameOf(typeNames, op.getDataType()));
}
}  // namespace

void BCIMM::listImmediate(std::ostream& os, char* column, char* line, const char* const* typeNames,
                          const char* format, int value) const {
  if (noLine(column, line)) return;
  listImmediateColumns(*this, column, line, typeNames);
  krLinePrintf(line, column + COL_LAST, format, value);
  store(os, column + COL_LAST, line);
}

void BCIMM::listImmediate(std::ostream& os, char* column, char* line, const char* const* typeNames,
                          const char* valueText) const {
  if (noLine(column, line)) return;
  listImmediateColumns(*this, column, line, typeNames);
  krLinePut(line, column + COL_LAST, valueText);
  store(os, column + COL_LAST, line);
}

void BCIMM::dumpImmediate(std::ostream& os) const {
  os << "   IMM  " << testText(*this) << "  " << std::setw(2)
     << static_cast<unsigned>(getDataType()) << '\n';
}

// ---------------------------------------------------------------------------
// BCCST and BCOPD: handles of table entries

BCCST::BCCST(const BCConstRef& constant) : constant_(constant) {
  if (const BCConstant* entry = constant_.ptr()) {
    setDataType(entry->getDataType());
  } else {
    setError(BCINSTRUCTIONOP_FAILED);
  }
}

int BCCST::isEqual(const BCInstructionOp& other) const {
  const BCCST* cst = sameClass<BCCST>(other);
  if (cst == nullptr || !BCInstructionOp::isEqual(other)) return 0;
  if (constant_.getIndex() == cst->constant_.getIndex()) return 1;
  const BCConstant* own = constant_.ptr();
  const BCConstant* others = cst->constant_.ptr();
  if (own == nullptr || others == nullptr) {
    setError(BCINSTRUCTIONOP_FAILED);
    return 0;
  }
  return *own == *others ? 1 : 0;
}

BCInstructionOp* BCCST::newCopy() const {
  return new (std::nothrow) BCCST(*this);
}

void BCCST::printOn(std::ostream& os, char* column, char* line,
                    const char* const* /*typeNames*/) const {
  if (noLine(column, line)) return;
  listHandle(*this, column, line, "CST", constant_.getIndex());
  if (const BCConstant* entry = constant_.ptr()) {
    entry->printOn(os, column + COL_TYPE_NAME, line);
    return;
  }
  krLinePut(line, column + COL_TYPE_NAME, "???");
  store(os, column + COL_TYPE_NAME, line);
}

void BCCST::printOn(std::ostream& os) const {
  dumpHandle(os, *this, "CST", constant_.getIndex());
  if (const BCConstant* entry = constant_.ptr()) {
    entry->printOn(os);
  } else {
    os << "*** Error: illegal constRef !\n";
  }
}

void BCCST::saveInstance(std::ostream& os) const {
  BCInstructionOp::saveInstance(os);
  if (!KRFieldWriter(os).u16(constant_.getIndex()).ok()) setError(BCINSTRUCTIONOP_FAILED);
}

void BCCST::loadInstance(std::istream& is, BCode* block) {
  BCInstructionOp::loadInstance(is, block);
  std::uint16_t index = 0;
  if (!KRFieldReader(is).u16(index).ok()) setError(BCINSTRUCTIONOP_FAILED);
  constant_ = BCConstRef(
      KRReference<BCConstant*>(index, block != nullptr ? &block->getConstList() : nullptr));
}

BCOPD::BCOPD(const BCOpRef& operand) : operand_(operand) {
  if (const BCOperand* entry = operand_.ptr()) {
    setDataType(entry->getDataType());
  } else {
    setError(BCINSTRUCTIONOP_FAILED);
  }
}

int BCOPD::identView(const BCInstructionOp& other) const {
  const BCOPD* opd = other.kind() == OPD ? sameClass<BCOPD>(other) : nullptr;
  if (opd == nullptr) return 0;
  const BCOperand* own = operand_.ptr();
  const BCOperand* others = opd->operand_.ptr();
  if (own == nullptr || others == nullptr) return 0;
  return own->identView(*others);
}

int BCOPD::isEqual(const BCInstructionOp& other) const {
  const BCOPD* opd = sameClass<BCOPD>(other);
  if (opd == nullptr || !BCInstructionOp::isEqual(other)) return 0;
  if (operand_.getIndex() == opd->operand_.getIndex()) return 1;
  const BCOperand* own = operand_.ptr();
  const BCOperand* others = opd->operand_.ptr();
  if (own == nullptr || others == nullptr) {
    setError(BCINSTRUCTIONOP_FAILED);
    return 0;
  }
  return *own == *others ? 1 : 0;
}

BCInstructionOp* BCOPD::newCopy() const {
  return new (std::nothrow) BCOPD(*this);
}

void BCOPD::printOn(std::ostream& os, char* column, char* line,
                    const char* const* typeNames) const {
  if (noLine(column, line)) return;
  listHandle(*this, column, line, "OPD", operand_.getIndex());
  krLinePut(line, column + COL_TYPE_NAME, typeNameOf(typeNames, getDataType()));
  krLinePut(line, column + COL_LAST, "-");
  store(os, column + COL_LAST, line);
}

void BCOPD::printOn(std::ostream& os) const {
  dumpHandle(os, *this, "OPD", operand_.getIndex());
  if (const BCOperand* entry = operand_.ptr()) {
    entry->printOn(os);
  } else {
    os << "*** Error: illegal opRef !\n";
  }
}

void BCOPD::saveInstance(std::ostream& os) const {
  BCInstructionOp::saveInstance(os);
  if (!KRFieldWriter(os).u16(operand_.getIndex()).ok()) setError(BCINSTRUCTIONOP_FAILED);
}

void BCOPD::loadInstance(std::istream& is, BCode* block) {
  BCInstructionOp::loadInstance(is, block);
  std::uint16_t index = 0;
  if (!KRFieldReader(is).u16(index).ok()) setError(BCINSTRUCTIONOP_FAILED);
  operand_ =
      BCOpRef(KRReference<BCOperand*>(index, block != nullptr ? &block->getOpList() : nullptr));
}

// ---------------------------------------------------------------------------

BCInstructionOp* BCInstructionOp::newOperandOfClass(unsigned tag) {
  switch (tag) {
    case BCInstructionOp::BCTMP_CLASS:
      return new (std::nothrow) BCTMP();
    case BCInstructionOp::BCNUM_CLASS:
      return new (std::nothrow) BCNUM();
    case BCInstructionOp::BCCST_CLASS:
      return new (std::nothrow) BCCST();
    case BCInstructionOp::BCOPD_CLASS:
      return new (std::nothrow) BCOPD();
    case BCInstructionOp::BCBOOLCONST_CLASS:
      return new (std::nothrow) BCBoolConst(0);
    case BCInstructionOp::BCBYTECONST_CLASS:
      return new (std::nothrow) BCByteConst(0);
    case BCInstructionOp::BCCHARCONST_CLASS:
      return new (std::nothrow) BCCharConst(0);
    case BCInstructionOp::BCWORDCONST_CLASS:
      return new (std::nothrow) BCWordConst(0);
    case BCInstructionOp::BCINTCONST_CLASS:
      return new (std::nothrow) BCIntConst(0);
    case BCInstructionOp::BCPTRCONST_CLASS:
      return new (std::nothrow) BCPtrConst();
    case BCInstructionOp::BCANYCONST_CLASS:
      return new (std::nothrow) BCAnyConst();
    default:
      return nullptr;
  }
}

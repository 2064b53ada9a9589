// A block with a few entries for the instruction tests: types 1 .. 23 and
// two INT descriptors at 24 and 25, DINT constants 5, 5, 6 at 1 .. 3, flag
// operands M 0 INT, M 0 INT, M 16 INT at 1 .. 3. Index 99 resolves nowhere.
#ifndef BCODE_TESTS_INSTR_INSTR_FIXTURE_H
#define BCODE_TESTS_INSTR_INSTR_FIXTURE_H

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

#include "bcode/code/bcode.h"
#include "bcode/const/bcconstant.h"
#include "bcode/const/bcconstlist.h"
#include "bcode/const/bcimmediate.h"
#include "bcode/instr/bcinstrop.h"
#include "bcode/instr/bcinstruction.h"
#include "bcode/operand/bcglobal.h"
#include "bcode/types/krtypetab.h"
#include "tests/support/test_util.h"

namespace instrtest {

using OpPtr = std::unique_ptr<BCInstructionOp>;

class InstrTest : public ::testing::Test {
 protected:
  InstrTest() : block(1, KR_FB_KENN), typeNames("T", 256) {
    bcInitBCode();
    block.initElemTypes();
    intA = block.getTypeTab().add(new KRElemDesc(5));
    intB = block.getTypeTab().add(new KRElemDesc(5));
    for (std::int32_t value : {5, 5, 6}) block.getConstList().add(new BCDIntConst(value));
    for (std::uint32_t offset : {0u, 0u, 16u}) block.getOpList().add(new BCoM(offset, intA));
  }

  BCConstRef constRef(std::uint16_t index) {
    return BCConstRef(KRReference<BCConstant*>(index, &block.getConstList()));
  }
  BCOpRef opRef(std::uint16_t index) {
    return BCOpRef(KRReference<BCOperand*>(index, &block.getOpList()));
  }

  // The record of `op` in hex.
  static std::string record(const BCInstructionOp& op) {
    std::ostringstream os;
    op.save(os);
    return bctest::toHex(os.str());
  }
  // An operand loaded from hex into this block.
  OpPtr load(const std::string& hex) {
    std::istringstream is(bctest::fromHex(hex));
    return OpPtr(BCInstructionOp::iload(is, &block));
  }
  // The listing line of `op` written at `column` of a fresh line.
  std::string listing(const BCInstructionOp& op, std::size_t column = 0) {
    std::ostringstream os;
    op.printOn(os, line + column, line, typeNames.get());
    return os.str();
  }
  static std::string dump(const BCInstructionOp& op) {
    std::ostringstream os;
    op.printOn(os);
    return os.str();
  }
  bool lineIsClear() const {
    for (char c : line) {
      if (c != '\0') return false;
    }
    return true;
  }

  BCode block;
  KRTypeRef intA;
  KRTypeRef intB;
  bctest::NameTable typeNames;
  char line[160] = {};
};

}  // namespace instrtest

#endif  // BCODE_TESTS_INSTR_INSTR_FIXTURE_H

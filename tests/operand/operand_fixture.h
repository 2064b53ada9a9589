// A block frame without a BCode for the operand tests: a type table, an
// interface list and both local data lists, laid out.
#ifndef BCODE_TESTS_OPERAND_OPERAND_FIXTURE_H
#define BCODE_TESTS_OPERAND_OPERAND_FIXTURE_H

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "bcode/interface/bcssb.h"
#include "bcode/interface/bcssbentry.h"
#include "bcode/localdata/bcldlist.h"
#include "bcode/operand/bcglobal.h"
#include "bcode/operand/bclocal.h"
#include "bcode/operand/bcparam.h"
#include "bcode/types/krtypedesc.h"
#include "bcode/types/krtypetab.h"

namespace optest {

using Op = std::unique_ptr<BCOperand>;

class OperandTest : public ::testing::Test {
 protected:
  // Types 1 INT, 2 INT, 3 BOOL, 4 code 254; index 99 does not resolve.
  // Own FB 7: 1 a INT, 2 b BOOL, 3 c view of 1, 4 d view of 1.
  // Son FB 9 and 10: 1 x INT. FC 4: 1 p INT, 2 q BOOL, 3 r view of 1.
  // LDD: 1 INT (0), 2 BOOL (16), 3 INT viewing 2. LSD from 32: 1 BOOL, 2 INT (16).
  OperandTest() {
    resetFlags();
    intA = types.add(new KRElemDesc(5));
    intB = types.add(new KRElemDesc(5));
    boolT = types.add(new KRElemDesc(1));
    high = types.add(new KRElemDesc(254));
    BCSSB* fb = ssbs.newSSB(7, KR_FB_KENN);
    for (const char* name : {"a", "b", "c", "d"}) {
      fb->add(new BCFBEntry(name, *name == 'b' ? boolT : intA, BCSSBEntry::BC_PARAM_IN));
    }
    fb->lookup(3)->setViewVarNo(1);
    fb->lookup(4)->setViewVarNo(1);
    fb->getLastOffset();
    for (std::uint16_t block : {9, 10}) {
      ssbs.newSSB(block, KR_FB_KENN)->add(new BCFBEntry("x", intA, BCSSBEntry::BC_PARAM_IN));
    }
    BCSSB* fc = ssbs.newSSB(4, KR_FC_KENN);
    for (const char* name : {"p", "q", "r"}) {
      fc->add(new BCFCEntry(name, *name == 'q' ? boolT : intA, BCSSBEntry::BC_PARAM_IN));
    }
    fc->lookup(3)->setViewVarNo(1);
    ldd.add(new BCLDEntry("l1", intA));
    ldd.add(new BCLDEntry("l2", boolT));
    ldd.add(new BCLDEntry("l3", intA)).ptr()->setViewVarNo(2);
    ldd.getLastOffset();
    lsd.add(new BCLDEntry("s1", boolT));
    lsd.add(new BCLDEntry("s2", intA));
    lsd.setStartOffset(32);
    lsd.getLastOffset();
  }

  static void resetFlags() {
    BCOperand::resetError();
    KRRefTable<BCOperand*>::error = KRREFTABLE_OK;
  }

  BCSSBRef fbRef(std::uint16_t parNo, std::uint16_t block = 7) {
    return BCSSBRef(block, KR_FB_KENN, parNo, &ssbs);
  }
  BCSSBRef fcRef(std::uint16_t parNo) { return BCSSBRef(4, KR_FC_KENN, parNo, &ssbs); }
  KRTypeRef missing() { return KRTypeRef(99, &types); }

  KRTypeTab types;
  BCSSBList ssbs;
  BCLDList ldd;
  BCLDList lsd;
  KRTypeRef intA, intB, boolT, high;
};

}  // namespace optest

#endif  // BCODE_TESTS_OPERAND_OPERAND_FIXTURE_H

// Operands: equality, view overlap, construction from references, implied
// data types, and the records of operands and the operand table.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>
#include <vector>

#include "tests/support/example_block.h"
#include "tests/support/record_check.h"

namespace {

using Op = std::unique_ptr<BCOperand>;
using OperandTest = bctest::FilledBlock;
using bctest::fromHex;

using Make = std::function<Op()>;

struct Pair {
  const char* what;
  Make left;
  Make right;
  int expected;
};

template <class T, class... Args>
Make make(Args... args) {
  return [=] { return Op(new T(args...)); };
}

TEST_F(OperandTest, EqualityAcrossClassesTypesAndFields) {
  const BCLDRef ldd1(1, &ldd);
  const BCLDRef lsd1(1, &lsd);
  const std::vector<Pair> pairs = {
      {"E, structurally equal types", make<BCoE>(8u, intA), make<BCoE>(8u, intB), 1},
      {"E, different types", make<BCoE>(8u, intA), make<BCoE>(8u, boolT), 0},
      {"E, different offsets", make<BCoE>(8u, intA), make<BCoE>(9u, intA), 0},
      {"E, both types unresolved", make<BCoE>(8u, missing), make<BCoE>(8u, KRTypeRef(98, &tab)), 0},
      {"E, same unresolved index", make<BCoE>(8u, missing), make<BCoE>(8u, missing), 1},
      {"E and A", make<BCoE>(8u, intA), make<BCoA>(8u, intA), 0},
      {"DBBER, other DB", make<BCoDBBER>(10, 0u, intA), make<BCoDBBER>(11, 0u, intA), 0},
      {"DBBER, same", make<BCoDBBER>(10, 0u, intA), make<BCoDBBER>(10, 0u, intB), 1},
      {"DBBER and M", make<BCoDBBER>(10, 0u, intA), make<BCoM>(0u, intA), 0},
      {"T 5 and T 5", make<BCoT>(5), make<BCoT>(5), 1},
      {"T 5 and Z 5", make<BCoT>(5), make<BCoZ>(5), 0},
      {"FB 3 and SFB 3", make<BCoFB>(3), make<BCoSFB>(3), 0},
      {"MFL 3 and MFL 4", make<BCoMFL>(3), make<BCoMFL>(4), 0},
      {"FBEP and FBAP", make<BCoFBEP>(KR_FB_KENN, fbRef(2)), make<BCoFBAP>(KR_FB_KENN, fbRef(2)),
       0},
      {"FBEP, same reference", make<BCoFBEP>(KR_FB_KENN, fbRef(2)),
       make<BCoFBEP>(KR_FB_KENN, fbRef(2)), 1},
      {"FBEP, other block kind", make<BCoFBEP>(KR_FB_KENN, fbRef(2)),
       make<BCoFBEP>(KR_SFB_KENN, fbRef(2)), 0},
      {"SFBEP, block numbers differ", make<BCoSFBEP>(KR_FB_KENN, fbRef(1, 9)),
       make<BCoSFBEP>(KR_FB_KENN, fbRef(1, 10)), 0},
      {"FCEP, same reference", make<BCoFCEP>(KR_FC_KENN, fcRef(1)),
       make<BCoFCEP>(KR_FC_KENN, fcRef(1)), 1},
      {"FCEP, other parameter", make<BCoFCEP>(KR_FC_KENN, fcRef(1)),
       make<BCoFCEP>(KR_FC_KENN, fcRef(3)), 0},
      {"ICEP, same", make<BCoICEP>(1, 2, intA), make<BCoICEP>(1, 2, intB), 1},
      {"ICEP, other call", make<BCoICEP>(1, 2, intA), make<BCoICEP>(1, 3, intA), 0},
      {"ICEP and ICAP", make<BCoICEP>(1, 2, intA), make<BCoICAP>(1, 2, intA), 0},
      {"LDD and LSD", make<BCoLDD>(ldd1), make<BCoLSD>(ldd1), 0},
      {"LDD, same number, other type", make<BCoLDD>(ldd1), make<BCoLDD>(lsd1), 1},
      {"LDD, other number", make<BCoLDD>(ldd1), make<BCoLDD>(BCLDRef(2, &ldd)), 0},
  };
  for (const Pair& pair : pairs) {
    const Op left = pair.left();
    const Op right = pair.right();
    EXPECT_EQ(*left == *right, pair.expected) << pair.what;
    EXPECT_EQ(*right == *left, pair.expected) << pair.what;
  }
  EXPECT_EQ(BCOperand::getError(), 0);
}

TEST_F(OperandTest, IsEqualWithAnotherClassAnswersWithoutCasting) {
  const Op all[] = {Op(new BCoE(1, intA)),
                    Op(new BCoDBBER(1, 1, intA)),
                    Op(new BCoMFL(1)),
                    Op(new BCoT(1)),
                    Op(new BCoOB(1)),
                    Op(new BCoFBEP(KR_FB_KENN, fbRef(1))),
                    Op(new BCoSFCEP(KR_FC_KENN, fcRef(1))),
                    Op(new BCoICEP(1, 1, intA)),
                    Op(new BCoLDD(BCLDRef(1, &ldd)))};
  for (const Op& left : all) {
    for (const Op& right : all) {
      if (left->kind() == right->kind()) continue;
      EXPECT_EQ(left->isEqual(*right), 0);
      EXPECT_EQ(left->identView(*right), 0);
    }
  }
}

TEST_F(OperandTest, ViewOverlapInBothDirections) {
  const std::vector<Pair> pairs = {
      {"FB view and its variable", make<BCoFBEP>(KR_FB_KENN, fbRef(3)),
       make<BCoFBAP>(KR_FB_KENN, fbRef(1)), 1},
      {"two FB views of one variable", make<BCoFBEP>(KR_FB_KENN, fbRef(3)),
       make<BCoFBDP>(KR_FB_KENN, fbRef(4)), 1},
      {"two plain FB parameters", make<BCoFBEP>(KR_FB_KENN, fbRef(1)),
       make<BCoFBEP>(KR_FB_KENN, fbRef(2)), 0},
      {"a plain FB parameter with itself", make<BCoFBEP>(KR_FB_KENN, fbRef(1)),
       make<BCoFBEP>(KR_FB_KENN, fbRef(1)), 0},
      {"FC view and its variable", make<BCoFCEP>(KR_FC_KENN, fcRef(3)),
       make<BCoFCAP>(KR_FC_KENN, fcRef(1)), 1},
      {"FB and FC", make<BCoFBEP>(KR_FB_KENN, fbRef(3)), make<BCoFCEP>(KR_FC_KENN, fcRef(1)), 0},
      {"LDD view and its variable", make<BCoLDD>(BCLDRef(3, &ldd)), make<BCoLDD>(BCLDRef(2, &ldd)),
       1},
      {"two plain LDD variables", make<BCoLDD>(BCLDRef(1, &ldd)), make<BCoLDD>(BCLDRef(2, &ldd)),
       0},
      {"LDD and LSD", make<BCoLDD>(BCLDRef(3, &ldd)), make<BCoLSD>(BCLDRef(2, &ldd)), 0},
      {"ICALL parameters", make<BCoICEP>(1, 1, intA), make<BCoICEP>(1, 1, intA), 0},
      {"area variables", make<BCoE>(0u, intA), make<BCoE>(0u, intA), 0},
  };
  for (const Pair& pair : pairs) {
    const Op left = pair.left();
    const Op right = pair.right();
    EXPECT_EQ(left->identView(*right), pair.expected) << pair.what;
    EXPECT_EQ(right->identView(*left), pair.expected) << pair.what;
  }
}

TEST_F(OperandTest, SonParametersOnlyOverlapOwnOnes) {
  const BCoSFBEP son(KR_FB_KENN, fbRef(3));  // names the view c of block 7
  const BCoFBEP own(KR_FB_KENN, fbRef(1));
  EXPECT_EQ(son.identView(own), 1);
  EXPECT_EQ(own.identView(son), 0);
  EXPECT_EQ(son.identView(BCoSFBEP(KR_FB_KENN, fbRef(1))), 0);
}

TEST_F(OperandTest, UnresolvableReferencesLeaveDefaultsAndFlagOne) {
  const std::vector<Make> makers = {
      make<BCoFBEP>(KR_FB_KENN, fbRef(9)),      make<BCoFCDP>(KR_FC_KENN, BCSSBRef()),
      make<BCoSFBAP>(KR_FB_KENN, fbRef(1, 11)), make<BCoSFCEP>(KR_FC_KENN, fcRef(0)),
      make<BCoLDD>(BCLDRef(4, &ldd)),           make<BCoLSD>(BCLDRef()),
  };
  for (const Make& maker : makers) {
    bcInitBCode();
    const Op op = maker();
    EXPECT_EQ(BCOperand::getError(), 1);
    EXPECT_EQ(op->getTypeRef().getIndex(), 0);
    EXPECT_EQ(op->getDataType(), 0);
    if (const auto* param = dynamic_cast<const BCParam*>(op.get())) {
      EXPECT_EQ(param->getBlockKind(), 0);
    }
  }
  bcInitBCode();
  EXPECT_EQ(BCoSFBAP(KR_FB_KENN, fbRef(1, 11)).getBlockNo(), 0);
}

TEST_F(OperandTest, LocalDataOffsetsAndViews) {
  const BCoLSD lsd2(BCLDRef(2, &lsd));
  EXPECT_EQ(lsd2.getRelOffset(), 16u);
  EXPECT_EQ(lsd2.getOffset(), 48u);
  const BCoLDD view(BCLDRef(3, &ldd));
  EXPECT_EQ(view.getRelOffset(), 16u);
  EXPECT_EQ(view.getVarNo(), 3);
  EXPECT_EQ(view.getDataType(), 5);  // its own type, not the viewed BOOL
  EXPECT_EQ(view.getLDDRef().getListPtr(), &ldd);
  EXPECT_EQ(BCOperand::getError(), 0);

  ldd.lookup(BCLDRef(3, &ldd))->setViewVarNo(7);  // names no variable
  const BCoLDD broken(BCLDRef(3, &ldd));
  EXPECT_EQ(BCOperand::getError(), 1);
  bcInitBCode();
  EXPECT_EQ(BCoLDD(BCLDRef(1, nullptr)).getOffset(), 0u);
  EXPECT_EQ(BCOperand::getError(), 1);
}

TEST_F(OperandTest, ImpliedDataTypesAndFamilies) {
  const struct {
    Op op;
    unsigned char type;
    BCOperand::KIND kind;
  } cases[] = {
      {Op(new BCoMFL(1)), 1, BCOperand::K_MFL},
      {Op(new BCoT(1)), 29, BCOperand::K_FCTELEM},
      {Op(new BCoZ(1)), 28, BCOperand::K_FCTELEM},
      {Op(new BCoOB(1)), 0, BCOperand::K_BLOCK},
      {Op(new BCoFB(1)), 23, BCOperand::K_BLOCK},
      {Op(new BCoSFB(1)), 23, BCOperand::K_BLOCK},
      {Op(new BCoFC(1)), 24, BCOperand::K_BLOCK},
      {Op(new BCoSFC(1)), 24, BCOperand::K_BLOCK},
      {Op(new BCoDB(1)), 25, BCOperand::K_BLOCK},
      {Op(new BCoSDB(1)), 26, BCOperand::K_BLOCK},
      {Op(new BCoICall(1)), 0, BCOperand::K_BLOCK},
      {Op(new BCoE(0, high)), 254, BCOperand::K_GLOBVAR},
      {Op(new BCoPA(0, missing)), 0, BCOperand::K_GLOBVAR},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.op->getDataType(), c.type) << c.op->isA();
    EXPECT_EQ(c.op->kind(), c.kind) << c.op->isA();
  }
}

// Every class: its record (exact bytes for a sample of classes), which loads
// back equal and of its class; every prefix fails and so does every short save.
TEST_F(OperandTest, RecordsOfEveryClass) {
  const bctest::RecordFlag flag = bctest::libraryFlag("operand", 1, 1, true);
  struct Case {
    Op op;
    const char* hex;
  };
  const Case cases[] = {
      {Op(new BCoE(300, intA)), "01 05 00 2C 01 00 00"},
      {Op(new BCoA(2, intB)), ""},
      {Op(new BCoM(3, boolT)), ""},
      {Op(new BCoPE(4, high)), ""},
      {Op(new BCoPA(0xFFFFFFFF, intA)), ""},
      {Op(new BCoMFL(6)), ""},
      {Op(new BCoFBEP(KR_FB_KENN, fbRef(1))), ""},
      {Op(new BCoFBAP(KR_FB_KENN, fbRef(2))), "08 01 00 02 00 02 07 00 10 00 00 00"},
      {Op(new BCoFBDP(KR_FB_KENN, fbRef(3))), ""},
      {Op(new BCoFCEP(KR_FC_KENN, fcRef(1))), ""},
      {Op(new BCoFCAP(KR_FC_KENN, fcRef(2))), ""},
      {Op(new BCoFCDP(KR_FC_KENN, fcRef(2))), "0C 01 00 02 00 04 04 00"},
      {Op(new BCoSFBEP(KR_FB_KENN, fbRef(1, 9))), "0D 05 00 01 00 02 09 00 00 00 00 00 09 00"},
      {Op(new BCoSFBAP(KR_FB_KENN, fbRef(1, 10))), ""},
      {Op(new BCoSFBDP(KR_FB_KENN, fbRef(4))), ""},
      {Op(new BCoSFCEP(KR_FC_KENN, fcRef(1))), ""},
      {Op(new BCoSFCAP(KR_FC_KENN, fcRef(3))), "11 05 00 03 00 04 04 00 04 00"},
      {Op(new BCoSFCDP(KR_FC_KENN, fcRef(3))), ""},
      {Op(new BCoLSD(BCLDRef(2, &lsd))), "13 05 00 02 00 10 00 00 00"},
      {Op(new BCoLDD(BCLDRef(2, &ldd))), ""},
      {Op(new BCoDBBER(10, 4, intA)), "15 05 00 04 00 00 00 0A 00"},
      {Op(new BCoT(7)), "16 07 00"},
      {Op(new BCoZ(23)), ""},
      {Op(new BCoOB(24)), ""},
      {Op(new BCoFB(25)), ""},
      {Op(new BCoFC(26)), ""},
      {Op(new BCoSFB(27)), ""},
      {Op(new BCoSFC(28)), ""},
      {Op(new BCoDB(29)), ""},
      {Op(new BCoSDB(30)), ""},
      {Op(new BCoICall(31)), ""},
      {Op(new BCoICEP(32, 1, intA)), ""},
      {Op(new BCoICAP(3, 4, intA)), "21 05 00 08 03 00 04 00"},
  };
  const auto load = [](std::istream& is) { return BCOperand::iload(is, nullptr); };
  for (const Case& c : cases) {
    const Op back = bctest::checkRecord(*c.op, load, flag, c.hex);
    ASSERT_NE(back, nullptr) << c.op->isA();
    EXPECT_EQ(*back == *c.op, 1) << c.op->isA();
  }
  const auto reload = [](const BCOperand& op) {
    std::istringstream is(bctest::recordOf(op));
    return Op(BCOperand::iload(is, nullptr));
  };
  std::vector<Op> all;
  for (const Case& c : cases) all.push_back(Op(c.op->newCopy()));
#define BC_X(tag, Class, ...) bctest::expectClassOfTag<Class>(all, BCOperand::tag, #Class, reload);
#include "bcode/operand/bcoperand.def"
#undef BC_X
  for (const char* hex : {"00 01 00", "22 01 00", "FF"}) {
    bcInitBCode();
    std::istringstream is(fromHex(hex));
    EXPECT_EQ(load(is), nullptr) << hex;
    EXPECT_EQ(BCOperand::getError(), 1) << hex;
  }
  // A flag left set fails the next load even of a good record.
  std::istringstream good(fromHex("16 07 00"));
  EXPECT_EQ(load(good), nullptr);
}

// Every prefix and every single-byte change of a table record loads to a
// table or to null with a flag, without crash or leak.
TEST_F(OperandTest, TableRecordKeepsEmptySlotsAndFailsCleanly) {
  const bctest::RecordFlag flag = bctest::libraryFlag("operand table", 2, 3);
  const auto load = [](std::istream& is) { return BCOperandList::iload(is, nullptr); };
  bctest::checkRecord(BCOperandList(), load, flag, "01 00");
  BCOperandList table;
  table.add(new BCoT(7));
  table.add(nullptr);
  table.add(new BCoZ(8));
  const auto back = bctest::checkRecord(table, load, flag, "04 00 01 16 07 00 00 01 17 08 00");
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->entryAt(2), nullptr);
  EXPECT_EQ(back->entryAt(3)->isA(), BCOperand::CT_Z);
  table.add(new BCoSFBEP(KR_FB_KENN, fbRef(1, 9)));
  table.add(new BCoLDD(BCLDRef(3, &ldd)));
  table.add(new BCoICEP(1, 2, intA));
  EXPECT_GT(bctest::checkCorruptRecords(bctest::recordOf(table), load, flag,
                                        {0x00, 0x01, 0x02, 0x13, 0x14, 0x21, 0x22, 0x80, 0xFF}),
            0);
}

// Loading binds every reference to the lists of the block loaded into.
TEST_F(OperandTest, ReferencesBindToTheLoadingBlock) {
  std::istringstream is(
      fromHex("04 00 01 0D 05 00 01 00 02 09 00 00 00 00 00 09 00"
              "01 13 01 00 01 00 00 00 00 00 01 14 01 00 01 00 00 00 00 00"));
  const std::unique_ptr<BCOperandList> table(BCOperandList::iload(is, &block));
  ASSERT_NE(table, nullptr);
  const auto* son = dynamic_cast<const BCoSFBEP*>(table->entryAt(1));
  ASSERT_NE(son, nullptr);
  EXPECT_EQ(son->getSSBRef().getList(), &block.getSSBList());
  EXPECT_EQ(son->getTypeRef().getTable(), &tab);
  EXPECT_EQ(son->getDataType(), KR_DT_INT);
  EXPECT_EQ(son->getBlockNo(), 9);
  const auto* lsdOp = dynamic_cast<const BCoLSD*>(table->entryAt(2));
  ASSERT_NE(lsdOp, nullptr);
  EXPECT_EQ(lsdOp->getLSDRef().getListPtr(), &lsd);
  const auto* lddOp = dynamic_cast<const BCoLDD*>(table->entryAt(3));
  ASSERT_NE(lddOp, nullptr);
  EXPECT_EQ(lddOp->getLDDRef().getListPtr(), &ldd);
  EXPECT_EQ(BCOperand::getError(), 0);
}

}  // namespace

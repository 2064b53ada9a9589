// Equality, view overlap, construction from references and the operand table.
#include <functional>
#include <vector>

#include "tests/operand/operand_fixture.h"

namespace optest {
namespace {

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
      {"E, both types unresolved", make<BCoE>(8u, missing()), make<BCoE>(8u, KRTypeRef(98, &types)),
       0},
      {"E, same unresolved index", make<BCoE>(8u, missing()), make<BCoE>(8u, missing()), 1},
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
    resetFlags();
    const Op op = maker();
    EXPECT_EQ(BCOperand::getError(), 1);
    EXPECT_EQ(op->getTypeRef().getIndex(), 0);
    EXPECT_EQ(op->getDataType(), 0);
    if (const auto* param = dynamic_cast<const BCParam*>(op.get())) {
      EXPECT_EQ(param->getBlockKind(), 0);
    }
  }
  resetFlags();
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
  resetFlags();
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
      {Op(new BCoPA(0, missing())), 0, BCOperand::K_GLOBVAR},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.op->getDataType(), c.type) << c.op->isA();
    EXPECT_EQ(c.op->kind(), c.kind) << c.op->isA();
  }
}

TEST_F(OperandTest, NewCopyIsEqualAndSeparate) {
  const BCoFB block(3);
  const Op copy(block.newCopy());
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy.get(), &block);
  EXPECT_EQ(*copy == block, 1);
  const BCoSFBDP son(KR_FB_KENN, fbRef(1, 9));
  EXPECT_EQ(*Op(son.newCopy()) == son, 1);
}

TEST_F(OperandTest, ReferencesToEmptySlotsYieldNoOperand) {
  BCOperandList table;
  EXPECT_TRUE(BCOperandListIterator(table).end());
  const BCOpRef empty = table.add(nullptr);
  const BCOpRef timer = table.add(new BCoT(7));
  EXPECT_EQ(BCOpRef().ptr(), nullptr);
  EXPECT_EQ(empty.ptr(), nullptr);
  EXPECT_EQ(timer.ptr()->isA(), BCOperand::CT_T);
  EXPECT_EQ(BCOperandListIterator(table).current(), timer.ptr());
}

}  // namespace
}  // namespace optest

// Instruction operands and immediates: equality, records, listing rows, dumps.
#include <vector>

#include "tests/instr/instr_fixture.h"

namespace instrtest {
namespace {

BCTMP tmp(unsigned char type, std::uint32_t no, BCTMP::STATUS_TYPE status = BCTMP::TMG,
          BCTMP::AREA_TYPE area = BCTMP::L_AREA, KRTypeRef ref = KRTypeRef()) {
  return BCTMP(type, no, status, area, ref);
}

template <class Op, class Change>
Op with(Op op, Change change) {
  change(op);
  return op;
}

TEST_F(InstrTest, EqualityComparesClassThenFields) {
  const KRTypeRef unresolved(99, &block.getTypeTab());
  struct Case {
    const char* what;
    OpPtr a;
    OpPtr b;
    bool equal;
  };
  Case cases[] = {
      {"temporaries of different data types", OpPtr(tmp(5, 1).newCopy()),
       OpPtr(tmp(4, 1).newCopy()), false},
      {"temporaries without types", OpPtr(tmp(5, 1).newCopy()), OpPtr(tmp(5, 1).newCopy()), true},
      {"temporaries of different status", OpPtr(tmp(5, 1).newCopy()),
       OpPtr(tmp(5, 1, BCTMP::TML).newCopy()), false},
      {"temporaries of different area", OpPtr(tmp(5, 1).newCopy()),
       OpPtr(tmp(5, 1, BCTMP::TMG, BCTMP::G_AREA).newCopy()), false},
      {"temporaries of equal distinct types",
       OpPtr(tmp(5, 1, BCTMP::TMG, BCTMP::L_AREA, intA).newCopy()),
       OpPtr(tmp(5, 1, BCTMP::TMG, BCTMP::L_AREA, intB).newCopy()), true},
      {"temporaries with an unresolved type",
       OpPtr(tmp(5, 1, BCTMP::TMG, BCTMP::L_AREA, intA).newCopy()),
       OpPtr(tmp(5, 1, BCTMP::TMG, BCTMP::L_AREA, unresolved).newCopy()), false},
      {"a temporary with a reference flag", OpPtr(tmp(5, 1).newCopy()),
       OpPtr(with(tmp(5, 1), [](BCTMP& t) { t.setRefrFlag(BCInstructionOp::REFR); }).newCopy()),
       false},
      {"a temporary with a text position", OpPtr(tmp(5, 1).newCopy()),
       OpPtr(with(tmp(5, 1), [](BCTMP& t) { t.setTextPos(KRTextPos(3, 4)); }).newCopy()), true},
      {"a number and a temporary", OpPtr(new BCNUM(1)), OpPtr(tmp(0, 1).newCopy()), false},
      {"numbers with different test flags", OpPtr(new BCNUM(3)),
       OpPtr(with(BCNUM(3), [](BCNUM& n) { n.setTestFlag(1); }).newCopy()), true},
      {"different numbers", OpPtr(new BCNUM(3)), OpPtr(new BCNUM(4)), false},
      {"a word and its copy with a test flag", OpPtr(new BCWordConst(7)),
       OpPtr(with(BCWordConst(7), [](BCWordConst& w) { w.setTestFlag(1); }).newCopy()), true},
      {"a word and an int of equal value", OpPtr(new BCWordConst(7)), OpPtr(new BCIntConst(7)),
       false},
      {"a byte and a char of equal value", OpPtr(new BCByteConst(65)), OpPtr(new BCCharConst(65)),
       false},
      {"two null pointers", OpPtr(new BCPtrConst()), OpPtr(new BCPtrConst()), true},
      {"a null pointer and a null ANY", OpPtr(new BCPtrConst()), OpPtr(new BCAnyConst()), false},
      {"ints of different value", OpPtr(new BCIntConst(-5)), OpPtr(new BCIntConst(5)), false},
      {"constants of the same index", OpPtr(new BCCST(constRef(1))), OpPtr(new BCCST(constRef(1))),
       true},
      {"constants of equal value", OpPtr(new BCCST(constRef(1))), OpPtr(new BCCST(constRef(2))),
       true},
      {"constants of different value", OpPtr(new BCCST(constRef(1))), OpPtr(new BCCST(constRef(3))),
       false},
      {"operands of equal fields", OpPtr(new BCOPD(opRef(1))), OpPtr(new BCOPD(opRef(2))), true},
      {"operands of different offsets", OpPtr(new BCOPD(opRef(1))), OpPtr(new BCOPD(opRef(3))),
       false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(*c.a == *c.b, c.equal) << c.what;
    EXPECT_EQ(*c.b == *c.a, c.equal) << c.what << " (reversed)";
  }
  EXPECT_EQ(BCInstructionOp::getError(), BCInstructionOp::BCINSTRUCTIONOP_OK);
}

TEST_F(InstrTest, UnresolvedHandlesRaiseTheFlag) {
  BCCST named(constRef(99));
  EXPECT_EQ(BCInstructionOp::getError(), BCInstructionOp::BCINSTRUCTIONOP_FAILED);
  EXPECT_EQ(named.getDataType(), 0);
  BCInstructionOp::resetError();

  // The same index compares equal without resolving anything.
  EXPECT_TRUE(named == BCCST(constRef(99)));
  BCInstructionOp::resetError();
  // Different indices are resolved; one that does not resolve is unequal.
  OpPtr loadedMissing = load("02 07 01 00 63 00");
  ASSERT_NE(loadedMissing, nullptr);
  EXPECT_FALSE(BCCST(constRef(1)) == *loadedMissing);
  EXPECT_EQ(BCInstructionOp::getError(), BCInstructionOp::BCINSTRUCTIONOP_FAILED);
  BCInstructionOp::resetError();

  BCOPD missing(opRef(99));
  EXPECT_EQ(BCInstructionOp::getError(), BCInstructionOp::BCINSTRUCTIONOP_FAILED);
  BCInstructionOp::resetError();
  OpPtr loadedOpd = load("03 05 01 00 63 00");
  ASSERT_NE(loadedOpd, nullptr);
  EXPECT_FALSE(BCOPD(opRef(1)) == *loadedOpd);
  EXPECT_EQ(BCInstructionOp::getError(), BCInstructionOp::BCINSTRUCTIONOP_FAILED);
  EXPECT_EQ(BCOPD(opRef(1)).identView(missing), 0);
  EXPECT_EQ(BCOPD(opRef(1)).identView(BCNUM(1)), 0);
}

TEST_F(InstrTest, KindPredicates) {
  struct Case {
    OpPtr op;
    BCInstructionOp::OP_KIND kind;
    bool isTmp, isLValue, isLeaf;
  };
  Case cases[] = {
      {OpPtr(tmp(5, 1).newCopy()), BCInstructionOp::TMP, true, false, false},
      {OpPtr(new BCNUM(1)), BCInstructionOp::NUM, false, false, true},
      {OpPtr(new BCBoolConst(1)), BCInstructionOp::IMM, false, false, true},
      {OpPtr(new BCAnyConst()), BCInstructionOp::IMM, false, false, true},
      {OpPtr(new BCCST(constRef(1))), BCInstructionOp::CST, false, false, true},
      {OpPtr(new BCOPD(opRef(1))), BCInstructionOp::OPD, false, true, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.op->kind(), c.kind);
    EXPECT_EQ(c.op->isTMP(), c.isTmp) << c.kind;
    EXPECT_EQ(c.op->isLValue(), c.isLValue) << c.kind;
    EXPECT_EQ(c.op->isLeaf(), c.isLeaf) << c.kind;
  }
}

// Each operand class of the class tables: its record, which loads back
// equal, of its class and without its text position; every shorter prefix
// fails to load; every short stream stops the save with the flag set.
TEST_F(InstrTest, RecordsRoundTrip) {
  struct Case {
    OpPtr op;
    const char* hex;
  };
  Case cases[] = {
      {OpPtr(new BCNUM(300)), "01 00 01 00 2C 01"},
      {OpPtr(new BCWordConst(0x1234)), "07 04 01 00 34 12"},
      {OpPtr(tmp(5, 0x01020304, BCTMP::TML, BCTMP::G_AREA, intA).newCopy()),
       "00 05 01 00 18 00 04 03 02 01 01 01"},
      {OpPtr(new BCCST(constRef(2))), "02 07 01 00 02 00"},
      {OpPtr(new BCOPD(opRef(3))), "03 05 01 00 03 00"},
      {OpPtr(new BCBoolConst(1)), "04 01 01 00 01"},
      {OpPtr(new BCByteConst(10)), "05 02 01 00 0A"},
      {OpPtr(new BCCharConst('A')), "06 03 01 00 41"},
      {OpPtr(new BCIntConst(-5)), "08 05 01 00 FB FF"},
      {OpPtr(new BCPtrConst()), "09 14 01 00 01"},
      {OpPtr(new BCAnyConst()), "0A 16 01 00 01"},
  };
  for (Case& c : cases) {
    c.op->setTextPos(KRTextPos(7, 8));
    c.op->setTestFlag(0);
    EXPECT_EQ(record(*c.op), c.hex);
    OpPtr loaded = load(c.hex);
    ASSERT_NE(loaded, nullptr) << c.hex;
    EXPECT_TRUE(*loaded == *c.op) << c.hex;
    EXPECT_FALSE(loaded->getTextPos().isKnown()) << c.hex;

    const std::string bytes = bctest::fromHex(c.hex);
    for (std::size_t size = 0; size < bytes.size(); ++size) {
      BCInstructionOp::resetError();
      EXPECT_EQ(load(bctest::toHex(bytes.substr(0, size))), nullptr) << c.hex << " / " << size;
      EXPECT_EQ(BCInstructionOp::getError(), BCInstructionOp::BCINSTRUCTIONOP_FAILED);

      BCInstructionOp::resetError();
      bctest::LimitedBuf buf(size);
      std::ostream os(&buf);
      c.op->save(os);
      EXPECT_EQ(BCInstructionOp::getError(), BCInstructionOp::BCINSTRUCTIONOP_FAILED);
      EXPECT_EQ(buf.bytes(), bytes.substr(0, size));
    }
    BCInstructionOp::resetError();
  }
  std::vector<OpPtr> samples;
  for (const Case& c : cases) samples.push_back(OpPtr(c.op->newCopy()));
  const auto reload = [this](const BCInstructionOp& op) { return load(record(op)); };
#define BC_X(tag, Class, ...) \
  bctest::expectClassOfTag<Class>(samples, BCInstructionOp::tag, #Class, reload);
#include "bcode/const/bcimmediate.def"
#include "bcode/instr/bcinstrop.def"
#undef BC_X
}

TEST_F(InstrTest, LoadedHandlesBindToTheLoadingBlock) {
  OpPtr cst = load("02 07 01 00 03 00");
  ASSERT_NE(cst, nullptr);
  const auto& ref = static_cast<const BCCST&>(*cst).getConstRef();
  EXPECT_EQ(ref.getTable(), &block.getConstList());
  EXPECT_EQ(ref.ptr(), block.getConstList().entryAt(3));

  OpPtr t = load("00 05 00 01 19 00 01 00 00 00 00 00");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(static_cast<const BCTMP&>(*t).getTypeRef().ptr(), intB.ptr());
  EXPECT_EQ(t->getRefrFlag(), BCInstructionOp::REFR);
  EXPECT_EQ(t->getTestFlag(), 1);
}

TEST_F(InstrTest, UnknownClassTagFailsTheLoad) {
  EXPECT_EQ(load("0B 00 01 00"), nullptr);
  EXPECT_EQ(BCInstructionOp::getError(), BCInstructionOp::BCINSTRUCTIONOP_FAILED);
  BCInstructionOp::resetError();
  EXPECT_EQ(load("FF"), nullptr);
  EXPECT_EQ(BCInstructionOp::getError(), BCInstructionOp::BCINSTRUCTIONOP_FAILED);
}

// Columns 0, 8, 17, 26, 33, 38, 42, 49 and 59 of an operand row.
constexpr const char* kImmRow = "IMM     -        -        -      n    -   -      ";

TEST_F(InstrTest, ImmediatesListTheirValueAtColumn59) {
  struct Case {
    OpPtr op;
    std::string line;
  };
  Case cases[] = {
      {OpPtr(new BCWordConst(0xBEEF)), std::string(kImmRow) + "T4        0xbeef\n"},
      {OpPtr(new BCByteConst(10)), std::string(kImmRow) + "T2        0x0a\n"},
      {OpPtr(new BCIntConst(-5)), std::string(kImmRow) + "T5        -5\n"},
      {OpPtr(new BCBoolConst(1)), std::string(kImmRow) + "T1        1\n"},
      {OpPtr(new BCCharConst(65)), std::string(kImmRow) + "T3        A\n"},
      {OpPtr(new BCPtrConst()), std::string(kImmRow) + "T20       NIL\n"},
      {OpPtr(new BCAnyConst()), std::string(kImmRow) + "T22       NIL\n"},
      {load("09 14 01 00 00"), std::string(kImmRow) + "T20       ???\n"},
  };
  for (const Case& c : cases) {
    ASSERT_NE(c.op, nullptr);
    EXPECT_EQ(listing(*c.op), c.line);
    EXPECT_TRUE(lineIsClear());
  }
  OpPtr tested(new BCWordConst(1));
  tested->setTestFlag(1);
  EXPECT_EQ(listing(*tested, 3).substr(36, 1), "t");
}

TEST_F(InstrTest, OperandRows) {
  BCTMP odd = tmp(5, 1, static_cast<BCTMP::STATUS_TYPE>(5));
  EXPECT_EQ(listing(odd), "TMP     1        NO_REFR  ???    n    L   -      T5        -\n");
  BCTMP typed = tmp(5, 12, BCTMP::TMT, BCTMP::G_AREA, intA);
  typed.setRefrFlag(BCInstructionOp::REFR);
  typed.setTestFlag(1);
  EXPECT_EQ(listing(typed, 2), "  TMP     12       REFR     TMT    t    G   24     T5        -\n");
  EXPECT_EQ(listing(BCNUM(300)), "NUM     300      -        -      -    -   -      -         -\n");
  EXPECT_EQ(listing(BCOPD(opRef(2))),
            "OPD     2        NO_REFR  -      n    -   -      T5        -\n");
  // The constant writes its own columns from column 49 on.
  EXPECT_EQ(listing(BCCST(constRef(3))),
            "CST     3        NO_REFR  -      n    -   -      DINT      6\n");
  BCCST missing(constRef(99));
  EXPECT_EQ(listing(missing), "CST     99       NO_REFR  -      n    -   -      ???\n");
  EXPECT_TRUE(lineIsClear());
  // Without a line nothing is written.
  std::ostringstream os;
  for (const BCInstructionOp* op : {static_cast<const BCInstructionOp*>(&typed),
                                    static_cast<const BCInstructionOp*>(&missing)}) {
    op->printOn(os, nullptr, nullptr, typeNames.get());
  }
  BCWordConst(1).printOn(os, line, nullptr, nullptr);
  EXPECT_EQ(os.str(), "");
}

TEST_F(InstrTest, HighDataTypeCodesUseEntries30And31) {
  OpPtr opd = load("03 FF 01 00 01 00");
  ASSERT_NE(opd, nullptr);
  EXPECT_EQ(listing(*opd).substr(49, 4), "T31 ");
  OpPtr imm = load("07 FE 01 00 01 00");
  ASSERT_NE(imm, nullptr);
  EXPECT_EQ(listing(*imm).substr(49, 4), "T30 ");
}

TEST_F(InstrTest, Dumps) {
  EXPECT_EQ(dump(BCIntConst(-5)), "     -5   IMM  n   5\n");
  EXPECT_EQ(dump(BCCharConst('x')), "      x   IMM  n   3\n");
  EXPECT_EQ(dump(BCPtrConst()), "NIL   IMM  n  20\n");
  EXPECT_EQ(dump(BCNUM(42)), "     42   NUM\n");
  EXPECT_EQ(dump(tmp(5, 1, static_cast<BCTMP::STATUS_TYPE>(5))), "      1     n   5  L\n");
  EXPECT_EQ(dump(tmp(5, 3, BCTMP::TML, BCTMP::G_AREA)), "      3   TML  n   5   \n");
  EXPECT_EQ(dump(BCCST(constRef(99))), "     99   CST  n   0      *** Error: illegal constRef !\n");
  BCInstructionOp::resetError();
  EXPECT_EQ(dump(BCOPD(opRef(99))), "     99   OPD  n   0      *** Error: illegal opRef !\n");
  // A resolvable entry continues the line with its own dump.
  EXPECT_EQ(dump(BCCST(constRef(1))).rfind("      1   CST  n   7      ", 0), 0u);
}

}  // namespace
}  // namespace instrtest

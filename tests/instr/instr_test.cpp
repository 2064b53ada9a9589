// Instruction operands, immediates and instructions: equality, roles,
// records, listing rows, dumps and the backward searches of the list.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/example_block.h"
#include "tests/support/record_check.h"

namespace {

using OpPtr = std::unique_ptr<BCInstructionOp>;
using IC = BCInstruction;
using bctest::hexOf;
using bctest::toHex;

class InstrTest : public bctest::FilledBlock {
 protected:
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
  template <class Printable>
  static std::string dump(const Printable& p) {
    std::ostringstream os;
    p.printOn(os);
    return os.str();
  }
};

BCTMP tmp(unsigned char type, std::uint32_t no, BCTMP::STATUS_TYPE status = BCTMP::TMG,
          BCTMP::AREA_TYPE area = BCTMP::L_AREA, KRTypeRef ref = KRTypeRef()) {
  return BCTMP(type, no, status, area, ref);
}

// A copy of `op` on the heap, changed by `change`.
template <class Op>
OpPtr copy(Op op, void (*change)(Op&) = nullptr) {
  if (change != nullptr) change(op);
  return OpPtr(op.newCopy());
}

TEST_F(InstrTest, EqualityComparesClassThenFields) {
  const KRTypeRef unresolved(99, &block.getTypeTab());
  const BCTMP plain = tmp(5, 1);
  struct Case {
    const char* what;
    OpPtr a;
    OpPtr b;
    bool equal;
  };
  Case cases[] = {
      {"temporaries of different data types", copy(plain), copy(tmp(4, 1)), false},
      {"temporaries without types", copy(plain), copy(tmp(5, 1)), true},
      {"temporaries of different status", copy(plain), copy(tmp(5, 1, BCTMP::TML)), false},
      {"temporaries of different area", copy(plain), copy(tmp(5, 1, BCTMP::TMG, BCTMP::G_AREA)),
       false},
      {"temporaries of equal distinct types", copy(tmp(5, 1, BCTMP::TMG, BCTMP::L_AREA, intA)),
       copy(tmp(5, 1, BCTMP::TMG, BCTMP::L_AREA, intB)), true},
      {"temporaries with an unresolved type", copy(tmp(5, 1, BCTMP::TMG, BCTMP::L_AREA, intA)),
       copy(tmp(5, 1, BCTMP::TMG, BCTMP::L_AREA, unresolved)), false},
      {"a temporary with a reference flag", copy(plain),
       copy(
           plain, +[](BCTMP& t) { t.setRefrFlag(BCInstructionOp::REFR); }),
       false},
      {"a temporary with a text position", copy(plain),
       copy(
           plain, +[](BCTMP& t) { t.setTextPos(KRTextPos(3, 4)); }),
       true},
      {"a number and a temporary", copy(BCNUM(1)), copy(tmp(0, 1)), false},
      {"numbers with different test flags", copy(BCNUM(3)),
       copy(
           BCNUM(3), +[](BCNUM& n) { n.setTestFlag(1); }),
       true},
      {"different numbers", copy(BCNUM(3)), copy(BCNUM(4)), false},
      {"a word and its copy with a test flag", copy(BCWordConst(7)),
       copy(
           BCWordConst(7), +[](BCWordConst& w) { w.setTestFlag(1); }),
       true},
      {"a word and an int of equal value", copy(BCWordConst(7)), copy(BCIntConst(7)), false},
      {"a byte and a char of equal value", copy(BCByteConst(65)), copy(BCCharConst(65)), false},
      {"two null pointers", copy(BCPtrConst()), copy(BCPtrConst()), true},
      {"a null pointer and a null ANY", copy(BCPtrConst()), copy(BCAnyConst()), false},
      {"ints of different value", copy(BCIntConst(-5)), copy(BCIntConst(5)), false},
      {"constants of the same index", copy(BCCST(constRef(1))), copy(BCCST(constRef(1))), true},
      {"constants of equal value", copy(BCCST(constRef(1))), copy(BCCST(constRef(2))), true},
      {"constants of different value", copy(BCCST(constRef(1))), copy(BCCST(constRef(3))), false},
      {"operands of equal fields", copy(BCOPD(opRef(1))), copy(BCOPD(opRef(2))), true},
      {"operands of different offsets", copy(BCOPD(opRef(1))), copy(BCOPD(opRef(3))), false},
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
       "00 05 01 00 05 00 04 03 02 01 01 01"},
      {OpPtr(new BCCST(constRef(2))), "02 07 01 00 02 00"},
      {OpPtr(new BCOPD(opRef(3))), "03 05 01 00 03 00"},
      {OpPtr(new BCBoolConst(1)), "04 01 01 00 01"},
      {OpPtr(new BCByteConst(10)), "05 02 01 00 0A"},
      {OpPtr(new BCCharConst('A')), "06 03 01 00 41"},
      {OpPtr(new BCIntConst(-5)), "08 05 01 00 FB FF"},
      {OpPtr(new BCPtrConst()), "09 14 01 00 01"},
      {OpPtr(new BCAnyConst()), "0A 16 01 00 01"},
  };
  const bctest::RecordFlag flag = bctest::libraryFlag("instruction operand", 1, 1, true);
  const auto loadOp = [this](std::istream& is) { return BCInstructionOp::iload(is, &block); };
  for (Case& c : cases) {
    c.op->setTextPos(KRTextPos(7, 8));
    c.op->setTestFlag(0);
    const OpPtr loaded = bctest::checkRecord(*c.op, loadOp, flag, c.hex);
    ASSERT_NE(loaded, nullptr) << c.hex;
    EXPECT_TRUE(*loaded == *c.op) << c.hex;
    EXPECT_FALSE(loaded->getTextPos().isKnown()) << c.hex;
  }
  std::vector<OpPtr> samples;
  for (const Case& c : cases) samples.push_back(OpPtr(c.op->newCopy()));
  const auto reload = [this](const BCInstructionOp& op) { return load(hexOf(op)); };
  for (const char* bad : {"0B 00 01 00", "FF"}) {
    bcInitBCode();
    EXPECT_EQ(load(bad), nullptr) << "unknown class tag " << bad;
    EXPECT_EQ(BCInstructionOp::getError(), BCInstructionOp::BCINSTRUCTIONOP_FAILED);
  }
  bcInitBCode();
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

  OpPtr opd = load("03 05 01 00 02 00");
  ASSERT_NE(opd, nullptr);
  const auto& opRef = static_cast<const BCOPD&>(*opd).getOpRef();
  EXPECT_EQ(opRef.getTable(), &block.getOpList());
  EXPECT_EQ(opRef.ptr(), block.getOpList().entryAt(2));

  OpPtr t = load("00 05 00 01 18 00 01 00 00 00 00 00");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(static_cast<const BCTMP&>(*t).getTypeRef().ptr(), intB.ptr());
  EXPECT_EQ(t->getRefrFlag(), BCInstructionOp::REFR);
  EXPECT_EQ(t->getTestFlag(), 1);
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
  EXPECT_EQ(listing(typed, 2), "  TMP     12       REFR     TMT    t    G   5      T5        -\n");
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

BCTMP temp(std::uint32_t no, BCTMP::STATUS_TYPE status = BCTMP::TMG,
           BCInstructionOp::REFR_VAL refr = BCInstructionOp::NO_REFR, KRTextPos pos = KRTextPos()) {
  BCTMP t(5, no, status, BCTMP::L_AREA);
  t.setRefrFlag(refr);
  t.setTextPos(pos);
  return t;
}

// An instruction owns copies of its operands; copies and assignments copy
// them again.
TEST_F(InstrTest, InstructionsOwnCopiesOfTheirOperands) {
  auto q1 = std::make_unique<BCNUM>(1);
  const BCInstruction instr(IC::IC_88, nullptr, q1.get(), nullptr);
  EXPECT_NE(instr.getQ1Op(), q1.get());
  q1.reset();
  EXPECT_TRUE(*instr.getQ1Op() == BCNUM(1));
  BCInstruction copy(instr);
  EXPECT_NE(copy.getQ1Op(), instr.getQ1Op());
  BCInstruction assigned(IC::IC_0, &*copy.getQ1Op(), nullptr, copy.getQ1Op());
  assigned = copy;
  const BCInstruction& alias = assigned;
  assigned = alias;
  EXPECT_TRUE(assigned == instr);
  EXPECT_NE(assigned.getQ1Op(), copy.getQ1Op());
  BCNUM n(1), other(2);
  EXPECT_TRUE(instr == BCInstruction(IC::IC_88, nullptr, &n, nullptr));
  for (const BCInstruction& different :
       {BCInstruction(IC::IC_88, nullptr, &n, &n), BCInstruction(IC::IC_96, nullptr, &n, nullptr),
        BCInstruction(IC::IC_88, &n, &n, nullptr),
        BCInstruction(IC::IC_88, nullptr, &other, nullptr)}) {
    EXPECT_FALSE(instr == different);
  }
}

TEST_F(InstrTest, InstructionRoles) {
  const BCTMP refr = temp(1, BCTMP::TMG, BCInstructionOp::REFR);
  const BCTMP noRefr = temp(1);
  const BCOPD opd(opRef(1));
  const BCNUM num(1);
  struct Case {
    IC::INSTR_CODE code;
    const BCInstructionOp* z;
    bool instruction;
  };
  const Case cases[] = {
      {IC::IC_144, nullptr, true}, {IC::IC_192, nullptr, true}, {IC::IC_193, nullptr, true},
      {IC::IC_200, nullptr, true}, {IC::IC_136, nullptr, true}, {IC::IC_215, &opd, true},
      {IC::IC_88, &opd, true},     {IC::IC_215, &refr, false},  {IC::IC_88, nullptr, false},
      {IC::IC_88, &refr, true},    {IC::IC_88, &noRefr, false}, {IC::IC_88, &num, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BCInstruction(c.code, c.z, nullptr, nullptr).isInstruction(), c.instruction)
        << c.code;
  }
  EXPECT_FALSE(BCInstruction(IC::IC_136, nullptr, nullptr, nullptr).isAnyJump());
}

TEST_F(InstrTest, InstructionAndListRecords) {
  const BCNUM num(300);
  const BCInstruction label(IC::IC_136, nullptr, &num, nullptr);
  const auto loadInstr = [this](std::istream& is) { return BCInstruction::iload(is, &block); };
  bctest::checkRecord(label, loadInstr, bctest::libraryFlag("instruction", 1, 1),
                      "88 00 01 01 00 01 00 2C 01 00");
  // Any presence byte other than 0 stands for an operand.
  std::istringstream is(bctest::fromHex("88 00 02 01 00 01 00 2C 01 00"));
  const std::unique_ptr<BCInstruction> loaded(loadInstr(is));
  ASSERT_NE(loaded, nullptr);
  EXPECT_TRUE(*loaded == label);

  const auto loadList = [this](std::istream& in) { return BCInstructionList::iload(in, &block); };
  const bctest::RecordFlag listFlag =
      bctest::libraryFlag("instruction list", KRSEQUENCE_LOAD_FAILED, KRSEQUENCE_SAVE_FAILED);
  BCInstructionList list;
  EXPECT_TRUE(bctest::checkRecord(list, loadList, listFlag, "00 00")->isEmpty());
  list.append(new BCInstruction(label));
  list.append(new BCInstruction(IC::IC_8, &num, nullptr, &num));
  const auto back = bctest::checkRecord(
      list, loadList, listFlag,
      "02 00 88 00 01 01 00 01 00 2C 01 00 08 01 01 00 01 00 2C 01 00 01 01 00 01 00 2C 01");
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(BCInstructionListIterator(*back, 0).current()->getInstrCode(), IC::IC_8);
}

// However a stream's buffer hands out and takes the bytes, an instruction
// list reads and writes the same record: the longest instruction (three
// temporaries), every operand family and missing operands, in buffers of
// every size up to the whole record, whose areas end anywhere inside an
// instruction.
TEST_F(InstrTest, InstructionRecordsWhateverTheBufferAreas) {
  const BCTMP t = tmp(5, 70000, BCTMP::TML, BCTMP::G_AREA, intA);
  const BCNUM n(300);
  const BCWordConst w(0xBEEF);
  const BCCST c(constRef(1));
  const BCOPD o(opRef(1));
  const BCAnyConst any;
  BCInstructionList list;
  list.append(new BCInstruction(IC::IC_88, &t, &t, &t));
  list.append(new BCInstruction(IC::IC_8, &c, &w, &any));
  list.append(new BCInstruction(IC::IC_136, nullptr, &n, nullptr));
  list.append(new BCInstruction(IC::IC_215, &o, &t, &t));
  list.append(new BCInstruction(IC::IC_0, nullptr, nullptr, nullptr));
  list.append(new BCInstruction(IC::IC_88, &t, &t, &t));
  const std::string bytes = bctest::recordOf(list);
  ASSERT_EQ(bytes.size(), 2u + 40 + 21 + 10 + 34 + 4 + 40);  // the count, then each instruction
  for (std::size_t chunk = 1; chunk <= bytes.size(); ++chunk) {
    bctest::PipeBuf in(bytes + "\x7F", chunk);
    std::istream is(&in);
    const std::unique_ptr<BCInstructionList> back(BCInstructionList::iload(is, &block));
    ASSERT_NE(back, nullptr) << chunk;
    EXPECT_EQ(is.get(), 0x7F) << chunk;
    bctest::ChunkOutBuf out(chunk);
    std::ostream os(&out);
    back->save(os);
    EXPECT_EQ(toHex(out.bytes()), toHex(bytes)) << chunk;
  }
}

// A temporary of a class a program derived, which writes a byte of its own
// after the temporary's record.
class MarkedTmp : public BCTMP {
 public:
  explicit MarkedTmp(const BCTMP& t) : BCTMP(t) {}

 protected:
  void saveInstance(std::ostream& os) const override {
    BCTMP::saveInstance(os);
    os.put('\xAB');
  }
};

// An operand of a derived class is written by its own saveInstance, also
// where the library writes its own classes' records without the call.
TEST_F(InstrTest, OperandsOfDerivedClassesWriteTheirOwnPart) {
  const BCTMP t = tmp(5, 9);
  const BCNUM n(300);
  BCInstruction instr(IC::IC_88, nullptr, &n, &t);
  const std::string plain = bctest::recordOf(instr);
  delete instr.setQ1Op(new MarkedTmp(t));
  const std::string tmpRecord = plain.substr(plain.size() - 12);
  const std::string expected = plain.substr(0, 3) + tmpRecord + "\xAB\x01" + tmpRecord;
  for (std::size_t chunk : {1, 16, 64}) {
    bctest::ChunkOutBuf out(chunk);
    std::ostream os(&out);
    instr.save(os);
    EXPECT_EQ(toHex(out.bytes()), toHex(expected)) << chunk;
  }
  EXPECT_EQ(toHex(bctest::recordOf(instr)), toHex(expected));
  EXPECT_EQ(BCInstruction::getError(), BCInstruction::BCINSTRUCTION_OK);
}

// The mnemonic, then each operand seven columns in on a line of its own.
TEST_F(InstrTest, InstructionListing) {
  bctest::NameTable mnemonics("M", 57);
  const BCTMP z = temp(4);
  const BCNUM q1(9);
  std::ostringstream os;
  BCInstruction(IC::IC_88, &z, &q1, nullptr)
      .printOn(os, line, line, bcDefaultMnemonics(), typeNames.get());
  const std::string none = "-       -        -        -      -    -   -      -         -\n";
  EXPECT_EQ(os.str(),
            "IC88   TMP     4        NO_REFR  TMG    n    L   -      T5        -\n"
            "-      NUM     9        -        -      -    -   -      -         -\n-      " +
                none + " \n");
  std::ostringstream bare;
  BCInstruction(IC::IC_136, nullptr, nullptr, nullptr)
      .printOn(bare, line + 4, line, mnemonics.get(), typeNames.get());
  EXPECT_EQ(bare.str(), "    M12    " + none + "-      " + none + "-      " + none + " \n");
  EXPECT_TRUE(lineIsClear());
  std::ostringstream unknown;
  BCInstruction(IC::IC_193, nullptr, nullptr, nullptr)
      .printOn(unknown, line, line, mnemonics.get(), typeNames.get());
  EXPECT_EQ(unknown.str().substr(0, 7), "???    ");
}

TEST_F(InstrTest, InstructionDump) {
  const BCNUM num(3);
  std::ostringstream os;
  BCInstruction(IC::IC_88, &num, nullptr, &num).printOn(os);
  EXPECT_EQ(os.str(), "88\n z:        3   NUM\n q2:       3   NUM\n");
}

TEST(NameTables, MnemonicColumnsCoverEveryColumnOnce) {
  int seen[57] = {};
  for (unsigned code = 0; code < 256; ++code) {
    const int column = bcMnemonicColumn(code);
    if (column >= 0) ++seen[column];
  }
  for (int column = 0; column < 57; ++column) EXPECT_EQ(seen[column], 1) << column;
  EXPECT_EQ(bcMnemonicColumn(193), -1);
  EXPECT_STREQ(bcDefaultTypeNames()[255], "TYPE255");  // every entry of 256 is set
  EXPECT_STREQ(bcDefaultParamKindNames()[200], "KIND200");
}

// ---------------------------------------------------------------------------
// Searches

class SearchTest : public InstrTest {
 protected:
  void append(IC::INSTR_CODE code, const BCInstructionOp* z, const BCInstructionOp* q1,
              const BCInstructionOp* q2 = nullptr) {
    list.append(new BCInstruction(code, z, q1, q2));
  }
  BCInstructionListIterator last() const { return BCInstructionListIterator(list, 0); }
  BCInstructionListIterator first() const { return BCInstructionListIterator(list, 1); }

  BCInstructionList list;
};

TEST_F(SearchTest, ChainOfTwoInstructionsLeadsToTheBaseOperand) {
  const BCOPD base(opRef(1));
  const BCTMP t1 = temp(1);
  const BCTMP t1Used = temp(1, BCTMP::TMG, BCInstructionOp::REFR);
  const BCTMP t2 = temp(2);
  append(IC::IC_211, &t1, &base);
  append(IC::IC_215, &t2, &t1Used);

  BCInstructionListIterator found(list, 0);
  BCInstructionOp* baseOp = nullptr;
  ASSERT_EQ(list.searchInstrOfBaseOp(last(), 2, found, baseOp), 1);
  EXPECT_EQ(baseOp, first().current()->getQ1Op());
  EXPECT_EQ(found.current(), first().current());

  // Another code in the chain ends it.
  list.append(new BCInstruction(IC::IC_88, &t2, &t1Used, nullptr));
  EXPECT_EQ(list.searchInstrOfBaseOp(last(), 2, found, baseOp), 0);
  EXPECT_EQ(baseOp, nullptr);
}

TEST_F(SearchTest, CreatingInstructionHasStatusZero) {
  const BCNUM n(1);
  const BCTMP t1 = temp(1);
  const BCTMP local = temp(5, BCTMP::TML);
  const BCTMP temporary = temp(6, BCTMP::TMT);
  append(IC::IC_88, &local, &n);
  append(IC::IC_88, &temporary, &n);
  append(IC::IC_88, &t1, &n);

  BCInstructionListIterator found(list, 1);
  EXPECT_EQ(list.searchTMPCreatingInstr(last(), 1, found), 1);
  EXPECT_EQ(found.current(), last().current());
  EXPECT_EQ(list.searchTMPCreatingInstr(last(), 5, found), 0);
  EXPECT_EQ(list.searchTMPCreatingInstr(last(), 6, found), 0);

  BCInstructionListIterator head = first();
  --head;
  EXPECT_EQ(list.searchTMPCreatingInstr(head, 1, found), 0);
  BCInstructionListIterator end = last();
  ++end;
  EXPECT_EQ(list.searchTMPCreatingInstr(end, 1, found), 0);
  EXPECT_EQ(KRSequence<BCInstruction*>::error, KRSEQUENCE_NO_ELEMENT);
}

TEST_F(SearchTest, TextPositionComesFromTheCreatorsRecursively) {
  BCOPD source(opRef(1));
  source.setTextPos(KRTextPos(5, 6));
  const BCTMP t1 = temp(1);
  const BCTMP t2 = temp(2);
  const BCTMP t1Used = temp(1, BCTMP::TMG, BCInstructionOp::REFR);
  append(IC::IC_88, &t1, &source);
  append(IC::IC_88, &t2, &t1Used);

  KRTextPos pos;
  EXPECT_EQ(list.searchATextPos(last(), temp(2), pos), 1);
  EXPECT_EQ(pos, KRTextPos(5, 6));
  EXPECT_EQ(list.searchATextPos(last(), pos), 1);
  EXPECT_EQ(pos, KRTextPos(5, 6));

  // The creator's result position comes before its sources.
  first().current()->getZOp()->setTextPos(KRTextPos(3, 4));
  EXPECT_EQ(list.searchATextPos(last(), temp(2), pos), 1);
  EXPECT_EQ(pos, KRTextPos(3, 4));
  // An operand's own position comes first of all; half known is unknown.
  EXPECT_EQ(
      list.searchATextPos(last(), temp(2, BCTMP::TMG, BCInstructionOp::REFR, KRTextPos(9, 9)), pos),
      1);
  EXPECT_EQ(pos, KRTextPos(9, 9));
  EXPECT_EQ(list.searchATextPos(last(), BCNUM(1), pos), 0);
  EXPECT_EQ(
      list.searchATextPos(last(), temp(7, BCTMP::TMG, BCInstructionOp::REFR, KRTextPos(0, 9)), pos),
      0);
  EXPECT_EQ(pos, KRTextPos(0, 9));
}

TEST_F(SearchTest, InstructionTextPositionTriesSourcesBeforeResult) {
  BCNUM q1(1);
  BCNUM q2(2);
  BCTMP z = temp(3);
  q2.setTextPos(KRTextPos(2, 2));
  z.setTextPos(KRTextPos(3, 3));
  append(IC::IC_88, &z, &q1, &q2);
  KRTextPos pos;
  EXPECT_EQ(list.searchATextPos(last(), pos), 1);
  EXPECT_EQ(pos, KRTextPos(2, 2));
}

TEST_F(SearchTest, TemporariesReadingThemselvesOrSharedManyTimesEndTheSearch) {
  const BCTMP self = temp(9);
  append(IC::IC_88, &self, &self, &self);
  KRTextPos pos;
  EXPECT_EQ(list.searchATextPos(last(), temp(9), pos), 0);

  // Each temporary read twice by the next: a naive walk would take 2^60 steps.
  list.clear();
  for (std::uint32_t no = 1; no <= 60; ++no) {
    const BCTMP z = temp(no);
    const BCTMP q = temp(no - 1, BCTMP::TMG, BCInstructionOp::REFR);
    append(IC::IC_88, &z, &q, &q);
  }
  EXPECT_EQ(list.searchATextPos(last(), temp(60), pos), 0);
  first().current()->getQ2Op()->setTextPos(KRTextPos(1, 2));
  EXPECT_EQ(list.searchATextPos(last(), temp(60), pos), 1);
  EXPECT_EQ(pos, KRTextPos(1, 2));
}

}  // namespace

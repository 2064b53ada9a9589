// Instructions: ownership, equality, roles, records, listing and the
// backward searches of the instruction list.
#include "bcode/code/bcnametables.h"
#include "tests/instr/instr_fixture.h"

namespace instrtest {
namespace {

using IC = BCInstruction;

BCTMP temp(std::uint32_t no, BCTMP::STATUS_TYPE status = BCTMP::TMG,
           BCInstructionOp::REFR_VAL refr = BCInstructionOp::NO_REFR, KRTextPos pos = KRTextPos()) {
  BCTMP t(5, no, status, BCTMP::L_AREA);
  t.setRefrFlag(refr);
  t.setTextPos(pos);
  return t;
}

std::string save(const BCInstruction& instr) {
  std::ostringstream os;
  instr.save(os);
  return bctest::toHex(os.str());
}

TEST_F(InstrTest, InstructionsOwnCopiesOfTheirOperands) {
  auto z = std::make_unique<BCTMP>(temp(1));
  auto q1 = std::make_unique<BCNUM>(3);
  BCInstruction instr(IC::IC_88, z.get(), q1.get(), nullptr);
  EXPECT_NE(instr.getZOp(), z.get());
  z.reset();
  q1.reset();
  ASSERT_NE(instr.getZOp(), nullptr);
  EXPECT_TRUE(*instr.getZOp() == temp(1));
  EXPECT_TRUE(*instr.getQ1Op() == BCNUM(3));
  EXPECT_EQ(instr.getQ2Op(), nullptr);

  BCInstruction copy(instr);
  EXPECT_TRUE(copy == instr);
  EXPECT_NE(copy.getZOp(), instr.getZOp());
  const BCNUM other(5);
  BCInstruction assigned(IC::IC_0, &other, nullptr, &other);
  assigned = instr;
  EXPECT_TRUE(assigned == instr);
  EXPECT_NE(assigned.getQ1Op(), instr.getQ1Op());
  const BCInstruction& alias = assigned;
  assigned = alias;
  EXPECT_TRUE(assigned == instr);
  EXPECT_EQ(BCInstruction::getError(), BCInstruction::BCINSTRUCTION_OK);
}

TEST_F(InstrTest, SettersHandBackTheOperandTheyReplace) {
  using Setter = BCInstructionOp* (BCInstruction::*)(BCInstructionOp*);
  using Getter = BCInstructionOp* (BCInstruction::*)();
  const std::pair<Setter, Getter> slots[] = {
      {&IC::setZOp, &IC::getZOp}, {&IC::setQ1Op, &IC::getQ1Op}, {&IC::setQ2Op, &IC::getQ2Op}};
  BCNUM one(1);
  BCInstruction instr(IC::IC_88, &one, &one, &one);
  for (const auto& slot : slots) {
    BCInstructionOp* before = (instr.*slot.second)();
    BCInstructionOp* fresh = new BCNUM(2);
    OpPtr old((instr.*slot.first)(fresh));
    EXPECT_EQ(old.get(), before);
    EXPECT_EQ((instr.*slot.second)(), fresh);
  }
  BCInstructionOp* q2 = instr.setQ2Op(new BCNUM(9));
  delete q2;
  BCInstructionOp* q1 = instr.getQ1Op();
  instr.swapQ1Q2();
  EXPECT_EQ(instr.getQ2Op(), q1);
  EXPECT_TRUE(*instr.getQ1Op() == BCNUM(9));
  EXPECT_EQ(instr.setInstrCode(IC::IC_12), IC::IC_88);
  EXPECT_EQ(instr.getInstrCode(), IC::IC_12);
}

TEST_F(InstrTest, InstructionEquality) {
  BCNUM n(1);
  const BCInstruction base(IC::IC_88, &n, &n, nullptr);
  EXPECT_TRUE(base == BCInstruction(IC::IC_88, &n, &n, nullptr));
  EXPECT_FALSE(base == BCInstruction(IC::IC_88, &n, &n, &n));
  EXPECT_FALSE(base == BCInstruction(IC::IC_96, &n, &n, nullptr));
  EXPECT_FALSE(base == BCInstruction(IC::IC_88, &n, nullptr, nullptr));
  BCNUM other(2);
  EXPECT_FALSE(base == BCInstruction(IC::IC_88, &n, &other, nullptr));
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
  for (int code : {144, 192, 193, 200}) {
    EXPECT_TRUE(BCInstruction(IC::INSTR_CODE(code), nullptr, nullptr, nullptr).isAnyJump());
  }
  EXPECT_FALSE(BCInstruction(IC::IC_136, nullptr, nullptr, nullptr).isAnyJump());
  EXPECT_TRUE(BCInstruction(IC::IC_136, nullptr, nullptr, nullptr).isLabelDef());
  EXPECT_TRUE(BCInstruction(IC::IC_0, nullptr, &num, nullptr).isUnary());
  EXPECT_FALSE(BCInstruction(IC::IC_0, nullptr, &num, nullptr).isBinary());
  EXPECT_TRUE(BCInstruction(IC::IC_0, nullptr, &num, &num).isBinary());
  EXPECT_FALSE(BCInstruction(IC::IC_0, nullptr, nullptr, &num).isUnary());
}

TEST_F(InstrTest, InstructionRecords) {
  const BCNUM num(300);
  const BCInstruction label(IC::IC_136, nullptr, &num, nullptr);
  const std::string hex = "88 00 01 01 00 01 00 2C 01 00";
  EXPECT_EQ(save(label), hex);

  std::istringstream is(bctest::fromHex("88 00 02 01 00 01 00 2C 01 00"));
  std::unique_ptr<BCInstruction> loaded(BCInstruction::iload(is, &block));
  ASSERT_NE(loaded, nullptr);
  EXPECT_TRUE(*loaded == label);

  const std::string bytes = bctest::fromHex(hex);
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    bcInitBCode();
    std::istringstream part(bytes.substr(0, size));
    EXPECT_EQ(BCInstruction::iload(part, &block), nullptr) << size;
    EXPECT_EQ(BCInstruction::getError(), BCInstruction::BCINSTRUCTION_FAILED) << size;

    bcInitBCode();
    bctest::LimitedBuf buf(size);
    std::ostream os(&buf);
    label.save(os);
    EXPECT_EQ(BCInstruction::getError(), BCInstruction::BCINSTRUCTION_FAILED) << size;
    EXPECT_EQ(buf.bytes(), bytes.substr(0, size));
  }
}

TEST_F(InstrTest, InstructionListRecords) {
  std::istringstream empty(bctest::fromHex("00 00"));
  std::unique_ptr<BCInstructionList> none(BCInstructionList::iload(empty, &block));
  ASSERT_NE(none, nullptr);
  EXPECT_TRUE(none->isEmpty());

  const std::string two = "02 00 88 00 00 00 08 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00";
  std::istringstream is(bctest::fromHex(two));
  std::unique_ptr<BCInstructionList> list(BCInstructionList::iload(is, &block));
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->getCount(), 2u);
  EXPECT_EQ(BCInstructionListIterator(*list, 1).current()->getInstrCode(), IC::IC_136);
  EXPECT_EQ(BCInstructionListIterator(*list, 0).current()->getInstrCode(), IC::IC_8);
  std::ostringstream os;
  list->save(os);
  EXPECT_EQ(bctest::toHex(os.str()), two);

  std::istringstream cut(bctest::fromHex("02 00 88 00 00 00"));
  EXPECT_EQ(BCInstructionList::iload(cut, &block), nullptr);
  EXPECT_EQ(KRSequence<BCInstruction*>::error, KRSEQUENCE_LOAD_FAILED);
}

TEST_F(InstrTest, ListingOfAnInstructionWithoutOperands) {
  bctest::NameTable mnemonics("M", 57);
  std::ostringstream os;
  BCInstruction(IC::IC_136, nullptr, nullptr, nullptr)
      .printOn(os, line + 4, line, mnemonics.get(), typeNames.get());
  const std::string full = "-      -       -        -        -      -    -   -      -         -\n";
  EXPECT_EQ(os.str(), "    M12    -       -        -        -      -    -   -      -         -\n" +
                          full + full + " \n");
  EXPECT_TRUE(lineIsClear());

  std::ostringstream unknown;
  BCInstruction(IC::IC_193, nullptr, nullptr, nullptr)
      .printOn(unknown, line, line, mnemonics.get(), typeNames.get());
  EXPECT_EQ(unknown.str().substr(0, 7), "???    ");
}

TEST_F(InstrTest, ListingPutsOperandsSevenColumnsIn) {
  const BCTMP z = temp(4);
  const BCNUM q1(9);
  std::ostringstream os;
  BCInstruction(IC::IC_88, &z, &q1, nullptr)
      .printOn(os, line, line, bcDefaultMnemonics(), typeNames.get());
  std::istringstream lines(os.str());
  std::string first, second;
  std::getline(lines, first);
  std::getline(lines, second);
  EXPECT_EQ(first, "IC88   TMP     4        NO_REFR  TMG    n    L   -      T5        -");
  EXPECT_EQ(second, "-      NUM     9        -        -      -    -   -      -         -");
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
}  // namespace instrtest

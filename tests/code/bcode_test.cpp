// BCode: elementary types, layout of the local data, ownership of the
// collections, the block record and its load, the library-wide flag reset.
#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "bcode/code/bcerrorflags.h"
#include "bcode/code/bcode.h"
#include "bcode/const/bcconstant.h"
#include "bcode/const/bcconstlist.h"
#include "bcode/foundation/krystrng.h"
#include "bcode/instr/bcinstrop.h"
#include "bcode/instr/bcinstruction.h"
#include "bcode/interface/bcssb.h"
#include "bcode/interface/bcssbentry.h"
#include "bcode/localdata/bcldlist.h"
#include "bcode/operand/bcglobal.h"
#include "bcode/types/krinstancedesc.h"
#include "bcode/types/krtypedesc.h"
#include "bcode/types/krtypetab.h"
#include "tests/support/test_util.h"

namespace {

using Kind = BCSSBEntry::PARAM_KIND;

std::string saved(const BCode& block) {
  std::ostringstream os;
  block.save(os);
  return os.str();
}

std::unique_ptr<BCode> loaded(const std::string& bytes) {
  std::istringstream is(bytes);
  return std::unique_ptr<BCode>(BCode::iload(is));
}

// Every container flag that a block save or load maps to the block's own.
bool sectionFlagsClear() {
  return KRRefTable<KRTypedesc*>::error == KRREFTABLE_OK &&
         BCSSBList::getError() == BCSSBList::BCSSBLIST_OK &&
         KRSequence<BCLDEntry*>::error == KRSEQUENCE_OK &&
         KRRefTable<BCConstant*>::error == KRREFTABLE_OK &&
         KRRefTable<BCOperand*>::error == KRREFTABLE_OK &&
         KRSequence<BCInstruction*>::error == KRSEQUENCE_OK;
}

class BCodeTest : public ::testing::Test {
 protected:
  BCodeTest() { bcInitBCode(); }

  // The road of one block: FB 7 with its interface, a local variable, a DINT
  // constant, a flag operand and one instruction using all of them.
  static std::unique_ptr<BCode> roadBlock() {
    auto block = std::make_unique<BCode>(7, KR_FB_KENN);
    block->initElemTypes();
    KRTypeTab& types = block->getTypeTab();
    BCSSB* own = block->getSSBList().newSSB(7, KR_FB_KENN);
    own->add(new BCFBEntry("in", types.getTypeRef(5), BCSSBEntry::BC_PARAM_IN));
    own->add(new BCFBEntry("st", types.getTypeRef(1), BCSSBEntry::BC_PARAM_STAT));
    block->getLDDList().add(new BCLDEntry("tmp", types.getTypeRef(7)));
    block->getLSDList().add(new BCLDEntry("cnt", types.getTypeRef(4)));
    const BCConstRef constant = block->getConstList().add(new BCDIntConst(-2));
    const BCOpRef operand = block->getOpList().add(new BCoM(16, types.getTypeRef(7)));
    const BCTMP z(7, 1, BCTMP::TMG, BCTMP::L_AREA, types.getTypeRef(7));
    const BCOPD q1(operand);
    const BCCST q2(constant);
    block->getInstrList().append(new BCInstruction(BCInstruction::IC_88, &z, &q1, &q2));
    block->calcOffsets();
    return block;
  }
};

TEST_F(BCodeTest, ElementaryTypesTakeIndices1To23) {
  BCode block(3, KR_FC_KENN);
  block.initElemTypes();
  const KRTypeTab& types = block.getTypeTab();
  EXPECT_EQ(types.getCount(), 24);
  EXPECT_EQ(types.entryAt(13)->getDataType(), 14);
  EXPECT_EQ(types.entryAt(14)->getDataType(), 20);
  EXPECT_EQ(types.entryAt(23)->getDataType(), 31);
  EXPECT_EQ(types.getTypeRef(14).getIndex(), 13);
  EXPECT_EQ(BCode::getError(), BCode::BCODE_OK);
}

TEST_F(BCodeTest, FullTypeTableStopsTheElementaryTypesWithoutLosingAny) {
  BCode block(3, KR_FC_KENN);
  KRTypeTab& types = block.getTypeTab();
  while (types.getCount() < 65535 - 5) types.add(nullptr);
  // The table owns a descriptor from the add on, even the one it cannot take.
  EXPECT_THROW(block.initElemTypes(), KRErrorNoHeap);
  EXPECT_EQ(types.getCount(), 65535);
  EXPECT_EQ(types.getTypeRef(5).getIndex(), 65534);
}

TEST_F(BCodeTest, FlagLeftSetBeforeConstructionCountsAsAFailedCollection) {
  KRRefTable<BCOperand*>::error = KRREFTABLE_SAVE_FAILED;
  BCode block(1, KR_OB_KENN);
  EXPECT_EQ(BCode::getError(), BCode::BCODE_NO_MEMORY);
  EXPECT_EQ(KRRefTable<BCOperand*>::error, KRREFTABLE_OK);
  EXPECT_EQ(block.getOpList().getCount(), 1);  // the collection itself is kept
}

TEST_F(BCodeTest, StaticDataFollowTheOwnInterfaceOnAWordBoundary) {
  struct Case {
    const char* what;
    std::vector<std::pair<Kind, unsigned char>> entries;  // of FB 7 (none: no interface)
    std::uint32_t lsdStart;
  };
  const Case cases[] = {
      {"no own interface", {}, 0},
      {"an interface of 88 bits", {{Kind(0), 14}, {Kind(0), 5}, {Kind(1), 2}}, 96},
      {"a first static at 32", {{Kind(0), 5}, {Kind(0), 5}, {Kind(3), 5}, {Kind(3), 5}}, 32},
      {"a first static at bit 1", {{Kind(0), 1}, {Kind(3), 1}}, 16},
      {"one BOOL", {{Kind(0), 1}}, 16},
  };
  for (const Case& c : cases) {
    BCode block(7, KR_FB_KENN);
    block.initElemTypes();
    block.getSSBList()
        .newSSB(9, KR_FB_KENN)
        ->add(new BCFBEntry("other", block.getTypeTab().getTypeRef(14), Kind(0)));
    if (!c.entries.empty()) {
      BCSSB* own = block.getSSBList().newSSB(7, KR_FB_KENN);
      for (const auto& entry : c.entries) {
        own->add(new BCFBEntry("e", block.getTypeTab().getTypeRef(entry.second), entry.first));
      }
    }
    block.getLSDList().add(new BCLDEntry("s", block.getTypeTab().getTypeRef(5)));
    block.getLDDList().setStartOffset(64);
    block.calcOffsets();
    EXPECT_EQ(block.getLSDList().getStartOffset(), c.lsdStart) << c.what;
    EXPECT_EQ(block.getLDDList().getStartOffset(), 0u) << c.what;
    EXPECT_EQ(BCode::getError(), BCode::BCODE_OK) << c.what;
  }
}

// A pass measures each type once; the next pass sees the types as they are
// then, after a structure and a called FB's interface have grown.
TEST_F(BCodeTest, EachLayoutSeesTheTypesAsTheyAreNow) {
  BCode block(7, KR_FB_KENN);
  block.initElemTypes();
  KRTypeTab& types = block.getTypeTab();
  const KRTypeRef intType = types.getTypeRef(5);
  auto* structure = new KRStructDesc();
  structure->addComp(KRString("a"), intType);
  const KRTypeRef structType = types.add(structure);
  BCSSB* called = block.getSSBList().newSSB(9, KR_FB_KENN);
  called->add(new BCFBEntry("in", intType, Kind(0)));
  const KRTypeRef instanceType = types.add(new KRInstanceDesc(9, KR_FB_KENN, &block.getSSBList()));
  BCLDList& lsd = block.getLSDList();
  const BCLDRef first = lsd.add(new BCLDEntry("s1", structType));
  const BCLDRef second = lsd.add(new BCLDEntry("s2", structType));
  const BCLDRef instance = lsd.add(new BCLDEntry("fb", instanceType));
  const BCLDRef last = lsd.add(new BCLDEntry("n", intType));

  const auto offsets = [&] {
    block.calcOffsets();
    EXPECT_EQ(BCode::getError(), BCode::BCODE_OK);
    return std::vector<std::uint32_t>{
        lsd.lookup(first)->getOffset(), lsd.lookup(second)->getOffset(),
        lsd.lookup(instance)->getOffset(), lsd.lookup(last)->getOffset()};
  };
  const std::uint32_t structBefore = structure->storageLength();
  const std::uint32_t instanceBefore = instanceType.ptr()->storageLength();
  const std::vector<std::uint32_t> before = offsets();
  EXPECT_EQ(before[1] - before[0], structBefore);

  structure->addComp(KRString("b"), intType);
  called->add(new BCFBEntry("out", intType, Kind(1)));
  const std::uint32_t structGrowth = structure->storageLength() - structBefore;
  const std::uint32_t instanceGrowth = instanceType.ptr()->storageLength() - instanceBefore;
  ASSERT_GT(structGrowth, 0u);
  ASSERT_GT(instanceGrowth, 0u);
  const std::vector<std::uint32_t> after = offsets();
  EXPECT_EQ(after[1], before[1] + structGrowth);
  EXPECT_EQ(after[2], before[2] + 2 * structGrowth);
  EXPECT_EQ(after[3], before[3] + 2 * structGrowth + instanceGrowth);
}

TEST_F(BCodeTest, LayoutFailureOfLocalDataIsTheBlocksFailure) {
  BCode block(7, KR_FB_KENN);
  block.getLDDList().add(new BCLDEntry("lost", KRTypeRef(99, &block.getTypeTab())));
  block.calcOffsets();
  EXPECT_EQ(BCode::getError(), BCode::BCODE_FAILED);
  EXPECT_EQ(KRSequence<BCLDEntry*>::error, KRSEQUENCE_OK);
}

TEST_F(BCodeTest, SettersDestroyTheCollectionTheyReplace) {
  static int destroyed = 0;
  struct CountedList : BCLDList {
    ~CountedList() override { ++destroyed; }
  };
  {
    BCode block(1, KR_OB_KENN);
    block.setLSDList(new CountedList);
    block.getLSDList().add(new BCLDEntry("x", KRTypeRef()));
    block.setLSDList(new BCLDList);
    EXPECT_EQ(destroyed, 1);
    block.setLDDList(new CountedList);
    BCLDList& same = block.getLDDList();
    block.setLDDList(&same);  // replacing a list by itself keeps it
    EXPECT_EQ(destroyed, 1);
    block.setLDDList(nullptr);  // refused: a block keeps all its collections
    EXPECT_EQ(BCode::getError(), BCode::BCODE_FAILED);
    EXPECT_EQ(&block.getLDDList(), &same);
    BCode::resetError();
    block.setLSDList(&same);  // refused: one list cannot serve as both
    EXPECT_EQ(BCode::getError(), BCode::BCODE_FAILED);
    EXPECT_NE(&block.getLSDList(), &same);
  }
  EXPECT_EQ(destroyed, 2);
}

TEST_F(BCodeTest, EmptyBlockRecord) {
  const BCode block(7, KR_DB_KENN);
  EXPECT_EQ(bctest::toHex(saved(block)), "07 00 06 01 00 00 00 00 00 00 00 01 00 01 00 00 00");
  std::unique_ptr<BCode> back = loaded(saved(block));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->getBlockNo(), 7);
  EXPECT_EQ(back->getBlockKind(), KR_DB_KENN);

  BCode typed(7, KR_FB_KENN);
  typed.initElemTypes();
  EXPECT_EQ(bctest::toHex(saved(typed).substr(3, 3)), "18 00 01");
}

TEST_F(BCodeTest, RoadOfOneBlock) {
  const std::unique_ptr<BCode> block = roadBlock();
  EXPECT_EQ(block->getLSDList().getStartOffset(), 16u);
  const std::string bytes = saved(*block);
  ASSERT_EQ(BCode::getError(), BCode::BCODE_OK);

  const std::unique_ptr<BCode> back = loaded(bytes);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(BCode::getError(), BCode::BCODE_OK);
  EXPECT_EQ(back->getBlockNo(), 7);
  EXPECT_EQ(back->getBlockKind(), KR_FB_KENN);
  EXPECT_EQ(back->getTypeTab().getCount(), 24);
  EXPECT_EQ(back->getSSBList().lookup(7, KR_FB_KENN)->getEntryCount(), 2u);
  EXPECT_EQ(back->getLDDList().getEntryCount(), 1u);
  EXPECT_EQ(back->getLSDList().getStartOffset(), 16u);  // laid out by the load
  EXPECT_EQ(back->getConstList().getCount(), 2);
  EXPECT_EQ(back->getOpList().getCount(), 2);
  ASSERT_EQ(back->getInstrList().getCount(), 1u);

  const BCInstruction* instr = BCInstructionListIterator(back->getInstrList(), 1).current();
  EXPECT_TRUE(*instr == *BCInstructionListIterator(block->getInstrList(), 1).current());
  const auto* q2 = dynamic_cast<const BCCST*>(instr->getQ2Op());
  ASSERT_NE(q2, nullptr);
  EXPECT_EQ(q2->getConstRef().ptr(), back->getConstList().entryAt(1));
  const auto* z = dynamic_cast<const BCTMP*>(instr->getZOp());
  ASSERT_NE(z, nullptr);
  EXPECT_EQ(z->getTypeRef().getTable(), &back->getTypeTab());
  EXPECT_EQ(saved(*back), bytes);
}

TEST_F(BCodeTest, EmptyConstantSlotKeepsLaterIndices) {
  BCode block(2, KR_FC_KENN);
  block.initElemTypes();
  block.getConstList().add(new BCDIntConst(1));
  block.getConstList().add(nullptr);
  const BCConstRef third = block.getConstList().add(new BCDIntConst(3));
  const BCCST q1(third);
  block.getInstrList().append(new BCInstruction(BCInstruction::IC_0, nullptr, &q1, nullptr));

  const std::unique_ptr<BCode> back = loaded(saved(block));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->getConstList().entryAt(2), nullptr);
  const auto* cst = dynamic_cast<const BCCST*>(
      BCInstructionListIterator(back->getInstrList(), 1).current()->getQ1Op());
  ASSERT_NE(cst, nullptr);
  ASSERT_NE(cst->getConstRef().ptr(), nullptr);
  EXPECT_EQ(*cst->getConstRef().ptr(), BCDIntConst(3));
}

TEST_F(BCodeTest, ShortStreamStopsTheSaveAtEveryByte) {
  const std::unique_ptr<BCode> block = roadBlock();
  const std::string bytes = saved(*block);
  for (std::size_t limit = 0; limit < bytes.size(); ++limit) {
    bcInitBCode();
    bctest::LimitedBuf buf(limit);
    std::ostream os(&buf);
    block->save(os);
    EXPECT_EQ(BCode::getError(), BCode::BCODE_FAILED) << limit;
    EXPECT_TRUE(sectionFlagsClear()) << limit;
    EXPECT_EQ(buf.bytes(), bytes.substr(0, limit)) << limit;
  }
}

TEST_F(BCodeTest, EveryPrefixOfABlockFailsToLoad) {
  const std::string bytes = saved(*roadBlock());
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    bcInitBCode();
    EXPECT_EQ(loaded(bytes.substr(0, size)), nullptr) << size;
    EXPECT_EQ(BCode::getError(), BCode::BCODE_FAILED) << size;
    EXPECT_TRUE(sectionFlagsClear()) << size;
  }
  bcInitBCode();
  bctest::PipeBuf pipe(bytes);
  std::istream is(&pipe);
  EXPECT_NE(std::unique_ptr<BCode>(BCode::iload(is)), nullptr);
}

TEST_F(BCodeTest, FlagLeftSetBeforeALoadIsTakenByTheNewBlock) {
  const std::string bytes = saved(*roadBlock());
  // The new block's construction takes the stale flag (reporting 2); the
  // sections it could not create are loaded all the same.
  for (auto stale : {&KRRefTable<BCConstant*>::error, &KRRefTable<BCOperand*>::error,
                     &KRRefTable<KRTypedesc*>::error}) {
    bcInitBCode();
    *stale = KRREFTABLE_LOAD_FAILED;
    const std::unique_ptr<BCode> back = loaded(bytes);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(BCode::getError(), BCode::BCODE_NO_MEMORY);
    EXPECT_TRUE(sectionFlagsClear());
    EXPECT_EQ(saved(*back), bytes);
    EXPECT_EQ(back->getLSDList().getStartOffset(), 16u);
  }
}

// Exposes the protected flag setters of the classes.
template <class Class>
struct FlagOf : Class {
  using Class::setError;
};

template <class Class>
void setClassFlag(int value) {
  FlagOf<Class>::setError(static_cast<typename Class::ERRORS>(value));
}

template <class Owner>
void setMemberFlag(int value) {
  Owner::error = static_cast<typename Owner::ERRORS>(value);
}

// Every flag of the library: its owner's words, the largest value its type
// declares, and how to set it.
struct FlagCase {
  const char* owner;
  int largest;
  void (*set)(int);
};
const FlagCase kFlagCases[] = {
    {"block", BCode::BCODE_NO_MEMORY, setClassFlag<BCode>},
    {"instruction", BCInstruction::BCINSTRUCTION_NO_MEMORY, setClassFlag<BCInstruction>},
    {"instruction operand", BCInstructionOp::BCINSTRUCTIONOP_FAILED, setClassFlag<BCInstructionOp>},
    {"instruction list", KRSEQUENCE_LAYOUT_FAILED, setMemberFlag<KRSequence<BCInstruction*>>},
    {"constant", BCConstant::BCCONSTANT_NO_MEMORY, setClassFlag<BCConstant>},
    {"constant table", KRREFTABLE_SAVE_FAILED, setMemberFlag<KRRefTable<BCConstant*>>},
    {"operand", BCOperand::BCOPERAND_FAILED, setClassFlag<BCOperand>},
    {"operand table", KRREFTABLE_SAVE_FAILED, setMemberFlag<KRRefTable<BCOperand*>>},
    {"local variable", BCLDEntry::BCLDENTRY_NO_MEMORY, setClassFlag<BCLDEntry>},
    {"local data list", KRSEQUENCE_LAYOUT_FAILED, setMemberFlag<KRSequence<BCLDEntry*>>},
    {"interface list", BCSSBList::BCSSBLIST_NO_MEMORY, setClassFlag<BCSSBList>},
    {"interface entry", BCSSBEntry::BCSSBENTRY_FAILED, setClassFlag<BCSSBEntry>},
    {"interface description", KRSEQUENCE_LAYOUT_FAILED, setMemberFlag<KRSequence<BCSSBEntry*>>},
    {"list of interface descriptions", KRSEQUENCE_LAYOUT_FAILED, setMemberFlag<KRSequence<BCSSB*>>},
    {"type table", KRREFTABLE_SAVE_FAILED, setMemberFlag<KRRefTable<KRTypedesc*>>},
    {"type", KRTypedesc::KRTYPEDESC_NO_MEMORY, setClassFlag<KRTypedesc>},
    {"array bounds", KRArrayRange::KRARRAYRANGE_FAILED, setClassFlag<KRArrayRange>},
    {"structure component", KRStructComp::KRSTRUCTCOMP_NO_MEMORY, setClassFlag<KRStructComp>},
    {"text", KRString::KRSTRING_FAILED, setMemberFlag<KRString>},
};

// Each value of each flag is reported alone, with its owner and words; and
// bcInitBCode clears them all.
TEST_F(BCodeTest, EveryErrorFlagValueHasWordsAndInitClearsThemAll) {
  const int count = bcErrorFlagCount();
  ASSERT_EQ(count, static_cast<int>(std::size(kFlagCases)));
  for (const FlagCase& c : kFlagCases) {
    for (int value = 1; value <= c.largest; ++value) {
      bcInitBCode();
      c.set(value);
      const int n = bcNextSetErrorFlag(0);
      ASSERT_LT(n, count) << c.owner << " " << value;
      EXPECT_STREQ(bcErrorFlagAt(n).owner, c.owner);
      EXPECT_EQ(bcErrorFlagAt(n).value, value) << c.owner;
      EXPECT_NE(bcErrorFlagMeaning(n, value), nullptr) << c.owner << " " << value;
      EXPECT_EQ(bcNextSetErrorFlag(n + 1), count) << c.owner;
    }
  }
  for (const FlagCase& c : kFlagCases) c.set(c.largest);
  bcInitBCode();
  EXPECT_EQ(bcNextSetErrorFlag(0), count);
  EXPECT_TRUE(sectionFlagsClear());
}

}  // namespace

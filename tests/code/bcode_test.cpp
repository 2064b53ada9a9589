// BCode: elementary types, layout of the local data, ownership of the
// collections, the block record and its load, the library-wide flag reset.
#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/example_block.h"
#include "tests/support/record_check.h"

namespace {

using Kind = BCSSBEntry::PARAM_KIND;

std::unique_ptr<BCode> load(std::istream& is) {
  return std::unique_ptr<BCode>(BCode::iload(is));
}
std::unique_ptr<BCode> loaded(const std::string& bytes) {
  std::istringstream is(bytes);
  return load(is);
}
using bctest::recordOf;

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
  ~BCodeTest() override { bcInitBCode(); }
};

using BlockTest = bctest::ExampleBlock;

// The road of one block: FB 7 with its interface, a local variable, a DINT
// constant, a flag operand and one instruction using all of them.
class RoadTest : public bctest::ExampleBlock {
 protected:
  RoadTest() {
    BCSSB* own = block.getSSBList().newSSB(7, KR_FB_KENN);
    own->add(new BCFBEntry("in", ref(5), BCSSBEntry::BC_PARAM_IN));
    own->add(new BCFBEntry("st", ref(1), BCSSBEntry::BC_PARAM_STAT));
    block.getLDDList().add(new BCLDEntry("tmp", ref(7)));
    block.getLSDList().add(new BCLDEntry("cnt", ref(4)));
    const BCConstRef constant = block.getConstList().add(new BCDIntConst(-2));
    const BCOpRef operand = block.getOpList().add(new BCoM(16, ref(7)));
    const BCTMP z(7, 1, BCTMP::TMG, BCTMP::L_AREA, ref(7));
    const BCOPD q1(operand);
    const BCCST q2(constant);
    block.getInstrList().append(new BCInstruction(BCInstruction::IC_88, &z, &q1, &q2));
    block.calcOffsets();
  }
};

TEST_F(BCodeTest, FullTypeTableStopsTheElementaryTypesWithoutLosingAny) {
  BCode block(3, KR_FC_KENN);
  KRTypeTab& types = block.getTypeTab();
  while (types.getCount() < 65535 - 5) types.add(nullptr);
  // The table owns a descriptor from the add on, even the one it cannot take.
  EXPECT_THROW(block.initElemTypes(), KRErrorNoHeap);
  EXPECT_EQ(types.getCount(), 65535);
  EXPECT_EQ(types.getTypeRef(5).getIndex(), 65534);
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
TEST_F(BlockTest, EachLayoutSeesTheTypesAsTheyAreNow) {
  const std::uint16_t s = structure({bctest::kInt});
  BCSSB* called = block.getSSBList().newSSB(9, KR_FB_KENN);
  called->add(new BCFBEntry("in", ref(bctest::kInt), Kind(0)));
  const std::uint16_t fb = add(new KRInstanceDesc(9, KR_FB_KENN, &block.getSSBList()));
  for (std::uint16_t type : {s, s, fb, elem(KR_DT_INT)}) lsd.add(new BCLDEntry("v", ref(type)));
  const auto offsets = [this] {
    block.calcOffsets();
    std::vector<std::uint32_t> all;
    for (BCLDListIterator it(lsd, 1); !it.end(); ++it) all.push_back(it.current()->getOffset());
    return all;
  };
  EXPECT_EQ(offsets(), (std::vector<std::uint32_t>{0, 16, 32, 48}));
  structAt(s).addComp(KRString("b"), ref(bctest::kInt));
  called->add(new BCFBEntry("out", ref(bctest::kInt), Kind(1)));
  EXPECT_EQ(offsets(), (std::vector<std::uint32_t>{0, 32, 64, 96}));
  EXPECT_EQ(BCode::getError(), BCode::BCODE_OK);
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

// A failed save or load of a block reports on the block's flag and leaves the
// flags of its sections clear.
const bctest::RecordFlag kBlockFlag{[] { return sectionFlagsClear() ? BCode::getError() : -1; },
                                    BCode::BCODE_FAILED, BCode::BCODE_FAILED};

TEST_F(BCodeTest, EmptyBlockRecord) {
  const auto back = bctest::checkRecord(BCode(7, KR_DB_KENN), load, kBlockFlag,
                                        "07 00 06 01 00 00 00 00 00 00 00 01 00 01 00 00 00");
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->getBlockNo(), 7);
  EXPECT_EQ(back->getBlockKind(), KR_DB_KENN);
}

TEST_F(RoadTest, RoadOfOneBlock) {
  EXPECT_EQ(block.getLSDList().getStartOffset(), 16u);
  const auto back = bctest::checkRecord(block, load, kBlockFlag);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->getSSBList().lookup(7, KR_FB_KENN)->getEntryCount(), 2u);
  EXPECT_EQ(back->getLSDList().getStartOffset(), 16u);  // laid out by the load
  const BCInstruction* instr = BCInstructionListIterator(back->getInstrList(), 1).current();
  EXPECT_TRUE(*instr == *BCInstructionListIterator(block.getInstrList(), 1).current());
  const auto* q2 = dynamic_cast<const BCCST*>(instr->getQ2Op());
  ASSERT_NE(q2, nullptr);
  EXPECT_EQ(q2->getConstRef().ptr(), back->getConstList().entryAt(1));
  const auto* z = dynamic_cast<const BCTMP*>(instr->getZOp());
  ASSERT_NE(z, nullptr);
  EXPECT_EQ(z->getTypeRef().getTable(), &back->getTypeTab());
}

TEST_F(RoadTest, FlagLeftSetBeforeALoadIsTakenByTheNewBlock) {
  const std::string bytes = recordOf(block);
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
    EXPECT_EQ(recordOf(*back), bytes);
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

// Storage lengths, alignments, component offsets and equality of types.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "tests/support/example_block.h"
#include "tests/support/test_util.h"

namespace {

using TypeTest = bctest::ExampleBlock;

TEST_F(TypeTest, ElementaryLengthsAndAlignments) {
  struct Case {
    unsigned code;
    std::uint32_t length, alignment;
  };
  // Length 0 means no length: flag 1, word alignment.
  for (const Case& c :
       {Case{1, 1, 1},    Case{2, 8, 8},    Case{3, 8, 8},    Case{4, 16, 16},  Case{5, 16, 16},
        Case{6, 32, 16},  Case{7, 32, 16},  Case{8, 32, 16},  Case{9, 16, 16},  Case{10, 32, 16},
        Case{11, 32, 16}, Case{12, 16, 16}, Case{14, 64, 16}, Case{20, 48, 16}, Case{22, 80, 16},
        Case{23, 16, 16}, Case{24, 16, 16}, Case{25, 16, 16}, Case{26, 16, 16}, Case{28, 16, 16},
        Case{29, 16, 16}, Case{30, 80, 16}, Case{31, 48, 16}, Case{0, 0, 16},   Case{13, 0, 16},
        Case{15, 0, 16},  Case{16, 0, 16},  Case{17, 0, 16},  Case{19, 0, 16},  Case{27, 0, 16},
        Case{32, 0, 16},  Case{254, 0, 16}}) {
    KRTypedesc::resetError();
    const KRElemDesc desc(static_cast<unsigned char>(c.code));
    EXPECT_EQ(desc.storageLength(), c.length) << c.code;
    EXPECT_EQ(KRTypedesc::getError(), c.length == 0 ? 1 : 0) << c.code;
    EXPECT_EQ(desc.alignment(), c.alignment) << c.code;
  }
}

TEST_F(TypeTest, StructureOffsetsAndLengths) {
  struct Case {
    std::vector<unsigned> codes;  // elementary codes of the components; 19 is STRING[3]
    std::vector<std::uint32_t> offsets;
    std::uint32_t length;
  };
  for (const Case& c : {Case{{1, 1, 2}, {0, 1, 8}, 16}, Case{{1, 5, 1}, {0, 16, 32}, 48},
                        Case{{5, 19}, {0, 16}, 64}, Case{{1, 2, 3, 1}, {0, 8, 16, 24}, 32},
                        Case{{1, 7}, {0, 16}, 48}, Case{{2}, {0}, 16}, Case{{}, {}, 0}}) {
    auto desc = std::make_unique<KRStructDesc>();
    for (unsigned code : c.codes)
      desc->addComp(KRString("x"), ref(code == 19 ? string(3) : elem(code)));
    const std::uint16_t index = add(desc.release());
    EXPECT_EQ(at(index).storageLength(), c.length) << index;
    for (std::uint16_t n = 1; n <= c.offsets.size(); ++n) {
      EXPECT_EQ(structAt(index).getComp(n).getOffset(), c.offsets[n - 1]) << index << " " << n;
    }
  }
  EXPECT_EQ(KRTypedesc::getError(), KRTypedesc::KRTYPEDESC_OK);
}

TEST_F(TypeTest, ArrayLengths) {
  struct Case {
    std::uint16_t index;
    std::uint32_t inArrays;
    std::uint32_t length;
  };
  const std::uint16_t bytes3 = array(elem(2), {{1, 3}});
  const std::vector<Case> cases = {
      {array(elem(1), {{1, 3}}), 8, 16},
      {array(elem(1), {{1, 2}, {1, 3}}), 16, 16},
      {bytes3, 24, 32},
      {array(string(1), {{1, 2}}), 64, 64},
      {array(bytes3, {{0, 1}}), 48, 48},
      {array(elem(5), {{-1, 5}, {0, 2}}), 336, 336},
      {array(elem(1), {{1, 9}}), 16, 16},
      {array(elem(5), {}), 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(arrayAt(c.index).storageLengthInArrays(), c.inArrays) << c.index;
    EXPECT_EQ(arrayAt(c.index).storageLength(), c.length) << c.index;
  }
  EXPECT_EQ(KRTypedesc::getError(), KRTypedesc::KRTYPEDESC_OK);
}

TEST_F(TypeTest, ArrayAlignmentInArraysFollowsNestedArrays) {
  EXPECT_EQ(arrayAt(array(array(elem(3), {{1, 2}}), {{1, 2}})).alignmentInArrays(), 8U);
  EXPECT_EQ(arrayAt(array(elem(1), {{1, 2}})).alignmentInArrays(), 8U);
  EXPECT_EQ(arrayAt(array(array(elem(4), {{1, 2}}), {{1, 2}})).alignmentInArrays(), 16U);
  EXPECT_EQ(arrayAt(array(elem(1), {{1, 2}})).alignment(), 16U);
  EXPECT_EQ(KRTypedesc::getError(), KRTypedesc::KRTYPEDESC_OK);
  EXPECT_EQ(arrayAt(array(array(0, {{1, 2}}), {{1, 2}})).alignmentInArrays(), 1U);
  EXPECT_EQ(KRTypedesc::getError(), KRTypedesc::KRTYPEDESC_FAILED);
}

TEST_F(TypeTest, UnresolvableTypesGiveNeutralValuesAndFlag) {
  const std::uint16_t badArray = array(0, {{1, 2}});
  const std::uint16_t badLast = structure({elem(5), 0});
  const std::uint16_t badMiddle = structure({0, elem(5)});
  struct Case {
    std::uint16_t index;
    std::uint32_t length;
  };
  for (const Case& c : {Case{badArray, 16}, Case{badLast, 1}}) {
    KRTypedesc::resetError();
    EXPECT_EQ(at(c.index).storageLength(), c.length);
    EXPECT_EQ(KRTypedesc::getError(), KRTypedesc::KRTYPEDESC_FAILED);
  }
  KRTypedesc::resetError();
  EXPECT_EQ(structAt(badMiddle).getCompOffset(2), 0U);
  EXPECT_EQ(KRTypedesc::getError(), KRTypedesc::KRTYPEDESC_FAILED);
}

TEST_F(TypeTest, CallerErrorsOnComponentsAndRanges) {
  KRStructDesc& s = structAt(structure({elem(5)}));
  EXPECT_EQ(s.getComp(2).getName().length(), 0U);
  EXPECT_EQ(s.getStructuredComp(0), nullptr);
  EXPECT_EQ(s.getCompOffset(3), 0U);
  KRArrayDesc& a = arrayAt(array(elem(5), {{2, 4}}));
  EXPECT_EQ(a.getRange(1).getUpperBound(), 4);
  EXPECT_EQ(a.getRange(2).getUpperBound(), 0);
  EXPECT_EQ(KRTypedesc::getError(), KRTypedesc::KRTYPEDESC_FAILED);
}

TEST_F(TypeTest, Equality) {
  struct Case {
    std::uint16_t left;
    std::uint16_t right;
    bool equal;
  };
  const std::uint16_t global = add(new KRElemDesc(5));
  at(global).setGlobal(12);
  const std::vector<Case> cases = {
      {global, elem(5), true},  // the global flag is not compared
      {array(elem(5), {{1, 3}}), array(elem(5), {{1, 3}}), true},
      {array(elem(5), {{1, 3}}), array(elem(4), {{1, 3}}), false},
      {array(elem(5), {{1, 3}}), array(elem(5), {{0, 3}}), false},
      {array(elem(5), {{1, 3}}), array(elem(5), {{1, 3}, {1, 3}}), false},
      {string(4), string(4), true},
      {string(4), string(5), false},
      {structure({elem(1), elem(5)}), structure({elem(1), elem(5)}), true},
      {structure({elem(1), elem(5)}), structure({elem(1)}), false},
      {structure({elem(1), elem(5)}), structure({elem(1), elem(7)}), false},
      {add(new KRElemDesc(19)), string(4), true},  // the left operand's rule decides
      {string(4), add(new KRElemDesc(19)), false},
      {elem(5), elem(4), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(at(c.left) == at(c.right), c.equal) << c.left << " " << c.right;
    EXPECT_EQ(at(c.left) != at(c.right), !c.equal) << c.left << " " << c.right;
  }
  at(global).setLocal();
  EXPECT_TRUE(!at(global).isGlobal() && at(global).getGDTNo() == 0);
  EXPECT_EQ(KRTypedesc::getError(), KRTypedesc::KRTYPEDESC_OK);
}

TEST_F(TypeTest, ComponentNamesMustMatchAndTypesResolve) {
  KRStructComp a(KRString("ab"), ref(elem(5)));
  EXPECT_TRUE(a == KRStructComp(KRString("ab"), ref(elem(5))));
  EXPECT_FALSE(a == KRStructComp(KRString("ab\0x", 4), ref(elem(5))));
  EXPECT_EQ(KRStructComp::getError(), KRStructComp::KRSTRUCTCOMP_OK);
  EXPECT_FALSE(a == KRStructComp(KRString("ab"), KRTypeRef()));
  EXPECT_EQ(KRStructComp::getError(), KRStructComp::KRSTRUCTCOMP_FAILED);
}

TEST_F(TypeTest, CopiesAreEqualAndIndependent) {
  const std::uint16_t s = structure({elem(1), string(3)});
  at(s).setGlobal(4);
  const KRStructDesc copy(structAt(s));
  EXPECT_TRUE(copy == at(s));
  EXPECT_EQ(copy.getGDTNo(), 4);
  EXPECT_NE(&copy.getComp(1), &structAt(s).getComp(1));
  const std::uint16_t a = array(elem(5), {{-1, 5}, {0, 2}});
  const KRArrayDesc arrayCopy(arrayAt(a));
  EXPECT_TRUE(arrayCopy == at(a));
  EXPECT_EQ(arrayCopy.getDim(), 2);
}

TEST_F(TypeTest, ConvertHierarchicalNestsOneDimensionPerArray) {
  const std::uint16_t a = array(elem(5), {{1, 2}, {0, 9}});
  const std::uint16_t before = tab.getCount();
  const KRTypeRef outer = arrayAt(a).convertHierarchical(tab);
  ASSERT_EQ(outer.getIndex(), before + 1);
  EXPECT_EQ(tab.getCount(), before + 2);
  const auto& outerDesc = static_cast<const KRArrayDesc&>(*outer.ptr());
  EXPECT_EQ(outerDesc.getDim(), 1);
  EXPECT_EQ(outerDesc.getRange(1), KRArrayRange(1, 2, 4));
  EXPECT_EQ(outerDesc.getElemTypeRef().getIndex(), before);
  const auto& inner = static_cast<const KRArrayDesc&>(*outerDesc.getElemTypeRef().ptr());
  EXPECT_EQ(inner.getRange(1), KRArrayRange(0, 9, 4));
  EXPECT_EQ(inner.getElemTypeRef().getIndex(), elem(5));
  EXPECT_FALSE(outerDesc.isGlobal());
  EXPECT_EQ(outerDesc.storageLength(), at(a).storageLength());
}

// Type graphs a record can carry: every operation answers at once, with
// flag 1 and a neutral value where the graph has a cycle.
TEST_F(TypeTest, CyclesGiveNeutralValuesAndFlag) {
  // b holds a, a (added next) holds b.
  const std::uint16_t b = structure({static_cast<std::uint16_t>(tab.getCount() + 1)});
  structure({b});
  const std::uint16_t selfStruct = structure({elem(1), tab.getCount()});
  const std::uint16_t selfArray = array(tab.getCount(), {{1, 3}});
  struct Case {
    const char* what;
    std::uint16_t index;
  };
  for (const Case& c :
       {Case{"structure", selfStruct}, Case{"array", selfArray}, Case{"mutual structures", b}}) {
    SCOPED_TRACE(c.what);
    KRTypedesc::resetError();
    at(c.index).storageLength();
    EXPECT_EQ(KRTypedesc::getError(), KRTypedesc::KRTYPEDESC_FAILED);
    KRTypedesc::resetError();
    EXPECT_FALSE(at(c.index) == at(c.index));
    EXPECT_EQ(KRTypedesc::getError(), KRTypedesc::KRTYPEDESC_FAILED);
    KRTypedesc::resetError();
    const bool isArray = at(c.index).isA() == KRTypedesc::KR_ARRAY_DESC;
    EXPECT_EQ(isArray ? arrayAt(c.index).alignmentInArrays() : at(c.index).alignment(),
              isArray ? 1U : 16U);
    EXPECT_EQ(KRTypedesc::getError(), isArray ? KRTypedesc::KRTYPEDESC_FAILED : 0);
  }
}

// Graphs as deep or as shared as a record may carry them. Each level of
// kStructs holds a BOOL and the level below, each of kArrays is an array
// [1..1] of the level below, each of kShared holds the level below twice.
struct DeepCase {
  enum Shape { kStructs, kArrays, kShared } shape;
  int levels;
  unsigned char leaf;
  std::uint32_t length;
  std::uint32_t alignment;  // alignment(), or alignmentInArrays() of an array
};

const DeepCase kDeepCases[] = {
    {DeepCase::kStructs, 256, KR_DT_INT, 16 * 257, 16},
    {DeepCase::kStructs, 257, KR_DT_INT, 16 * 258, 16},
    {DeepCase::kStructs, 60000, KR_DT_INT, 16 * 60001, 16},
    // Each row of a BOOL array starts on a byte; an array takes a word.
    {DeepCase::kArrays, 10000, KR_DT_BOOL, 16, 8},
    // 32 << 59 bits wraps to 0 in 32-bit arithmetic.
    {DeepCase::kShared, 60, KR_DT_INT, 0, 16},
};

// Builds the case's graph in `tab`; the top.
const KRTypedesc& buildDeep(KRTypeTab& tab, const DeepCase& c) {
  const KRTypeRef boolean = tab.add(new KRElemDesc(KR_DT_BOOL));
  KRTypeRef below = tab.add(new KRElemDesc(c.leaf));
  for (int level = 0; level < c.levels; ++level) {
    if (c.shape == DeepCase::kArrays) {
      auto array = std::make_unique<KRArrayDesc>(below);
      array->addDim(1, 1);
      below = tab.add(array.release());
      continue;
    }
    auto structure = std::make_unique<KRStructDesc>();
    structure->addComp(KRString("a"), c.shape == DeepCase::kShared ? below : boolean);
    structure->addComp(KRString("b"), below);
    below = tab.add(structure.release());
  }
  return *below.ptr();
}

// Takes at most `limit` bytes and throws beyond them, so that a dump that
// outgrows its bound ends at once.
class BoundedSink : public std::streambuf {
 public:
  struct Overflow {};
  explicit BoundedSink(std::size_t limit) : left_(limit) {}

 protected:
  std::streamsize xsputn(const char*, std::streamsize n) override {
    if (static_cast<std::size_t>(n) > left_) throw Overflow{};
    left_ -= static_cast<std::size_t>(n);
    return n;
  }
  int_type overflow(int_type ch) override {
    xsputn(nullptr, 1);
    return traits_type::not_eof(ch);
  }

 private:
  std::size_t left_;
};

class DeepGraphs : public ::testing::TestWithParam<DeepCase> {};

TEST_P(DeepGraphs, ExactAnswersAndDumpsInProportionToTheRecord) {
  const DeepCase& c = GetParam();
  bcInitBCode();
  KRTypeTab tab, twin;
  const KRTypedesc& top = buildDeep(tab, c);
  EXPECT_EQ(top.storageLength(), c.length);
  EXPECT_EQ(c.shape == DeepCase::kArrays ? static_cast<const KRArrayDesc&>(top).alignmentInArrays()
                                         : top.alignment(),
            c.alignment);
  const KRTypedesc& twinTop = buildDeep(twin, c);
  EXPECT_TRUE(top == twinTop);
  // One level less: the difference shows only at the bottom.
  const KRTypeRef lower = c.shape == DeepCase::kArrays
                              ? static_cast<const KRArrayDesc&>(twinTop).getElemTypeRef()
                              : static_cast<const KRStructDesc&>(twinTop).getComp(2).getTypeRef();
  EXPECT_FALSE(top == *lower.ptr());
  bctest::NameTable names("T", 256);
  char line[kKRLineSize] = {};
  std::ostringstream listing;
  top.printOn(listing, 2, nullptr, line, names.get());
  const std::string length = " " + std::to_string(c.length) + " ";
  EXPECT_EQ(listing.str().substr(47, length.size()), length);
  EXPECT_EQ(KRTypedesc::getError(), KRTypedesc::KRTYPEDESC_OK);

  // Every type dumped and listed one by one as one print run, as a block's
  // dump and listing do, then the top in a dump of its own.
  std::ostringstream record;
  tab.save(record);
  BoundedSink sink(100 * record.str().size());
  std::ostream out(&sink);
  out.exceptions(std::ios::badbit);
  EXPECT_NO_THROW({
    {
      const KRTypePrintScope onePrint(tab);
      for (KRTypeTabIterator it(tab); !it.end(); ++it) {
        it.current()->printOn(out, 0);
        it.current()->printOn(out, 2, nullptr, line, names.get());
      }
    }
    top.printOn(out, 0);
  });
}

std::string caseName(const ::testing::TestParamInfo<DeepCase>& info) {
  const char* const shapes[] = {"Structures", "Arrays", "Shared"};
  return shapes[info.param.shape] + std::to_string(info.param.levels);
}

INSTANTIATE_TEST_SUITE_P(Sizes, DeepGraphs, ::testing::ValuesIn(kDeepCases), caseName);

}  // namespace

// The block the tests build their cases in: FB 7 with the 23 elementary
// types at indices 1 .. 23, as a new block has them, empty interface, local
// data, constant, operand and instruction lists, builders for further types,
// and a listing line with type names "T<code>". Every flag is clear before
// and after each test.
#ifndef BCODE_TESTS_SUPPORT_EXAMPLE_BLOCK_H
#define BCODE_TESTS_SUPPORT_EXAMPLE_BLOCK_H

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>

#include "bcode/bcode.h"
#include "tests/support/test_util.h"

namespace bctest {

// Indices of elementary types in a new block's type table.
enum ElemIndex : std::uint16_t { kBool = 1, kByte = 2, kInt = 5, kDInt = 7, kDT = 13 };

// Layout failures the numbered lists (interface descriptions, local data)
// share: three INT entries whose second is changed as given, and the entry
// asked for.
struct LayoutFailure {
  const char* what;
  std::uint16_t secondType;
  std::uint16_t secondView;
  std::uint16_t asked;
  KRSequenceErrors flag;
};
inline const LayoutFailure kLayoutFailures[] = {
    {"more entries asked than there are", kInt, 0, 5, KRSEQUENCE_NO_ELEMENT},
    {"view of itself", kInt, 2, 3, KRSEQUENCE_LAYOUT_FAILED},
    {"view of a later entry", kInt, 3, 3, KRSEQUENCE_LAYOUT_FAILED},
    {"view of a missing entry", kInt, 40, 3, KRSEQUENCE_LAYOUT_FAILED},
    {"entry without a type", 0, 0, 3, KRSEQUENCE_LAYOUT_FAILED},
    {"type index beyond the table", 900, 0, 3, KRSEQUENCE_LAYOUT_FAILED},
};

class ExampleBlock : public ::testing::Test {
 protected:
  ExampleBlock() { block.initElemTypes(); }
  ~ExampleBlock() override { bcInitBCode(); }

  // The index of the predefined type of an elementary code.
  static std::uint16_t elem(unsigned code) {
    return static_cast<std::uint16_t>(krElemTypeSlot(code) + 1);
  }
  KRTypeRef ref(std::uint16_t index) { return KRTypeRef(index, &tab); }
  KRTypedesc& at(std::uint16_t index) { return *ref(index).ptr(); }
  KRStructDesc& structAt(std::uint16_t index) { return static_cast<KRStructDesc&>(at(index)); }
  KRArrayDesc& arrayAt(std::uint16_t index) { return static_cast<KRArrayDesc&>(at(index)); }

  std::uint16_t add(KRTypedesc* desc) { return tab.add(desc).getIndex(); }
  std::uint16_t string(unsigned char maxLen) { return add(new KRStringDesc(maxLen)); }
  std::uint16_t array(std::uint16_t elemIndex,
                      std::initializer_list<std::pair<std::int32_t, std::int32_t>> dims);
  // Components named "c1", "c2", ... of the given types.
  std::uint16_t structure(std::initializer_list<std::uint16_t> types);

  // What operands and instructions name, for the tests that need it:
  // types 24 INT (equal to 5, not the same) and 25 code 254; own FB 7: 1 a
  // INT, 2 b BOOL, 3 c view of 1, 4 d view of 1; FB 9 and FB 10: 1 x INT;
  // FC 4: 1 p INT, 2 q BOOL, 3 r view of 1; LDD: 1 INT, 2 BOOL (16), 3 INT
  // viewing 2; LSD from 32: 1 BOOL, 2 INT (16); DINT constants 5, 5, 6 at
  // 1 .. 3; operands M 0 INT, M 0 INT, M 16 INT at 1 .. 3. Laid out.
  void fill();
  BCSSBRef fbRef(std::uint16_t parNo, std::uint16_t blockNo = 7) {
    return BCSSBRef(blockNo, KR_FB_KENN, parNo, &block.getSSBList());
  }
  BCSSBRef fcRef(std::uint16_t parNo) {
    return BCSSBRef(4, KR_FC_KENN, parNo, &block.getSSBList());
  }
  BCConstRef constRef(std::uint16_t index) {
    return BCConstRef(KRReference<BCConstant*>(index, &block.getConstList()));
  }
  BCOpRef opRef(std::uint16_t index) {
    return BCOpRef(KRReference<BCOperand*>(index, &block.getOpList()));
  }

  bool lineIsClear() const { return std::string(line, sizeof line) == std::string(sizeof line, 0); }

 private:
  struct Cleared {
    Cleared() { bcInitBCode(); }
  } cleared_;

 protected:
  BCode block{7, KR_FB_KENN};
  KRTypeTab& tab = block.getTypeTab();
  BCLDList& ldd = block.getLDDList();
  BCLDList& lsd = block.getLSDList();
  const KRTypeRef intA = ref(kInt), boolT = ref(kBool);
  KRTypeRef intB, high, missing = ref(99);
  NameTable typeNames{"T", 256};
  char line[kKRLineSize] = {};
};

// The example block with what fill() adds.
class FilledBlock : public ExampleBlock {
 protected:
  FilledBlock() { fill(); }
};

}  // namespace bctest

#endif  // BCODE_TESTS_SUPPORT_EXAMPLE_BLOCK_H

// Descriptor and type table records: exact bytes, the record contract, both
// bound widths and corrupted input.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

#include "tests/support/example_block.h"
#include "tests/support/record_check.h"

namespace {

using bctest::fromHex;
using bctest::hexOf;
using bctest::toHex;

class TypeRecords : public bctest::ExampleBlock {
 protected:
  BCSSBList& list = block.getSSBList();
  KRTypeEnv env{nullptr, &list, 4};
  const bctest::RecordFlag descFlag = bctest::libraryFlag("type", 1, 1, true);
  const bctest::RecordFlag tableFlag = bctest::libraryFlag("type table", 2, 3);

  std::unique_ptr<KRTypedesc> load(std::istream& is, unsigned width = 4) {
    env.setTypeTab(&tab);
    env.SetBoundaryByteLen(width);
    return std::unique_ptr<KRTypedesc>(KRTypedesc::iload(is, &env));
  }
  std::unique_ptr<KRTypedesc> load(const std::string& hex, unsigned width = 4) {
    std::istringstream is(fromHex(hex));
    return load(is, width);
  }
  std::unique_ptr<KRTypeTab> loadTable(std::istream& is) {
    return std::unique_ptr<KRTypeTab>(KRTypeTab::iload(is, &env));
  }
};

TEST_F(TypeRecords, DescriptorRecordsOfEveryClass) {
  const std::uint16_t g = string(80);
  at(g).setGlobal(0x1234);
  auto named = std::make_unique<KRStructDesc>();
  named->addComp(KRString("ab"), ref(5));
  named->addComp(KRString(""), ref(1));
  const KRInstanceDesc instance(7, KR_FB_KENN, &list);
  struct Case {
    const KRTypedesc& desc;
    const char* hex;
  };
  for (const Case& c : {
           Case{at(elem(5)), "00 05 00 00 00"},
           Case{at(string(80)), "03 13 00 00 00 50"},
           Case{at(g), "03 13 01 34 12 50"},
           Case{at(array(elem(5), {{-1, 5}, {0, 2}})),
                "01 10 00 00 00 02 05 00 FF FF FF FF 05 00 00 00 00 00 00 00 02 00 00 00"},
           Case{*named, "02 11 00 00 00 02 00 05 00 02 61 62 01 00 00"},
           Case{instance, "04 1B 00 00 00 07 00 02"},
       }) {
    const auto back = bctest::checkRecord(
        c.desc, [this](std::istream& is) { return load(is); }, descFlag, c.hex);
    ASSERT_NE(back, nullptr) << c.hex;
    EXPECT_EQ(back->isA(), c.desc.isA());
    EXPECT_TRUE(*back == c.desc) << c.hex;
  }
}

TEST_F(TypeRecords, TwoByteBoundsAreSignExtended) {
  const auto desc = load("01 10 00 00 00 02 05 00 FF FF 05 00 00 80 FF 7F", 2);
  ASSERT_NE(desc, nullptr);
  const auto& arr = static_cast<const KRArrayDesc&>(*desc);
  EXPECT_EQ(arr.getRange(1), KRArrayRange(-1, 5, 4));
  EXPECT_EQ(arr.getRange(2), KRArrayRange(-32768, 32767, 4));
  EXPECT_EQ(arr.getElemTypeRef().getTable(), &tab);
  EXPECT_EQ(hexOf(*desc),
            "01 10 00 00 00 02 05 00 FF FF FF FF 05 00 00 00 00 80 FF FF FF 7F 00 00");
}

TEST_F(TypeRecords, UnsupportedBoundWidthFailsTheDescriptor) {
  EXPECT_EQ(load("01 10 00 00 00 01 05 00 01 00 00 02 00 00", 3), nullptr);
  EXPECT_EQ(KRTypedesc::getError(), KRTypedesc::KRTYPEDESC_FAILED);
  EXPECT_EQ(KRArrayRange::getError(), KRArrayRange::KRARRAYRANGE_OK);
  KRArrayRange range(0, 0, 3);
  std::istringstream is(fromHex("01 00 00 00 02 00 00 00"));
  range.load(is);
  EXPECT_EQ(KRArrayRange::getError(), KRArrayRange::KRARRAYRANGE_FAILED);
}

TEST_F(TypeRecords, BadTagsFailTheDescriptorAlone) {
  for (const char* hex : {"05 05 00 00 00", "FF", "02 11 00 00 00 01 00 05 00 03 61 62"}) {
    bcInitBCode();
    EXPECT_EQ(load(hex), nullptr) << hex;
    EXPECT_EQ(KRTypedesc::getError(), KRTypedesc::KRTYPEDESC_FAILED) << hex;
    EXPECT_EQ(KRStructComp::getError(), KRStructComp::KRSTRUCTCOMP_OK) << hex;
  }
}

// A structure counts its components in 16 bits: the 65,536th is refused
// with flag 2 and leaves the structure as it was, which still saves.
TEST_F(TypeRecords, StructureRefusesItsComponent65536) {
  auto full = std::make_unique<KRStructDesc>();
  for (std::uint32_t i = 0; i < UINT16_MAX; ++i) full->addComp(KRString(""), ref(1));
  ASSERT_EQ(KRTypedesc::getError(), KRTypedesc::KRTYPEDESC_OK);
  full->addComp(KRString("x"), ref(5));
  EXPECT_EQ(KRTypedesc::getError(), KRTypedesc::KRTYPEDESC_NO_MEMORY);
  EXPECT_EQ(full->getNoOfComp(), UINT16_MAX);
  EXPECT_EQ(full->getComp(UINT16_MAX).getName().length(), 0u);
  bcInitBCode();
  const std::string hex = hexOf(*full);
  EXPECT_EQ(hex.substr(0, 29), "02 11 00 00 00 FF FF 01 00 00");
  EXPECT_EQ(hex.size(), 3 * (7 + 3 * std::size_t{UINT16_MAX}) - 1);
}

// The predefined types, an empty slot, one descriptor of every class and a
// global one: indices and empty slots survive, references bind to the table
// read, which keeps no cached references.
TEST_F(TypeRecords, TableRecord) {
  tab.add(nullptr);                               // 24
  string(80);                                     // 25
  array(elem(5), {{-1, 5}, {0, 2}});              // 26
  structure({elem(5), 25});                       // 27
  add(new KRInstanceDesc(7, KR_FB_KENN, &list));  // 28
  at(add(new KRElemDesc(7))).setGlobal(0x1234);   // 29
  const auto loaded = bctest::checkRecord(
      tab, [this](std::istream& is) { return loadTable(is); }, tableFlag);
  const std::string hex = hexOf(tab);
  EXPECT_EQ(hex.substr(0, 41), "1E 00 01 00 01 00 00 00 01 00 02 00 00 00");
  EXPECT_EQ(hex.substr((2 + 23 * 6) * 3),
            "00 01 03 13 00 00 00 50 01 01 10 00 00 00 02 05 00 FF FF FF FF 05 00 00 00 00 00 00 "
            "00 02 00 00 00 01 02 11 00 00 00 02 00 05 00 02 63 31 19 00 02 63 32 01 04 1B 00 "
            "00 00 07 00 02 01 00 07 01 34 12");
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->entryAt(24), nullptr);
  const auto& s = static_cast<const KRStructDesc&>(*loaded->entryAt(27));
  EXPECT_EQ(s.getComp(2).getTypeRef().ptr(), loaded->entryAt(25));
  const auto& inst = static_cast<const KRInstanceDesc&>(*loaded->entryAt(28));
  EXPECT_EQ(inst.getSSBList(), &list);
  EXPECT_EQ(loaded->getTypeRef(5).getIndex(), 0);
}

TEST_F(TypeRecords, FailedTableLoadsLeaveNoTable) {
  for (const char* hex : {"03 00 01 05 05 00 00 00 01 00 05 00 00 00", "02 00 01 00 05 00"}) {
    bcInitBCode();
    env.setTypeTab(&tab);
    std::istringstream is(fromHex(hex));
    EXPECT_EQ(loadTable(is), nullptr) << hex;
    EXPECT_EQ(KRRefTable<KRTypedesc*>::error, KRREFTABLE_LOAD_FAILED) << hex;
    EXPECT_EQ(KRTypedesc::getError(), KRTypedesc::KRTYPEDESC_OK) << hex;
    EXPECT_EQ(env.getTypeTab(), nullptr);
  }
  // A flag left set by an earlier failure refuses the next load.
  std::istringstream empty(fromHex("01 00"));
  EXPECT_EQ(loadTable(empty), nullptr);
}

}  // namespace

// Descriptor, range, component and type table records: exact bytes, round
// trips, both bound widths, failing streams and corrupted input.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

#include "bcode/foundation/krlistline.h"
#include "bcode/interface/bcssb.h"
#include "bcode/interface/bcssbentry.h"
#include "tests/support/test_util.h"
#include "tests/types/type_fixture.h"

namespace {

using bctest::fromHex;
using bctest::toHex;

std::string saved(const KRTypedesc& desc) {
  std::ostringstream os;
  desc.save(os);
  return toHex(os.str());
}

class TypeRecords : public TypeTest {
 protected:
  BCSSBList list;
  KRTypeEnv env{nullptr, &list, 4};

  std::unique_ptr<KRTypedesc> load(const std::string& hex, unsigned width = 4) {
    env.setTypeTab(&tab);
    env.SetBoundaryByteLen(width);
    std::istringstream is(fromHex(hex));
    return std::unique_ptr<KRTypedesc>(KRTypedesc::iload(is, &env));
  }
  std::unique_ptr<KRTypeTab> loadTable(const std::string& bytes) {
    std::istringstream is(bytes);
    return std::unique_ptr<KRTypeTab>(KRTypeTab::iload(is, &env));
  }
  std::string tableBytes(const KRTypeTab& table) {
    std::ostringstream os;
    table.save(os);
    return os.str();
  }
  // One descriptor of every class, a global one and an empty slot.
  void addOneOfEach() {
    tab.add(nullptr);                               // 24
    string(80);                                     // 25
    array(elem(5), {{-1, 5}, {0, 2}});              // 26
    structure({elem(5), 25});                       // 27
    add(new KRInstanceDesc(7, KR_FB_KENN, &list));  // 28
    at(add(new KRElemDesc(7))).setGlobal(0x1234);   // 29
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
    const std::string hex = saved(c.desc);
    EXPECT_EQ(hex, c.hex);
    const auto back = load(hex);
    ASSERT_NE(back, nullptr) << hex;
    EXPECT_EQ(back->isA(), c.desc.isA());
    EXPECT_EQ(saved(*back), hex);
    EXPECT_TRUE(*back == c.desc) << hex;
  }
  EXPECT_EQ(KRTypedesc::getError(), KRTypedesc::KRTYPEDESC_OK);
}

TEST_F(TypeRecords, LongComponentNameKeepsItsLowEightLengthBits) {
  auto desc = std::make_unique<KRStructDesc>();
  desc->addComp(KRString(std::string(300, 'n').c_str()), ref(5));
  EXPECT_EQ(saved(*desc), "02 11 00 00 00 01 00 05 00 2C " + toHex(std::string(44, 'n')));
}

TEST_F(TypeRecords, TwoByteBoundsAreSignExtended) {
  const auto desc = load("01 10 00 00 00 02 05 00 FF FF 05 00 00 80 FF 7F", 2);
  ASSERT_NE(desc, nullptr);
  const auto& arr = static_cast<const KRArrayDesc&>(*desc);
  EXPECT_EQ(arr.getRange(1), KRArrayRange(-1, 5, 4));
  EXPECT_EQ(arr.getRange(2), KRArrayRange(-32768, 32767, 4));
  EXPECT_EQ(arr.getElemTypeRef().getTable(), &tab);
  EXPECT_EQ(saved(*desc),
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

TEST_F(TypeRecords, BadTagsAndShortRecordsGiveNull) {
  for (const char* hex : {"", "05 05 00 00 00", "FF", "00 05 00 00", "03 13 00 00 00",
                          "02 11 00 00 00 01 00 05 00 03 61 62"}) {
    KRTypedesc::resetError();
    EXPECT_EQ(load(hex), nullptr) << hex;
    EXPECT_EQ(KRTypedesc::getError(), KRTypedesc::KRTYPEDESC_FAILED) << hex;
    EXPECT_EQ(KRStructComp::getError(), KRStructComp::KRSTRUCTCOMP_OK) << hex;
  }
}

TEST_F(TypeRecords, PredefinedTableRecord) {
  std::string expected = "18 00";
  for (unsigned char code : kKRElemTypeCodes) {
    char part[32];
    std::snprintf(part, sizeof part, " 01 00 %02X 00 00 00", code);
    expected += part;
  }
  EXPECT_EQ(toHex(tableBytes(tab)), expected);
  EXPECT_EQ(toHex(tableBytes(KRTypeTab())), "01 00");
}

TEST_F(TypeRecords, TableRoundTripKeepsIndicesEmptySlotsAndBindsToTheNewTable) {
  addOneOfEach();
  const std::string bytes = tableBytes(tab);
  const std::string tail = toHex(bytes.substr(2 + 23 * 6));
  EXPECT_EQ(tail,
            "00 01 03 13 00 00 00 50 01 01 10 00 00 00 02 05 00 FF FF FF FF 05 00 00 00 00 00 00 "
            "00 02 00 00 00 01 02 11 00 00 00 02 00 05 00 02 63 31 19 00 02 63 32 01 04 1B 00 "
            "00 00 07 00 02 01 00 07 01 34 12");
  const auto loaded = loadTable(bytes);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(env.getTypeTab(), loaded.get());
  EXPECT_EQ(tableBytes(*loaded), bytes);
  EXPECT_EQ(loaded->entryAt(24), nullptr);
  const auto& s = static_cast<const KRStructDesc&>(*loaded->entryAt(27));
  EXPECT_EQ(s.getComp(2).getTypeRef().getTable(), loaded.get());
  EXPECT_EQ(s.getComp(2).getTypeRef().ptr(), loaded->entryAt(25));
  const auto& inst = static_cast<const KRInstanceDesc&>(*loaded->entryAt(28));
  EXPECT_EQ(inst.getSSBList(), &list);
  EXPECT_EQ(inst.getBlockNo(), 7);
  EXPECT_EQ(inst.getBlockKind(), KR_FB_KENN);
  // A table read from a record keeps no cached references.
  EXPECT_EQ(loaded->getTypeRef(5).getIndex(), 0);
  EXPECT_EQ(loaded->getTypeRef(0).getIndex(), 0);
}

TEST_F(TypeRecords, PresentByteOtherThanOneIsAnEmptySlot) {
  const auto loaded = loadTable(fromHex("03 00 02 01 00 05 00 00 00"));
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->getCount(), 3);
  EXPECT_EQ(loaded->entryAt(1), nullptr);
  EXPECT_EQ(loaded->entryAt(2)->getDataType(), 5);
}

TEST_F(TypeRecords, FailedTableLoadsLeaveNoTable) {
  for (const char* hex : {"03 00 01 05 05 00 00 00 01 00 05 00 00 00", "02 00 01 00 05 00", "02"}) {
    KRRefTable<KRTypedesc*>::error = KRREFTABLE_OK;
    env.setTypeTab(&tab);
    EXPECT_EQ(loadTable(fromHex(hex)), nullptr) << hex;
    EXPECT_EQ(KRRefTable<KRTypedesc*>::error, KRREFTABLE_LOAD_FAILED) << hex;
    EXPECT_EQ(KRTypedesc::getError(), KRTypedesc::KRTYPEDESC_OK) << hex;
    EXPECT_EQ(env.getTypeTab(), nullptr);
  }
  // A flag left set by an earlier failure refuses the next load.
  EXPECT_EQ(loadTable(fromHex("01 00")), nullptr);
  KRRefTable<KRTypedesc*>::error = KRREFTABLE_OK;
  EXPECT_NE(loadTable(fromHex("01 00")), nullptr);
}

TEST_F(TypeRecords, EveryShortWriteFlagsTheDescriptorAndTheTable) {
  addOneOfEach();
  for (std::uint16_t index = 25; index <= 29; ++index) {
    const std::string full = fromHex(saved(at(index)));
    for (std::size_t limit = 0; limit <= full.size(); ++limit) {
      KRTypedesc::resetError();
      bctest::LimitedBuf buf(limit);
      std::ostream os(&buf);
      at(index).save(os);
      EXPECT_EQ(KRTypedesc::getError() != KRTypedesc::KRTYPEDESC_OK, limit < full.size())
          << index << " " << limit;
      EXPECT_EQ(buf.bytes(), full.substr(0, limit));
      EXPECT_EQ(KRArrayRange::getError(), KRArrayRange::KRARRAYRANGE_OK);
      EXPECT_EQ(KRStructComp::getError(), KRStructComp::KRSTRUCTCOMP_OK);
    }
  }
  bctest::LimitedBuf buf(100);
  std::ostream os(&buf);
  tab.save(os);
  EXPECT_EQ(KRRefTable<KRTypedesc*>::error, KRREFTABLE_SAVE_FAILED);
}

// Runs every operation that follows references on every descriptor of a
// table that a record produced.
void exercise(const KRTypeTab& table) {
  bctest::NameTable names("T", 256);
  char line[kKRLineSize] = {};
  std::ostringstream out;
  for (KRTypeTabIterator it(table); !it.end(); ++it) {
    const KRTypedesc& desc = *it.current();
    desc.storageLength();
    desc.alignment();
    for (KRTypeTabIterator other(table); !other.end(); ++other) (void)(desc == *other.current());
    desc.printOn(out, 2);
    for (int level : {0, 5, 7}) desc.printOn(out, level, nullptr, line, names.get());
    if (desc.isA() == KRTypedesc::KR_ARRAY_DESC) {
      const auto& arr = static_cast<const KRArrayDesc&>(desc);
      arr.alignmentInArrays();
      arr.storageLengthInArrays();
    }
  }
  for (char c : line) ASSERT_EQ(c, '\0');
}

TEST_F(TypeRecords, EveryPrefixAndSingleByteCorruptionLoadsOrFailsCleanly) {
  // One descriptor of every class, an empty slot and a shared structure.
  KRTypeTab small;
  const auto in = [&small](std::uint16_t index) { return KRTypeRef(index, &small); };
  small.add(new KRElemDesc(KR_DT_INT));
  small.add(nullptr);
  small.add(new KRStringDesc(80));
  auto arr = std::make_unique<KRArrayDesc>(in(1));
  arr->addDim(-1, 5);
  arr->addDim(0, 2);
  small.add(arr.release());
  for (std::uint16_t shared : {1, 5}) {
    auto desc = std::make_unique<KRStructDesc>();
    desc->addComp(KRString("a"), in(shared));
    desc->addComp(KRString("b"), in(shared == 1 ? 3 : shared));
    small.add(desc.release());
  }
  small.add(new KRInstanceDesc(7, KR_FB_KENN, &list));
  small.add(new KRElemDesc(KR_DT_DINT)).ptr()->setGlobal(9);
  // The instance's block has an entry of the instance's own type.
  list.newSSB(7, KR_FB_KENN)->add(new BCFBEntry(KRString("i"), in(7), BCSSBEntry::BC_PARAM_IN));
  const std::string bytes = tableBytes(small);
  ASSERT_EQ(bytes.size(), 88U);
  for (std::size_t k = 0; k < bytes.size(); ++k) {
    KRRefTable<KRTypedesc*>::error = KRREFTABLE_OK;
    EXPECT_EQ(loadTable(bytes.substr(0, k)), nullptr) << k;
  }
  std::size_t loaded = 0;
  for (std::size_t pos = 0; pos < bytes.size(); ++pos) {
    const auto original = static_cast<unsigned char>(bytes[pos]);
    for (unsigned value : {0U, 1U, 2U, 3U, 4U, 5U, 6U, 7U, 8U, 0x10U, 0x11U, 0x13U, 0x1BU, 0x7FU,
                           0x80U, 0xFFU, original ^ 1U, original + 1U}) {
      std::string corrupt = bytes;
      corrupt[pos] = static_cast<char>(value);
      resetTypeFlags();
      const auto table = loadTable(corrupt);
      if (table) {
        ++loaded;
        exercise(*table);
      }
    }
  }
  EXPECT_GT(loaded, 0U);
}

}  // namespace

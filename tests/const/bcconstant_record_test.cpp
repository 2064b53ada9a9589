// Constant records and the constant table record.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bcode/const/bcconstant.h"
#include "bcode/const/bcconstlist.h"
#include "tests/support/record_check.h"

namespace {

using bctest::fromHex;

std::unique_ptr<BCConstant> load(std::istream& is) {
  return std::unique_ptr<BCConstant>(BCConstant::iload(is, nullptr));
}
std::unique_ptr<BCConstant> loadHex(const std::string& hex) {
  std::istringstream is(fromHex(hex));
  return load(is);
}
std::unique_ptr<BCConstantList> loadTable(std::istream& is) {
  return std::unique_ptr<BCConstantList>(BCConstantList::iload(is));
}

const bctest::RecordFlag kConstFlag = bctest::libraryFlag("constant", 1, 1, true);
const bctest::RecordFlag kTableFlag = bctest::libraryFlag("constant table", 2, 3);

struct RecordCase {
  std::shared_ptr<BCConstant> constant;
  const char* hex;
};

const RecordCase kRecordCases[] = {
    {std::make_shared<BCDWordConst>(0xFFFFFFFF), "00 FF FF FF FF"},
    {std::make_shared<BCDIntConst>(-2), "01 FE FF FF FF"},
    {std::make_shared<BCRealConst>(1.0F), "02 00 00 80 3F"},
    {std::make_shared<BCTimeConst>(-1500), "03 24 FA FF FF"},
    {std::make_shared<BCK4TimeConst>(12345), "04 39 30 00 00"},
    {std::make_shared<BCTODConst>(86399999), "05 FF 5B 26 05"},
    {std::make_shared<BCDateConst>(24, 12, 1999), "06 18 0C CF 07"},
    {std::make_shared<BCDTConst>(BCDateConst(1, 1, 2000), BCTODConst(1000)),
     "07 01 01 D0 07 E8 03 00 00"},
    {std::make_shared<BCStringConst>(KRString("AB")), "08 02 41 42"},
    {std::make_shared<BCStringConst>(KRString()), "08 00"},
};

TEST(ConstRecord, EveryClassKeepsTheRecordContract) {
  for (const RecordCase& c : kRecordCases) {
    const auto back = bctest::checkRecord(*c.constant, load, kConstFlag, c.hex);
    ASSERT_NE(back, nullptr) << c.hex;
    EXPECT_EQ(*back == *c.constant, 1) << c.hex;
  }
  // Every class of the class table has a case, and its record loads into it.
  std::vector<std::shared_ptr<BCConstant>> samples;
  for (const RecordCase& c : kRecordCases) samples.push_back(c.constant);
  const auto reload = [](const BCConstant& c) { return loadHex(bctest::hexOf(c)); };
#define BC_X(tag, Class, ...) \
  bctest::expectClassOfTag<Class>(samples, BCConstant::tag, #Class, reload);
#include "bcode/const/bcconstant.def"
#undef BC_X
}

TEST(ConstRecord, BadRecords) {
  for (const char* hex : {"09", "FF 00 00 00 00"}) {
    bcInitBCode();
    EXPECT_EQ(loadHex(hex), nullptr) << hex;
    EXPECT_EQ(BCConstant::getError(), BCConstant::BCCONSTANT_FAILED) << hex;
  }
  // A flag left set by an earlier failure refuses a good record too.
  EXPECT_EQ(loadHex("01 05 00 00 00"), nullptr);
  // A string is handed out all the same; its caller judges the flag.
  auto kept = loadHex("08 02 41 42");
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(*kept == BCStringConst(KRString("AB")), 1);
  EXPECT_EQ(BCConstant::getError(), BCConstant::BCCONSTANT_FAILED);
  // A string ends at its first zero character.
  bcInitBCode();
  auto text = loadHex("08 03 41 00 42");
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(*text == BCStringConst(KRString("A")), 1);
  bcInitBCode();
}

TEST(ConstTable, RecordKeepsEmptySlotsAndFailsCleanly) {
  bctest::checkRecord(BCConstantList(), loadTable, kTableFlag, "01 00");
  BCConstantList list;
  list.add(new BCDIntConst(5));
  list.add(nullptr);
  const auto back = bctest::checkRecord(list, loadTable, kTableFlag, "03 00 01 01 05 00 00 00 00");
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->entryAt(2), nullptr);
  EXPECT_EQ(*back->entryAt(1) == BCDIntConst(5), 1);
  // The first constant is freed with the table (the sanitizer build checks).
  std::istringstream unknownTag(fromHex("03 00 01 01 05 00 00 00 01 09"));
  EXPECT_EQ(loadTable(unknownTag), nullptr);
  EXPECT_EQ(KRRefTable<BCConstant*>::error, KRREFTABLE_LOAD_FAILED);
  EXPECT_EQ(BCConstant::getError(), BCConstant::BCCONSTANT_FAILED);

  list.add(new BCDTConst(BCDateConst(1, 2, 2003), BCTODConst(4)));
  list.add(new BCStringConst(KRString("text")));
  list.add(new BCRealConst(2.5F));
  EXPECT_GT(bctest::checkCorruptRecords(bctest::recordOf(list), loadTable, kTableFlag,
                                        {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x7F, 0x80, 0xFF}),
            0);
}

}  // namespace

// Constant records and the constant table record.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bcode/const/bcconstant.h"
#include "bcode/const/bcconstlist.h"
#include "tests/support/test_util.h"

namespace {

using bctest::fromHex;
using bctest::toHex;

void resetFlags() {
  BCConstant::resetError();
  KRRefTable<BCConstant*>::error = KRREFTABLE_OK;
  KRString::error = KRString::KRSTRING_OK;
}

std::string saved(const BCConstant& c) {
  std::ostringstream os;
  c.save(os);
  return os.str();
}

std::unique_ptr<BCConstant> loaded(const std::string& bytes) {
  std::istringstream is(bytes);
  return std::unique_ptr<BCConstant>(BCConstant::iload(is, nullptr));
}

struct RecordCase {
  std::shared_ptr<BCConstant> constant;
  const char* hex;
};

class ConstRecordTest : public ::testing::TestWithParam<RecordCase> {
 protected:
  void SetUp() override { resetFlags(); }
};

TEST_P(ConstRecordTest, SavesExactBytesAndLoadsEqual) {
  const BCConstant& c = *GetParam().constant;
  EXPECT_EQ(toHex(saved(c)), GetParam().hex);
  EXPECT_EQ(BCConstant::getError(), 0);
  auto back = loaded(fromHex(GetParam().hex));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(*back == c, 1);
}

TEST_P(ConstRecordTest, EveryShortReadOrWriteFails) {
  const std::string bytes = fromHex(GetParam().hex);
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    resetFlags();
    bctest::PipeBuf in(bytes.substr(0, n));
    std::istream is(&in);
    EXPECT_EQ(std::unique_ptr<BCConstant>(BCConstant::iload(is, nullptr)), nullptr) << n;
    EXPECT_EQ(BCConstant::getError(), BCConstant::BCCONSTANT_FAILED) << n;
    resetFlags();
    bctest::LimitedBuf out(n);
    std::ostream os(&out);
    GetParam().constant->save(os);
    EXPECT_EQ(BCConstant::getError(), BCConstant::BCCONSTANT_FAILED) << n;
  }
}

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

INSTANTIATE_TEST_SUITE_P(AllClasses, ConstRecordTest, ::testing::ValuesIn(kRecordCases));

// Every class of the class table has a case, and its record loads into it.
TEST(ConstRecord, EveryClassOfTheTableLoadsItsClass) {
  std::vector<std::shared_ptr<BCConstant>> samples;
  for (const RecordCase& c : kRecordCases) samples.push_back(c.constant);
  const auto reload = [](const BCConstant& c) { return loaded(saved(c)); };
#define BC_X(tag, Class, ...) \
  bctest::expectClassOfTag<Class>(samples, BCConstant::tag, #Class, reload);
#include "bcode/const/bcconstant.def"
#undef BC_X
}

TEST(ConstRecord, BadRecords) {
  for (const char* hex : {"", "09", "FF 00 00 00 00"}) {
    resetFlags();
    EXPECT_EQ(loaded(fromHex(hex)), nullptr) << hex;
    EXPECT_EQ(BCConstant::getError(), BCConstant::BCCONSTANT_FAILED) << hex;
  }
  // A flag left set by an earlier failure refuses a good record too.
  EXPECT_EQ(loaded(fromHex("01 05 00 00 00")), nullptr);
  // A string is handed out all the same; its caller judges the flag.
  auto kept = loaded(fromHex("08 02 41 42"));
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(*kept == BCStringConst(KRString("AB")), 1);
  EXPECT_EQ(BCConstant::getError(), BCConstant::BCCONSTANT_FAILED);
  // A string ends at its first zero character.
  resetFlags();
  auto text = loaded(fromHex("08 03 41 00 42"));
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(*text == BCStringConst(KRString("A")), 1);
}

// ------------------------------------------------------------ table records

class ConstTableTest : public ::testing::Test {
 protected:
  void SetUp() override { resetFlags(); }
  static std::unique_ptr<BCConstantList> load(const std::string& bytes) {
    std::istringstream is(bytes);
    return std::unique_ptr<BCConstantList>(BCConstantList::iload(is));
  }
};

TEST_F(ConstTableTest, RefsAndIterator) {
  BCConstantList list;
  EXPECT_EQ(list.getCount(), 1);
  EXPECT_EQ(BCConstRef().ptr(), nullptr);
  EXPECT_EQ(BCConstRef(KRReference<BCConstant*>(0, &list)).ptr(), nullptr);
  list.add(nullptr);
  list.add(nullptr);
  const BCConstRef a = list.add(new BCDIntConst(5));
  const BCConstRef b = list.add(new BCDIntConst(5));
  EXPECT_EQ(a.getIndex(), 3);
  EXPECT_EQ(b.getIndex(), 4);
  EXPECT_EQ(b.getTable(), &list);
  EXPECT_EQ(*a.ptr() == *b.ptr(), 1);
  EXPECT_EQ(BCConstRef(KRReference<BCConstant*>(5, &list)).ptr(), nullptr);
  EXPECT_EQ(BCConstantListIterator(list).index(), 3);
}

TEST_F(ConstTableTest, SavesSlotsAndLoadsThemBack) {
  BCConstantList list;
  list.add(new BCDIntConst(5));
  list.add(nullptr);
  std::ostringstream os;
  list.save(os);
  EXPECT_EQ(toHex(os.str()), "03 00 01 01 05 00 00 00 00");

  auto empty = load(fromHex("01 00"));
  EXPECT_TRUE(empty != nullptr && empty->getCount() == 1);

  auto back = load(os.str());
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->getCount(), 3);
  EXPECT_EQ(back->entryAt(2), nullptr);
  BCConstantListIterator it(*back);
  EXPECT_EQ(it.index(), 1);
  EXPECT_EQ(*it.current() == BCDIntConst(5), 1);
  ++it;
  EXPECT_TRUE(it.end());
}

TEST_F(ConstTableTest, UnknownTagInSecondConstantFailsTheTable) {
  // The first constant is freed with the table (the sanitizer build checks).
  EXPECT_EQ(load(fromHex("03 00 01 01 05 00 00 00 01 09")), nullptr);
  EXPECT_EQ(KRRefTable<BCConstant*>::error, KRREFTABLE_LOAD_FAILED);
  EXPECT_EQ(BCConstant::getError(), BCConstant::BCCONSTANT_FAILED);
}

TEST_F(ConstTableTest, EveryPrefixAndCorruptionLoadsSafely) {
  BCConstantList list;
  list.add(new BCDWordConst(1));
  list.add(new BCRealConst(2.5F));
  list.add(nullptr);
  list.add(new BCDTConst(BCDateConst(1, 2, 2003), BCTODConst(4)));
  list.add(new BCStringConst(KRString("text")));
  list.add(new BCDateConst(3, 4, 2005));
  std::ostringstream os;
  list.save(os);
  const std::string good = os.str();
  for (std::size_t n = 0; n < good.size(); ++n) {
    resetFlags();
    EXPECT_EQ(load(good.substr(0, n)), nullptr) << n;
  }
  for (std::size_t pos = 0; pos < good.size(); ++pos) {
    for (int value = 0; value < 256; ++value) {
      resetFlags();
      std::string bad = good;
      bad[pos] = static_cast<char>(value);
      const bool loadedTable = load(bad) != nullptr;
      EXPECT_NE(loadedTable, KRRefTable<BCConstant*>::error != KRREFTABLE_OK)
          << pos << " " << value;
    }
  }
}

}  // namespace

// Operand and operand table records: exact bytes, round trips, bad input.
#include <sstream>
#include <vector>

#include "bcode/code/bcode.h"
#include "tests/operand/operand_fixture.h"
#include "tests/support/test_util.h"

namespace optest {
namespace {

using bctest::fromHex;
using bctest::toHex;

std::string saved(const BCOperand& op) {
  std::ostringstream os;
  op.save(os);
  return toHex(os.str());
}

Op loaded(const std::string& hex, BCode* code = nullptr) {
  std::istringstream is(fromHex(hex));
  return Op(BCOperand::iload(is, code));
}

std::string savedTable(const BCOperandList& table) {
  std::ostringstream os;
  table.save(os);
  return toHex(os.str());
}

TEST_F(OperandTest, RecordBytes) {
  const struct {
    Op op;
    const char* hex;
  } cases[] = {
      {Op(new BCoE(300, KRTypeRef(5, &types))), "01 05 00 2C 01 00 00"},
      {Op(new BCoT(7)), "16 07 00"},
      {Op(new BCoDBBER(10, 4, intA)), "15 01 00 04 00 00 00 0A 00"},
      {Op(new BCoFBAP(KR_FB_KENN, fbRef(2))), "08 03 00 02 00 02 07 00 10 00 00 00"},
      {Op(new BCoSFBEP(KR_SFB_KENN, fbRef(1, 9))), "0D 01 00 01 00 02 09 00 00 00 00 00 09 00"},
      {Op(new BCoFCDP(KR_FC_KENN, fcRef(2))), "0C 03 00 02 00 04 04 00"},
      {Op(new BCoSFCAP(KR_SFC_KENN, fcRef(3))), "11 01 00 03 00 04 04 00 04 00"},
      {Op(new BCoICAP(3, 4, intA)), "21 01 00 08 03 00 04 00"},
      {Op(new BCoLSD(BCLDRef(2, &lsd))), "13 01 00 02 00 10 00 00 00"},
  };
  for (const auto& c : cases) EXPECT_EQ(saved(*c.op), c.hex) << c.op->isA();
  EXPECT_EQ(BCOperand::getError(), 0);
}

TEST_F(OperandTest, EveryClassRoundTrips) {
  const BCLDRef lsd1(1, &lsd), ldd2(2, &ldd);
  const Op all[] = {
      Op(new BCoE(1, intA)),
      Op(new BCoA(2, intB)),
      Op(new BCoM(3, boolT)),
      Op(new BCoPE(4, high)),
      Op(new BCoPA(0xFFFFFFFF, intA)),
      Op(new BCoMFL(6)),
      Op(new BCoFBEP(KR_FB_KENN, fbRef(1))),
      Op(new BCoFBAP(KR_FB_KENN, fbRef(2))),
      Op(new BCoFBDP(KR_FB_KENN, fbRef(3))),
      Op(new BCoFCEP(KR_FC_KENN, fcRef(1))),
      Op(new BCoFCAP(KR_FC_KENN, fcRef(2))),
      Op(new BCoFCDP(KR_FC_KENN, fcRef(3))),
      Op(new BCoSFBEP(KR_FB_KENN, fbRef(1, 9))),
      Op(new BCoSFBAP(KR_FB_KENN, fbRef(1, 10))),
      Op(new BCoSFBDP(KR_FB_KENN, fbRef(4))),
      Op(new BCoSFCEP(KR_FC_KENN, fcRef(1))),
      Op(new BCoSFCAP(KR_FC_KENN, fcRef(2))),
      Op(new BCoSFCDP(KR_FC_KENN, fcRef(3))),
      Op(new BCoLSD(lsd1)),
      Op(new BCoLDD(ldd2)),
      Op(new BCoDBBER(21, 21, intA)),
      Op(new BCoT(22)),
      Op(new BCoZ(23)),
      Op(new BCoOB(24)),
      Op(new BCoFB(25)),
      Op(new BCoFC(26)),
      Op(new BCoSFB(27)),
      Op(new BCoSFC(28)),
      Op(new BCoDB(29)),
      Op(new BCoSDB(30)),
      Op(new BCoICall(31)),
      Op(new BCoICEP(32, 1, intA)),
      Op(new BCoICAP(33, 2, boolT)),
  };
  for (const Op& op : all) {
    const std::string hex = saved(*op);
    const Op back = loaded(hex);
    ASSERT_NE(back, nullptr) << hex;
    EXPECT_EQ(*back == *op, 1) << hex;
    EXPECT_EQ(saved(*back), hex);
  }
  const auto reload = [](const BCOperand& op) { return loaded(saved(op)); };
#define BC_X(tag, Class, ...) bctest::expectClassOfTag<Class>(all, BCOperand::tag, #Class, reload);
#include "bcode/operand/bcoperand.def"
#undef BC_X
  EXPECT_EQ(BCOperand::getError(), 0);
}

TEST_F(OperandTest, BadTagsAndShortRecordsFail) {
  for (const char* hex : {"", "00 01 00", "22 01 00", "FF", "01 05 00 2C 01 00", "16 07",
                          "0D 01 00 01 00 02 09 00 00 00 00 00 09"}) {
    resetFlags();
    EXPECT_EQ(loaded(hex), nullptr) << hex;
    EXPECT_EQ(BCOperand::getError(), 1) << hex;
  }
  // A flag left set fails the next load even of a good record.
  EXPECT_EQ(loaded("16 07 00"), nullptr);
}

TEST_F(OperandTest, FailedWritesSetTheFlag) {
  const BCoDBBER op(10, 4, intA);
  for (std::size_t limit = 0; limit < 9; ++limit) {
    resetFlags();
    bctest::LimitedBuf buf(limit);
    std::ostream os(&buf);
    op.save(os);
    EXPECT_EQ(BCOperand::getError(), 1) << limit;
  }
}

TEST_F(OperandTest, TableRecordsKeepEmptySlots) {
  BCOperandList table;
  EXPECT_EQ(savedTable(table), "01 00");
  table.add(new BCoT(7));
  table.add(nullptr);
  table.add(new BCoZ(8));
  const std::string hex = savedTable(table);
  EXPECT_EQ(hex, "04 00 01 16 07 00 00 01 17 08 00");

  std::istringstream is(fromHex(hex));
  const std::unique_ptr<BCOperandList> back(BCOperandList::iload(is, nullptr));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->getCount(), 4);
  EXPECT_EQ(back->entryAt(2), nullptr);
  EXPECT_EQ(back->entryAt(3)->isA(), BCOperand::CT_Z);

  std::istringstream twoMeansEmpty(fromHex("03 00 02 01 16 07 00"));
  const std::unique_ptr<BCOperandList> other(BCOperandList::iload(twoMeansEmpty, nullptr));
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(other->entryAt(1), nullptr);
  EXPECT_EQ(other->entryAt(2)->isA(), BCOperand::CT_T);

  std::istringstream empty(fromHex("01 00"));
  EXPECT_EQ(std::unique_ptr<BCOperandList>(BCOperandList::iload(empty, nullptr))->getCount(), 1);
}

// Every prefix and every single-byte change of a table record loads to a
// table or to null with a flag, without crash or leak.
TEST_F(OperandTest, CorruptTableRecordsLoadOrFailCleanly) {
  BCOperandList table;
  table.add(new BCoSFBEP(KR_FB_KENN, fbRef(1, 9)));
  table.add(nullptr);
  table.add(new BCoLDD(BCLDRef(3, &ldd)));
  table.add(new BCoICEP(1, 2, intA));
  std::ostringstream os;
  table.save(os);
  const std::string bytes = os.str();
  auto load = [](const std::string& record) {
    resetFlags();
    bctest::PipeBuf buf(record);
    std::istream is(&buf);
    const std::unique_ptr<BCOperandList> back(BCOperandList::iload(is, nullptr));
    const bool failed = KRRefTable<BCOperand*>::error != KRREFTABLE_OK;
    EXPECT_EQ(back == nullptr, failed);
    return back != nullptr;
  };
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    EXPECT_FALSE(load(bytes.substr(0, size))) << size;
  }
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    for (int value = 0; value < 256; ++value) {
      std::string record = bytes;
      record[at] = static_cast<char>(value);
      load(record);
    }
  }
  EXPECT_TRUE(load(bytes));
}

// Loading binds every reference to the lists of the block loaded into.
TEST(OperandLoad, ReferencesBindToTheLoadingBlock) {
  BCode code(7, KR_FB_KENN);
  code.initElemTypes();
  const KRTypeRef boolType = code.getTypeTab().getTypeRef(1);
  code.getSSBList()
      .newSSB(9, KR_FB_KENN)
      ->add(new BCFBEntry("x", boolType, BCSSBEntry::BC_PARAM_IN));
  code.getLSDList().add(new BCLDEntry("s", boolType));
  code.getLDDList().add(new BCLDEntry("d", boolType));
  std::istringstream is(
      fromHex("04 00 01 0D 01 00 01 00 02 09 00 00 00 00 00 09 00"
              "01 13 01 00 01 00 00 00 00 00 01 14 01 00 01 00 00 00 00 00"));
  const std::unique_ptr<BCOperandList> table(BCOperandList::iload(is, &code));
  ASSERT_NE(table, nullptr);
  const auto* son = dynamic_cast<const BCoSFBEP*>(table->entryAt(1));
  ASSERT_NE(son, nullptr);
  EXPECT_EQ(son->getSSBRef().getList(), &code.getSSBList());
  EXPECT_NE(son->getSSBRef().ptr(), nullptr);
  EXPECT_EQ(son->getTypeRef().getTable(), &code.getTypeTab());
  EXPECT_EQ(son->getDataType(), 1);
  EXPECT_EQ(son->getBlockNo(), 9);
  const auto* lsd = dynamic_cast<const BCoLSD*>(table->entryAt(2));
  ASSERT_NE(lsd, nullptr);
  EXPECT_EQ(lsd->getLSDRef().getListPtr(), &code.getLSDList());
  const auto* ldd = dynamic_cast<const BCoLDD*>(table->entryAt(3));
  ASSERT_NE(ldd, nullptr);
  EXPECT_EQ(ldd->getLDDRef().getListPtr(), &code.getLDDList());
  EXPECT_EQ(BCOperand::getError(), 0);
}

}  // namespace
}  // namespace optest

// A block that uses every class of type, constant, immediate, operand and
// instruction operand, views, empty table slots and several interface
// descriptions survives a save and a load: the same bytes, equal entries.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

#include "bcode/bcode.h"
#include "demoblock.h"

namespace {

std::string saveBlock(const BCode& block) {
  std::ostringstream os;
  block.save(os);
  EXPECT_EQ(BCode::getError(), 0);
  return os.str();
}

std::unique_ptr<BCode> loadBlock(const std::string& bytes) {
  std::istringstream is(bytes);
  return std::unique_ptr<BCode>(BCode::iload(is));
}

// The demo block with an empty slot in each table, as a loaded record may have.
std::unique_ptr<BCode> blockWithEmptySlots() {
  bcInitBCode();
  std::unique_ptr<BCode> block = bctool::buildDemoBlock();
  if (!block) return nullptr;
  block->getTypeTab().add(nullptr);
  block->getTypeTab().add(new KRElemDesc(KR_DT_INT));
  block->getConstList().add(nullptr);
  block->getConstList().add(new BCDIntConst(7));
  block->getOpList().add(nullptr);
  block->getOpList().add(new BCoT(3));
  return block;
}

template <class Table>
void expectTablesEqual(const Table& a, const Table& b, const char* what) {
  ASSERT_EQ(a.getCount(), b.getCount()) << what;
  for (std::uint32_t i = 1; i < a.getCount(); ++i) {
    const auto* x = a.entryAt(i);
    const auto* y = b.entryAt(i);
    ASSERT_EQ(x == nullptr, y == nullptr) << what << " " << i;
    if (x != nullptr) {
      EXPECT_TRUE(*x == *y) << what << " " << i;
    }
  }
}

void expectLocalDataEqual(const BCLDList& a, const BCLDList& b) {
  ASSERT_EQ(a.getEntryCount(), b.getEntryCount());
  BCLDListIterator x(a, 1), y(b, 1);
  for (; !x.end(); ++x, ++y) {
    EXPECT_TRUE(x.current()->getName() == y.current()->getName());
    EXPECT_EQ(x.current()->getOffset(), y.current()->getOffset());
    EXPECT_EQ(x.current()->getTypeRef().getIndex(), y.current()->getTypeRef().getIndex());
  }
}

void expectInterfacesEqual(const BCSSBList& a, const BCSSBList& b) {
  BCSSBListIterator x(a), y(b);
  for (; !x.end(); ++x, ++y) {
    ASSERT_FALSE(y.end());
    const BCSSB* p = x.current();
    const BCSSB* q = y.current();
    EXPECT_EQ(p->getBlockNo(), q->getBlockNo());
    EXPECT_EQ(p->getBlockKind(), q->getBlockKind());
    ASSERT_EQ(p->getEntryCount(), q->getEntryCount());
    for (std::uint16_t n = 1; n <= p->getEntryCount(); ++n) {
      const BCSSBEntry* e = p->lookup(n);
      const BCSSBEntry* f = q->lookup(n);
      EXPECT_TRUE(e->getName() == f->getName());
      EXPECT_EQ(e->getParamKind(), f->getParamKind());
      EXPECT_EQ(e->getOffset(), f->getOffset());
      EXPECT_EQ(e->getTypeRef().getIndex(), f->getTypeRef().getIndex());
    }
  }
  EXPECT_TRUE(y.end());
}

void expectInstructionsEqual(const BCInstructionList& a, const BCInstructionList& b) {
  ASSERT_EQ(a.getCount(), b.getCount());
  BCInstructionListIterator x(a, 1), y(b, 1);
  for (; !x.end(); ++x, ++y) EXPECT_TRUE(*x.current() == *y.current());
}

TEST(BlockRoundTrip, EveryClassSavesLoadsAndSavesAgainToTheSameBytes) {
  std::unique_ptr<BCode> block = blockWithEmptySlots();
  ASSERT_NE(block, nullptr);
  const std::string first = saveBlock(*block);

  std::unique_ptr<BCode> loaded = loadBlock(first);
  ASSERT_NE(loaded, nullptr);
  // A record does not carry view numbers: declare them again, as the compiler
  // would, before laying the block out anew.
  ASSERT_TRUE(bctool::declareDemoViews(*loaded));
  loaded->calcOffsets();
  ASSERT_EQ(BCode::getError(), 0);
  EXPECT_EQ(saveBlock(*loaded), first);

  EXPECT_EQ(loaded->getBlockNo(), block->getBlockNo());
  EXPECT_EQ(loaded->getBlockKind(), block->getBlockKind());
  expectTablesEqual(block->getTypeTab(), loaded->getTypeTab(), "type");
  expectTablesEqual(block->getConstList(), loaded->getConstList(), "constant");
  expectTablesEqual(block->getOpList(), loaded->getOpList(), "operand");
  expectInterfacesEqual(block->getSSBList(), loaded->getSSBList());
  expectLocalDataEqual(block->getLDDList(), loaded->getLDDList());
  expectLocalDataEqual(block->getLSDList(), loaded->getLSDList());
  EXPECT_EQ(loaded->getLSDList().getStartOffset(), block->getLSDList().getStartOffset());
  expectInstructionsEqual(block->getInstrList(), loaded->getInstrList());
}

// Every byte changed in two ways loads to null or to a block that saves; the
// sanitizer build makes sure no corruption crashes, leaks or reads astray.
TEST(BlockRoundTrip, EverySingleByteCorruptionLoadsCleanly) {
  std::unique_ptr<BCode> block = blockWithEmptySlots();
  ASSERT_NE(block, nullptr);
  const std::string good = saveBlock(*block);
  int loaded = 0;
  for (std::size_t i = 0; i < good.size(); ++i) {
    for (unsigned char flip : {0x01, 0xFF}) {
      std::string bad = good;
      bad[i] = static_cast<char>(static_cast<unsigned char>(bad[i]) ^ flip);
      bcInitBCode();
      std::unique_ptr<BCode> result = loadBlock(bad);
      if (!result) {
        EXPECT_NE(BCode::getError(), 0) << i;
        continue;
      }
      ++loaded;
      bcInitBCode();
      std::ostringstream os;
      result->save(os);
    }
  }
  EXPECT_GT(loaded, 0);
}

}  // namespace

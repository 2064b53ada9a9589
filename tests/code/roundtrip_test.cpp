// A block that uses every class of type, constant, immediate, operand and
// instruction operand, views, empty table slots and several interface
// descriptions survives a save and a load: the same bytes, equal entries.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bcode/bcode.h"
#include "tests/support/test_util.h"
#include "tools/support/demoblock.h"

namespace {

// Writes down what a load reports, one line per callback; declares the demo
// block's views when asked to lay it out.
class Recorder : public BCLoadObserver {
 public:
  std::vector<std::string> events;

  void sectionBegins(const BCRecordSection& s, std::int64_t offset) override {
    add(std::to_string(s.number) + " " + s.name + " at " + std::to_string(offset));
  }
  void sectionEnds(const BCRecordSection& s, std::int64_t offset, std::uint32_t n) override {
    add("end at " + std::to_string(offset) + (s.hasEntries ? ", " + std::to_string(n) : ""));
  }
  // The flags of the failure are still set.
  void errorRaised(const BCRecordSection& s, std::int64_t offset) override {
    const bool flagged = bcNextSetErrorFlag(0) < bcErrorFlagCount();
    add(std::string("error in ") + s.name + " at " + std::to_string(offset) +
        (flagged ? "" : " without a flag"));
  }
  void beforeLayout(BCode& block) override {
    add("layout");
    bctool::declareDemoViews(block);
  }
  void layoutFailed(std::int64_t offset) override {
    add("layout failed at " + std::to_string(offset));
  }

 private:
  void add(const std::string& event) { events.push_back(event); }
};

std::unique_ptr<BCode> loadWatched(std::istream& is, Recorder& recorder) {
  return std::unique_ptr<BCode>(BCode::iload(is, &recorder));
}

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

  // A record does not carry view numbers: the recorder declares them again,
  // as the compiler would, before the load lays the block out.
  std::istringstream is(first);
  Recorder recorder;
  std::unique_ptr<BCode> loaded = loadWatched(is, recorder);
  ASSERT_NE(loaded, nullptr);
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

// The demo block's sections, as `bcode stats` shows them.
const std::vector<std::string> kDemoLoad = {"0 block header at 0",
                                            "end at 3",
                                            "1 type table at 3",
                                            "end at 244, 28",
                                            "2 interface list at 244",
                                            "end at 479, 3",
                                            "3 LDD list at 479",
                                            "end at 535, 4",
                                            "4 LSD list at 535",
                                            "end at 589, 4",
                                            "5 constant table at 589",
                                            "end at 651, 9",
                                            "layout",
                                            "6 operand table at 651",
                                            "end at 949, 35",
                                            "7 instruction list at 949",
                                            "end at 1406, 25"};

TEST(BlockLoadObserver, HearsEverySectionAndTheFailureOfEveryPrefix) {
  bcInitBCode();
  std::unique_ptr<BCode> block = bctool::buildDemoBlock();
  ASSERT_NE(block, nullptr);
  const std::string bytes = saveBlock(*block);
  // Offsets count from where the stream stood.
  std::istringstream whole("xyz" + bytes);
  whole.ignore(3);
  Recorder recorder;
  ASSERT_NE(loadWatched(whole, recorder), nullptr);
  EXPECT_EQ(recorder.events, kDemoLoad);

  // A prefix stops where it ends, in the section that holds that byte.
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    bcInitBCode();
    std::istringstream is(bytes.substr(0, size));
    Recorder cut;
    ASSERT_EQ(loadWatched(is, cut), nullptr);
    ASSERT_GE(cut.events.size(), 2u);
    const std::string& begun = cut.events[cut.events.size() - 2];
    const std::string section = begun.substr(2, begun.find(" at ") - 2);
    EXPECT_EQ(cut.events.back(), "error in " + section + " at " + std::to_string(size));
    const auto full = std::find(kDemoLoad.begin(), kDemoLoad.end(), begun);
    ASSERT_NE(full, kDemoLoad.end()) << begun;
    EXPECT_LT(size, std::stoul(full[1].substr(7))) << begun;
  }

  // A stream that cannot tell its position, and hands its bytes out one at
  // a time, loads all the same: the block that saves as the record.
  bcInitBCode();
  bctest::PipeBuf pipe(bytes);
  std::istream piped(&pipe);
  Recorder blind;
  const std::unique_ptr<BCode> viaPipe = loadWatched(piped, blind);
  ASSERT_NE(viaPipe, nullptr);
  EXPECT_EQ(blind.events.front(), "0 block header at -1");
  EXPECT_EQ(blind.events.size(), kDemoLoad.size());
  EXPECT_EQ(bctest::toHex(saveBlock(*viaPipe)), bctest::toHex(bytes));
}

// A layout that fails is heard of whatever the block's flag held before, and
// the load goes on; a table's empty slots are not counted as entries.
TEST(BlockLoadObserver, HearsOfAFailedLayout) {
  bcInitBCode();
  BCode block(7, KR_FB_KENN);
  block.getLDDList().add(new BCLDEntry("lost", KRTypeRef(99, &block.getTypeTab())));
  block.getConstList().add(nullptr);
  block.getConstList().add(new BCDIntConst(1));
  const std::string bytes = saveBlock(block);
  block.setLDDList(nullptr);  // refused: leaves the block's flag at 1
  std::istringstream is(bytes);
  Recorder recorder;
  std::unique_ptr<BCode> loaded = loadWatched(is, recorder);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(BCode::getError(), BCode::BCODE_FAILED);
  const std::string operands = std::to_string(bytes.size() - 4);
  EXPECT_EQ(recorder.events[11], "end at " + operands + ", 1");
  EXPECT_EQ(recorder.events[12], "layout");
  EXPECT_EQ(recorder.events[13], "layout failed at " + operands);
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

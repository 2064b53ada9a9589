// The demo block, which uses every class of type, constant, immediate,
// operand and instruction operand, views and several interface descriptions:
// its record, and what a load reports to its observer.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bcode/bcode.h"
#include "tests/support/record_check.h"
#include "tools/support/demoblock.h"

namespace {

// Writes down what a load reports, one line per callback; declares the demo
// block's views when asked to lay it out.
class Recorder : public BCLoadObserver {
 public:
  std::vector<std::string> events;

  void sectionBegins(const BCRecordSection& s, std::int64_t offset) override {
    // The observer is told of the sections the library names publicly.
    EXPECT_EQ(&s, &bcRecordSection(static_cast<BCSection>(s.number)));
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

// A record does not carry view numbers: the recorder declares them again, as
// the compiler would, before the load lays the block out.
std::unique_ptr<BCode> loadDemo(std::istream& is) {
  Recorder recorder;
  return loadWatched(is, recorder);
}

const bctest::RecordFlag kBlockFlag = bctest::libraryFlag("block", 1, 1);

// The demo block with an empty slot in each table, as a loaded record may
// have: every prefix fails, every changed byte loads or fails cleanly.
TEST(BlockRoundTrip, DemoBlockWithEmptySlots) {
  bcInitBCode();
  std::unique_ptr<BCode> block = bctool::buildDemoBlock();
  ASSERT_NE(block, nullptr);
  block->getTypeTab().add(nullptr);
  block->getTypeTab().add(new KRElemDesc(KR_DT_INT));
  block->getConstList().add(nullptr);
  block->getConstList().add(new BCDIntConst(7));
  block->getOpList().add(nullptr);
  block->getOpList().add(new BCoT(3));
  const auto back = bctest::checkRecord(*block, loadDemo, kBlockFlag);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->getLSDList().getStartOffset(), block->getLSDList().getStartOffset());
  EXPECT_GT(bctest::checkCorruptRecords(bctest::recordOf(*block), loadDemo, kBlockFlag, {}), 0);
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
  const std::string bytes = bctest::recordOf(*block);
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
  EXPECT_EQ(bctest::toHex(bctest::recordOf(*viaPipe)), bctest::toHex(bytes));
}

// A layout that fails is heard of whatever the block's flag held before, and
// the load goes on; a table's empty slots are not counted as entries.
TEST(BlockLoadObserver, HearsOfAFailedLayout) {
  bcInitBCode();
  BCode block(7, KR_FB_KENN);
  block.getLDDList().add(new BCLDEntry("lost", KRTypeRef(99, &block.getTypeTab())));
  block.getConstList().add(nullptr);
  block.getConstList().add(new BCDIntConst(1));
  const std::string bytes = bctest::recordOf(block);
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
  bcInitBCode();
}

}  // namespace

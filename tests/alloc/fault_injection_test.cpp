// Out of memory at every allocation of the demo block's life: building it,
// laying it out, saving, loading and listing it. For N = 1, 2, ... each
// operation runs with allocation N failing (alone, or with every later one)
// until it completes without reaching the failure. Every run must end in
// success, the operation's error flag or KRErrorNoHeap at a documented site;
// an object that reported a flag must then, after bcInitBCode(), do the same
// operation normally and save the very bytes of an undisturbed run.
#include <gtest/gtest.h>

#include <cstddef>
#include <iostream>
#include <istream>
#include <memory>
#include <new>
#include <ostream>
#include <set>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "bcode/code/bcode.h"
#include "bcode/text/bctext.h"
#include "fuzz/recordcheck.h"
#include "tests/support/failing_alloc.h"
#include "tools/support/demoblock.h"
#include "tools/support/errorreport.h"

namespace {

// Far above the allocations of any operation here; reaching it fails the test.
constexpr long kMaxInjectionPoints = 200000;

const std::set<std::string> kDocumentedSites = {"kryarr:335",
                                                "kryarr:314",
                                                "kryref:450",
                                                "kryref:477",
                                                "kryref:646",
                                                "krysequ:609",
                                                "krysequ:630",
                                                "krystrng:279",
                                                "krystrng:324",
                                                "bctext:" + std::to_string(kBCTextWriteNoHeapLine),
                                                "bctext:" + std::to_string(kBCTextReadNoHeapLine)};

// Writes into storage reserved beforehand, so the stream itself never
// allocates while allocations fail; a full buffer is a short write.
class FixedOutBuf : public std::streambuf {
 public:
  explicit FixedOutBuf(std::size_t capacity) : storage_(capacity) {
    setp(storage_.data(), storage_.data() + storage_.size());
  }
  std::string text() const { return std::string(pbase(), pptr()); }

 private:
  std::vector<char> storage_;
};

constexpr std::size_t kListingCapacity = 1 << 20;

std::unique_ptr<BCode> demoBlock() {
  bcInitBCode();
  std::unique_ptr<BCode> block = bctool::buildDemoBlock();
  EXPECT_NE(block, nullptr) << bctool::errorFlagsText();
  return block;
}

void listAndDump(const BCode& block, std::ostream& os) {
  static const bctool::NameTables names;
  bctool::printListing(os, block, names);
  bctool::printDump(os, block);
}

std::string listingOf(const BCode& block) {
  FixedOutBuf buf(kListingCapacity);
  std::ostream os(&buf);
  listAndDump(block, os);
  return buf.text();
}

// What an undisturbed run produces.
struct Reference {
  std::string record;    // the demo block saved
  std::string reloaded;  // that record loaded and saved again
  std::string listing;   // listing and dump of the demo block
  std::string text;      // the demo block's text
};

const Reference& reference() {
  static const Reference ref = [] {
    Reference r;
    const std::unique_ptr<BCode> block = demoBlock();
    r.record = bcfuzz::saveBlock(*block);
    r.listing = listingOf(*block);
    r.reloaded = bcfuzz::saveBlock(*bcfuzz::loadBlock(r.record));
    r.text = bcToText(*block);
    return r;
  }();
  return ref;
}

// One operation under test. `prepare` runs before allocations fail, `run`
// while they fail and answers whether the operation reported a failure
// through its flag or result; `check` (allocations working again, flags as
// the run left them) compares a result the operation claimed whole with an
// undisturbed run; `redo` runs the operation once more, normally, after
// bcInitBCode(). Both return what is wrong, empty when nothing.
class Operation {
 public:
  virtual ~Operation() = default;
  virtual void prepare() {}
  virtual bool run() = 0;
  virtual std::string check() const = 0;
  virtual std::string redo() = 0;
  // After a run that reported a failure, with the flags it left: what is
  // missing from the report.
  virtual std::string unreported() const {
    return bctool::anyErrorFlagSet() ? std::string() : "a failure without a flag";
  }
};

std::string mismatch(bool same, const char* what) {
  return same ? std::string() : std::string(what);
}

class BuildOperation : public Operation {
 public:
  void prepare() override { block_.reset(); }
  bool run() override {
    block_ = bctool::buildDemoBlock();
    return block_ == nullptr;
  }
  std::string check() const override {
    return mismatch(bcfuzz::saveBlock(*block_) == reference().record, "built block differs");
  }
  std::string redo() override {
    block_ = bctool::buildDemoBlock();
    if (!block_) return "a normal build failed: " + bctool::errorFlagsText();
    return check();
  }

 private:
  std::unique_ptr<BCode> block_;
};

// Operations on a demo block built beforehand.
class BlockOperation : public Operation {
 public:
  void prepare() override { block_ = demoBlock(); }
  std::string redo() override {
    if (!run() && BCode::getError() == BCode::BCODE_OK) return check();
    return "a normal run failed: " + bctool::errorFlagsText();
  }

 protected:
  std::string blockSavesAsBefore() const {
    bcInitBCode();
    return mismatch(bcfuzz::saveBlock(*block_) == reference().record, "block saves otherwise");
  }
  std::unique_ptr<BCode> block_;
};

class LayoutOperation : public BlockOperation {
 public:
  bool run() override {
    block_->calcOffsets();
    return BCode::getError() != BCode::BCODE_OK;
  }
  std::string check() const override { return blockSavesAsBefore(); }
};

// Saves into a string stream whose growth allocates: a failed allocation
// there is a short write, which save reports as BCode's flag 1.
class SaveOperation : public BlockOperation {
 public:
  void prepare() override {
    BlockOperation::prepare();
    os_ = std::make_unique<std::ostringstream>();
  }
  bool run() override {
    block_->save(*os_);
    return BCode::getError() != BCode::BCODE_OK;
  }
  std::string check() const override {
    return mismatch(os_->str() == reference().record, "saved bytes differ");
  }
  std::string redo() override {
    os_ = std::make_unique<std::ostringstream>();
    return BlockOperation::redo();
  }

 private:
  std::unique_ptr<std::ostringstream> os_;
};

// Lists into reserved storage, so that only the library and the listing
// code allocate.
class ListOperation : public BlockOperation {
 public:
  void prepare() override {
    BlockOperation::prepare();
    buf_ = std::make_unique<FixedOutBuf>(kListingCapacity);
  }
  bool run() override {
    std::ostream os(buf_.get());
    listAndDump(*block_, os);
    return bctool::anyErrorFlagSet();
  }
  std::string check() const override {
    if (buf_->text() != reference().listing) return "listing differs";
    return blockSavesAsBefore();
  }
  std::string redo() override {
    buf_ = std::make_unique<FixedOutBuf>(kListingCapacity);
    return BlockOperation::redo();
  }

 private:
  std::unique_ptr<FixedOutBuf> buf_;
};

class LoadOperation : public Operation {
 public:
  void prepare() override { block_.reset(); }
  // A block returned with BCode's flag set had its layout fail.
  bool run() override {
    bctool::MemoryBuf buf(reference().record.data(), reference().record.size());
    std::istream is(&buf);
    block_.reset(BCode::iload(is));
    return block_ == nullptr || BCode::getError() != BCode::BCODE_OK;
  }
  std::string unreported() const override {
    return mismatch(BCode::getError() != BCode::BCODE_OK, "a failed load left BCode::error 0");
  }
  std::string check() const override {
    return mismatch(bcfuzz::saveBlock(*block_) == reference().reloaded, "loaded block differs");
  }
  std::string redo() override {
    if (run()) return "a normal load failed: " + bctool::errorFlagsText();
    return check();
  }

 private:
  std::unique_ptr<BCode> block_;
};

// Writes the block's text, which fails when the block's copy cannot be made;
// the block itself is only read.
class WriteTextOperation : public BlockOperation {
 public:
  bool run() override {
    text_ = bcToText(*block_);
    return text_.empty();
  }
  std::string unreported() const override {
    return mismatch(BCode::getError() != BCode::BCODE_OK, "an empty text left BCode::error 0");
  }
  std::string check() const override {
    if (text_ != reference().text) return "text differs";
    if (bctool::anyErrorFlagSet()) return "a written text left a flag set";
    return blockSavesAsBefore();
  }
  std::string redo() override {
    text_.clear();
    return BlockOperation::redo();
  }

 private:
  std::string text_;
};

// Reads the demo block's text; a failure is a text without a block.
class ReadTextOperation : public Operation {
 public:
  void prepare() override { reading_ = BCTextReading(); }
  bool run() override {
    reading_ = bcReadText(reference().text, "demo.bct");
    return reading_.block == nullptr;
  }
  std::string unreported() const override {
    return mismatch(!reading_.diagnostics.empty(), "no block and no diagnostic");
  }
  std::string check() const override {
    return mismatch(bcfuzz::saveBlock(*reading_.block) == reference().record, "read block differs");
  }
  std::string redo() override {
    if (run()) return "a normal read failed: " + reading_.diagnostics.at(0).message;
    return check();
  }

 private:
  BCTextReading reading_;
};

enum class Outcome { kCompleted, kFlagged, kThrown, kBadAlloc, kAbsorbed };

struct Tally {
  long points = 0;
  long flagged = 0;
  long thrown = 0;
  long badAllocs = 0;
  long absorbed = 0;
  std::vector<std::string> problems;

  void count(Outcome outcome) {
    switch (outcome) {
      case Outcome::kFlagged:
        ++flagged;
        break;
      case Outcome::kThrown:
        ++thrown;
        break;
      case Outcome::kBadAlloc:
        ++badAllocs;
        break;
      case Outcome::kAbsorbed:
        ++absorbed;
        break;
      case Outcome::kCompleted:
        break;
    }
  }
  void problem(long n, const std::string& what) {
    if (problems.size() < 20) problems.push_back("N=" + std::to_string(n) + ": " + what);
  }
};

// One run of `op` with allocation `n` failing (and every later one unless
// `onlyThatOne`).
Outcome runOnce(Operation& op, long n, bool onlyThatOne, Tally& tally) {
  op.prepare();
  bcInitBCode();
  bool flagged = false;
  bool reached = false;
  std::string site;  // of a KRErrorNoHeap
  bool badAlloc = false;
  try {
    bctest::failAllocation(n, onlyThatOne);
    flagged = op.run();
    reached = bctest::stopFailingAllocations();
  } catch (const KRErrorNoHeap& e) {
    reached = bctest::stopFailingAllocations();
    site = std::string(e.getHeader()) + ":" + std::to_string(e.getLine());
  } catch (const std::bad_alloc&) {
    reached = bctest::stopFailingAllocations();
    badAlloc = true;
  }
  if (!reached) {
    if (!site.empty() || badAlloc || flagged)
      tally.problem(n, "failed without a failed allocation");
    return Outcome::kCompleted;
  }
  if (!site.empty()) {
    if (kDocumentedSites.count(site) == 0) tally.problem(n, "KRErrorNoHeap at " + site);
    // The object that threw may be unusable; it is only destroyed.
    return Outcome::kThrown;
  }
  // The demo builder makes its entries with std::make_unique and the listing
  // its titles as std::string: their failures are the caller's to meet. One
  // the library asked for must end in a flag or KRErrorNoHeap.
  if (badAlloc) {
    if (bctest::libraryAllocationFailed()) tally.problem(n, "std::bad_alloc escaped the library");
    return Outcome::kBadAlloc;
  }
  const Outcome outcome = flagged ? Outcome::kFlagged : Outcome::kAbsorbed;
  const std::string wrong = flagged ? op.unreported() : op.check();
  if (!wrong.empty()) tally.problem(n, flagged ? wrong : "no flag, but " + wrong);
  bcInitBCode();
  const std::string again = op.redo();
  if (!again.empty()) tally.problem(n, "after the failure: " + again);
  bcInitBCode();
  return outcome;
}

struct Case {
  const char* name;
  std::unique_ptr<Operation> (*make)();
  bool onlyThatOne;
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

template <class Op>
std::unique_ptr<Operation> make() {
  return std::make_unique<Op>();
}

class FaultInjection : public ::testing::TestWithParam<Case> {};

TEST_P(FaultInjection, EveryRunEndsInSuccessAFlagOrADocumentedThrow) {
  const Case& c = GetParam();
  reference();
  Tally tally;
  const std::unique_ptr<Operation> op = c.make();
  long n = 1;
  for (; n <= kMaxInjectionPoints; ++n) {
    const Outcome outcome = runOnce(*op, n, c.onlyThatOne, tally);
    if (outcome == Outcome::kCompleted) break;
    tally.count(outcome);
  }
  tally.points = n - 1;
  ASSERT_LE(n, kMaxInjectionPoints) << "the operation never completed";
  ASSERT_GT(tally.points, 0) << "no allocation was made to fail: nothing was tested";
  std::cout << "[ injected ] " << c.name << ": " << tally.points
            << " injection points: " << tally.flagged << " flagged, " << tally.thrown
            << " KRErrorNoHeap, " << tally.badAllocs << " std::bad_alloc, " << tally.absorbed
            << " absorbed\n";
  RecordProperty("injection_points", static_cast<int>(tally.points));
  for (const std::string& problem : tally.problems) ADD_FAILURE() << problem;
}

INSTANTIATE_TEST_SUITE_P(
    DemoBlock, FaultInjection,
    ::testing::Values(Case{"build_only_nth", make<BuildOperation>, true},
                      Case{"build_from_nth_on", make<BuildOperation>, false},
                      Case{"calcOffsets_only_nth", make<LayoutOperation>, true},
                      Case{"calcOffsets_from_nth_on", make<LayoutOperation>, false},
                      Case{"save_only_nth", make<SaveOperation>, true},
                      Case{"save_from_nth_on", make<SaveOperation>, false},
                      Case{"iload_only_nth", make<LoadOperation>, true},
                      Case{"iload_from_nth_on", make<LoadOperation>, false},
                      Case{"listing_only_nth", make<ListOperation>, true},
                      Case{"listing_from_nth_on", make<ListOperation>, false},
                      Case{"text_write_only_nth", make<WriteTextOperation>, true},
                      Case{"text_write_from_nth_on", make<WriteTextOperation>, false},
                      Case{"text_read_only_nth", make<ReadTextOperation>, true},
                      Case{"text_read_from_nth_on", make<ReadTextOperation>, false}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace

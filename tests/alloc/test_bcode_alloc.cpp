// A block whose collections cannot be created, and a block load that runs
// out of memory at every allocation it makes: flags, no leaks.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

#include "bcode/code/bcode.h"
#include "bcode/const/bcconstant.h"
#include "bcode/const/bcconstlist.h"
#include "bcode/instr/bcinstrop.h"
#include "bcode/instr/bcinstruction.h"
#include "bcode/interface/bcssb.h"
#include "bcode/interface/bcssbentry.h"
#include "bcode/localdata/bcldlist.h"
#include "bcode/operand/bcglobal.h"
#include "bcode/types/krtypedesc.h"
#include "bcode/types/krtypetab.h"
#include "tests/support/failing_alloc.h"

namespace {

// Upper bound on the allocations of one block construction or load here.
constexpr long kMaxAllocations = 5000;

TEST(BCodeAllocation, CollectionThatCannotBeCreatedReportsFlag2) {
  bool succeeded = false;
  long failures = 0;
  for (long n = 1; n < kMaxAllocations && !succeeded; ++n) {
    bcInitBCode();
    bool failed = false;
    {
      bctest::AllocationFailure failure(n, true);
      BCode block(7, KR_FB_KENN);
      failed = bctest::stopFailingAllocations();
      if (failed) {
        EXPECT_EQ(BCode::getError(), BCode::BCODE_NO_MEMORY) << n;
        EXPECT_EQ(KRRefTable<KRTypedesc*>::error, KRREFTABLE_OK) << n;
        EXPECT_EQ(BCSSBList::getError(), BCSSBList::BCSSBLIST_OK) << n;
      } else {
        EXPECT_EQ(BCode::getError(), BCode::BCODE_OK);
        block.initElemTypes();
        EXPECT_EQ(block.getTypeTab().getCount(), 24);
      }
    }
    succeeded = !failed;
    failures += failed ? 1 : 0;
  }
  EXPECT_TRUE(succeeded);
  EXPECT_GT(failures, 0) << "no allocation was made to fail";
}

std::string roadRecord() {
  BCode block(7, KR_FB_KENN);
  block.initElemTypes();
  KRTypeTab& types = block.getTypeTab();
  block.getSSBList()
      .newSSB(7, KR_FB_KENN)
      ->add(new BCFBEntry("st", types.getTypeRef(5), BCSSBEntry::BC_PARAM_STAT));
  block.getLDDList().add(new BCLDEntry("tmp", types.getTypeRef(7)));
  const BCConstRef constant = block.getConstList().add(new BCDIntConst(4));
  const BCOpRef operand = block.getOpList().add(new BCoM(0, types.getTypeRef(7)));
  const BCTMP z(7, 1, BCTMP::TMG, BCTMP::L_AREA, types.getTypeRef(7));
  const BCOPD q1(operand);
  const BCCST q2(constant);
  block.getInstrList().append(new BCInstruction(BCInstruction::IC_88, &z, &q1, &q2));
  std::ostringstream os;
  block.save(os);
  return os.str();
}

TEST(BCodeAllocation, LoadFailsCleanlyAtEveryAllocation) {
  const std::string bytes = roadRecord();
  bool succeeded = false;
  long failures = 0;
  for (long n = 1; n < kMaxAllocations && !succeeded; ++n) {
    bcInitBCode();
    std::istringstream is(bytes);
    std::unique_ptr<BCode> block;
    bool failed = false;
    bool threw = false;
    try {
      bctest::AllocationFailure failure(n, true);
      block.reset(BCode::iload(is));
      failed = bctest::stopFailingAllocations();
    } catch (const KRErrorNoHeap&) {
      failed = threw = true;  // out of memory inside a container
      EXPECT_TRUE(bctest::stopFailingAllocations()) << n << ": thrown without a failure";
    }
    // Some allocations have a fallback (an index searched instead); a block
    // that is returned is whole.
    if (block != nullptr) {
      EXPECT_EQ(block->getInstrList().getCount(), 1u) << n;
      EXPECT_EQ(block->getConstList().getCount(), 2) << n;
    } else {
      EXPECT_TRUE(failed) << n;
      if (!threw) {
        EXPECT_NE(BCode::getError(), BCode::BCODE_OK) << n;
      }
    }
    succeeded = !failed;
    failures += failed ? 1 : 0;
  }
  EXPECT_TRUE(succeeded);
  EXPECT_GT(failures, 0) << "no allocation was made to fail";
}

}  // namespace

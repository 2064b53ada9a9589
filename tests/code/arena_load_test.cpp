// A loaded block keeps what its load made in its arena: type descriptors,
// their components and names, interface descriptions and their entries,
// local data, constants, the stores of its tables and the lists' indices.
// Changed after the load, each moves what it changes to the heap and keeps
// the rest; taken out of the block, each outlives it on another thread
// (the sanitizer builds watch for leaks and bad frees).
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bcode/bcode.h"
#include "fuzz/recordcheck.h"
#include "tests/support/test_util.h"
#include "tools/support/demoblock.h"

namespace {

using bctest::inArena;

// A name lies in the arena unless it is empty (and holds no storage).
bool nameInArena(const KRString& name) {
  return name.length() == 0 || inArena(name.c_str());
}

class LoadedBlock : public ::testing::Test {
 protected:
  void SetUp() override {
    bcInitBCode();
    const std::unique_ptr<BCode> built = bctool::buildDemoBlock();
    ASSERT_NE(built, nullptr);
    block_ = bcfuzz::loadBlock(bcfuzz::saveBlock(*built));
    ASSERT_NE(block_, nullptr);
  }
  void TearDown() override { bcInitBCode(); }

  KRStructDesc* firstStruct() {
    for (KRTypeTabIterator it(block_->getTypeTab()); !it.end(); ++it) {
      if (it.current()->isA() == KRTypedesc::KR_STRUCT_DESC) {
        return static_cast<KRStructDesc*>(it.current());
      }
    }
    return nullptr;
  }

  std::unique_ptr<BCode> block_;
};

TEST_F(LoadedBlock, KeepsWhatItsLoadMadeInItsArena) {
  int components = 0;
  for (KRTypeTabIterator it(block_->getTypeTab()); !it.end(); ++it) {
    const KRTypedesc* desc = it.current();
    EXPECT_TRUE(inArena(desc)) << "type " << it.index();
    if (desc->isA() != KRTypedesc::KR_STRUCT_DESC) continue;
    const auto& structure = static_cast<const KRStructDesc&>(*desc);
    for (std::uint16_t n = 1; n <= structure.getNoOfComp(); ++n, ++components) {
      EXPECT_TRUE(inArena(&structure.getComp(n))) << "type " << it.index() << " comp " << n;
      EXPECT_TRUE(nameInArena(structure.getComp(n).getName())) << "type " << it.index();
    }
  }
  EXPECT_GT(components, 0);

  int entries = 0;
  for (BCSSBListIterator it(block_->getSSBList()); !it.end(); ++it) {
    const BCSSB* ssb = it.current();
    EXPECT_TRUE(inArena(ssb));
    for (std::uint16_t n = 1; n <= ssb->getEntryCount(); ++n, ++entries) {
      EXPECT_TRUE(inArena(ssb->lookup(n)));
      EXPECT_TRUE(nameInArena(ssb->lookup(n)->getName())) << ssb->lookup(n)->getName().c_str();
    }
  }
  EXPECT_GT(entries, 0);

  int variables = 0;
  for (const BCLDList* list : {&block_->getLDDList(), &block_->getLSDList()}) {
    EXPECT_TRUE(inArena(list));
    for (BCLDListIterator it(*list, 1); !it.end(); ++it, ++variables) {
      EXPECT_TRUE(nameInArena(it.current()->getName())) << it.current()->getName().c_str();
    }
  }
  EXPECT_GT(variables, 0);

  int strings = 0;
  for (BCConstantListIterator it(block_->getConstList()); !it.end(); ++it) {
    if (it.current()->isA() != BCConstant::STRING_CONST) continue;
    EXPECT_TRUE(nameInArena(static_cast<const BCStringConst*>(it.current())->getValue()));
    ++strings;
  }
  EXPECT_GT(strings, 0);

  // The tables and their stores (slot 0 starts a store).
  EXPECT_TRUE(inArena(&block_->getTypeTab()[0]));
  EXPECT_TRUE(inArena(&block_->getConstList()[0]));
  EXPECT_TRUE(inArena(&block_->getOpList()[0]));
  EXPECT_TRUE(inArena(&block_->getTypeTab()));
  EXPECT_TRUE(inArena(&block_->getSSBList()));
}

TEST_F(LoadedBlock, WhatChangesAfterTheLoadMovesToTheHeapAndTheRestStays) {
  // A component renamed: only its name moves.
  KRStructDesc* structure = firstStruct();
  ASSERT_NE(structure, nullptr);
  const KRTypeRef type = structure->getComp(1).getTypeRef();
  structure->getComp(1) = KRStructComp("renamed", type);
  EXPECT_FALSE(inArena(structure->getComp(1).getName().c_str()));
  EXPECT_STREQ(structure->getComp(1).getName().c_str(), "renamed");

  // The constant table grown far beyond its store: the store moves, every
  // constant stays where it was.
  BCConstantList& constants = block_->getConstList();
  std::vector<const BCConstant*> before;
  for (std::uint32_t i = 1; i < constants.getCount(); ++i) before.push_back(constants.entryAt(i));
  for (int i = 0; i < 500; ++i) constants.add(new BCDIntConst(i));
  EXPECT_FALSE(inArena(&constants[0]));
  for (std::uint32_t i = 1; i <= before.size(); ++i) EXPECT_EQ(constants.entryAt(i), before[i - 1]);

  // An interface description grown by many entries: its index moves.
  BCSSB* ssb = block_->getSSBList().lookup(bctool::kDemoBlockNo, KR_FB_KENN);
  ASSERT_NE(ssb, nullptr);
  const std::uint32_t loaded = ssb->getEntryCount();
  const BCSSBEntry* first = ssb->lookup(1);
  for (int i = 0; i < 200; ++i) {
    ssb->add(new BCFBEntry("added", type, BCSSBEntry::BC_PARAM_STAT));
  }
  EXPECT_EQ(ssb->lookup(1), first);
  EXPECT_STREQ(ssb->lookup(static_cast<std::uint16_t>(loaded + 1))->getName().c_str(), "added");

  // The block, changed and laid out again, saves and reloads to the same bytes.
  block_->calcOffsets();
  EXPECT_EQ(BCode::getError(), BCode::BCODE_OK);
  const std::string changed = bcfuzz::saveBlock(*block_);
  const std::unique_ptr<BCode> again = bcfuzz::loadBlock(changed);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(bcfuzz::saveBlock(*again), changed);
  EXPECT_NE(changed.find("renamed"), std::string::npos);
}

TEST_F(LoadedBlock, ObjectsTakenOutOutliveTheBlockOnAnotherThread) {
  std::vector<std::unique_ptr<BCSSB>> interfaces;
  while (!block_->getSSBList().isEmpty())
    interfaces.emplace_back(block_->getSSBList().removeFirst());
  std::vector<std::unique_ptr<KRTypedesc>> types;
  KRTypeTab& table = block_->getTypeTab();
  for (std::uint16_t i = 1; i < table.getCount(); ++i) {
    if (table[i] != nullptr) types.emplace_back(table[i]);
    table[i] = nullptr;
  }
  std::vector<std::unique_ptr<BCConstant>> constants;
  BCConstantList& list = block_->getConstList();
  for (std::uint16_t i = 1; i < list.getCount(); ++i) {
    if (list[i] != nullptr) constants.emplace_back(list[i]);
    list[i] = nullptr;
  }
  block_.reset();
  ASSERT_FALSE(interfaces.empty());

  std::thread([&] {
    // Changed there first: arena storage given back, heap storage taken.
    for (const std::unique_ptr<KRTypedesc>& desc : types) {
      if (desc->isA() != KRTypedesc::KR_STRUCT_DESC) continue;
      KRStructComp& comp = static_cast<KRStructDesc&>(*desc).getComp(1);
      comp = KRStructComp("moved", comp.getTypeRef());
    }
    for (int i = 0; i < 50; ++i) {
      interfaces.front()->add(new BCFCEntry("late", KRTypeRef(), BCSSBEntry::BC_PARAM_IN));
    }
    interfaces.clear();
    types.clear();
    constants.clear();
  }).join();
}

}  // namespace

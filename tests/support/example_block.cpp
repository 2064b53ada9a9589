#include "tests/support/example_block.h"

#include <memory>
#include <string>

namespace bctest {

std::uint16_t ExampleBlock::array(
    std::uint16_t elemIndex, std::initializer_list<std::pair<std::int32_t, std::int32_t>> dims) {
  auto desc = std::make_unique<KRArrayDesc>(ref(elemIndex));
  for (const auto& dim : dims) desc->addDim(dim.first, dim.second);
  return add(desc.release());
}

std::uint16_t ExampleBlock::structure(std::initializer_list<std::uint16_t> types) {
  auto desc = std::make_unique<KRStructDesc>();
  int n = 0;
  for (std::uint16_t type : types) {
    desc->addComp(KRString(("c" + std::to_string(++n)).c_str()), ref(type));
  }
  return add(desc.release());
}

void ExampleBlock::fill() {
  intB = tab.add(new KRElemDesc(KR_DT_INT));
  high = tab.add(new KRElemDesc(254));
  BCSSBList& ssbs = block.getSSBList();
  BCSSB* fb = ssbs.newSSB(7, KR_FB_KENN);
  for (const char* name : {"a", "b", "c", "d"}) {
    fb->add(new BCFBEntry(name, *name == 'b' ? boolT : intA, BCSSBEntry::BC_PARAM_IN));
  }
  fb->lookup(3)->setViewVarNo(1);
  fb->lookup(4)->setViewVarNo(1);
  fb->getLastOffset();
  for (std::uint16_t blockNo : {9, 10}) {
    ssbs.newSSB(blockNo, KR_FB_KENN)->add(new BCFBEntry("x", intA, BCSSBEntry::BC_PARAM_IN));
  }
  BCSSB* fc = ssbs.newSSB(4, KR_FC_KENN);
  for (const char* name : {"p", "q", "r"}) {
    fc->add(new BCFCEntry(name, *name == 'q' ? boolT : intA, BCSSBEntry::BC_PARAM_IN));
  }
  fc->lookup(3)->setViewVarNo(1);
  ldd.add(new BCLDEntry("l1", intA));
  ldd.add(new BCLDEntry("l2", boolT));
  ldd.add(new BCLDEntry("l3", intA)).ptr()->setViewVarNo(2);
  ldd.getLastOffset();
  lsd.add(new BCLDEntry("s1", boolT));
  lsd.add(new BCLDEntry("s2", intA));
  lsd.setStartOffset(32);
  lsd.getLastOffset();
  for (std::int32_t value : {5, 5, 6}) block.getConstList().add(new BCDIntConst(value));
  for (std::uint32_t offset : {0u, 0u, 16u}) block.getOpList().add(new BCoM(offset, intA));
}

}  // namespace bctest

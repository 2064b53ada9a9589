// Writes the seeds of fuzz/corpus that are made rather than found: generated
// blocks of the sizes compilers write, and type graphs as deep, as shared or
// as cyclic as a record can carry them, as block records and as type table
// records, and the texts of some of them. libFuzzer never grows an input beyond -max_len, and
// mutating small seeds seldom builds a deep graph, so these are where the large inputs start from.
// `make fuzz-seeds` rewrites them; the files are committed.
//
//   bcode_fuzz_seeds CORPUS_DIR
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "bcode/code/bcode.h"
#include "bcode/instr/bcinstrop.h"
#include "bcode/instr/bcinstruction.h"
#include "bcode/interface/bcssb.h"
#include "bcode/interface/bcssbentry.h"
#include "bcode/localdata/bcldlist.h"
#include "bcode/operand/bclocal.h"
#include "bcode/operand/bcoperand.h"
#include "bcode/text/bctext.h"
#include "bcode/types/krtypedesc.h"
#include "bcode/types/krtypetab.h"
#include "tools/support/blockgen.h"
#include "tools/support/blockreading.h"
#include "tools/support/errorreport.h"

namespace {

// How each level of a graph holds the level below. kCycle is kStructs whose
// bottom level holds the top again.
enum class Shape { kStructs, kArrays, kMixed, kShared, kCycle };

KRTypeRef addStruct(KRTypeTab& tab, const KRTypeRef& first, const KRTypeRef& second) {
  auto desc = std::make_unique<KRStructDesc>();
  desc->addComp(KRString("a"), first);
  desc->addComp(KRString("b"), second);
  return tab.add(desc.release());
}

KRTypeRef addArray(KRTypeTab& tab, const KRTypeRef& elem) {
  auto desc = std::make_unique<KRArrayDesc>(elem);
  desc->addDim(1, 1);
  return tab.add(desc.release());
}

// `levels` structures or arrays behind the elementary types of `tab`, the
// top first and each level naming the next index: walked in table order, as
// listings and dumps walk, every type is met before the ones below it, so
// that each walk goes all the way down (a graph stored bottom first is
// measured and dumped one level at a time). kMixed alternates structures and
// arrays and is stored bottom first. The top.
KRTypeRef addGraph(KRTypeTab& tab, Shape shape, int levels) {
  const KRTypeRef boolean = tab.getTypeRef(KR_DT_BOOL);
  const KRTypeRef leaf = tab.getTypeRef(KR_DT_INT);
  if (shape == Shape::kMixed) {
    KRTypeRef below = leaf;
    for (int level = 0; level < levels; ++level) {
      below = level % 2 == 1 ? addArray(tab, below) : addStruct(tab, boolean, below);
    }
    return below;
  }
  const auto top = static_cast<std::uint16_t>(tab.getCount());
  for (int level = 0; level < levels; ++level) {
    const KRTypeRef below = level + 1 < levels
                                ? KRTypeRef(static_cast<std::uint16_t>(top + level + 1), &tab)
                            : shape == Shape::kCycle ? KRTypeRef(top, &tab)
                                                     : leaf;
    if (shape == Shape::kArrays) {
      addArray(tab, below);
    } else {
      addStruct(tab, shape == Shape::kShared ? below : boolean, below);
    }
  }
  return KRTypeRef(top, &tab);
}

std::string tableRecord(Shape shape, int levels) {
  KRTypeTab tab;
  for (const unsigned char code : kKRElemTypeCodes) tab.add(new KRElemDesc(code));
  addGraph(tab, shape, levels);
  std::ostringstream os;
  tab.save(os);
  return os.str();
}

std::string blockRecord(const BCode& block) {
  std::ostringstream os;
  block.save(os);
  return os.str();
}

// An FB whose interface, both local data lists, an operand and an
// instruction name the top of the graph; the graph's variables come last,
// where a layout that measured all but the last entry would miss them.
std::string deepBlock(Shape shape, int levels) {
  BCode block(7, KR_FB_KENN);
  block.initElemTypes();
  KRTypeTab& types = block.getTypeTab();
  const KRTypeRef boolean = types.getTypeRef(KR_DT_BOOL);
  const KRTypeRef top = addGraph(types, shape, levels);

  BCSSB* own = block.getSSBList().newSSB(7, KR_FB_KENN);
  if (own == nullptr) return std::string();
  own->add(new BCFBEntry(KRString("start"), boolean, BCSSBEntry::BC_PARAM_IN));
  own->add(new BCFBEntry(KRString("deep"), top, BCSSBEntry::BC_PARAM_STAT));
  block.getLDDList().add(new BCLDEntry(KRString("ready"), boolean));
  const BCLDRef deep = block.getLDDList().add(new BCLDEntry(KRString("deep"), top));
  block.getLSDList().add(new BCLDEntry(KRString("deep"), top));
  own->getLastOffset();
  block.calcOffsets();

  auto operand = std::make_unique<BCoLDD>(deep);
  const BCOpRef deepOperand = block.getOpList().add(operand.get());
  operand.release();
  const BCTMP temporary(top.ptr()->getDataType(), 1, BCTMP::TMG, BCTMP::L_AREA, top);
  const BCOPD target(deepOperand);
  auto assign =
      std::make_unique<BCInstruction>(BCInstruction::IC_215, &target, &temporary, nullptr);
  block.getInstrList().append(assign.get());
  assign.release();
  return blockRecord(block);
}

std::string generated(std::uint32_t instructions, std::uint64_t seed) {
  const bctool::GeneratedBlock generated = bctool::generateBlock(instructions, seed);
  return generated.block ? blockRecord(*generated.block) : std::string();
}

// The text of a record's block, as `bcode dis` writes it.
std::string textOf(const std::string& record) {
  const bctool::BlockReading reading = bctool::readBlock(record);
  return reading.ok() ? bcToText(*reading.block) : std::string();
}

struct Seed {
  const char* target;
  const char* name;
  std::function<std::string()> record;
};

// Each under libFuzzer's 64 KB; together a few hundred KB, since every
// build replays them (test_concurrency).
const Seed kSeeds[] = {
    {"fuzz_block_load", "generated_seed2_450", [] { return generated(450, 2); }},
    {"fuzz_block_load", "generated_seed3_1000", [] { return generated(1000, 3); }},
    {"fuzz_block_load", "generated_seed4_2300", [] { return generated(2300, 4); }},
    // Once a dump of 224 MB; also a layout view in time growing with the
    // square of the depth.
    {"fuzz_block_load", "deep_structs_1000", [] { return deepBlock(Shape::kStructs, 1000); }},
    // Once a block that passed its check while its last variable had no length.
    {"fuzz_block_load", "deep_arrays_300", [] { return deepBlock(Shape::kArrays, 300); }},
    // Once a dump of 97 MB.
    {"fuzz_block_load", "shared_60", [] { return deepBlock(Shape::kShared, 60); }},
    // Once taken for a cycle, one level past the old nesting limit.
    {"fuzz_type_table", "deep_structs_257", [] { return tableRecord(Shape::kStructs, 257); }},
    // The size and shape of the input that once timed out the type table
    // target: 4.4 s for its dump.
    {"fuzz_type_table", "deep_structs_1900", [] { return tableRecord(Shape::kStructs, 1900); }},
    {"fuzz_type_table", "deep_arrays_3500", [] { return tableRecord(Shape::kArrays, 3500); }},
    {"fuzz_type_table", "deep_mixed_1800", [] { return tableRecord(Shape::kMixed, 1800); }},
    {"fuzz_type_table", "shared_60", [] { return tableRecord(Shape::kShared, 60); }},
    {"fuzz_type_table", "deep_cycle_1000", [] { return tableRecord(Shape::kCycle, 1000); }},
    // Texts of the block records above that stay under 64 KB as text.
    {"fuzz_text_parse", "generated_seed2_450.bct", [] { return textOf(generated(450, 2)); }},
    {"fuzz_text_parse", "deep_arrays_300.bct",
     [] { return textOf(deepBlock(Shape::kArrays, 300)); }},
    {"fuzz_text_parse", "shared_60.bct", [] { return textOf(deepBlock(Shape::kShared, 60)); }},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
    return 2;
  }
  for (const Seed& seed : kSeeds) {
    bcInitBCode();
    const std::string record = seed.record();
    const std::string path = std::string(argv[1]) + "/" + seed.target + "/" + seed.name;
    if (record.empty() || !bctool::errorFlagsText().empty()) {
      std::fprintf(stderr, "%s: not built (%s)\n", path.c_str(), bctool::errorFlagsText().c_str());
      return 1;
    }
    std::ofstream out(path, std::ios::binary);
    if (!out.write(record.data(), static_cast<std::streamsize>(record.size())).flush()) {
      std::fprintf(stderr, "%s: not written\n", path.c_str());
      return 1;
    }
    std::printf("%s: %zu bytes\n", path.c_str(), record.size());
  }
  return 0;
}

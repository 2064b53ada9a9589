// A deterministic generator of large, realistic blocks for the benchmarks,
// the tests, the fuzz seeds and `bcode gen`: an FB with its own interface,
// the interfaces of the FBs it instantiates and the FCs it calls,
// structures, arrays and strings, local data with views, constants of every
// class, memory operands of every class and a long program whose
// instructions use every kind of operand. Everything else scales with the
// number of instructions asked for. The same size and seed give the same
// block, byte for byte, on every machine: the generator draws from its own
// random numbers and reduces them to ranges itself. Seed 0 is the block the
// benchmarks measure; every other seed varies the names, the block number,
// the proportions of types, variables, constants and operands, the mix of
// statements and operand kinds, and how often views occur.
#ifndef BCODE_TOOLS_SUPPORT_BLOCKGEN_H
#define BCODE_TOOLS_SUPPORT_BLOCKGEN_H

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "bcode/interface/bcssb.h"
#include "bcode/localdata/bcldlist.h"

class BCode;

namespace bctool {

inline constexpr std::uint16_t kOwnBlockNo = 7;

// How much of everything a block of a given size holds, and in what mix.
struct BlockShape {
  std::uint16_t blockNo = kOwnBlockNo;
  std::uint64_t seed = 0;
  std::uint32_t instructions = 0;
  std::uint32_t structures = 0;
  std::uint32_t arrays = 0;
  std::uint32_t ownEntries = 0;  // the block's own interface
  std::uint32_t calledFBs = 0;   // descriptions of instantiated FBs
  std::uint32_t calledFCs = 0;   // descriptions of called FCs
  std::uint32_t entriesPerCalled = 0;
  std::uint32_t lddVariables = 0;
  std::uint32_t lsdVariables = 0;
  std::uint32_t constants = 0;
  std::uint32_t operands = 0;
  std::uint32_t viewEvery = 0;           // every n-th variable or static entry is a view
  std::uint32_t otherOperandsEvery = 4;  // rounds of data operands per round of the others
  std::uint32_t shortestString = 8;      // the four string types are 16 characters apart
  bool plainNames = true;                // "own1", "tmp1", ...; else words of a plant
  // Relative weights of the choices the generator makes.
  std::array<std::uint32_t, 4> types = {1, 1, 1, 7};  // structure, array, string, elementary
  std::array<std::uint32_t, 5> statements = {2, 1, 1, 1, 5};  // if, call, timer, calendar, :=
  std::array<std::uint32_t, 5> sources = {1, 1, 1, 1, 2};     // constant, INT, WORD, BYTE, operand

  // The proportions of a compiled block with `instructions` instructions
  // (at least 2; the tables are sized as for 64 at least). Seed 0 gives the
  // reference proportions, another seed varies each within a half either
  // way. The counts stay within a table's 65534 entries for every size up
  // to 65535 instructions.
  static BlockShape forInstructions(std::uint32_t instructions, std::uint64_t seed = 0);
};

// What the benchmarks need to find again in a generated block.
struct GeneratedBlock {
  std::unique_ptr<BCode> block;
  BlockShape shape;
  // References to every variable and every interface entry, for building
  // operands on them.
  std::vector<BCLDRef> lddVariables;
  std::vector<BCLDRef> lsdVariables;
  std::vector<BCSSBRef> ownEntries;
  std::vector<BCSSBRef> fbEntries;  // of the instantiated FBs
  std::vector<BCSSBRef> fcEntries;  // of the called FCs
  // The first instruction creates this temporary from an operand with a
  // text position, and only the last instruction reads it again without
  // one: every backward search started at the last instruction for it
  // walks the whole list.
  std::uint32_t firstTemporary = 1;
};

// The block laid out (calcOffsets has run). Null block when the library
// reported a failure while it was built.
GeneratedBlock generateBlock(std::uint32_t instructions, std::uint64_t seed = 0);

// A record does not carry view numbers: a block read back needs them
// declared again before it is laid out anew. False when an entry is missing.
bool declareViews(BCode& block, const BlockShape& shape);

}  // namespace bctool

#endif  // BCODE_TOOLS_SUPPORT_BLOCKGEN_H

// The example block of the bcode tool, built through the public API: FB 7
// with its own interface, the interfaces of an FC it calls and of an FB it
// instantiates, local data, constants of every class, memory operands of
// every class and instructions with every kind of operand. The tool's demo,
// the fault-injection tests and the benchmarks all use this one block.
#ifndef BCODE_TOOLS_SUPPORT_DEMOBLOCK_H
#define BCODE_TOOLS_SUPPORT_DEMOBLOCK_H

#include <cstdint>
#include <memory>

class BCode;

namespace bctool {

inline constexpr std::uint16_t kDemoBlockNo = 7;

// The demo block, laid out. Expects every error flag clear (bcInitBCode), as
// any flag set afterwards counts as a failure: the result is then null and
// the flags are left as the library set them.
std::unique_ptr<BCode> buildDemoBlock();

// Declares the demo block's views (one in its own interface, one in each
// local data list). A record does not carry view numbers, so a block read
// back needs them again, as the compiler would declare them, before it is
// laid out anew. False when the block lacks an entry a view names.
bool declareDemoViews(BCode& block);

}  // namespace bctool

#endif  // BCODE_TOOLS_SUPPORT_DEMOBLOCK_H

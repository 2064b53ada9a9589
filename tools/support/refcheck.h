// Finds the references of a loaded block that do not resolve: type indices
// everywhere, the constants and operands of instruction operands, the
// interface entries and local variables of operands, and the interface
// descriptions of instance types.
#ifndef BCODE_TOOLS_SUPPORT_REFCHECK_H
#define BCODE_TOOLS_SUPPORT_REFCHECK_H

#include <string>
#include <vector>

class BCode;

namespace bctool {

// One text per reference that does not resolve, naming where it is and what
// it names; empty when every reference resolves.
std::vector<std::string> unresolvedReferences(const BCode& block);

}  // namespace bctool

#endif  // BCODE_TOOLS_SUPPORT_REFCHECK_H

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

// A reference that does not resolve: the section of the record holding it,
// and where it is and what it names ("operand 12 (E): type 500 does not
// resolve").
struct Unresolved {
  const char* section;
  std::string text;
};

// Every reference that does not resolve, in record order; empty when all do.
std::vector<Unresolved> unresolvedReferences(const BCode& block);

}  // namespace bctool

#endif  // BCODE_TOOLS_SUPPORT_REFCHECK_H

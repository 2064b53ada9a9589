// The library's error flags that are set, in the words of its flag table:
// what each belongs to and what its value means.
#ifndef BCODE_TOOLS_SUPPORT_ERRORREPORT_H
#define BCODE_TOOLS_SUPPORT_ERRORREPORT_H

#include <string>
#include <vector>

#include "bcode/code/bcerrorflags.h"

namespace bctool {

// Whether any error flag is set.
bool anyErrorFlagSet();

// The flags now set, in the library's order.
std::vector<BCErrorFlag> setErrorFlags();

// "operand table: the record ends inside the table, ...; operand: ...";
// empty when no flag is set.
std::string errorFlagsText();

}  // namespace bctool

#endif  // BCODE_TOOLS_SUPPORT_ERRORREPORT_H

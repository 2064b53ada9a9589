// Default name tables for the listings, for callers that have none of their
// own. Each is a constant table of texts that lives as long as the library:
//
// - bcDefaultMnemonics(): 57 instruction mnemonics indexed by listing column
//   (bcMnemonicColumn, bcode/instr/bcinstruction.h); each is "IC" followed
//   by the instruction code.
// - bcDefaultTypeNames(): 256 data type names indexed by data type code: the
//   type's name for the codes the library knows ("BOOL", "WORD", "DT",
//   "ARRAY", "POINTER", "FB_NO", "ELEM30", ...), "TYPE<code>" for the others.
//   Listings show codes 254 and 255 with entries 30 and 31.
// - bcDefaultOperandClassNames(): 34 memory operand class names indexed by
//   the operand's class tag ("E", "A", "M", ..., "ICAP"); entry 0 is "???".
// - bcDefaultParamKindNames(): 256 parameter kind names indexed by kind:
//   "IN" (0), "OUT" (1), "IN_OUT" (2), "STAT" (3), "KIND<n>" for the others.
#ifndef BCODE_CODE_BCNAMETABLES_H
#define BCODE_CODE_BCNAMETABLES_H

#include "bcode/foundation/krexport.h"

constexpr int kBCMnemonicCount = 57;
constexpr int kBCTypeNameCount = 256;
constexpr int kBCOperandClassNameCount = 34;
constexpr int kBCParamKindNameCount = 256;

BCODE_API const char* const* bcDefaultMnemonics();
BCODE_API const char* const* bcDefaultTypeNames();
BCODE_API const char* const* bcDefaultOperandClassNames();
BCODE_API const char* const* bcDefaultParamKindNames();

#endif  // BCODE_CODE_BCNAMETABLES_H

// The sections of a block record, in the order the record holds them, and
// the names users know them by. Listings, diagnostics and the text form take
// a section's name from here.
#ifndef BCODE_CODE_BCRECORDSECTION_H
#define BCODE_CODE_BCRECORDSECTION_H

#include "bcode/foundation/krexport.h"

// A section by its place in the record.
enum class BCSection : int {
  Header,  // the block header
  Types,
  Interfaces,
  LDD,
  LSD,
  Constants,
  Operands,
  Instructions,
};
inline constexpr int kBCSectionCount = static_cast<int>(BCSection::Instructions) + 1;

// One section of a block record.
struct BCRecordSection {
  int number;        // its place in the record: 0 the block header, 1 the type table, ...
  const char* name;  // "block header", "type table", ..., "instruction list"
  bool hasEntries;   // false for the block header
};

BCODE_API const BCRecordSection& bcRecordSection(BCSection section);

#endif  // BCODE_CODE_BCRECORDSECTION_H

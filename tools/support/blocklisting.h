// The three text forms of a block the tool prints: the fixed-column listing
// with caller-chosen name tables, the debugging dump, and the statistics of
// the record's sections.
#ifndef BCODE_TOOLS_SUPPORT_BLOCKLISTING_H
#define BCODE_TOOLS_SUPPORT_BLOCKLISTING_H

#include <cstddef>
#include <iosfwd>

class BCode;

namespace bctool {

struct NameTables;
struct BlockReading;

// Type table, interface list, local data, constants, operands and
// instructions, each under a title line.
void printListing(std::ostream& os, const BCode& block, const NameTables& names);

// The debugging dump of every section.
void printDump(std::ostream& os, const BCode& block);

// Block number and kind, then per section its entries, offset and bytes,
// of a block read; `fileSize` shows bytes that follow the record.
void printStats(std::ostream& os, const BlockReading& reading, std::size_t fileSize);

}  // namespace bctool

#endif  // BCODE_TOOLS_SUPPORT_BLOCKLISTING_H

// The four name tables a listing needs: the library's defaults, or a table
// read from a file of one name per line (line n is entry n - 1).
#ifndef BCODE_TOOLS_SUPPORT_NAMETABLEFILE_H
#define BCODE_TOOLS_SUPPORT_NAMETABLEFILE_H

#include <cstdint>
#include <string>
#include <vector>

namespace bctool {

// One table of names: `size` entries, indexed as the listing indexes it.
class NameTable {
 public:
  // The entries of a library default table.
  NameTable(const char* const* defaults, int size);

  // Replaces every entry by the lines of `path` ("-": standard input).
  // Entries the file does not reach read "???". False, with the reason, when
  // it cannot be read, holds more than `limit` bytes or has more lines than
  // the table.
  bool loadFile(const std::string& path, std::uint64_t limit, std::string& message);

  const char* const* get() const { return pointers_.data(); }
  int size() const { return static_cast<int>(names_.size()); }

 private:
  void rebuildPointers();

  std::vector<std::string> names_;
  std::vector<const char*> pointers_;
};

// The tables of a block listing.
struct NameTables {
  NameTable mnemonics;
  NameTable typeNames;
  NameTable classNames;
  NameTable paramKindNames;

  // The library's default tables.
  NameTables();
};

}  // namespace bctool

#endif  // BCODE_TOOLS_SUPPORT_NAMETABLEFILE_H

// The walk over type graphs and the helpers the descriptor files share.
// Internal to the library.
//
// Descriptors name each other by index, so a graph read from a record may be
// deep (a chain of 60,000 structures), shared (each level using the one below
// twice) or cyclic. No walk recurses on the machine stack: storage lengths,
// comparisons and dumps keep their own stack, so only memory limits the
// depth. Each answer is worked out once per call (or per scope, below) and
// remembered; a descriptor met again while its own answer is still being
// worked out closes a cycle and gets flag 1 and a neutral value.
#ifndef BCODE_TYPES_KRTYPEWALK_H
#define BCODE_TYPES_KRTYPEWALK_H

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>

#include "bcode/foundation/krlistline.h"

class KRTypedesc;
struct KRTypeWalkState;

// While a scope lives on a thread, the type queries made there (storage
// lengths, alignments in arrays, equality) share one walk: each type's answer
// is worked out once and then remembered, however many entries ask for it.
// For passes that change no type, interface description or type table while
// they run, such as laying out an interface description or a local data
// list. A scope made inside another one joins it.
class KRTypeQueryScope {
 public:
  KRTypeQueryScope();
  ~KRTypeQueryScope();
  KRTypeQueryScope(const KRTypeQueryScope&) = delete;
  KRTypeQueryScope& operator=(const KRTypeQueryScope&) = delete;

 private:
  std::unique_ptr<KRTypeWalkState> own_;  // null when joining, or without memory
};

// The operations of a walk. A friend of the descriptor classes, so that it
// can set their flag and print the parts of their dumps.
class KRTypeWalk {
 public:
  // The answers that are remembered. Each is worked out by the descriptor's
  // own rule (its storageLength(), storageLengthInArrays() or
  // alignmentInArrays()), which the walk runs again once the answers the rule
  // asked for and did not find are known.
  enum Query : int { LENGTH, LENGTH_IN_ARRAYS, ALIGN_IN_ARRAYS, EQUAL };

  // The answer of `query` for `desc`: `rule()` when the walk runs the rule
  // now, else the remembered answer, or `neutral` (flag 1) for a cycle.
  template <class Rule>
  static std::uint32_t measure(Query query, const KRTypedesc& desc, std::uint32_t neutral,
                               Rule&& rule) {
    std::uint32_t value = neutral;
    return enter(query, desc, neutral, value) ? rule() : value;
  }
  // Whether the rule running now asked for an answer not known yet: its
  // result is dropped and it runs again later, so it must undo what it
  // stored on the way.
  static bool incomplete();

  // a == b for any two descriptors, structures and arrays compared component
  // by component.
  static bool equal(const KRTypedesc& a, const KRTypedesc& b);

  // The dump of a structure or an array: every descriptor reached is dumped
  // once per call or KRTypePrintScope; a structure or array met again is
  // printed as a reference to its type index, a cycle as an illegal
  // reference.
  static void dump(std::ostream& os, const KRTypedesc& desc, int indent);

  // Sets the descriptor flag to 1 and marks the answers being worked out as
  // failed.
  static void fail();
  // Sets the descriptor flag to 2: a dump lacked memory.
  static void noMemory();

 private:
  class Measure;
  class Comparison;
  class Dump;

  static bool enter(Query query, const KRTypedesc& desc, std::uint32_t neutral,
                    std::uint32_t& value);
};

// Helpers of the descriptor files.
namespace krtype {

// A record that failed: the descriptor flag is 1.
inline bool recordFailed() {
  KRTypeWalk::fail();
  return false;
}

// The word that opens the dump of a class (krtypedesc.def).
const char* dumpWord(int classTag);

// Indentation of the dumps. Beyond kMaxIndent blanks a line starts with
// kMaxIndent blanks and the full indentation in brackets, so that no line of
// a deep dump grows with its depth.
constexpr long kMaxIndent = 64;
void printIndent(std::ostream& os, long indent);

// `value` raised to a multiple of `unit`.
inline std::uint32_t roundUp(std::uint32_t value, std::uint32_t unit) {
  const std::uint32_t rest = value % unit;
  return rest == 0 ? value : value + (unit - rest);
}

// Listing lengths are 32-bit signed values.
inline long asListed(std::uint32_t value) {
  return static_cast<long>(static_cast<std::int32_t>(value));
}

// `value` right-aligned in `width` characters.
std::string rightAligned(long value, int width);

// The columns of a type's listing line, from the start of the line.
// Elementary, string and array lines write their GDT number and shape with a
// leading blank, structure and instance lines one column further in
// without it (oneIn).
constexpr KRListColumn kGDTColumn{"GDT number", 31, 7};
constexpr KRListColumn kTypeNameColumn{"type name", 38, 9};
constexpr KRListColumn kLengthColumn{"storage length", 47, 10};
constexpr KRListColumn kShapeColumn{"dimensions or components", 57, 13};
constexpr KRListColumn kInstanceBlockColumn{"instance block", 70, 5};
constexpr KRListColumn kTypeIndexColumn{"type index", 75, 0};

// The columns of a structure component's line, from the listing level.
constexpr KRListColumn kCompNameColumn{"component name", 0, 20};
constexpr KRListColumn kCompOffsetColumn{"component offset", 20, 6};
constexpr KRListColumn kCompGDTColumn{"component GDT number", 26, 7};
constexpr KRListColumn kCompTypeNameColumn{"component type name", 33, 9};
constexpr KRListColumn kCompShapeColumn{"component length and shape", 42, 0};

constexpr KRListColumn oneIn(const KRListColumn& column) {
  return {column.name, column.position + 1, column.width - 1};
}

// The line buffer from its start; from the listing level for component
// lines (an origin outside the buffer writes nothing).
inline KRListLine typeLine(char* line) {
  return KRListLine(line, line);
}
inline KRListLine componentLine(char* line, int level) {
  const bool inside = line != nullptr && level >= 0 && level < static_cast<int>(kKRLineSize);
  return KRListLine(line, inside ? line + level : nullptr);
}

// A listing line above level 5 starts with a dash.
inline void startListing(char* line, int level) {
  if (level > 5) krLinePut(line, line, "-");
}

}  // namespace krtype

#endif  // BCODE_TYPES_KRTYPEWALK_H

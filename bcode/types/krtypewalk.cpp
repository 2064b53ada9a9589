#include "bcode/types/krtypewalk.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <new>
#include <optional>
#include <ostream>
#include <string>
#include <unordered_map>
#include <vector>

#include "bcode/types/krtypedesc.h"
#include "bcode/types/krtypetab.h"

// How large a dump can get. One dump (a call, or a KRTypePrintScope) writes
// each structure and array in full once; wherever one is met again it writes
// a reference line, and a cycle writes the illegal-reference line. Beyond
// kMaxIndent blanks the indentation stops growing, so no line starts with
// more than 77 characters (64 blanks and the bracketed indentation). Behind
// them a line holds at most 90 characters, or a component's name, or 25
// characters per dimension of an array. Each line is paid for by the bytes
// of the record that caused it:
//   - a component's line, with the first line of the type it names, by the
//     component's 3 bytes and its name: at most 77 + 7 + 77 + 90 = 251
//     characters besides the name, fewer than 84 per byte;
//   - the first line of a structure or array by its at least 8 bytes, an
//     array's element line by the array's record (9 bytes and 4 or 8 per
//     dimension);
//   - the dump of a descriptor that names no type (at most two lines), and
//     the line a table entry, interface entry, local variable, operand or
//     instruction operand writes for its type, by a record of at least 2
//     bytes: at most 77 + 90 characters, fewer than 84 per byte.
// So the dump of a whole block writes at most 100 bytes per byte of its
// record for its types, besides what the entries, operands and
// instructions write of their own.

namespace {

constexpr const char* kIllegalTypeRef = "*** Error: illegal typeRef !";

}  // namespace

// Per-call state of a walk: remembered answers and the ones in progress,
// the measuring loop, and what a dump has written. The outermost call
// creates it, or a KRTypeQueryScope or KRTypePrintScope around many calls;
// calls inside, also those through interface entries, share it.
struct KRTypeWalkState {
  using Query = KRTypeWalk::Query;
  struct Key {
    const void* a;
    const void* b;
    Query query;
    bool operator==(const Key& other) const {
      return a == other.a && b == other.b && query == other.query;
    }
  };
  struct KeyHash {
    std::size_t operator()(const Key& key) const {
      const std::hash<const void*> hash;
      return hash(key.a) ^ (hash(key.b) * 31U) ^ static_cast<std::size_t>(key.query);
    }
  };
  // ASKED: wanted by a rule, not worked out yet; ON_PATH: being worked out
  // (met again, it closes a cycle); DONE: known.
  enum Phase : unsigned char { ASKED, ON_PATH, DONE };
  struct Answer {
    Phase phase = ASKED;
    bool failed = false;
    std::uint32_t value = 0;
    std::uint32_t askedInRun = 0;
  };

  std::unordered_map<Key, Answer, KeyHash> memo;
  std::uint64_t failures = 0;

  // The measuring loop: the answers still to work out (the last first) and
  // the rule running now, with the answers it asked for and did not find.
  std::vector<Key> toMeasure;
  bool running = false;
  bool entered = false;
  Key runningKey{nullptr, nullptr, KRTypeWalk::LENGTH};
  std::uint32_t run = 0;
  std::vector<Key> missing;
  bool lostAnswer = false;  // a missing answer could not be noted (no memory)

  // The dump: each structure and array written, true while it is open.
  std::unordered_map<const KRTypedesc*, bool> dumped;
  int dumpDepth = 0;
  bool dumpShared = false;
  const KRTypeTab* dumpTable = nullptr;
  std::unordered_map<const KRTypedesc*, std::uint16_t> tableIndex;
  bool indexed = false;
};

namespace {

using WalkState = KRTypeWalkState;
using Key = WalkState::Key;
using Answer = WalkState::Answer;

WalkState*& activeWalk() {
  static thread_local WalkState* walk = nullptr;
  return walk;
}

// Joins the walk of the call in progress, or starts one for an outermost call.
class WalkScope {
 public:
  WalkScope() : walk_(activeWalk()) {
    if (walk_ == nullptr) {
      own_.emplace();
      walk_ = &*own_;
      activeWalk() = walk_;
    }
  }
  ~WalkScope() {
    if (own_) activeWalk() = nullptr;
  }
  WalkScope(const WalkScope&) = delete;
  WalkScope& operator=(const WalkScope&) = delete;
  WalkState& walk() const { return *walk_; }

 private:
  WalkState* walk_;
  std::optional<WalkState> own_;
};

// Structures and arrays name other types; the other descriptors stand alone.
bool namesTypes(const KRTypedesc& desc) {
  return desc.isA() == KRTypedesc::KR_STRUCT_DESC || desc.isA() == KRTypedesc::KR_ARRAY_DESC;
}

}  // namespace

KRTypeQueryScope::KRTypeQueryScope() {
  if (activeWalk() != nullptr) return;
  // Without memory for a shared walk every query keeps its own.
  own_.reset(new (std::nothrow) KRTypeWalkState());
  activeWalk() = own_.get();
}

KRTypeQueryScope::~KRTypeQueryScope() {
  if (own_) activeWalk() = nullptr;
}

KRTypePrintScope::KRTypePrintScope(const KRTypeTab& table) {
  WalkState* walk = activeWalk();
  if (walk == nullptr) {
    // Without memory for a shared walk each call is a print run of its
    // own, and the flag tells that a dump may be longer than it should.
    own_.reset(new (std::nothrow) KRTypeWalkState());
    if (!own_) {
      KRTypeWalk::noMemory();
      return;
    }
    walk = own_.get();
    activeWalk() = walk;
  }
  joined_ = true;
  wasShared_ = walk->dumpShared;
  previousTable_ = walk->dumpTable;
  walk->dumpShared = true;
  walk->dumpTable = &table;
  walk->indexed = false;
}

KRTypePrintScope::~KRTypePrintScope() {
  if (!joined_) return;
  WalkState* walk = activeWalk();
  walk->dumpShared = wasShared_;
  walk->dumpTable = previousTable_;
  walk->indexed = false;
  walk->tableIndex.clear();
  if (!wasShared_) walk->dumped.clear();
  if (own_) activeWalk() = nullptr;
}

// ------------------------------------------------------------------- failure

void KRTypeWalk::fail() {
  KRTypedesc::setError(KRTypedesc::KRTYPEDESC_FAILED);
  if (activeWalk() != nullptr) ++activeWalk()->failures;
}

void KRTypeWalk::noMemory() {
  KRTypedesc::setError(KRTypedesc::KRTYPEDESC_NO_MEMORY);
}

// ----------------------------------------------------------------- measuring
//
// A rule (a structure's length, say) asks for the answers of the types it
// names. Asked inside a rule, an answer not known yet is noted as missing and
// a stand-in is returned; the loop then works out the missing answers, the
// first asked first, and runs the rule again. A stand-in never fails, so the
// first run asks for every answer a later run can need and each rule runs at
// most twice. The rules waiting for answers are the path a recursive walk
// would be on: meeting one of them again closes a cycle.

namespace {

std::uint32_t runRule(const Key& key) {
  const auto& desc = *static_cast<const KRTypedesc*>(key.a);
  switch (key.query) {
    case KRTypeWalk::LENGTH_IN_ARRAYS:
      return static_cast<const KRArrayDesc&>(desc).storageLengthInArrays();
    case KRTypeWalk::ALIGN_IN_ARRAYS:
      return static_cast<const KRArrayDesc&>(desc).alignmentInArrays();
    default:
      return desc.storageLength();
  }
}

// Leaves the walk usable when the loop ends early: the answers in progress
// are forgotten.
class MeasureGuard {
 public:
  explicit MeasureGuard(WalkState& walk) : walk_(walk) {}
  ~MeasureGuard() {
    walk_.running = false;
    for (const Key& key : walk_.toMeasure) {
      const auto found = walk_.memo.find(key);
      if (found != walk_.memo.end() && found->second.phase != WalkState::DONE) {
        walk_.memo.erase(found);
      }
    }
    walk_.toMeasure.clear();
  }
  MeasureGuard(const MeasureGuard&) = delete;
  MeasureGuard& operator=(const MeasureGuard&) = delete;

 private:
  WalkState& walk_;
};

}  // namespace

class KRTypeWalk::Measure {
 public:
  // Notes an answer the running rule lacks, once per run.
  static void noteMissing(WalkState& walk, const Key& key) {
    try {
      Answer& answer = walk.memo[key];
      if (answer.askedInRun == walk.run) return;
      answer.askedInRun = walk.run;
      walk.missing.push_back(key);
    } catch (const std::bad_alloc&) {
      walk.lostAnswer = true;
    }
  }

  // Works out the answer for `root` and every answer it needs.
  static std::uint32_t all(WalkState& walk, const Key& root, std::uint32_t neutral) {
    const KRTypedesc::ERRORS callerFlag = KRTypedesc::getError();
    {
      const MeasureGuard guard(walk);
      try {
        walk.memo[root];
        walk.toMeasure.push_back(root);
        while (!walk.toMeasure.empty()) {
          const Key key = walk.toMeasure.back();
          Answer& answer = walk.memo[key];
          if (answer.phase == WalkState::DONE || runNext(walk, answer, key)) {
            walk.toMeasure.pop_back();
          }
        }
      } catch (const std::bad_alloc&) {
        // No room to remember what is in progress, so no way to see a cycle.
      }
    }
    KRTypedesc::setError(callerFlag);
    const auto found = walk.memo.find(root);
    if (found == walk.memo.end() || found->second.phase != WalkState::DONE) {
      fail();
      return neutral;
    }
    if (found->second.failed) fail();
    return found->second.value;
  }

 private:
  // Runs the rule of the answer to work out next. False when it asked for
  // answers not known yet, which are then the next to work out.
  static bool runNext(WalkState& walk, Answer& answer, const Key& key) {
    ++walk.run;
    walk.missing.clear();
    walk.lostAnswer = false;
    answer.phase = WalkState::ON_PATH;
    // Each rule starts with a clear flag; its failure is remembered and
    // passed on to whoever asks for its answer.
    KRTypedesc::resetError();
    const std::uint64_t failuresBefore = walk.failures;
    walk.running = true;
    walk.entered = false;
    walk.runningKey = key;
    const std::uint32_t value = runRule(key);
    walk.running = false;
    if (!walk.missing.empty() && !walk.lostAnswer) {
      for (auto it = walk.missing.rbegin(); it != walk.missing.rend(); ++it) {
        walk.toMeasure.push_back(*it);
      }
      return false;
    }
    answer.phase = WalkState::DONE;
    answer.value = value;
    answer.failed = walk.failures != failuresBefore || walk.lostAnswer;
    return true;
  }
};

bool KRTypeWalk::enter(Query query, const KRTypedesc& desc, std::uint32_t neutral,
                       std::uint32_t& value) {
  const WalkScope scope;
  WalkState& walk = scope.walk();
  const Key key{&desc, nullptr, query};
  if (walk.running && !walk.entered && walk.runningKey == key) {
    walk.entered = true;
    return true;
  }
  const auto found = walk.memo.find(key);
  if (found != walk.memo.end() && found->second.phase == WalkState::DONE) {
    if (found->second.failed) fail();
    value = found->second.value;
    return false;
  }
  if (found != walk.memo.end() && found->second.phase == WalkState::ON_PATH) {
    fail();
    value = neutral;
    return false;
  }
  if (walk.running) {
    Measure::noteMissing(walk, key);
    value = neutral;
    return false;
  }
  value = Measure::all(walk, key, neutral);
  return false;
}

bool KRTypeWalk::incomplete() {
  const WalkState* walk = activeWalk();
  return walk != nullptr && walk->running && (!walk->missing.empty() || walk->lostAnswer);
}

// ------------------------------------------------------------------ equality
//
// Structures and arrays are compared pair by pair with a stack of the pairs
// in progress, in the order a recursive comparison would take: component by
// component, stopping at the first difference.

namespace {

struct EqualFrame {
  const KRTypedesc* a;
  const KRTypedesc* b;
  Answer* answer;
  std::uint64_t failuresBefore;
  std::uint32_t next;  // components (or element types) compared so far
  Answer* awaited;     // the pair being compared below, if any
};

// What does not need the types named: code, class, shape.
bool sameShape(const KRTypedesc& a, const KRTypedesc& b) {
  if (!a.KRTypedesc::equalType(b) || a.isA() != b.isA()) return false;
  if (a.isA() == KRTypedesc::KR_STRUCT_DESC) {
    return static_cast<const KRStructDesc&>(a).getNoOfComp() ==
           static_cast<const KRStructDesc&>(b).getNoOfComp();
  }
  const auto& x = static_cast<const KRArrayDesc&>(a);
  const auto& y = static_cast<const KRArrayDesc&>(b);
  if (x.getDim() != y.getDim()) return false;
  for (unsigned d = 1; d <= x.getDim(); ++d) {
    if (x.getRange(static_cast<std::uint16_t>(d)) != y.getRange(static_cast<std::uint16_t>(d))) {
      return false;
    }
  }
  return true;
}

// Forgets the pairs in progress when the comparison ends early.
class EqualGuard {
 public:
  EqualGuard(WalkState& walk, std::vector<EqualFrame>& frames) : walk_(walk), frames_(frames) {}
  ~EqualGuard() {
    for (const EqualFrame& frame : frames_)
      walk_.memo.erase(Key{frame.a, frame.b, KRTypeWalk::EQUAL});
  }
  EqualGuard(const EqualGuard&) = delete;
  EqualGuard& operator=(const EqualGuard&) = delete;

 private:
  WalkState& walk_;
  std::vector<EqualFrame>& frames_;
};

}  // namespace

class KRTypeWalk::Comparison {
 public:
  explicit Comparison(WalkState& walk) : walk_(walk) {}

  bool run(const KRTypedesc& a, const KRTypedesc& b) {
    const EqualGuard guard(walk_, frames_);
    try {
      Answer* root = open(a, b);
      while (!frames_.empty()) {
        std::optional<bool> verdict = step(frames_.back());
        if (verdict) close(*verdict);
      }
      return root->value != 0;
    } catch (const std::bad_alloc&) {
      fail();
      return false;
    }
  }

 private:
  // Starts comparing a pair whose answer is not known; its answer.
  Answer* open(const KRTypedesc& a, const KRTypedesc& b) {
    Answer* answer = &walk_.memo[Key{&a, &b, EQUAL}];
    if (!sameShape(a, b)) {
      answer->phase = WalkState::DONE;
      answer->value = 0;
      return answer;
    }
    answer->phase = WalkState::ON_PATH;
    frames_.push_back(EqualFrame{&a, &b, answer, walk_.failures, 0, nullptr});
    return answer;
  }

  void close(bool equal) {
    EqualFrame& frame = frames_.back();
    frame.answer->phase = WalkState::DONE;
    frame.answer->value = equal ? 1 : 0;
    frame.answer->failed = walk_.failures != frame.failuresBefore;
    frames_.pop_back();
  }

  // Compares the frame's next components; a verdict, or none when a pair
  // below has been opened.
  std::optional<bool> step(EqualFrame& frame) {
    if (frame.awaited != nullptr) {
      const bool equal = frame.awaited->value != 0;
      frame.awaited = nullptr;
      if (!equal) return false;
    }
    for (;;) {
      const KRTypedesc* x = nullptr;
      const KRTypedesc* y = nullptr;
      if (frame.a->isA() == KRTypedesc::KR_STRUCT_DESC) {
        const auto& s = static_cast<const KRStructDesc&>(*frame.a);
        if (frame.next == s.getNoOfComp()) return true;
        const auto n = static_cast<std::uint16_t>(++frame.next);
        const KRStructComp& cx = s.getComp(n);
        const KRStructComp& cy = static_cast<const KRStructDesc&>(*frame.b).getComp(n);
        if (cx.getName() != cy.getName()) return false;
        x = cx.getTypeRef().ptr();
        y = cy.getTypeRef().ptr();
        if (x == nullptr || y == nullptr) {
          KRStructComp::setError(KRStructComp::KRSTRUCTCOMP_FAILED);
          return false;
        }
      } else {
        if (frame.next == 1) return true;
        frame.next = 1;
        x = static_cast<const KRArrayDesc&>(*frame.a).getElemTypeRef().ptr();
        y = static_cast<const KRArrayDesc&>(*frame.b).getElemTypeRef().ptr();
        if (x == nullptr || y == nullptr) {
          fail();
          return false;
        }
      }
      if (!namesTypes(*x)) {
        if (!x->equalType(*y)) return false;
        continue;
      }
      const auto found = walk_.memo.find(Key{x, y, EQUAL});
      if (found == walk_.memo.end()) {
        // Opening may grow the frames: `frame` is not used after it.
        Answer* below = &walk_.memo[Key{x, y, EQUAL}];
        frame.awaited = below;
        open(*x, *y);
        return std::nullopt;
      }
      if (found->second.phase == WalkState::ON_PATH) {
        fail();
        return false;
      }
      if (found->second.failed) fail();
      if (found->second.value == 0) return false;
    }
  }

  WalkState& walk_;
  std::vector<EqualFrame> frames_;
};

bool KRTypeWalk::equal(const KRTypedesc& a, const KRTypedesc& b) {
  if (!namesTypes(a)) return a.equalType(b);
  const WalkScope scope;
  WalkState& walk = scope.walk();
  const auto found = walk.memo.find(Key{&a, &b, EQUAL});
  if (found != walk.memo.end()) {
    if (found->second.phase == WalkState::ON_PATH) {
      fail();
      return false;
    }
    if (found->second.failed) fail();
    return found->second.value != 0;
  }
  return Comparison(walk).run(a, b);
}

// --------------------------------------------------------------------- dumps

namespace {

struct DumpFrame {
  const KRTypedesc* desc;
  long indent;
  std::uint32_t next;  // components (or element types) dumped so far
};

int asIndent(long indent) {
  return static_cast<int>(std::min<long>(indent, INT_MAX));
}

// The index of `desc` in the dump's table, 0 when unknown.
std::uint16_t tableIndexOf(WalkState& walk, const KRTypedesc* desc) {
  if (walk.dumpTable == nullptr) return 0;
  try {
    if (!walk.indexed) {
      walk.tableIndex.clear();
      for (KRTypeTabIterator it(*walk.dumpTable); !it.end(); ++it) {
        walk.tableIndex.emplace(it.current(), it.index());
      }
      walk.indexed = true;
    }
  } catch (const std::bad_alloc&) {
    walk.tableIndex.clear();
    KRTypeWalk::noMemory();
    return 0;
  }
  const auto found = walk.tableIndex.find(desc);
  return found != walk.tableIndex.end() ? found->second : 0;
}

}  // namespace

class KRTypeWalk::Dump {
 public:
  Dump(std::ostream& os, WalkState& walk) : os_(os), walk_(walk) {}
  ~Dump() {
    // Types left open by an early end were not written in full.
    for (const DumpFrame& frame : frames_) walk_.dumped.erase(frame.desc);
  }
  Dump(const Dump&) = delete;
  Dump& operator=(const Dump&) = delete;

  void run(const KRTypedesc& root, long indent) {
    visit(&root, 0, indent);
    while (!frames_.empty()) {
      DumpFrame& frame = frames_.back();
      if (frame.desc->isA() == KRTypedesc::KR_STRUCT_DESC) {
        const auto& s = static_cast<const KRStructDesc&>(*frame.desc);
        if (frame.next < s.getNoOfComp()) {
          const auto n = static_cast<std::uint16_t>(++frame.next);
          const long indent = frame.indent;
          s.dumpCompHead(os_, indent, n);
          const KRTypeRef type = s.getComp(n).getTypeRef();
          visit(type.ptr(), type.getIndex(), indent + 4);
          continue;
        }
      } else if (frame.next == 0) {
        frame.next = 1;
        const KRTypeRef elem = static_cast<const KRArrayDesc&>(*frame.desc).getElemTypeRef();
        visit(elem.ptr(), elem.getIndex(), frame.indent + 2);
        continue;
      }
      walk_.dumped[frame.desc] = false;
      frames_.pop_back();
    }
  }

 private:
  // Writes a type where it is met: a stand-alone type's own dump, the head
  // of a structure or array not written yet (its parts follow), or a
  // reference; `index` is its type index, 0 when not known.
  void visit(const KRTypedesc* desc, std::uint16_t index, long indent) {
    if (desc == nullptr) {
      os_ << kIllegalTypeRef << '\n';
      return;
    }
    if (!namesTypes(*desc)) {
      desc->printOn(os_, asIndent(indent));
      return;
    }
    const auto found = walk_.dumped.find(desc);
    if (found != walk_.dumped.end()) {
      if (found->second) {
        os_ << kIllegalTypeRef << '\n';  // a cycle
      } else {
        desc->dumpReference(os_, indent, index != 0 ? index : tableIndexOf(walk_, desc));
      }
      return;
    }
    walk_.dumped.emplace(desc, true);
    frames_.push_back(DumpFrame{desc, indent, 0});
    if (desc->isA() == KRTypedesc::KR_STRUCT_DESC) {
      static_cast<const KRStructDesc*>(desc)->dumpHead(os_, indent);
    } else {
      static_cast<const KRArrayDesc*>(desc)->dumpHead(os_, indent);
    }
  }

  std::ostream& os_;
  WalkState& walk_;
  std::vector<DumpFrame> frames_;
};

namespace {

// Outside a KRTypePrintScope, each outermost dump call is one dump.
class DumpDepth {
 public:
  explicit DumpDepth(WalkState& walk) : walk_(walk) { ++walk_.dumpDepth; }
  ~DumpDepth() {
    if (--walk_.dumpDepth == 0 && !walk_.dumpShared) walk_.dumped.clear();
  }
  DumpDepth(const DumpDepth&) = delete;
  DumpDepth& operator=(const DumpDepth&) = delete;

 private:
  WalkState& walk_;
};

}  // namespace

void KRTypeWalk::dump(std::ostream& os, const KRTypedesc& desc, int indent) {
  const WalkScope scope;
  const DumpDepth depth(scope.walk());
  try {
    Dump(os, scope.walk()).run(desc, indent);
  } catch (const std::bad_alloc&) {
    // Without room to note what was written the dump stops.
    noMemory();
  }
}

// ------------------------------------------------------------------- helpers

namespace {

struct Blanks {
  char text[krtype::kMaxIndent];
  constexpr Blanks() : text{} {
    for (char& c : text) c = ' ';
  }
};
constexpr Blanks kBlanks;

}  // namespace

void krtype::printIndent(std::ostream& os, long indent) {
  if (indent <= 0) return;
  os.write(kBlanks.text, std::min(indent, kMaxIndent));
  if (indent > kMaxIndent) os << '[' << std::to_string(indent) << "] ";
}

std::string krtype::rightAligned(long value, int width) {
  char text[32];
  std::snprintf(text, sizeof text, "%*ld", width, value);
  return text;
}

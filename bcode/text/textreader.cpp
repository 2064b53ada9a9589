// The reader of the text form. Each line is parsed with the PEGTL rule of
// the section it is in; the actions note where each piece of the entry is,
// and the section's handler checks the pieces and appends the entry's
// record to the section's bytes. When a section is complete its bytes go
// through the library's own loader for it, in the order and with the
// bindings of BCode::iload, so that the block read is the block its record
// would give. A line that fails is parsed once more to find out what was
// expected where it failed; reading goes on at the next line.
#include <tao/pegtl.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <istream>
#include <limits>
#include <memory>
#include <new>
#include <ostream>
#include <streambuf>
#include <string>
#include <type_traits>
#include <vector>

#include "bcode/code/bcinternal.h"
#include "bcode/code/bcode.h"
#include "bcode/code/bcrecordsection.h"
#include "bcode/const/bcconstlist.h"
#include "bcode/instr/bcinstrop.h"
#include "bcode/instr/bcinstruction.h"
#include "bcode/interface/bcssb.h"
#include "bcode/localdata/bcldlist.h"
#include "bcode/operand/bcoperand.h"
#include "bcode/text/bctext.h"
#include "bcode/text/textgrammar.h"
#include "bcode/text/textnames.h"
#include "bcode/types/krtypetab.h"

namespace {

namespace g = bctext::grammar;
namespace p = tao::pegtl;
using namespace bctext;

using LineInput = p::memory_input<p::tracking_mode::lazy, p::eol::lf_crlf, const char*>;

// The highest index a table hands out, and the most entries a list holds.
constexpr std::uint32_t kMaxTableIndex = 65534;
constexpr std::uint32_t kMaxListEntries = 65535;
constexpr std::uint32_t kMaxNameLength = 255;
constexpr std::uint32_t kMaxDimensions = 255;
// What a block read from its text keeps in its arena for each byte of text,
// at most about: a text the writer made takes two (a larger guess costs
// nothing until the arena fills, a smaller one leaves the rest of the load
// in small pages).
constexpr std::size_t kArenaBytesPerTextByte = 2;

// ---- what the actions note about one line

struct Tok {
  const char* begin = nullptr;
  const char* end = nullptr;
  bool present() const { return begin != nullptr; }
  std::string_view view() const { return {begin, static_cast<std::size_t>(end - begin)}; }
  // A reference written with '?' is meant not to resolve.
  bool marked() const { return present() && end[-1] == '?'; }
};

// Where the reader stands: in a section of the record, the block line
// standing for the block header, or before the block line.
using Heading = BCSection;
constexpr Heading kBeforeBlock = static_cast<Heading>(-1);

// What each section keeps, kBeforeBlock included.
constexpr int kHeadingSlots = kBCSectionCount + 1;
constexpr int slot(Heading heading) {
  return static_cast<int>(heading) + 1;
}

const char* headingText(Heading heading) {
  return heading <= Heading::Header ? "block" : bcRecordSection(heading).name;
}

enum class TypeForm : int { Empty, Elementary, Elem, Named, String, Array, Struct, Instance };
enum class LiteralForm : int { Quoted, DateAndTime, Date, Tod, K4, Time, Bits, Hex, Number };
enum class OpKind : int { Absent, Tmp, Num, Cst, Opd, Imm };
enum class ImmForm : int { Text, Nil, Hex, Number };

struct Dimension {
  Tok low, high;
};

struct InstructionOperand {
  OpKind kind = OpKind::Absent;
  Tok value;  // the temporary's number, NUM's value, CST's or OPD's index
  Tok status, area, type;
  Tok immClass, immValue;
  ImmForm immForm = ImmForm::Number;
  Tok mark;  // '?' after a constant's or operand's index
  Tok as, refr, test;
  bool refrGiven = false, noRefrGiven = false, testGiven = false;
};

struct LineState {
  Heading heading = kBeforeBlock;  // a section heading or the block line
  bool isComponent = false, isInterfaceHeader = false;
  Tok index;
  Tok kind, number;  // block line, interface heading
  // types
  TypeForm form = TypeForm::Empty;
  Tok elemCode, elemName, stringLength, elementType, instanceKind, instanceNo, instanceMark, code,
      globalFlag, gdtNo;
  std::vector<Dimension>* dimensions = nullptr;  // owned by the reader, kept from line to line
  // names and declarations
  Tok name, type, paramKind, view, at;
  // constants
  bool emptyEntry = false;
  Tok constClass, literal;
  LiteralForm literalForm = LiteralForm::Number;
  Tok date[3], tod[4], parts[5];  // year, month, day; h, m, s, ms; d, h, m, s, ms
  // operands
  Tok operandClass, area, db, opNumber, refKind, refBlock, refEntry, refMark, opType, sonBlock,
      callNo, callPar, callKind, varNo, varMark;
  // instructions
  Tok opcode;
  int slot = 0;
  InstructionOperand ops[3];

  void reset(std::vector<Dimension>* dims) {
    *this = LineState();
    dimensions = dims;
    dimensions->clear();
  }
};

// ---- actions: each notes where its piece is

template <class Rule>
struct Action : p::nothing<Rule> {};

#define BCTEXT_NOTE(Rule, member)                   \
  template <>                                       \
  struct Action<g::Rule> {                          \
    template <class In>                             \
    static void apply(const In& in, LineState& s) { \
      s.member = Tok{in.begin(), in.end()};         \
    }                                               \
  }
#define BCTEXT_NOTE_OPERAND(Rule, member)               \
  template <>                                           \
  struct Action<g::Rule> {                              \
    template <class In>                                 \
    static void apply(const In& in, LineState& s) {     \
      s.ops[s.slot].member = Tok{in.begin(), in.end()}; \
    }                                                   \
  }
#define BCTEXT_SET(Rule, statement)              \
  template <>                                    \
  struct Action<g::Rule> {                       \
    template <class In>                          \
    static void apply(const In&, LineState& s) { \
      statement;                                 \
    }                                            \
  }

BCTEXT_NOTE(entry_index, index);
BCTEXT_NOTE(block_kind, kind);
BCTEXT_NOTE(block_no, number);
BCTEXT_SET(block_header, s.heading = Heading::Header);
BCTEXT_SET(section_types, s.heading = Heading::Types);
BCTEXT_SET(section_interfaces, s.heading = Heading::Interfaces);
BCTEXT_SET(section_ldd, s.heading = Heading::LDD);
BCTEXT_SET(section_lsd, s.heading = Heading::LSD);
BCTEXT_SET(section_constants, s.heading = Heading::Constants);
BCTEXT_SET(section_operands, s.heading = Heading::Operands);
BCTEXT_SET(section_instructions, s.heading = Heading::Instructions);

BCTEXT_NOTE(type_code, code);
BCTEXT_NOTE(global_flag, globalFlag);
BCTEXT_NOTE(gdt_no, gdtNo);
BCTEXT_SET(t_empty, s.form = TypeForm::Empty; s.emptyEntry = true);
BCTEXT_SET(t_elementary, s.form = TypeForm::Elementary);
BCTEXT_NOTE(elem_code, elemCode);
BCTEXT_SET(t_elem, s.form = TypeForm::Elem);
BCTEXT_NOTE(elem_name, elemName);
BCTEXT_SET(t_named, s.form = TypeForm::Named);
BCTEXT_NOTE(string_length, stringLength);
BCTEXT_SET(t_string, s.form = TypeForm::String);
BCTEXT_NOTE(element_type, elementType);
BCTEXT_SET(t_array, s.form = TypeForm::Array);
BCTEXT_SET(t_struct, s.form = TypeForm::Struct);
BCTEXT_NOTE(instance_kind, instanceKind);
BCTEXT_NOTE(instance_no, instanceNo);
BCTEXT_NOTE(instance_mark, instanceMark);
BCTEXT_SET(t_instance, s.form = TypeForm::Instance);
BCTEXT_NOTE(component_name, name);
BCTEXT_NOTE(component_type, type);
BCTEXT_SET(component, s.isComponent = true);

// The bounds come before their dimension's own action.
template <>
struct Action<g::bound_low> {
  template <class In>
  static void apply(const In& in, LineState& s) {
    s.dimensions->push_back({Tok{in.begin(), in.end()}, Tok{}});
  }
};
template <>
struct Action<g::bound_high> {
  template <class In>
  static void apply(const In& in, LineState& s) {
    s.dimensions->back().high = Tok{in.begin(), in.end()};
  }
};
template <>
struct Action<g::dimension> : p::nothing<g::dimension> {};

BCTEXT_NOTE(interface_kind, kind);
BCTEXT_NOTE(interface_no, number);
BCTEXT_SET(interface_header, s.isInterfaceHeader = true);
BCTEXT_NOTE(entry_name, name);
BCTEXT_NOTE(entry_type, type);
BCTEXT_NOTE(param_kind, paramKind);
BCTEXT_NOTE(view_no, view);
BCTEXT_NOTE(at_offset, at);

BCTEXT_NOTE(constant_class, constClass);
BCTEXT_NOTE(constant_literal, literal);
BCTEXT_NOTE(date_year, date[0]);
BCTEXT_NOTE(date_month, date[1]);
BCTEXT_NOTE(date_day, date[2]);
BCTEXT_NOTE(tod_hours, tod[0]);
BCTEXT_NOTE(tod_minutes, tod[1]);
BCTEXT_NOTE(tod_seconds, tod[2]);
BCTEXT_NOTE(tod_ms, tod[3]);
BCTEXT_NOTE(part_days, parts[0]);
BCTEXT_NOTE(part_hours, parts[1]);
BCTEXT_NOTE(part_minutes, parts[2]);
BCTEXT_NOTE(part_seconds, parts[3]);
BCTEXT_NOTE(part_ms, parts[4]);
BCTEXT_SET(text_literal, s.literalForm = LiteralForm::Quoted);
BCTEXT_SET(dt_literal, s.literalForm = LiteralForm::DateAndTime);
BCTEXT_SET(date_literal, s.literalForm = LiteralForm::Date);
BCTEXT_SET(tod_literal, s.literalForm = LiteralForm::Tod);
BCTEXT_SET(k4_literal, s.literalForm = LiteralForm::K4);
BCTEXT_SET(time_literal, s.literalForm = LiteralForm::Time);
BCTEXT_SET(bits_literal, s.literalForm = LiteralForm::Bits);
BCTEXT_SET(hex_literal, s.literalForm = LiteralForm::Hex);
BCTEXT_SET(number_literal, s.literalForm = LiteralForm::Number);

template <OperandFamily Family>
struct Action<g::operand_class<Family>> {
  template <class In>
  static void apply(const In& in, LineState& s) {
    s.operandClass = Tok{in.begin(), in.end()};
  }
};
BCTEXT_NOTE(area_offset, area);
BCTEXT_NOTE(db_no, db);
BCTEXT_NOTE(operand_no, opNumber);
BCTEXT_NOTE(ref_kind, refKind);
BCTEXT_NOTE(ref_block, refBlock);
BCTEXT_NOTE(ref_entry, refEntry);
BCTEXT_NOTE(ref_mark, refMark);
BCTEXT_NOTE(operand_type, opType);
BCTEXT_NOTE(son_block, sonBlock);
BCTEXT_NOTE(call_no, callNo);
BCTEXT_NOTE(call_par, callPar);
BCTEXT_NOTE(call_kind, callKind);
BCTEXT_NOTE(var_no, varNo);
BCTEXT_NOTE(var_mark, varMark);

BCTEXT_NOTE(opcode, opcode);
template <int Slot>
struct Action<g::slot<Slot>> {
  template <class In>
  static void apply(const In&, LineState& s) {
    s.slot = Slot;
  }
};
BCTEXT_SET(i_tmp, s.ops[s.slot].kind = OpKind::Tmp);
BCTEXT_SET(i_num, s.ops[s.slot].kind = OpKind::Num);
BCTEXT_SET(i_cst, s.ops[s.slot].kind = OpKind::Cst);
BCTEXT_SET(i_opd, s.ops[s.slot].kind = OpKind::Opd);
BCTEXT_SET(i_imm, s.ops[s.slot].kind = OpKind::Imm);
BCTEXT_NOTE_OPERAND(tmp_no, value);
BCTEXT_NOTE_OPERAND(tmp_status, status);
BCTEXT_NOTE_OPERAND(tmp_area, area);
BCTEXT_NOTE_OPERAND(tmp_type, type);
BCTEXT_NOTE_OPERAND(num_value, value);
BCTEXT_NOTE_OPERAND(cst_index, value);
BCTEXT_NOTE_OPERAND(cst_mark, mark);
BCTEXT_NOTE_OPERAND(opd_index, value);
BCTEXT_NOTE_OPERAND(opd_mark, mark);
BCTEXT_NOTE_OPERAND(imm_class, immClass);
BCTEXT_NOTE_OPERAND(imm_value, immValue);
BCTEXT_SET(imm_text, s.ops[s.slot].immForm = ImmForm::Text);
BCTEXT_SET(imm_nil, s.ops[s.slot].immForm = ImmForm::Nil);
BCTEXT_SET(imm_hex, s.ops[s.slot].immForm = ImmForm::Hex);
BCTEXT_SET(imm_number, s.ops[s.slot].immForm = ImmForm::Number);
BCTEXT_NOTE_OPERAND(as_type, as);
BCTEXT_NOTE_OPERAND(refr_value, refr);
BCTEXT_NOTE_OPERAND(test_value, test);
BCTEXT_SET(attr_refr, s.ops[s.slot].refrGiven = true);
BCTEXT_SET(attr_no_refr, s.ops[s.slot].noRefrGiven = true);
BCTEXT_SET(attr_test, s.ops[s.slot].testGiven = true);

#undef BCTEXT_NOTE
#undef BCTEXT_NOTE_OPERAND
#undef BCTEXT_SET

// ---- what a failed line expected: the furthest place where a named rule
// was tried, and the names of the outermost rules tried there

struct Expectation {
  const char* furthest = nullptr;
  std::vector<const char*> names;
  std::vector<std::string_view> candidates;  // words a misspelt word may have meant
  std::vector<const char*> open;             // start of each named rule being tried

  void started(const char* at, const char* name, const char* keyword, bool operandClass) {
    const bool nested = !open.empty() && open.back() == at;
    open.push_back(at);
    if (furthest == nullptr || at > furthest) {
      furthest = at;
      names.clear();
      candidates.clear();
    }
    if (at != furthest) return;
    if (!nested && std::find(names.begin(), names.end(), name) == names.end()) {
      names.push_back(name);
    }
    if (keyword != nullptr) candidates.emplace_back(keyword);
    if (operandClass) {
      const auto words = wordsOf(operandClasses());
      candidates.insert(candidates.end(), words.begin(), words.end());
    }
  }
};

template <class Rule, class = void>
constexpr const char* kExpected = nullptr;
template <class Rule>
constexpr const char* kExpected<Rule, std::void_t<decltype(Rule::expected)>> = Rule::expected;
template <class Rule, class = void>
constexpr const char* kKeyword = nullptr;
template <class Rule>
constexpr const char* kKeyword<Rule, std::void_t<decltype(Rule::keyword)>> = Rule::keyword;
template <class Rule>
constexpr bool kIsOperandClass = false;
template <OperandFamily Family>
constexpr bool kIsOperandClass<g::operand_class<Family>> = true;

template <class Rule>
struct Tracking : p::normal<Rule> {
  template <class In>
  static void start(const In& in, Expectation& e) {
    if constexpr (kExpected<Rule> != nullptr) {
      e.started(in.current(), kExpected<Rule>, kKeyword<Rule>, kIsOperandClass<Rule>);
    }
  }
  template <class In>
  static void success(const In&, Expectation& e) {
    if constexpr (kExpected<Rule> != nullptr) e.open.pop_back();
  }
  template <class In>
  static void failure(const In&, Expectation& e) {
    if constexpr (kExpected<Rule> != nullptr) e.open.pop_back();
  }
};

// "A, B or C".
std::string listing(const std::vector<const char*>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += i + 1 == names.size() ? " or " : ", ";
    text += names[i];
  }
  return text;
}

// The word or character at `at`, as an error message shows it.
std::string_view wordAt(const char* at, const char* end) {
  const char* stop = at;
  while (stop < end && g::isWordChar(*stop)) ++stop;
  if (stop == at && at < end) ++stop;
  return {at, static_cast<std::size_t>(stop - at)};
}

// ---- the record bytes of a section

void put8(std::string& out, std::uint32_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
}
void put16(std::string& out, std::uint32_t value) {
  put8(out, value);
  put8(out, value >> 8);
}
void put32(std::string& out, std::uint32_t value) {
  put16(out, value);
  put16(out, value >> 16);
}
void patch16(std::string& out, std::size_t at, std::uint32_t value) {
  out[at] = static_cast<char>(value & 0xFF);
  out[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}

// Takes every byte and keeps none.
class Discard : public std::streambuf {
 public:
  Discard() { setp(buffer_, buffer_ + sizeof buffer_); }

 protected:
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
  int_type overflow(int_type c) override {
    setp(buffer_, buffer_ + sizeof buffer_);
    return traits_type::not_eof(c);
  }

 private:
  char buffer_[4096];
};

// A table section: its slots so far and where each index was given.
struct TableSection {
  std::string bytes;
  std::uint32_t next = 1;
  std::vector<std::uint32_t> lineOf;  // 0: not given (an empty slot)
};

class Reader {
 public:
  Reader(std::string_view text, std::string_view file, const char* const* mnemonics)
      : text_(text), file_(file), opcodes_(mnemonics) {
    for (TableSection* table : {&types_, &constants_, &operands_}) {
      put16(table->bytes, 0);
      table->lineOf.assign(2, 0);
    }
    for (std::string* list : {&interfaces_, &ldd_, &lsd_, &instructions_}) put16(*list, 0);
    std::fill(std::begin(clean_), std::end(clean_), true);
    // The instructions are most of a block and their record a good third of
    // its text at most: room for them at once instead of a copy per doubling
    // (the room never filled is never touched).
    instructions_.reserve(text.size() / 3);
  }

  BCTextReading run() {
    std::size_t at = 0;
    std::uint32_t number = 0;
    while (at <= text_.size() && !full()) {
      std::size_t end = text_.find('\n', at);
      if (end == std::string_view::npos) end = text_.size();
      const std::size_t next = end + 1;
      if (end > at && text_[end - 1] == '\r') --end;
      if (end == text_.size() && at == end && number > 0) break;  // after the last line end
      line_ = {++number, text_.data() + at, text_.data() + end};
      readLine();
      at = next;
    }
    if (!full()) finish();
    BCTextReading reading;
    reading.diagnostics = std::move(diagnostics_);
    std::stable_sort(
        reading.diagnostics.begin(), reading.diagnostics.end(),
        [](const BCTextDiagnostic& a, const BCTextDiagnostic& b) { return a.line < b.line; });
    if (reading.diagnostics.empty()) reading.block = std::move(block_);
    return reading;
  }

 private:
  struct Where {
    std::uint32_t line = 0;
    const char* begin = nullptr;
    const char* end = nullptr;
  };
  // A reference checked once the section it points into is complete.
  struct Pending {
    Where where;
    Tok tok;
    std::uint32_t first;   // type index, or block number
    std::uint32_t second;  // block kind
  };
  // A view or an offset given for the n-th entry (in reading order).
  struct Given {
    std::size_t entry;
    std::uint32_t value;
  };

  // ---- diagnostics

  bool full() const { return diagnostics_.size() >= kBCTextMaxErrors; }

  void report(const Where& where, const char* at, std::string message) {
    if (full()) return;
    BCTextDiagnostic d;
    d.file = std::string(file_);
    d.line = where.line;
    d.column = static_cast<std::uint32_t>(at - where.begin) + 1;
    d.message = std::move(message);
    d.sourceLine = std::string(where.begin, static_cast<std::size_t>(where.end - where.begin));
    diagnostics_.push_back(std::move(d));
  }

  // An error on the line being read; false, for the handlers to return.
  // The section will not be built, and unless the line was an entry of a
  // structure or an interface, what it may have opened takes no entries.
  bool error(const char* at, std::string message) {
    report(line_, at, std::move(message));
    clean_[slot(section_)] = false;
    if (!ownerKept_ && section_ == Heading::Types) {
      struct_ = {};
      struct_.skipping = true;
    }
    if (!ownerKept_ && section_ == Heading::Interfaces) {
      interface_ = {};
      interface_.skipping = true;
    }
    return false;
  }
  bool error(const Tok& tok, std::string message) { return error(tok.begin, std::move(message)); }

  bool clean(Heading heading) const { return clean_[slot(heading)]; }

  // ---- lines

  template <class Body>
  bool parseAs() {
    LineInput in(line_.begin, line_.end, "");
    return p::parse<g::line<Body>, Action>(in, state_);
  }

  template <class Body>
  void syntaxError() {
    Expectation expectation;
    LineInput in(line_.begin, line_.end, "");
    static_cast<void>(p::parse<g::line<Body>, p::nothing, Tracking>(in, expectation));
    const char* at = expectation.furthest != nullptr ? expectation.furthest : line_.begin;
    // A line that looks like an entry of a structure or an interface leaves
    // its owner open for the entries after it.
    const std::string_view text(line_.begin, static_cast<std::size_t>(line_.end - line_.begin));
    ownerKept_ = section_ == Heading::Types ? text.find(':') != std::string_view::npos
                                            : text.find("interface") == std::string_view::npos;
    if (unknownNameBefore(at)) return;
    if (section_ == kBeforeBlock) {
      error(at, "the text starts with the block line, such as 'block FB 7'");
      return;
    }
    const std::string_view found = wordAt(at, line_.end);
    std::string message = "expected " + listing(expectation.names) + ", found ";
    message += found.empty() ? std::string("the end of the line") : "'" + std::string(found) + "'";
    if (!found.empty() && g::isWordChar(found[0])) {
      message += suggestion(found, expectation.candidates);
    }
    error(at, std::move(message));
  }

  template <class Body>
  bool parseLine() {
    if (parseAs<Body>()) return true;
    syntaxError<Body>();
    return false;
  }

  void readLine() {
    state_.reset(&dimensions_);
    ownerKept_ = false;
    // Before the block line, only a heading may come.
    switch (std::max(section_, Heading::Header)) {
      case Heading::Header:
        readAs<g::section_header>([] {});
        break;
      case Heading::Types:
        readAs<g::type_body>([this] { typeLine(); });
        break;
      case Heading::Interfaces:
        readAs<g::interface_body>([this] { interfaceLine(); });
        break;
      case Heading::LDD:
        readAs<g::local_body>([this] { variable(ldd_, lddCount_, headingText(Heading::LDD)); });
        break;
      case Heading::LSD:
        readAs<g::local_body>([this] { variable(lsd_, lsdCount_, headingText(Heading::LSD)); });
        break;
      case Heading::Constants:
        readAs<g::constant_body>([this] { constantLine(); });
        break;
      case Heading::Operands:
        readAs<g::operand_body>([this] { operandLine(); });
        break;
      case Heading::Instructions:
        readAs<g::instruction_body>([this] { instructionLine(); });
        break;
    }
  }

  // Parses the line with the rule of its section, then hands a heading to
  // heading() and an entry to `entry`.
  template <class Body, class Entry>
  void readAs(Entry entry) {
    if (!parseLine<Body>() || blankLine()) return;
    if (state_.heading != kBeforeBlock) {
      heading();
    } else {
      entry();
    }
  }

  // A line with nothing but blanks and a comment.
  bool blankLine() const {
    const char* at = line_.begin;
    while (at < line_.end && (*at == ' ' || *at == '\t')) ++at;
    return at == line_.end || *at == ';';
  }

  // The word of an enumeration that names nothing and after which the line
  // stops making sense at `at`: it, rather than what the grammar expected
  // there, is what is wrong. Reported; false when there is none.
  bool unknownNameBefore(const char* at) {
    struct Named {
      const Tok* tok;
      const WordTable* table;
      const char* what;
    };
    const Named named[] = {
        {&state_.kind, &blockKinds(), "block kind"},
        {&state_.elemCode, &dataTypes(), "data type"},
        {&state_.elemName, &dataTypes(), nullptr},
        {&state_.instanceKind, &blockKinds(), "block kind"},
        {&state_.paramKind, &paramKinds(), "parameter kind"},
        {&state_.constClass, &constantClasses(), "constant class"},
        {&state_.refKind, &blockKinds(), "block kind"},
        {&state_.callKind, &blockKinds(), "block kind"},
    };
    for (const Named& n : named) {
      const Tok& tok = *n.tok;
      if (!tok.present() || std::isdigit(static_cast<unsigned char>(tok.begin[0])) != 0 ||
          n.table->find(tok.view()) >= 0) {
        continue;
      }
      const char* after = tok.end;
      while (after < line_.end && (*after == ' ' || *after == '\t')) ++after;
      if (tok.begin >= at || after < at) continue;
      error(tok, n.what == nullptr ? unknownType(tok.view())
                                   : unknownMessage(n.what, tok.view(), wordsOf(*n.table)));
      return true;
    }
    return false;
  }

  static std::string unknownMessage(const char* what, std::string_view word,
                                    const std::vector<std::string_view>& candidates) {
    return "unknown " + std::string(what) + " '" + std::string(word) + "'" +
           suggestion(word, candidates);
  }

  static std::string unknownType(std::string_view word) {
    std::vector<std::string_view> candidates = wordsOf(dataTypes());
    const auto keywords = wordsOf(typeKeywords());
    candidates.insert(candidates.end(), keywords.begin(), keywords.end());
    return unknownMessage("type", word, candidates);
  }

  // ---- numbers and words

  // A decimal number (the grammar has checked the digits) no larger than
  // `max`; `what` names it in the error.
  bool unsignedField(const Tok& tok, std::uint64_t max, const char* what, std::uint64_t& value) {
    value = 0;
    bool tooLarge = false;
    for (char c : tok.view()) {
      if (c < '0' || c > '9') break;
      value = value * 10 + static_cast<std::uint64_t>(c - '0');
      if (value > max) tooLarge = true;
    }
    if (!tooLarge) return true;
    return error(tok, std::string(what) + " " + std::string(digitsOf(tok)) +
                          " is out of range (0 to " + std::to_string(max) + ")");
  }

  static std::string_view digitsOf(const Tok& tok) {
    std::string_view text = tok.view();
    std::size_t n = 0;
    while (n < text.size() &&
           (std::isdigit(static_cast<unsigned char>(text[n])) != 0 || (n == 0 && text[n] == '-'))) {
      ++n;
    }
    return text.substr(0, n);
  }

  template <class Int>
  bool field(const Tok& tok, const char* what, Int& out) {
    std::uint64_t value = 0;
    if (!unsignedField(tok, std::numeric_limits<Int>::max(), what, value)) return false;
    out = static_cast<Int>(value);
    return true;
  }

  // A number with an optional sign, the digits checked by the grammar.
  bool signedField(const Tok& tok, std::int64_t min, std::int64_t max, const char* what,
                   std::int64_t& out) {
    const std::string_view text = digitsOf(tok);
    const bool negative = !text.empty() && text[0] == '-';
    std::uint64_t magnitude = 0;
    bool tooLarge = false;
    for (char c : text.substr(negative ? 1 : 0)) {
      magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
      if (magnitude > (std::uint64_t{1} << 40)) tooLarge = true;
    }
    out = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    if (!tooLarge && out >= min && out <= max) return true;
    return error(tok, std::string(what) + " " + std::string(text) + " is out of range (" +
                          std::to_string(min) + " to " + std::to_string(max) + ")");
  }

  // An enumeration given by its word or its number (one byte).
  bool enumField(const Tok& tok, const WordTable& table, const char* what, std::uint8_t& out) {
    if (std::isdigit(static_cast<unsigned char>(tok.begin[0]))) return field(tok, what, out);
    const int value = table.find(tok.view());
    if (value < 0) return error(tok, unknownMessage(what, tok.view(), wordsOf(table)));
    out = static_cast<std::uint8_t>(value);
    return true;
  }

  bool hexField(const Tok& tok, std::size_t prefix, std::uint64_t max, const char* what,
                std::uint64_t& value) {
    value = 0;
    for (char c : tok.view().substr(prefix)) {
      value = value * 16 + static_cast<std::uint64_t>(std::isdigit(static_cast<unsigned char>(c))
                                                          ? c - '0'
                                                          : (c | 0x20) - 'a' + 10);
      if (value > max) {
        return error(tok, std::string(what) + " " + std::string(tok.view()) +
                              " is out of range (0 to " + std::to_string(max) + ")");
      }
    }
    return true;
  }

  // The bytes of a name; quoted names are unescaped into `scratch_`.
  std::string_view nameBytes(const Tok& tok) {
    if (tok.begin[0] != '\'') return tok.view();
    scratch_.clear();
    appendUnquoted(scratch_, tok.view());
    return scratch_;
  }

  bool putName(std::string& out, const Tok& tok) {
    const std::string_view bytes = nameBytes(tok);
    if (bytes.size() > kMaxNameLength) {
      return error(tok, "a name holds at most 255 bytes in a record (this one has " +
                            std::to_string(bytes.size()) + ")");
    }
    put8(out, static_cast<std::uint32_t>(bytes.size()));
    out.append(bytes);
    return true;
  }

  // ---- indices

  // The index of a table entry taking `slots` slots; gaps become empty slots.
  bool tableIndex(TableSection& table, const char* what, std::uint32_t slots, std::uint32_t& at) {
    at = table.next;
    if (state_.index.present()) {
      std::uint64_t given = 0;
      if (!unsignedField(state_.index, kMaxTableIndex, (std::string(what) + " index").c_str(),
                         given)) {
        return false;
      }
      if (given == 0) return error(state_.index, std::string(what) + " indices start at 1");
      at = static_cast<std::uint32_t>(given);
      if (at < table.next) {
        if (table.lineOf[at] != 0) {
          return error(state_.index, "duplicate index " + std::to_string(at) + " (also at line " +
                                         std::to_string(table.lineOf[at]) + ")");
        }
        return error(state_.index, "index " + std::to_string(at) + " comes after index " +
                                       std::to_string(table.next - 1) +
                                       ": the entries of a table go in increasing order");
      }
    }
    if (at + slots - 1 > kMaxTableIndex) {
      return error(state_.index.present() ? state_.index.begin : line_.begin,
                   std::string("the ") + what + " table is full (its last index is 65534)");
    }
    for (; table.next < at; ++table.next) put8(table.bytes, 0);
    table.lineOf.resize(at + slots + 1, 0);
    for (std::uint32_t i = 0; i < slots; ++i) table.lineOf[at + i] = line_.line;
    table.next = at + slots;
    return true;
  }

  // A list's entry: a given index must be the entry's number.
  bool listIndex(std::uint32_t& count, const char* what) {
    const std::uint32_t number = count + 1;
    if (number > kMaxListEntries) {
      return error(line_.begin, std::string("the ") + what + " holds at most 65535 entries");
    }
    if (!state_.index.present()) return true;
    std::uint64_t given = 0;
    if (!unsignedField(state_.index, kMaxListEntries, "index", given)) return false;
    if (given == number) return true;
    if (given > number && !clean(section_)) {
      // An entry before failed: the indices given count on from here.
      count = static_cast<std::uint32_t>(given - 1);
      return true;
    }
    if (given < number) {
      return error(state_.index, "duplicate index " + std::to_string(given) + ": this is entry " +
                                     std::to_string(number) + " of the " + what);
    }
    return error(state_.index, "index " + std::to_string(given) +
                                   " leaves out entries: this is entry " + std::to_string(number) +
                                   " of the " + what);
  }

  // ---- references

  bool typeExists(std::uint32_t index) const {
    return index < types_.next && index < present_.size() && present_[index];
  }

  static std::string keepHint(const Tok& tok) {
    return " (write " + std::string(tok.view()) + "? to keep a reference that does not resolve)";
  }

  // A type index; checked now when the type table is complete, else noted.
  bool typeRef(const Tok& tok, std::uint16_t& index) {
    if (!field(tok, "type index", index)) return false;
    if (index == 0 || tok.marked()) return true;
    if (section_ == Heading::Types) {
      pendingTypes_.push_back({line_, tok, index, 0});
      return true;
    }
    if (!clean(Heading::Types) || typeExists(index)) return true;
    return error(tok, missingType(index) + keepHint(tok));
  }

  std::string missingType(std::uint32_t index) const {
    return missingEntry("type", index, types_.next);
  }

  // "<what> N is an empty slot" or "<what> N does not exist: ...".
  static std::string missingEntry(const char* what, std::uint32_t index, std::uint32_t next) {
    const std::string entry = std::string(what) + " " + std::to_string(index);
    if (index < next) return entry + " is an empty slot";
    return entry + " does not exist: the " + what + " table " +
           (next <= 1 ? std::string("is empty") : "ends at " + std::to_string(next - 1));
  }

  // The interface entry a parameter names; false when it is missing unless
  // the reference is marked.
  bool checkEntry(const Tok& at, const Tok& mark, unsigned kind, std::uint16_t blockNo,
                  std::uint16_t parNo) {
    if (mark.present() || !ssbBuilt_) return true;
    const BCSSB* ssb = block_->getSSBList().lookup(blockNo, static_cast<KR_BLOCK_KIND>(kind));
    const std::string block = blockText(kind, blockNo);
    if (ssb == nullptr) {
      return error(at,
                   "there is no interface of " + block + " in the interface list" + keepHint(at));
    }
    if (ssb->lookup(parNo) != nullptr) return true;
    return error(at, "the interface of " + block + " has no entry " + std::to_string(parNo) +
                         ": it has " + std::to_string(ssb->getEntryCount()) + keepHint(at));
  }

  static std::string blockText(unsigned kind, std::uint32_t blockNo) {
    const std::string_view word = blockKinds().name(kind);
    return (word.empty() ? "kind " + std::to_string(kind) : std::string(word)) + " " +
           std::to_string(blockNo);
  }

  // ---- headings

  void heading() {
    const Heading heading = state_.heading;
    if (heading == Heading::Header) {
      if (section_ != kBeforeBlock) {
        error(line_.begin, "the block line comes once, at the start");
        return;
      }
      blockLine();
      return;
    }
    if (section_ == kBeforeBlock) {
      error(line_.begin, "the text starts with the block line, such as 'block FB 7'");
      blockMissing_ = true;
    }
    headingWhere_[slot(heading)] = line_;
    if (heading <= section_ && section_ >= Heading::Types) {
      error(line_.begin, heading == section_
                             ? "the " + std::string(headingText(heading)) + " comes only once"
                             : "the " + std::string(headingText(heading)) + " comes before the " +
                                   headingText(section_) +
                                   " (the sections follow the order of the record)");
      return;
    }
    advanceTo(heading);
  }

  void blockLine() {
    section_ = Heading::Header;
    std::uint8_t kind = 0;
    std::uint16_t number = 0;
    if (!enumField(state_.kind, blockKinds(), "block kind", kind) ||
        !field(state_.number, "block number", number)) {
      blockMissing_ = true;
      return;
    }
    blockWhere_ = line_;
    block_ = std::make_unique<BCode>(number, static_cast<KR_BLOCK_KIND>(kind));
    if (BCode::getError() != BCode::BCODE_OK) {
      block_.reset();
      blockMissing_ = true;
      error(line_.begin, "the block could not be created");
      return;
    }
    BCArenaAccess::of(*block_).expect(kArenaBytesPerTextByte * text_.size());
  }

  // Completes every section before `heading`.
  void advanceTo(Heading heading) {
    while (section_ < heading) {
      if (section_ >= Heading::Types) complete(section_);
      section_ = static_cast<Heading>(static_cast<int>(section_) + 1);
    }
  }

  void finish() {
    if (section_ == kBeforeBlock) {
      const std::size_t end = std::min(text_.find('\n'), text_.size());
      report(Where{1, text_.data(), text_.data() + end}, text_.data(),
             "the text has no block line (such as 'block FB 7')");
      return;
    }
    advanceTo(Heading::Instructions);
    complete(Heading::Instructions);
    if (!diagnostics_.empty() || block_ == nullptr) return;
    Discard discard;
    std::ostream sink(&discard);
    block_->save(sink);
    if (BCode::getError() != BCode::BCODE_OK) {
      report(blockWhere_, blockWhere_.begin, "the block could not be saved");
    }
  }

  // ---- building: each complete section goes through its loader

  bool buildable(Heading heading) const {
    return block_ != nullptr && !blockMissing_ && clean(heading);
  }

  // Loads `bytes` with `load`, which returns whether the section loaded.
  template <class Load>
  bool load(Heading heading, const std::string& bytes, Load loadSection) {
    BytesIn in(bytes);
    std::istream is(&in);
    bool loaded = false;
    {
      // What the section's loader makes in bulk goes to the block's arena,
      // as in a load of the block's record.
      const KRArenaScope arena(&BCArenaAccess::of(*block_));
      loaded = loadSection(is);
    }
    if (loaded) return true;
    bcInitBCode();
    clean_[slot(heading)] = false;
    const Where& where =
        headingWhere_[slot(heading)].begin != nullptr ? headingWhere_[slot(heading)] : blockWhere_;
    report(where, where.begin,
           std::string("the ") + headingText(heading) +
               " read from the text could not be built: the library refused it or ran out "
               "of memory");
    return false;
  }

  void complete(Heading heading) {
    switch (heading) {
      case Heading::Types:
        completeTypes();
        break;
      case Heading::Interfaces:
        completeInterfaces();
        break;
      case Heading::LDD:
        completeLocalData(false);
        break;
      case Heading::LSD:
        completeLocalData(true);
        layOut();
        break;
      case Heading::Constants:
        completeConstants();
        break;
      case Heading::Operands:
        completeOperands();
        break;
      case Heading::Instructions:
        completeInstructions();
        break;
      default:
        break;
    }
  }

  void completeTypes() {
    closeStruct();
    present_.resize(types_.next, false);
    // A type line that failed leaves a slot that others may name: no
    // errors about it.
    if (!clean(Heading::Types)) pendingTypes_.clear();
    for (const Pending& ref : pendingTypes_) {
      if (!typeExists(ref.first)) {
        report(ref.where, ref.tok.begin, missingType(ref.first) + keepHint(ref.tok));
        clean_[slot(Heading::Types)] = false;
      }
    }
    patch16(types_.bytes, 0, types_.next);
    if (!buildable(Heading::Types)) return;
    typesBuilt_ = load(Heading::Types, types_.bytes,
                       [this](std::istream& is) { return loadTypeTable(*block_, is); });
  }

  void completeInterfaces() {
    closeInterface();
    patch16(interfaces_, 0, interfaceCount_);
    if (!typesBuilt_ || !buildable(Heading::Interfaces)) return;
    ssbBuilt_ = load(Heading::Interfaces, interfaces_,
                     [this](std::istream& is) { return loadInterfaceList(*block_, is); });
    if (!ssbBuilt_) return;
    for (const Pending& instance : pendingInstances_) {
      if (block_->getSSBList().lookup(static_cast<std::uint16_t>(instance.first),
                                      static_cast<KR_BLOCK_KIND>(instance.second)) == nullptr) {
        report(instance.where, instance.tok.begin,
               "there is no interface of " + blockText(instance.second, instance.first) +
                   " for this instance type (write a '?' after the block number to keep it)");
        ssbBuilt_ = false;
      }
    }
  }

  void completeLocalData(bool lsd) {
    std::string& bytes = lsd ? lsd_ : ldd_;
    patch16(bytes, 0, lsd ? lsdCount_ : lddCount_);
    const Heading heading = lsd ? Heading::LSD : Heading::LDD;
    if (!typesBuilt_ || !buildable(heading)) return;
    (lsd ? lsdBuilt_ : lddBuilt_) = load(
        heading, bytes, [this, lsd](std::istream& is) { return loadLocalData(*block_, is, lsd); });
  }

  // Views first, then the layout, then the offsets the text gives.
  void layOut() {
    if (!ssbBuilt_ || !lddBuilt_ || !lsdBuilt_) return;
    const std::vector<BCSSBEntry*> entries = interfaceEntriesOf(*block_);
    const std::vector<BCLDEntry*> variables = variablesOf(*block_);
    for (const Given& view : entryViews_)
      entries[view.entry]->setViewVarNo(static_cast<std::uint16_t>(view.value));
    for (const Given& view : variableViews_)
      variables[view.entry]->setViewVarNo(static_cast<std::uint16_t>(view.value));
    layOutAll(*block_);
    bcInitBCode();
    for (const Given& offset : entryOffsets_) entries[offset.entry]->setOffset(offset.value);
    for (const Given& offset : variableOffsets_) variables[offset.entry]->setOffset(offset.value);
    laidOut_ = true;
  }

  void completeConstants() {
    patch16(constants_.bytes, 0, constants_.next);
    if (!buildable(Heading::Constants)) return;
    constantsBuilt_ = load(Heading::Constants, constants_.bytes, [this](std::istream& is) {
      std::unique_ptr<BCConstantList> table(BCConstantList::iload(is));
      if (table == nullptr) return false;
      block_->setConstList(table.release());
      return true;
    });
  }

  void completeOperands() {
    patch16(operands_.bytes, 0, operands_.next);
    if (!laidOut_ || !buildable(Heading::Operands)) return;
    operandsBuilt_ = load(Heading::Operands, operands_.bytes, [this](std::istream& is) {
      std::unique_ptr<BCOperandList> table(BCOperandList::iload(is, block_.get()));
      if (table == nullptr) return false;
      block_->setOpList(table.release());
      return true;
    });
  }

  void completeInstructions() {
    patch16(instructions_, 0, instructionCount_);
    if (!operandsBuilt_ || !constantsBuilt_ || !buildable(Heading::Instructions)) return;
    load(Heading::Instructions, instructions_, [this](std::istream& is) {
      std::unique_ptr<BCInstructionList> list(BCInstructionList::iload(is, block_.get()));
      if (list == nullptr) return false;
      block_->setInstrList(list.release());
      return true;
    });
  }

  // ---- type table

  struct OpenStruct {
    bool open = false;
    bool skipping = false;  // after a failed line: its components are passed over
    std::size_t countAt = 0;
    std::uint32_t count = 0;
  };

  void closeStruct() {
    if (struct_.open) patch16(types_.bytes, struct_.countAt, struct_.count);
    struct_ = {};
  }

  void typeLine() {
    if (state_.isComponent) {
      componentLine();
      return;
    }
    closeStruct();
    const std::uint32_t slots = state_.form == TypeForm::Elementary ? kKRElemTypeCount : 1;
    std::uint32_t at = 0;
    if (!tableIndex(types_, "type", slots, at)) return;
    present_.resize(types_.next + 1, false);
    std::string& out = types_.bytes;
    switch (state_.form) {
      case TypeForm::Empty:
        put8(out, 0);
        return;
      case TypeForm::Elementary:
        for (std::size_t i = 0; i < kKRElemTypeCount; ++i) {
          put8(out, 1);
          typeHead(KRTypedesc::KR_ELEM_DESC, kKRElemTypeCodes[i], 0, 0);
          present_[at + i] = true;
        }
        return;
      default:
        break;
    }
    const std::size_t mark = out.size();
    put8(out, 1);
    if (typeDefinition()) {
      present_[at] = true;
    } else {
      out.resize(mark);
      put8(out, 0);
    }
  }

  void typeHead(unsigned tag, unsigned code, unsigned global, unsigned gdt) {
    put8(types_.bytes, tag);
    put8(types_.bytes, code);
    put8(types_.bytes, global);
    put16(types_.bytes, gdt);
  }

  // CODE, GLOBAL and GDT: a descriptor's common fields.
  bool typeSuffix(unsigned tag, std::uint8_t defaultCode) {
    std::uint8_t code = defaultCode;
    std::uint8_t global = 0;
    std::uint16_t gdt = 0;
    if (state_.code.present()) {
      if (tag == KRTypedesc::KR_ELEM_DESC) {
        return error(state_.code,
                     "CODE is for STRING, ARRAY, STRUCT and INSTANCE types: an "
                     "elementary type is its code");
      }
      if (!field(state_.code, "data type code", code)) return false;
    }
    if (state_.gdtNo.present()) {
      if (!field(state_.gdtNo, "GDT number", gdt)) return false;
      global = 1;
    }
    if (state_.globalFlag.present() && !field(state_.globalFlag, "global flag", global)) {
      return false;
    }
    typeHead(tag, code, global, gdt);
    return true;
  }

  bool typeDefinition() {
    std::string& out = types_.bytes;
    switch (state_.form) {
      case TypeForm::Elem: {
        std::uint8_t code = 0;
        return enumField(state_.elemCode, dataTypes(), "data type", code) &&
               typeSuffix(KRTypedesc::KR_ELEM_DESC, code);
      }
      case TypeForm::Named: {
        const int code = dataTypes().find(state_.elemName.view());
        if (code < 0) return error(state_.elemName, unknownType(state_.elemName.view()));
        if (!krIsElemTypeCode(static_cast<unsigned>(code))) {
          return error(state_.elemName, "'" + std::string(state_.elemName.view()) +
                                            "' is not an elementary type (ELEM " +
                                            std::string(state_.elemName.view()) +
                                            " is a descriptor of its code)");
        }
        return typeSuffix(KRTypedesc::KR_ELEM_DESC, static_cast<std::uint8_t>(code));
      }
      case TypeForm::String: {
        std::uint8_t length = 0;
        if (!field(state_.stringLength, "string length", length) ||
            !typeSuffix(KRTypedesc::KR_STRING_DESC, KR_DT_STRING)) {
          return false;
        }
        put8(out, length);
        return true;
      }
      case TypeForm::Array:
        return arrayDefinition();
      case TypeForm::Struct:
        if (!typeSuffix(KRTypedesc::KR_STRUCT_DESC, KR_DT_STRUCT)) return false;
        struct_.open = true;
        struct_.countAt = out.size();
        put16(out, 0);
        return true;
      case TypeForm::Instance: {
        std::uint8_t kind = 0;
        std::uint16_t number = 0;
        if (!enumField(state_.instanceKind, blockKinds(), "block kind", kind) ||
            !field(state_.instanceNo, "block number", number) ||
            !typeSuffix(KRTypedesc::KR_INSTANCE_DESC, KR_DT_INSTANCE)) {
          return false;
        }
        if (!state_.instanceMark.present()) {
          pendingInstances_.push_back({line_, state_.instanceKind, number, kind});
        }
        put16(out, number);
        put8(out, kind);
        return true;
      }
      default:
        return false;
    }
  }

  bool arrayDefinition() {
    const std::vector<Dimension>& dims = *state_.dimensions;
    if (dims.size() > kMaxDimensions) {
      return error(dims[kMaxDimensions].low, "an array has at most 255 dimensions");
    }
    std::uint16_t element = 0;
    if (!typeRef(state_.elementType, element) ||
        !typeSuffix(KRTypedesc::KR_ARRAY_DESC, KR_DT_ARRAY)) {
      return false;
    }
    std::string& out = types_.bytes;
    put8(out, static_cast<std::uint32_t>(dims.size()));
    put16(out, element);
    constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    for (const Dimension& dim : dims) {
      std::int64_t low = 0;
      std::int64_t high = 0;
      if (!signedField(dim.low, kMin, kMax, "bound", low) ||
          !signedField(dim.high, kMin, kMax, "bound", high)) {
        return false;
      }
      put32(out, static_cast<std::uint32_t>(low));
      put32(out, static_cast<std::uint32_t>(high));
    }
    return true;
  }

  void componentLine() {
    ownerKept_ = true;
    if (!struct_.open) {
      if (!struct_.skipping)
        error(line_.begin, "a component follows the STRUCT type it belongs to");
      return;
    }
    if (!listIndex(struct_.count, "structure")) return;
    std::uint16_t type = 0;
    if (!typeRef(state_.type, type)) return;
    std::string& out = types_.bytes;
    const std::size_t mark = out.size();
    put16(out, type);
    if (!putName(out, state_.name)) {
      out.resize(mark);
      return;
    }
    ++struct_.count;
  }

  // ---- interface list

  struct OpenInterface {
    bool open = false;
    bool skipping = false;
    std::uint8_t kind = 0;
    std::size_t countAt = 0;
    std::uint32_t count = 0;
  };

  void closeInterface() {
    if (interface_.open) patch16(interfaces_, interface_.countAt, interface_.count);
    interface_ = {};
  }

  void interfaceLine() {
    if (state_.isInterfaceHeader) {
      closeInterface();
      std::uint8_t kind = 0;
      std::uint16_t number = 0;
      if (interfaceCount_ >= kMaxListEntries) {
        error(line_.begin, "the interface list holds at most 65535 interfaces");
        return;
      }
      if (!enumField(state_.kind, blockKinds(), "block kind", kind) ||
          !field(state_.number, "block number", number)) {
        return;
      }
      put16(interfaces_, number);
      put8(interfaces_, kind);
      interface_.open = true;
      interface_.kind = kind;
      interface_.countAt = interfaces_.size();
      put16(interfaces_, 0);
      ++interfaceCount_;
      return;
    }
    if (!interface_.open) {
      if (!interface_.skipping)
        error(line_.begin, "an entry follows the 'interface' line it belongs to");
      return;
    }
    ownerKept_ = true;
    const std::uint8_t kind = interface_.kind;
    const bool fb = kind == KR_FB_KENN || kind == KR_SFB_KENN;
    if (!fb && kind != KR_FC_KENN && kind != KR_SFC_KENN) {
      error(line_.begin, "only the interfaces of FBs, SFBs, FCs and SFCs have entries in a record");
      return;
    }
    if (!listIndex(interface_.count, "interface")) return;
    std::uint16_t type = 0;
    std::uint8_t paramKind = 0;
    Declared declared;
    if (!typeRef(state_.type, type) ||
        !enumField(state_.paramKind, paramKinds(), "parameter kind", paramKind) ||
        !declaration(interface_.count + 1, declared)) {
      return;
    }
    if (state_.at.present() && !fb) {
      error(state_.at, "entries of an FC or SFC interface have no offset");
      return;
    }
    const std::size_t mark = interfaces_.size();
    put16(interfaces_, type);
    if (!putName(interfaces_, state_.name)) {
      interfaces_.resize(mark);
      return;
    }
    put8(interfaces_, paramKind);
    if (fb) put32(interfaces_, 0);  // laid out, then the offset given replaces it
    declared.note(entryViews_, entryOffsets_, entryCount_++);
    ++interface_.count;
  }

  // The view and the offset of an entry of an interface or a local data
  // list; they are set on the entry once its list is read.
  struct Declared {
    std::uint16_t view = 0;
    bool hasOffset = false;
    std::uint32_t offset = 0;

    void note(std::vector<Given>& views, std::vector<Given>& offsets, std::size_t entry) const {
      if (view != 0) views.push_back({entry, view});
      if (hasOffset) offsets.push_back({entry, offset});
    }
  };

  // A view names an earlier entry of the same list; entry `number` is this one.
  bool declaration(std::uint32_t number, Declared& declared) {
    if (state_.at.present()) {
      if (!field(state_.at, "offset", declared.offset)) return false;
      declared.hasOffset = true;
    }
    if (!state_.view.present()) return true;
    if (!field(state_.view, "entry number", declared.view)) return false;
    if (declared.view >= 1 && declared.view < number) return true;
    return error(state_.view,
                 "a view names an earlier entry (this is entry " + std::to_string(number) + ")");
  }

  bool offsetOf(std::uint32_t& offset) {
    return !state_.at.present() || field(state_.at, "offset", offset);
  }

  // ---- local data

  void variable(std::string& out, std::uint32_t& count, const char* what) {
    if (!listIndex(count, what)) return;
    std::uint16_t type = 0;
    Declared declared;
    if (!typeRef(state_.type, type) || !declaration(count + 1, declared)) return;
    const std::size_t mark = out.size();
    put16(out, type);
    put32(out, 0);  // laid out, then the offset given replaces it
    if (!putName(out, state_.name)) {
      out.resize(mark);
      return;
    }
    declared.note(variableViews_, variableOffsets_, variableCount_++);
    ++count;
  }

  // ---- constant table

  void constantLine() {
    std::uint32_t at = 0;
    if (!tableIndex(constants_, "constant", 1, at)) return;
    std::string& out = constants_.bytes;
    if (state_.emptyEntry) {
      put8(out, 0);
      return;
    }
    const std::size_t mark = out.size();
    put8(out, 1);
    if (!constantValue()) {
      out.resize(mark);
      put8(out, 0);
    }
  }

  // The literal a class is written with, or an error naming an example.
  bool literalFits(const ConstantClass& c) {
    const LiteralForm form = state_.literalForm;
    bool fits = false;
    switch (c.literal) {
      case Literal::Unsigned:
        fits = form == LiteralForm::Hex || form == LiteralForm::Bits ||
               (form == LiteralForm::Number && isInteger(state_.literal, false));
        break;
      case Literal::Signed:
        fits = form == LiteralForm::Number && isInteger(state_.literal, true);
        break;
      case Literal::Real:
        fits = form == LiteralForm::Number || form == LiteralForm::Bits;
        break;
      case Literal::Time:
        fits = form == LiteralForm::Time;
        break;
      case Literal::K4Time:
        fits = form == LiteralForm::K4;
        break;
      case Literal::Tod:
        fits = form == LiteralForm::Tod;
        break;
      case Literal::Date:
        fits = form == LiteralForm::Date;
        break;
      case Literal::DateAndTime:
        fits = form == LiteralForm::DateAndTime;
        break;
      case Literal::Quoted:
        fits = form == LiteralForm::Quoted;
        break;
    }
    if (fits) return true;
    return error(state_.literal, "a " + std::string(dataTypes().name(c.dataType)) +
                                     " constant is written like " + c.example);
  }

  static bool isInteger(const Tok& tok, bool sign) {
    std::string_view text = tok.view();
    if (sign && !text.empty() && text[0] == '-') text.remove_prefix(1);
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  }

  // A sum of parts in milliseconds that fits 32 bits.
  bool milliseconds(const Tok* parts, const std::uint32_t* factors, std::size_t count,
                    const Tok& whole, std::int32_t& value) {
    std::int64_t total = 0;
    constexpr std::int64_t kLimit = std::int64_t{1} << 32;
    for (std::size_t i = 0; i < count; ++i) {
      if (!parts[i].present()) continue;
      std::int64_t part = 0;
      if (!signedField(parts[i], -kLimit, kLimit, "part", part)) return false;
      total += part * factors[i];
    }
    if (total < std::numeric_limits<std::int32_t>::min() ||
        total > std::numeric_limits<std::int32_t>::max()) {
      return error(whole, "the value does not fit in 32 bits of milliseconds (" +
                              std::to_string(total) + " ms)");
    }
    value = static_cast<std::int32_t>(total);
    return true;
  }

  bool dateFields(std::string& out) {
    std::uint16_t year = 0;
    std::uint8_t month = 0;
    std::uint8_t day = 0;
    if (!field(state_.date[0], "year", year) || !field(state_.date[1], "month", month) ||
        !field(state_.date[2], "day", day)) {
      return false;
    }
    put8(out, day);
    put8(out, month);
    put16(out, year);
    return true;
  }

  bool constantValue() {
    const int tag = constantClasses().find(state_.constClass.view());
    if (tag < 0) {
      return error(state_.constClass, unknownMessage("constant class", state_.constClass.view(),
                                                     wordsOf(constantClasses())));
    }
    const ConstantClass& c = *constantClass(static_cast<unsigned>(tag));
    if (!literalFits(c)) return false;
    std::string& out = constants_.bytes;
    put8(out, c.tag);
    static constexpr std::uint32_t kDuration[] = {86400000, 3600000, 60000, 1000, 1};
    std::int32_t ms = 0;
    switch (c.literal) {
      case Literal::Unsigned: {
        std::uint64_t value = 0;
        const std::size_t prefix = state_.literalForm == LiteralForm::Number ? 0
                                   : state_.literalForm == LiteralForm::Hex  ? 2
                                                                             : 3;
        if (prefix == 0 ? !unsignedField(state_.literal, 0xFFFFFFFF, "DWORD value", value)
                        : !hexField(state_.literal, prefix, 0xFFFFFFFF, "DWORD value", value)) {
          return false;
        }
        put32(out, static_cast<std::uint32_t>(value));
        return true;
      }
      case Literal::Signed: {
        std::int64_t value = 0;
        if (!signedField(state_.literal, std::numeric_limits<std::int32_t>::min(),
                         std::numeric_limits<std::int32_t>::max(), "DINT value", value)) {
          return false;
        }
        put32(out, static_cast<std::uint32_t>(value));
        return true;
      }
      case Literal::Real: {
        std::uint32_t bits = 0;
        if (!realBits(bits)) return false;
        put32(out, bits);
        return true;
      }
      case Literal::Time:
        if (!milliseconds(state_.parts, kDuration, 5, state_.literal, ms)) return false;
        put32(out, static_cast<std::uint32_t>(ms));
        return true;
      case Literal::K4Time:
        if (!milliseconds(state_.parts + 1, kDuration + 1, 4, state_.literal, ms)) return false;
        put32(out, static_cast<std::uint32_t>(ms));
        return true;
      case Literal::Tod:
        if (!milliseconds(state_.tod, kDuration + 1, 4, state_.literal, ms)) return false;
        put32(out, static_cast<std::uint32_t>(ms));
        return true;
      case Literal::Date:
        return dateFields(out);
      case Literal::DateAndTime:
        if (!dateFields(out) || !milliseconds(state_.tod, kDuration + 1, 4, state_.literal, ms)) {
          return false;
        }
        put32(out, static_cast<std::uint32_t>(ms));
        return true;
      case Literal::Quoted: {
        const std::string_view text = nameBytes(state_.literal);
        if (text.size() > kMaxNameLength) {
          return error(state_.literal,
                       "a STRING constant holds at most 255 characters (this one has " +
                           std::to_string(text.size()) + ")");
        }
        if (text.find('\0') != std::string_view::npos) {
          return error(state_.literal,
                       "a STRING constant cannot hold a zero byte (its record ends "
                       "the text there)");
        }
        put8(out, static_cast<std::uint32_t>(text.size()));
        out.append(text);
        return true;
      }
    }
    return false;
  }

  // A REAL's bits: given as 16#..., or the float nearest to the decimal.
  bool realBits(std::uint32_t& bits) {
    if (state_.literalForm == LiteralForm::Bits) {
      std::uint64_t value = 0;
      if (!hexField(state_.literal, 3, 0xFFFFFFFF, "REAL bits", value)) return false;
      bits = static_cast<std::uint32_t>(value);
      return true;
    }
    std::string_view text = state_.literal.view();
    if (!text.empty() && text[0] == '+') text.remove_prefix(1);
    float value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) {
      return error(state_.literal, std::string(state_.literal.view()) + " does not fit a REAL");
    }
    std::memcpy(&bits, &value, sizeof bits);
    return true;
  }

  // ---- operand table

  void operandLine() {
    std::uint32_t at = 0;
    if (!tableIndex(operands_, "operand", 1, at)) return;
    std::string& out = operands_.bytes;
    if (state_.emptyEntry) {
      put8(out, 0);
      return;
    }
    const std::size_t mark = out.size();
    put8(out, 1);
    if (!operandRecord(out)) {
      out.resize(mark);
      put8(out, 0);
    }
  }

  bool operandRecord(std::string& out) {
    const auto tag = static_cast<unsigned>(operandClasses().find(state_.operandClass.view()));
    const OperandFamily family = operandClass(tag)->family;
    put8(out, tag);
    std::uint16_t type = 0;
    std::uint32_t offset = 0;
    std::uint16_t number = 0;
    switch (family) {
      case OperandFamily::Area:
      case OperandFamily::DbArea:
        if (!field(state_.area, "offset", offset) || !typeRef(state_.opType, type) ||
            (family == OperandFamily::DbArea && !field(state_.db, "data block number", number))) {
          return false;
        }
        put16(out, type);
        put32(out, offset);
        if (family == OperandFamily::DbArea) put16(out, number);
        return true;
      case OperandFamily::Numbered:
        if (!field(state_.opNumber, "number", number)) return false;
        put16(out, number);
        return true;
      case OperandFamily::CallParam: {
        std::uint16_t call = 0;
        std::uint8_t kind = kKRCallParamBlockKind;
        if (!field(state_.callNo, "call number", call) ||
            !field(state_.callPar, "parameter number", number) || !typeRef(state_.opType, type) ||
            (state_.callKind.present() &&
             !enumField(state_.callKind, blockKinds(), "block kind", kind))) {
          return false;
        }
        put16(out, type);
        put8(out, kind);
        put16(out, number);
        put16(out, call);
        return true;
      }
      case OperandFamily::Local:
        return localOperand(out, tag == BCOperand::CT_LSD);
      default:
        return paramOperand(out, family);
    }
  }

  bool paramOperand(std::string& out, OperandFamily family) {
    const bool fb = family == OperandFamily::OwnFB || family == OperandFamily::SonFB;
    const bool son = family == OperandFamily::SonFB || family == OperandFamily::SonFC;
    std::uint8_t kind = 0;
    std::uint16_t blockNo = 0;
    std::uint16_t parNo = 0;
    if (!enumField(state_.refKind, blockKinds(), "block kind", kind) ||
        !field(state_.refBlock, "block number", blockNo) ||
        !field(state_.refEntry, "entry number", parNo)) {
      return false;
    }
    if (state_.at.present() && !fb)
      return error(state_.at, "AT gives the offset of FB parameters only");
    if (state_.sonBlock.present() && !son) {
      return error(state_.sonBlock,
                   "BLOCK belongs to the parameters of a called block (SFBEP, "
                   "SFCEP and their kin)");
    }
    const Tok ref{state_.refKind.begin,
                  state_.refMark.present() ? state_.refMark.end : state_.refEntry.end};
    if (!checkEntry(ref, state_.refMark, kind, blockNo, parNo)) return false;
    const FromEntry from =
        laidOut_ ? fromInterfaceEntry(*block_, kind, blockNo, parNo) : FromEntry{};
    std::uint16_t type = from.type;
    std::uint32_t offset = from.offset;
    std::uint16_t sonBlock = blockNo;
    if ((state_.opType.present() && !typeRef(state_.opType, type)) || !offsetOf(offset) ||
        (state_.sonBlock.present() && !field(state_.sonBlock, "block number", sonBlock))) {
      return false;
    }
    put16(out, type);
    put16(out, parNo);
    put8(out, kind);
    put16(out, blockNo);
    if (fb) put32(out, offset);
    if (son) put16(out, sonBlock);
    return true;
  }

  bool localOperand(std::string& out, bool lsd) {
    std::uint16_t varNo = 0;
    if (!field(state_.varNo, "variable number", varNo)) return false;
    const bool built = lsd ? lsdBuilt_ : lddBuilt_;
    const std::uint32_t count = lsd ? lsdCount_ : lddCount_;
    if (built && !state_.varMark.present() && (varNo == 0 || varNo > count)) {
      const Tok ref{state_.varNo.begin, state_.varNo.end};
      return error(ref, std::string(lsd ? "LSD" : "LDD") + " variable " + std::to_string(varNo) +
                            " does not exist: the list has " + std::to_string(count) +
                            keepHint(ref));
    }
    const FromEntry from = laidOut_ ? fromVariable(*block_, lsd, varNo) : FromEntry{};
    std::uint16_t type = from.type;
    std::uint32_t offset = from.offset;
    if ((state_.opType.present() && !typeRef(state_.opType, type)) || !offsetOf(offset))
      return false;
    put16(out, type);
    put16(out, varNo);
    put32(out, offset);
    return true;
  }

  // ---- instruction list

  void instructionLine() {
    if (!listIndex(instructionCount_, headingText(Heading::Instructions))) return;
    const int code = opcodes_.find(state_.opcode.view());
    if (code < 0) {
      std::vector<std::string_view> names = opcodes_.names();
      error(state_.opcode, "unknown instruction code '" + std::string(state_.opcode.view()) + "'" +
                               suggestion(state_.opcode.view(), names) +
                               " (codes are IC0 to IC255" +
                               (names.empty() ? "" : " or the mnemonics given") + ")");
      return;
    }
    std::string& out = instructions_;
    const std::size_t mark = out.size();
    put8(out, static_cast<std::uint32_t>(code));
    for (InstructionOperand& op : state_.ops) {
      if (op.kind == OpKind::Absent) {
        put8(out, 0);
        continue;
      }
      put8(out, 1);
      if (!instructionOperand(out, op)) {
        out.resize(mark);
        return;
      }
    }
    ++instructionCount_;
  }

  bool tableRef(const InstructionOperand& op, bool constant, std::uint16_t& index) {
    if (!field(op.value, constant ? "constant index" : "operand index", index)) return false;
    const bool built = constant ? constantsBuilt_ : operandsBuilt_;
    if (index == 0 || op.mark.present() || !built) return true;
    const TableSection& table = constant ? constants_ : operands_;
    const bool exists = constant ? block_->getConstList().entryAt(index) != nullptr
                                 : block_->getOpList().entryAt(index) != nullptr;
    if (exists) return true;
    return error(op.value, missingEntry(constant ? "constant" : "operand", index, table.next) +
                               keepHint(op.value));
  }

  bool instructionOperand(std::string& out, const InstructionOperand& op) {
    std::uint8_t dataType = 0;
    std::string fields;
    unsigned tag = 0;
    switch (op.kind) {
      case OpKind::Tmp: {
        std::uint32_t number = 0;
        std::uint8_t status = 0;
        std::uint8_t area = 0;
        std::uint16_t type = 0;
        if (!field(op.value, "temporary number", number) ||
            !enumField(op.status, tmpStatuses(), "status", status) ||
            !enumField(op.area, tmpAreas(), "area", area) ||
            (op.type.present() && !typeRef(op.type, type))) {
          return false;
        }
        if (typesBuilt_) {
          const KRTypedesc* desc = block_->getTypeTab().entryAt(type);
          dataType = desc != nullptr ? desc->getDataType() : 0;
        }
        tag = BCInstructionOp::BCTMP_CLASS;
        put16(fields, type);
        put32(fields, number);
        put8(fields, status);
        put8(fields, area);
        break;
      }
      case OpKind::Num: {
        std::uint16_t value = 0;
        if (!field(op.value, "value", value)) return false;
        tag = BCInstructionOp::BCNUM_CLASS;
        put16(fields, value);
        break;
      }
      case OpKind::Cst:
      case OpKind::Opd: {
        const bool constant = op.kind == OpKind::Cst;
        std::uint16_t index = 0;
        if (!tableRef(op, constant, index)) return false;
        if (constant && constantsBuilt_) {
          const BCConstant* entry = block_->getConstList().entryAt(index);
          dataType = entry != nullptr ? entry->getDataType() : 0;
        } else if (!constant && operandsBuilt_) {
          const BCOperand* entry = block_->getOpList().entryAt(index);
          dataType = entry != nullptr ? entry->getDataType() : 0;
        }
        tag = constant ? BCInstructionOp::BCCST_CLASS : BCInstructionOp::BCOPD_CLASS;
        put16(fields, index);
        break;
      }
      default:
        if (!immediate(op, tag, dataType, fields)) return false;
    }
    std::uint8_t refr = BCInstructionOp::NO_REFR;
    std::uint8_t test = 0;
    if (op.refrGiven) refr = BCInstructionOp::REFR;
    if ((op.as.present() && !enumField(op.as, dataTypes(), "data type", dataType)) ||
        (op.refr.present() && !field(op.refr, "reference flag", refr)) ||
        (op.test.present() && !field(op.test, "test flag", test))) {
      return false;
    }
    if (op.testGiven && !op.test.present()) test = 1;
    put8(out, tag);
    put8(out, dataType);
    put8(out, refr);
    put8(out, test);
    out.append(fields);
    return true;
  }

  bool immediate(const InstructionOperand& op, unsigned& tag, std::uint8_t& dataType,
                 std::string& fields) {
    const int found = immClasses().find(op.immClass.view());
    if (found < 0) {
      return error(op.immClass,
                   unknownMessage("immediate type", op.immClass.view(), wordsOf(immClasses())));
    }
    const ImmClass& c = *immClass(static_cast<unsigned>(found));
    tag = c.tag;
    dataType = c.dataType;
    const char* name = dataTypes().name(c.dataType).data();
    std::uint64_t value = 0;
    switch (op.immForm) {
      case ImmForm::Nil:
        if (c.value != ImmValue::Nil)
          return error(op.immValue, std::string("NIL is a value of POINTER and ANY only"));
        value = 1;
        break;
      case ImmForm::Text: {
        const std::string_view text = nameBytes(op.immValue);
        if (c.value != ImmValue::Char || text.size() != 1) {
          return error(op.immValue, "a quoted value is one character of a CHAR");
        }
        value = static_cast<unsigned char>(text[0]);
        break;
      }
      case ImmForm::Hex:
        if (c.value == ImmValue::Int)
          return error(op.immValue, "an INT value is written in decimal");
        if (!hexField(op.immValue, 2, c.value == ImmValue::Word ? 0xFFFF : 0xFF, name, value)) {
          return false;
        }
        break;
      case ImmForm::Number: {
        std::int64_t number = 0;
        const std::int64_t min = c.value == ImmValue::Int ? -32768 : 0;
        const std::int64_t max = c.value == ImmValue::Int    ? 32767
                                 : c.value == ImmValue::Word ? 65535
                                                             : 255;
        if (!signedField(op.immValue, min, max, (std::string(name) + " value").c_str(), number)) {
          return false;
        }
        value = static_cast<std::uint64_t>(number);
        break;
      }
    }
    if (c.value == ImmValue::Word || c.value == ImmValue::Int) {
      put16(fields, static_cast<std::uint32_t>(value));
    } else {
      put8(fields, static_cast<std::uint32_t>(value));
    }
    return true;
  }

  // ---- state

  std::string_view text_;
  std::string_view file_;
  Opcodes opcodes_;
  std::vector<BCTextDiagnostic> diagnostics_;
  Where line_;
  LineState state_;
  std::vector<Dimension> dimensions_;
  bool ownerKept_ = false;  // the line is an entry of a structure or an interface
  std::string scratch_;

  Heading section_ = kBeforeBlock;
  bool clean_[kHeadingSlots];
  std::unique_ptr<BCode> block_;
  Where blockWhere_;
  Where headingWhere_[kHeadingSlots];
  bool blockMissing_ = false;

  TableSection types_;
  std::vector<bool> present_;  // by type index: a descriptor is there
  std::vector<Pending> pendingTypes_;
  std::vector<Pending> pendingInstances_;
  OpenStruct struct_;
  bool typesBuilt_ = false;

  std::string interfaces_;
  std::uint32_t interfaceCount_ = 0;
  OpenInterface interface_;
  std::size_t entryCount_ = 0;
  std::vector<Given> entryViews_, entryOffsets_;
  bool ssbBuilt_ = false;

  std::string ldd_, lsd_;
  std::uint32_t lddCount_ = 0, lsdCount_ = 0;
  std::size_t variableCount_ = 0;
  std::vector<Given> variableViews_, variableOffsets_;
  bool lddBuilt_ = false, lsdBuilt_ = false, laidOut_ = false;

  TableSection constants_;
  bool constantsBuilt_ = false;
  TableSection operands_;
  bool operandsBuilt_ = false;
  std::string instructions_;
  std::uint32_t instructionCount_ = 0;
};

}  // namespace

BCTextReading bcReadText(std::string_view text, std::string_view fileName,
                         const char* const* mnemonics) {
  try {
    const BCErrorFlagsKept kept;
    return Reader(text, fileName, mnemonics).run();
  } catch (const std::bad_alloc&) {
    throw KRErrorNoHeap("bctext", kBCTextReadNoHeapLine);
  }
}

#include "bcode/text/textnames.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>

#include "bcode/code/bcnametables.h"
#include "bcode/code/bcode.h"
#include "bcode/foundation/krerror.h"
#include "bcode/instr/bcinstruction.h"
#include "bcode/interface/bcssb.h"
#include "bcode/localdata/bcldlist.h"
#include "bcode/types/krdatatype.h"

namespace bctext {

std::string_view WordTable::name(unsigned value) const {
  for (const Word& word : words_) {
    if (word.value == value) return word.text;
  }
  return {};
}

int WordTable::find(std::string_view text) const {
  for (const Word& word : words_) {
    if (word.text == text) return static_cast<int>(word.value);
  }
  return -1;
}

namespace {

// The words of a caller's name table for the values given.
template <class Values>
WordTable tableOf(const char* const* names, const Values& values) {
  std::vector<WordTable::Word> words;
  for (unsigned value : values) words.push_back({value, names[value]});
  return WordTable(std::move(words));
}

std::vector<unsigned> range(unsigned first, unsigned last) {
  std::vector<unsigned> values;
  for (unsigned v = first; v <= last; ++v) values.push_back(v);
  return values;
}

constexpr OperandFamily familyOfTag(unsigned tag) {
  if (tag >= 1 && tag <= 5) return OperandFamily::Area;
  if (tag >= 7 && tag <= 9) return OperandFamily::OwnFB;
  if (tag >= 10 && tag <= 12) return OperandFamily::OwnFC;
  if (tag >= 13 && tag <= 15) return OperandFamily::SonFB;
  if (tag >= 16 && tag <= 18) return OperandFamily::SonFC;
  if (tag == 19 || tag == 20) return OperandFamily::Local;
  if (tag == 21) return OperandFamily::DbArea;
  if (tag == 32 || tag == 33) return OperandFamily::CallParam;
  return OperandFamily::Numbered;  // 6 and 22 .. 31
}

constexpr unsigned kLastOperandTag = 33;

struct OperandClasses {
  OperandClass byTag[kLastOperandTag + 1];
  constexpr OperandClasses() : byTag() {
    for (unsigned tag = 0; tag <= kLastOperandTag; ++tag) {
      byTag[tag] = {static_cast<unsigned char>(tag), familyOfTag(tag)};
    }
  }
};
constexpr OperandClasses kOperandClasses;

constexpr ConstantClass kConstantClasses[] = {
    {0, KR_DT_DWORD, Literal::Unsigned, "0x0000002a"},
    {1, KR_DT_DINT, Literal::Signed, "-42"},
    {2, KR_DT_REAL, Literal::Real, "3.25"},
    {3, KR_DT_TIME, Literal::Time, "T#1d2h3m4s5ms"},
    {4, KR_DT_K4TIME, Literal::K4Time, "TK4#0h0m12s300ms"},
    {5, KR_DT_TOD, Literal::Tod, "TOD#12:5:3.7"},
    {6, KR_DT_DATE, Literal::Date, "D#1999-12-24"},
    {7, KR_DT_DT, Literal::DateAndTime, "D#2000-1-1 TOD#8:30:0.250"},
    {8, KR_DT_STRING, Literal::Quoted, "'hello'"},
};

constexpr ImmClass kImmClasses[] = {
    {4, KR_DT_BOOL, ImmValue::Byte}, {5, KR_DT_BYTE, ImmValue::Byte},
    {6, KR_DT_CHAR, ImmValue::Char}, {7, KR_DT_WORD, ImmValue::Word},
    {8, KR_DT_INT, ImmValue::Int},   {9, KR_DT_POINTER, ImmValue::Nil},
    {10, KR_DT_ANY, ImmValue::Nil},
};

// Class tables whose keyword is the name of the class's data type.
template <class Class, std::size_t N>
WordTable byDataTypeName(const Class (&classes)[N]) {
  std::vector<WordTable::Word> words;
  for (const Class& c : classes) words.push_back({c.tag, bcDefaultTypeNames()[c.dataType]});
  return WordTable(std::move(words));
}

bool isOpcodeChar(char c) {
  return c > ' ' && c < 127 && c != ',' && c != ';' && c != '\'';
}

// "IC" followed by a decimal number of at most three digits: the code.
int icNumber(std::string_view word) {
  if (word.size() < 3 || word.size() > 5 || word.substr(0, 2) != "IC") return -1;
  int code = 0;
  for (char c : word.substr(2)) {
    if (c < '0' || c > '9') return -1;
    code = code * 10 + (c - '0');
  }
  return code <= 255 ? code : -1;
}

char lower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// Edit distance with case ignored.
std::size_t distance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      const std::size_t change = lower(a[i - 1]) == lower(b[j - 1]) ? 0 : 1;
      row[j] = std::min({above + 1, row[j - 1] + 1, diagonal + change});
      diagonal = above;
    }
  }
  return row[b.size()];
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

const WordTable& blockKinds() {
  static const WordTable table({{KR_OB_KENN, "OB"},
                                {KR_FB_KENN, "FB"},
                                {KR_SFB_KENN, "SFB"},
                                {KR_FC_KENN, "FC"},
                                {KR_SFC_KENN, "SFC"},
                                {KR_DB_KENN, "DB"},
                                {KR_SDB_KENN, "SDB"}});
  return table;
}

const WordTable& paramKinds() {
  static const WordTable table = tableOf(bcDefaultParamKindNames(), range(0, 3));
  return table;
}

const WordTable& dataTypes() {
  static const WordTable table = [] {
    std::vector<unsigned> codes;
    for (const KRDataTypeInfo& info : kKRDataTypes) codes.push_back(info.code);
    return tableOf(bcDefaultTypeNames(), codes);
  }();
  return table;
}

const WordTable& tmpStatuses() {
  static const WordTable table({{0, "TMG"}, {1, "TML"}, {2, "TMT"}});
  return table;
}

const WordTable& tmpAreas() {
  static const WordTable table({{0, "L"}, {1, "G"}});
  return table;
}

const WordTable& typeKeywords() {
  static const WordTable table({{0, "EMPTY"},
                                {1, "ELEMENTARY"},
                                {2, "ELEM"},
                                {3, "STRING"},
                                {4, "ARRAY"},
                                {5, "STRUCT"},
                                {6, "INSTANCE"}});
  return table;
}

const OperandClass* operandClass(unsigned tag) {
  return tag >= 1 && tag <= kLastOperandTag ? &kOperandClasses.byTag[tag] : nullptr;
}

const WordTable& operandClasses() {
  static const WordTable table = tableOf(bcDefaultOperandClassNames(), range(1, kLastOperandTag));
  return table;
}

const ConstantClass* constantClass(unsigned tag) {
  return tag < std::size(kConstantClasses) ? &kConstantClasses[tag] : nullptr;
}

const WordTable& constantClasses() {
  static const WordTable table = byDataTypeName(kConstantClasses);
  return table;
}

const ImmClass* immClass(unsigned tag) {
  for (const ImmClass& c : kImmClasses) {
    if (c.tag == tag) return &c;
  }
  return nullptr;
}

const WordTable& immClasses() {
  static const WordTable table = byDataTypeName(kImmClasses);
  return table;
}

Opcodes::Opcodes(const char* const* mnemonics) {
  if (mnemonics == nullptr) return;
  for (unsigned code = 0; code < byCode_.size(); ++code) {
    const int column = bcMnemonicColumn(code);
    if (column < 0 || mnemonics[column] == nullptr) continue;
    const std::string_view text = mnemonics[column];
    const bool word = !text.empty() && (text[0] < '0' || text[0] > '9') && text[0] != '-' &&
                      std::all_of(text.begin(), text.end(), isOpcodeChar) && icNumber(text) < 0;
    if (!word) continue;
    auto [at, fresh] = byWord_.emplace(text, static_cast<int>(code));
    if (fresh) {
      byCode_[code] = text;
    } else if (at->second >= 0) {
      // Two codes with one mnemonic: both are written as IC<code>.
      byCode_[static_cast<unsigned>(at->second)] = {};
      at->second = -1;
    }
  }
}

int Opcodes::find(std::string_view word) const {
  // No mnemonic reads as IC<n>, so that form needs no search.
  const int code = icNumber(word);
  if (code >= 0 || byWord_.empty()) return code;
  const auto found = byWord_.find(word);
  return found != byWord_.end() ? found->second : -1;
}

std::vector<std::string_view> Opcodes::names() const {
  std::vector<std::string_view> names;
  for (std::string_view name : byCode_) {
    if (!name.empty()) names.push_back(name);
  }
  return names;
}

bool isPlainName(std::string_view text) {
  if (text.empty() || std::isdigit(static_cast<unsigned char>(text[0]))) return false;
  return std::all_of(text.begin(), text.end(), [](char c) {
    return c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  });
}

void appendQuoted(std::string& out, std::string_view text) {
  out.push_back('\'');
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\'' || c == '$') {
      out.push_back('$');
      out.push_back(c);
    } else if (byte >= 0x20 && byte < 0x7F) {
      out.push_back(c);
    } else {
      out.push_back('$');
      out.push_back(kHexDigits[byte >> 4]);
      out.push_back(kHexDigits[byte & 0xF]);
    }
  }
  out.push_back('\'');
}

void appendUnquoted(std::string& out, std::string_view quoted) {
  // The grammar has checked the escapes; the quotes are dropped.
  for (std::size_t i = 1; i + 1 < quoted.size(); ++i) {
    if (quoted[i] != '$') {
      out.push_back(quoted[i]);
      continue;
    }
    const char c = quoted[++i];
    switch (c) {
      case 'L':
      case 'l':
      case 'N':
      case 'n':
        out.push_back('\n');
        break;
      case 'R':
      case 'r':
        out.push_back('\r');
        break;
      case 'T':
      case 't':
        out.push_back('\t');
        break;
      case 'P':
      case 'p':
        out.push_back('\f');
        break;
      case '$':
      case '\'':
        out.push_back(c);
        break;
      default:
        out.push_back(static_cast<char>(hexValue(c) * 16 + hexValue(quoted[i + 1])));
        ++i;
    }
  }
}

std::vector<BCSSBEntry*> interfaceEntriesOf(const BCode& block) {
  std::vector<BCSSBEntry*> entries;
  for (BCSSBListIterator it(block.getSSBList()); !it.end();) {
    for (BCSSBIterator entry(*it++, 1); !entry.end(); ++entry) entries.push_back(entry.current());
  }
  return entries;
}

std::vector<BCLDEntry*> variablesOf(const BCode& block) {
  std::vector<BCLDEntry*> variables;
  for (const BCLDList* list : {&block.getLDDList(), &block.getLSDList()}) {
    for (BCLDListIterator it(*list, 1); !it.end(); ++it) variables.push_back(it.current());
  }
  return variables;
}

void layOutAll(BCode& block) {
  block.calcOffsets();
  for (BCSSBListIterator it(block.getSSBList()); !it.end();) {
    BCSSB* ssb = it++;
    if (ssb->getBlockKind() == KR_FB_KENN || ssb->getBlockKind() == KR_SFB_KENN) {
      ssb->getLastOffset();
    }
  }
  block.getLDDList().getLastOffset();
  block.getLSDList().getLastOffset();
}

namespace {

// Puts back the offsets of a block's entries and variables and the start
// offsets of its local data when it goes, also when an exception passes.
class OffsetsKept {
 public:
  OffsetsKept(BCode& block, const std::vector<BCSSBEntry*>& entries,
              const std::vector<BCLDEntry*>& variables)
      : block_(block),
        entries_(entries),
        variables_(variables),
        lddStart_(block.getLDDList().getStartOffset()),
        lsdStart_(block.getLSDList().getStartOffset()) {
    for (const BCSSBEntry* entry : entries) kept_.entries.push_back(entry->getOffset());
    for (const BCLDEntry* variable : variables) kept_.variables.push_back(variable->getOffset());
  }
  ~OffsetsKept() {
    for (std::size_t i = 0; i < entries_.size(); ++i) entries_[i]->setOffset(kept_.entries[i]);
    for (std::size_t i = 0; i < variables_.size(); ++i) {
      variables_[i]->setOffset(kept_.variables[i]);
    }
    block_.getLDDList().setStartOffset(lddStart_);
    block_.getLSDList().setStartOffset(lsdStart_);
  }
  OffsetsKept(const OffsetsKept&) = delete;
  OffsetsKept& operator=(const OffsetsKept&) = delete;

 private:
  BCode& block_;
  const std::vector<BCSSBEntry*>& entries_;
  const std::vector<BCLDEntry*>& variables_;
  LaidOut kept_;
  std::uint32_t lddStart_;
  std::uint32_t lsdStart_;
};

}  // namespace

LaidOut derivedOffsets(const BCode& block) {
  const std::vector<BCSSBEntry*> entries = interfaceEntriesOf(block);
  const std::vector<BCLDEntry*> variables = variablesOf(block);
  LaidOut derived;
  derived.entries.reserve(entries.size());
  derived.variables.reserve(variables.size());
  // The layout runs on the block itself (instance types lay out the
  // interfaces they name wherever they are), and everything is put back. It
  // starts from offset 0, as in a block read from text: a layout that fails
  // leaves the entries after the failure as they were.
  auto& laidOut = const_cast<BCode&>(block);
  const OffsetsKept kept(laidOut, entries, variables);
  for (BCSSBEntry* entry : entries) entry->setOffset(0);
  for (BCLDEntry* variable : variables) variable->setOffset(0);
  bcInitBCode();
  layOutAll(laidOut);
  bcInitBCode();
  for (const BCSSBEntry* entry : entries) derived.entries.push_back(entry->getOffset());
  for (const BCLDEntry* variable : variables) derived.variables.push_back(variable->getOffset());
  return derived;
}

FromEntry fromInterfaceEntry(const BCode& block, unsigned kind, std::uint16_t blockNo,
                             std::uint16_t parNo) {
  FromEntry from;
  const BCSSB* ssb = block.getSSBList().lookup(blockNo, static_cast<KR_BLOCK_KIND>(kind));
  const BCSSBEntry* entry = ssb != nullptr ? ssb->lookup(parNo) : nullptr;
  if (entry == nullptr) return from;
  from.found = true;
  from.type = entry->getTypeRef().getIndex();
  from.offset = entry->getOffset();
  return from;
}

FromEntry fromVariable(const BCode& block, bool lsd, std::uint16_t varNo) {
  FromEntry from;
  const BCLDList& list = lsd ? block.getLSDList() : block.getLDDList();
  const BCLDEntry* entry = list.lookup(BCLDRef(varNo, nullptr));
  if (entry == nullptr) return from;
  from.found = true;
  from.type = entry->getTypeRef().getIndex();
  const std::uint16_t viewed = entry->getViewVarNo();
  if (viewed == 0) {
    from.offset = entry->getOffset();
  } else if (const BCLDEntry* target = list.lookup(BCLDRef(viewed, nullptr))) {
    from.offset = target->getOffset();
  }
  return from;
}

std::string suggestion(std::string_view word, const std::vector<std::string_view>& candidates) {
  std::string_view best;
  std::size_t bestDistance = std::max<std::size_t>(1, word.size() / 3) + 1;
  for (std::string_view candidate : candidates) {
    const std::size_t d = distance(word, candidate);
    const bool caseOnly = d == 0 && candidate != word;
    if ((d < bestDistance || caseOnly) && candidate != word) {
      best = candidate;
      bestDistance = d;
    }
  }
  if (best.empty()) return {};
  return " (did you mean '" + std::string(best) + "'?)";
}

std::vector<std::string_view> wordsOf(const WordTable& table) {
  std::vector<std::string_view> words;
  for (const WordTable::Word& word : table.words()) words.push_back(word.text);
  return words;
}

}  // namespace bctext

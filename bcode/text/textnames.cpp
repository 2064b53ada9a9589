#include "bcode/text/textnames.h"

#include <algorithm>
#include <cctype>
#include <istream>
#include <memory>
#include <sstream>
#include <type_traits>
#include <unordered_map>

#include "bcode/code/bcinternal.h"
#include "bcode/code/bcnametables.h"
#include "bcode/code/bcode.h"
#include "bcode/const/bcconstant.h"
#include "bcode/const/bcimmediate.h"
#include "bcode/foundation/krblockkind.h"
#include "bcode/foundation/krerror.h"
#include "bcode/instr/bcinstruction.h"
#include "bcode/interface/bcssb.h"
#include "bcode/localdata/bcldlist.h"
#include "bcode/operand/bcglobal.h"
#include "bcode/operand/bclocal.h"
#include "bcode/operand/bcparam.h"
#include "bcode/types/krdatatype.h"
#include "bcode/types/krtypetab.h"

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

// A table of the words `name` gives the values.
template <class Values, class Name>
WordTable wordsFor(const Values& values, Name name) {
  std::vector<WordTable::Word> words;
  for (unsigned value : values) words.push_back({value, name(value)});
  return WordTable(std::move(words));
}

std::vector<unsigned> range(unsigned first, unsigned last) {
  std::vector<unsigned> values;
  for (unsigned v = first; v <= last; ++v) values.push_back(v);
  return values;
}

// ---- the class tables

// Tags, classes and names come from the library's tables of the classes
// (the .def files). What only the text needs is found by class at compile
// time, so that a class added there without a text form does not compile.
template <class Class>
struct NoTextForm : std::false_type {};

// Instantiated only for a class that has no text form.
template <class Class, class Form>
constexpr Form noTextForm() {
  static_assert(NoTextForm<Class>::value, "a class of a .def table without a text form");
  return Form();
}

template <class Class>
constexpr OperandFamily familyOf() {
  if constexpr (std::is_base_of_v<BCGlobArea, Class>) {
    return OperandFamily::Area;
  } else if constexpr (std::is_base_of_v<BCoDBBER, Class>) {
    return OperandFamily::DbArea;
  } else if constexpr (std::is_base_of_v<BCNumberedOperand, Class>) {
    return OperandFamily::Numbered;
  } else if constexpr (std::is_base_of_v<BCSonFB, Class>) {
    return OperandFamily::SonFB;
  } else if constexpr (std::is_base_of_v<BCOwnFB, Class>) {
    return OperandFamily::OwnFB;
  } else if constexpr (std::is_base_of_v<BCSonFC, Class>) {
    return OperandFamily::SonFC;
  } else if constexpr (std::is_base_of_v<BCOwnFC, Class>) {
    return OperandFamily::OwnFC;
  } else if constexpr (std::is_base_of_v<BCParICALL, Class>) {
    return OperandFamily::CallParam;
  } else if constexpr (std::is_base_of_v<BCLocalOperand, Class>) {
    return OperandFamily::Local;
  } else {
    return noTextForm<Class, OperandFamily>();
  }
}

constexpr OperandClass kOperandClasses[] = {
#define BC_X(tag, Class, blank, name, ...) {BCOperand::tag, name, familyOf<Class>()},
#include "bcode/operand/bcoperand.def"
#undef BC_X
};

struct ConstantForm {
  Literal literal;
  const char* example;
};
template <class Class>
constexpr ConstantForm kConstantForm = noTextForm<Class, ConstantForm>();
template <>
constexpr ConstantForm kConstantForm<BCDWordConst> = {Literal::Unsigned, "0x0000002a"};
template <>
constexpr ConstantForm kConstantForm<BCDIntConst> = {Literal::Signed, "-42"};
template <>
constexpr ConstantForm kConstantForm<BCRealConst> = {Literal::Real, "3.25"};
template <>
constexpr ConstantForm kConstantForm<BCTimeConst> = {Literal::Time, "T#1d2h3m4s5ms"};
template <>
constexpr ConstantForm kConstantForm<BCK4TimeConst> = {Literal::K4Time, "TK4#0h0m12s300ms"};
template <>
constexpr ConstantForm kConstantForm<BCTODConst> = {Literal::Tod, "TOD#12:5:3.7"};
template <>
constexpr ConstantForm kConstantForm<BCDateConst> = {Literal::Date, "D#1999-12-24"};
template <>
constexpr ConstantForm kConstantForm<BCDTConst> = {Literal::DateAndTime,
                                                   "D#2000-1-1 TOD#8:30:0.250"};
template <>
constexpr ConstantForm kConstantForm<BCStringConst> = {Literal::Quoted, "'hello'"};

template <class Class>
constexpr ImmValue kImmValue = noTextForm<Class, ImmValue>();
template <>
constexpr ImmValue kImmValue<BCBoolConst> = ImmValue::Byte;
template <>
constexpr ImmValue kImmValue<BCByteConst> = ImmValue::Byte;
template <>
constexpr ImmValue kImmValue<BCCharConst> = ImmValue::Char;
template <>
constexpr ImmValue kImmValue<BCWordConst> = ImmValue::Word;
template <>
constexpr ImmValue kImmValue<BCIntConst> = ImmValue::Int;
template <>
constexpr ImmValue kImmValue<BCPtrConst> = ImmValue::Nil;
template <>
constexpr ImmValue kImmValue<BCAnyConst> = ImmValue::Nil;

// A class's keyword is the name of its data type, which an object made as
// a record is loaded into tells.
const std::vector<ConstantClass>& constantTable() {
  static const std::vector<ConstantClass> table = {
#define BC_X(tag, Class, blank, ...)                                         \
  {BCConstant::tag, Class blank.getDataType(), kConstantForm<Class>.literal, \
   kConstantForm<Class>.example},
#include "bcode/const/bcconstant.def"
#undef BC_X
  };
  return table;
}

const std::vector<ImmClass>& immTable() {
  static const std::vector<ImmClass> table = {
#define BC_X(tag, Class, blank, ...) \
  {BCInstructionOp::tag, Class blank.getDataType(), kImmValue<Class>},
#include "bcode/const/bcimmediate.def"
#undef BC_X
  };
  return table;
}

// The row of `tag` in a table of classes in tag order; null for none.
template <class Table>
auto rowOf(const Table& table, unsigned tag) {
  const unsigned row = tag - std::data(table)[0].tag;
  return row < std::size(table) ? &std::data(table)[row] : nullptr;
}

// The classes of a table with their keywords.
template <class Class>
WordTable keywordsOf(const std::vector<Class>& classes) {
  std::vector<WordTable::Word> words;
  for (const Class& c : classes) words.push_back({c.tag, dataTypes().name(c.dataType)});
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
  static const WordTable table = wordsFor(range(KR_OB_KENN, KR_SDB_KENN), krBlockKindName);
  return table;
}

const WordTable& paramKinds() {
  static const WordTable table =
      wordsFor(range(0, 3), [](unsigned kind) { return bcDefaultParamKindNames()[kind]; });
  return table;
}

const WordTable& dataTypes() {
  static const WordTable table = [] {
    std::vector<unsigned> codes;
    for (const KRDataTypeInfo& info : kKRDataTypes) codes.push_back(info.code);
    return wordsFor(codes, [](unsigned code) { return bcDefaultTypeNames()[code]; });
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
  return rowOf(kOperandClasses, tag);
}

const WordTable& operandClasses() {
  static const WordTable table = [] {
    std::vector<WordTable::Word> words;
    for (const OperandClass& c : kOperandClasses) words.push_back({c.tag, c.name});
    return WordTable(std::move(words));
  }();
  return table;
}

const ConstantClass* constantClass(unsigned tag) {
  return rowOf(constantTable(), tag);
}

const WordTable& constantClasses() {
  static const WordTable table = keywordsOf(constantTable());
  return table;
}

const ImmClass* immClass(unsigned tag) {
  return rowOf(immTable(), tag);
}

const WordTable& immClasses() {
  static const WordTable table = keywordsOf(immTable());
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

bool loadTypeTable(BCode& block, std::istream& is) {
  KRTypeEnv env(nullptr, &block.getSSBList(), kBCRecordBoundaryByteLen);
  std::unique_ptr<KRTypeTab> table(KRTypeTab::iload(is, &env));
  if (table == nullptr) return false;
  block.setTypeTab(table.release());
  return true;
}

bool loadInterfaceList(BCode& block, std::istream& is) {
  block.getSSBList().load(is, &block.getTypeTab());
  return BCSSBList::getError() == BCSSBList::BCSSBLIST_OK;
}

bool loadLocalData(BCode& block, std::istream& is, bool lsd) {
  std::unique_ptr<BCLDList> list(BCLDList::iload(is, &block.getTypeTab()));
  if (list == nullptr) return false;
  if (lsd) {
    block.setLSDList(list.release());
  } else {
    block.setLDDList(list.release());
  }
  return true;
}

namespace {

// A copy of what the layout of `block` works on, made through the records of
// its type table, interface list and local data; null when one of them does
// not save or does not load back.
std::unique_ptr<BCode> layoutCopy(const BCode& block) {
  std::ostringstream record;
  block.getTypeTab().save(record);
  block.getSSBList().save(record);
  block.getLDDList().save(record);
  block.getLSDList().save(record);
  if (KRRefTable<KRTypedesc*>::error != KRREFTABLE_OK ||
      BCSSBList::getError() != BCSSBList::BCSSBLIST_OK ||
      KRSequence<BCLDEntry*>::error != KRSEQUENCE_OK) {
    return nullptr;
  }
  const std::string bytes = record.str();
  BytesIn in(bytes);
  std::istream is(&in);
  auto copy = std::make_unique<BCode>(block.getBlockNo(), block.getBlockKind());
  if (BCode::getError() != BCode::BCODE_OK || !loadTypeTable(*copy, is) ||
      !loadInterfaceList(*copy, is) || !loadLocalData(*copy, is, false) ||
      !loadLocalData(*copy, is, true)) {
    return nullptr;
  }
  return copy;
}

}  // namespace

bool derivedOffsets(const BCode& block, LaidOut& derived) {
  const std::unique_ptr<BCode> copy = layoutCopy(block);
  if (copy == nullptr) return false;
  // The records carry no view numbers: the copy takes the block's. Every
  // offset starts from 0, as in a block read from text, so that a layout
  // that fails leaves the entries after the failure at 0.
  const std::vector<BCSSBEntry*> entries = interfaceEntriesOf(*copy);
  const std::vector<BCLDEntry*> variables = variablesOf(*copy);
  const std::vector<BCSSBEntry*> ownEntries = interfaceEntriesOf(block);
  const std::vector<BCLDEntry*> ownVariables = variablesOf(block);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    entries[i]->setViewVarNo(ownEntries[i]->getViewVarNo());
    entries[i]->setOffset(0);
  }
  for (std::size_t i = 0; i < variables.size(); ++i) {
    variables[i]->setViewVarNo(ownVariables[i]->getViewVarNo());
    variables[i]->setOffset(0);
  }
  layOutAll(*copy);
  derived.entries.clear();
  derived.variables.clear();
  for (const BCSSBEntry* entry : entries) derived.entries.push_back(entry->getOffset());
  for (const BCLDEntry* variable : variables) derived.variables.push_back(variable->getOffset());
  return true;
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

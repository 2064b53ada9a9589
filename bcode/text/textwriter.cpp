// The writer of the text form, and of the fields of a block: one walk over
// the block writes the text and, when a sink is given, hands each field to
// it as well. Everything is appended to one string: numbers through
// to_chars, names and literals byte by byte, no allocation per entry but the
// summaries of types, which are made once per type.
#include <charconv>
#include <cmath>
#include <cstring>
#include <new>
#include <string>

#include "bcode/code/bcinternal.h"
#include "bcode/code/bcode.h"
#include "bcode/code/bcrecordsection.h"
#include "bcode/const/bcconstant.h"
#include "bcode/const/bcconstlist.h"
#include "bcode/const/bcimmediate.h"
#include "bcode/foundation/krarena.h"
#include "bcode/instr/bcinstrop.h"
#include "bcode/instr/bcinstruction.h"
#include "bcode/interface/bcssb.h"
#include "bcode/localdata/bcldlist.h"
#include "bcode/operand/bcglobal.h"
#include "bcode/operand/bclocal.h"
#include "bcode/operand/bcparam.h"
#include "bcode/text/bcfields.h"
#include "bcode/text/bctext.h"
#include "bcode/text/textnames.h"
#include "bcode/types/krinstancedesc.h"
#include "bcode/types/krtypetab.h"

namespace {

using namespace bctext;

// Comments start at this column when the entry leaves room.
constexpr std::size_t kCommentColumn = 40;
// Entry indices are right-aligned in this many columns.
constexpr int kIndexWidth = 5;
// Structure components stand this much further in than type entries.
constexpr int kComponentIndent = 6;

constexpr std::uint32_t kMsPerDay = 86400000;
constexpr std::uint32_t kMsPerHour = 3600000;
constexpr std::uint32_t kMsPerMinute = 60000;
constexpr std::uint32_t kMsPerSecond = 1000;

class Writer {
 public:
  // `derived`: the offsets the layout gives the block's entries and variables.
  // `fields`, when given, gets every field beside the text.
  Writer(const BCode& block, const LaidOut& derived, const char* const* mnemonics, std::string& out,
         BCFieldSink* fields)
      : block_(block),
        derived_(derived),
        types_(block.getTypeTab()),
        opcodes_(mnemonics),
        out_(out),
        fields_(fields),
        summaries_(types_.getCount()),
        summarized_(types_.getCount(), false) {}

  void run() {
    // Room for a typical entry of each kind, so that the text seldom moves.
    reserve(out_.size() +
            48 * (types_.getCount() + derived_.entries.size() + derived_.variables.size() +
                  block_.getConstList().getCount() + block_.getOpList().getCount()) +
            96 * block_.getInstrList().getCount());
    open({});
    put("block ");
    open("block");
    blockId(block_.getBlockKind(), block_.getBlockNo());
    close();
    endLine();
    openList("sections");
    typeTable();
    closeSection();
    interfaceList();
    closeSection();
    localData(BCSection::LDD, block_.getLDDList());
    closeSection();
    localData(BCSection::LSD, block_.getLSDList());
    closeSection();
    constantTable();
    closeSection();
    operandTable();
    closeSection();
    instructionList();
    closeSection();
    closeList();
    close();
  }

 private:
  // ---- output

  // A large text fills fresh memory: in huge pages that costs a fault per
  // 2 MB instead of one per 4 KiB.
  void reserve(std::size_t bytes) {
    out_.reserve(krHugePageRoom(bytes + 1) - 1);  // and the terminating zero
    krPrepareHugePages(out_.data() + out_.size(), out_.capacity() - out_.size());
  }

  void put(std::string_view text) { out_.append(text); }
  void put(char c) { out_.push_back(c); }

  template <class Int>
  void number(Int value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out_.append(digits, static_cast<std::size_t>(end - digits));
  }

  // What `write` appends, written by the same pieces as the text into a
  // string of its own while the text waits aside.
  template <class Write>
  std::string aside(Write write) {
    std::string text;
    std::swap(text, out_);
    write();
    std::swap(text, out_);
    return text;
  }

  // A number of the text that is a field as well.
  template <class Int>
  void number(std::string_view key, Int value) {
    number(value);
    intField(key, value);
  }

  // "0x" and `digits` hex digits, as the listings write DWORD, BYTE and WORD.
  void hexLiteral(std::uint32_t value, int digits) {
    put("0x");
    hex(value, digits);
  }

  void hex(std::uint32_t value, int digits) {
    static constexpr char kDigits[] = "0123456789abcdef";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) put(kDigits[(value >> shift) & 0xF]);
  }

  void index(std::uint32_t value, int indent = 0) {
    char digits[8];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    const auto length = static_cast<int>(end - digits);
    out_.append(
        static_cast<std::size_t>(indent + (length < kIndexWidth ? kIndexWidth - length : 0)), ' ');
    out_.append(digits, static_cast<std::size_t>(length));
    put(' ');
  }

  // A section's title; its entries follow until closeSection().
  // The heading of a section is its name.
  void section(BCSection id) {
    const std::string_view title = bcRecordSection(id).name;
    put('\n');
    put(title);
    endLine();
    open({});
    textField("name", title);
    openList("entries");
  }

  void closeSection() {
    closeList();
    close();
  }

  // An entry's index, which opens its fields until close().
  void entry(std::uint32_t value, int indent = 0) {
    index(value, indent);
    open({});
    intField("index", value);
  }

  void endLine() {
    put('\n');
    lineStart_ = out_.size();
    commented_ = false;
  }

  // Opens the comment of the line, or separates a further part of it.
  void comment() {
    if (commented_) {
      put(", ");
      return;
    }
    const std::size_t used = out_.size() - lineStart_;
    out_.append(used < kCommentColumn ? kCommentColumn - used : 1, ' ');
    put("; ");
    commented_ = true;
  }

  // The word of a value, or its number.
  void word(const WordTable& table, unsigned value) {
    const std::string_view text = table.name(value);
    if (text.empty()) {
      number(value);
    } else {
      put(text);
    }
  }

  static std::string_view bytesOf(const KRString& text) {
    return std::string_view(text.c_str(), text.length());
  }

  void name(const KRString& text) {
    const std::string_view chars = bytesOf(text);
    if (isPlainName(chars)) {
      put(chars);
    } else {
      appendQuoted(out_, chars);
    }
  }

  // A name of the text that is a field as well.
  void name(std::string_view key, const KRString& text) {
    name(text);
    textField(key, bytesOf(text));
  }

  // "FB 7" in the text, as kind and number in the fields.
  void blockId(unsigned kind, std::uint16_t blockNo) {
    word(blockKinds(), kind);
    put(' ');
    number(blockNo);
    wordField("kind", blockKinds(), kind);
    intField("number", blockNo);
  }

  // ---- fields, for the sink when there is one

  void open(std::string_view key) {
    if (fields_ != nullptr) fields_->beginObject(key);
  }
  void close() {
    if (fields_ != nullptr) fields_->endObject();
  }
  void openList(std::string_view key) {
    if (fields_ != nullptr) fields_->beginList(key);
  }
  void closeList() {
    if (fields_ != nullptr) fields_->endList();
  }
  void intField(std::string_view key, std::int64_t value) {
    if (fields_ != nullptr) fields_->integer(key, value);
  }
  void textField(std::string_view key, std::string_view value) {
    if (fields_ != nullptr) fields_->text(key, value);
  }
  void boolField(std::string_view key, bool value) {
    if (fields_ != nullptr) fields_->boolean(key, value);
  }
  void noneField(std::string_view key) {
    if (fields_ != nullptr) fields_->none(key);
  }
  // The word of a value, or its number, as the text has it.
  void wordField(std::string_view key, const WordTable& table, unsigned value) {
    if (fields_ == nullptr) return;
    const std::string_view text = table.name(value);
    if (text.empty()) {
      fields_->integer(key, value);
    } else {
      fields_->text(key, text);
    }
  }
  // The text that `write` appends, as a field.
  template <class Write>
  void textOf(std::string_view key, Write write) {
    const std::size_t from = out_.size();
    write();
    textField(key, std::string_view(out_).substr(from));
  }

  // ---- types

  const KRTypedesc* typeAt(std::uint16_t index) const { return types_.entryAt(index); }

  // A type index, marked when it names no type (0 means none).
  void typeRef(std::uint16_t index) {
    number(index);
    if (index != 0 && typeAt(index) == nullptr) put('?');
  }

  // A type reference in the fields: its index, and what it is in a few
  // words (none when it names no type).
  void typeField(std::string_view key, std::uint16_t index) {
    if (fields_ == nullptr) return;
    open(key);
    intField("index", index);
    if (typeAt(index) != nullptr) {
      textField("type", summaryOf(index));
    } else {
      noneField("type");
    }
    close();
  }

  // What a type is, in a few words, for comments.
  void typeSummary(std::uint16_t index) { put(summaryOf(index)); }

  std::string_view summaryOf(std::uint16_t index) {
    if (typeAt(index) == nullptr) return index == 0 ? "no type" : "missing";
    if (!summarized_[index]) {
      summaries_[index] = aside([&] { shortType(*typeAt(index), true); });
      summarized_[index] = true;
    }
    return summaries_[index];
  }

  // One level of a type: an array names its dimensions and its element's
  // kind (`full`) or is just ARRAY.
  void shortType(const KRTypedesc& desc, bool full) {
    switch (desc.isA()) {
      case KRTypedesc::KR_STRING_DESC:
        put("STRING[");
        number(static_cast<const KRStringDesc&>(desc).getMaxLen());
        put(']');
        return;
      case KRTypedesc::KR_ARRAY_DESC: {
        const auto& array = static_cast<const KRArrayDesc&>(desc);
        put("ARRAY");
        if (!full) return;
        dimensions(array);
        put(" OF ");
        const KRTypedesc* element = typeAt(array.getElemTypeRef().getIndex());
        if (element != nullptr) {
          shortType(*element, false);
        } else {
          put("missing");
        }
        return;
      }
      case KRTypedesc::KR_STRUCT_DESC:
        put("STRUCT");
        return;
      case KRTypedesc::KR_INSTANCE_DESC: {
        const auto& instance = static_cast<const KRInstanceDesc&>(desc);
        put("INSTANCE ");
        word(blockKinds(), instance.getBlockKind());
        put(' ');
        number(instance.getBlockNo());
        return;
      }
      default:
        elementary(desc.getDataType());
    }
  }

  void elementary(unsigned code) {
    const std::string_view text = dataTypes().name(code);
    if (krIsElemTypeCode(code) && !text.empty()) {
      put(text);
    } else {
      put("ELEM ");
      word(dataTypes(), code);
    }
  }

  void dimensions(const KRArrayDesc& array) {
    put('[');
    for (std::uint16_t n = 1; n <= array.getDim(); ++n) {
      if (n > 1) put(", ");
      const KRArrayRange range = array.getRange(n);
      number(range.getLowerBound());
      put("..");
      number(range.getUpperBound());
    }
    put(']');
  }

  // Slots 1 to 23 hold the elementary types as initElemTypes enters them.
  bool startsElementary() const {
    if (types_.getCount() <= kKRElemTypeCount) return false;
    for (std::size_t i = 0; i < kKRElemTypeCount; ++i) {
      const KRTypedesc* desc = typeAt(static_cast<std::uint16_t>(i + 1));
      if (desc == nullptr || desc->isA() != KRTypedesc::KR_ELEM_DESC ||
          desc->getDataType() != kKRElemTypeCodes[i] || desc->getGlobalFlag() != 0 ||
          desc->getGDTNo() != 0) {
        return false;
      }
    }
    return true;
  }

  void typeTable() {
    section(BCSection::Types);
    std::uint32_t first = 1;
    // The fields give every slot on its own.
    if (fields_ == nullptr && startsElementary()) {
      index(1);
      put("ELEMENTARY");
      comment();
      put("BOOL to ELEM31 at 1 to 23");
      endLine();
      first = kKRElemTypeCount + 1;
    }
    for (std::uint32_t i = first; i < types_.getCount(); ++i) {
      entry(i);
      const KRTypedesc* desc = typeAt(static_cast<std::uint16_t>(i));
      if (desc == nullptr) {
        put("EMPTY");
        textField("class", "EMPTY");
        endLine();
        close();
        continue;
      }
      typeEntry(*desc);
      typeFields(static_cast<std::uint16_t>(i), *desc);
      if (desc->isA() == KRTypedesc::KR_STRUCT_DESC) {
        openList("components");
        components(static_cast<const KRStructDesc&>(*desc));
        closeList();
      }
      close();
    }
  }

  // The fields of a type entry but a structure's components, which have
  // lines of their own.
  void typeFields(std::uint16_t index, const KRTypedesc& desc) {
    if (fields_ == nullptr) return;
    textField("class", typeClassName(desc.isA()));
    wordField("data_type", dataTypes(), desc.getDataType());
    intField("global", desc.getGlobalFlag());
    intField("gdt", desc.getGDTNo());
    textField("summary", summaryOf(index));
    switch (desc.isA()) {
      case KRTypedesc::KR_STRING_DESC:
        intField("max_length", static_cast<const KRStringDesc&>(desc).getMaxLen());
        break;
      case KRTypedesc::KR_ARRAY_DESC: {
        const auto& array = static_cast<const KRArrayDesc&>(desc);
        openList("dimensions");
        for (std::uint16_t n = 1; n <= array.getDim(); ++n) {
          const KRArrayRange range = array.getRange(n);
          open({});
          intField("lower", range.getLowerBound());
          intField("upper", range.getUpperBound());
          close();
        }
        closeList();
        typeField("element", array.getElemTypeRef().getIndex());
        break;
      }
      case KRTypedesc::KR_INSTANCE_DESC: {
        const auto& instance = static_cast<const KRInstanceDesc&>(desc);
        open("instance_of");
        blockId(instance.getBlockKind(), instance.getBlockNo());
        boolField("found", interfaceOf(instance) != nullptr);
        close();
        break;
      }
      default:
        break;
    }
  }

  // The keyword of the text that opens an entry of the class: the name of
  // the data type code its constructor sets.
  static std::string_view typeClassName(KRTypedesc::CLASS_TYPE tag) {
    const unsigned code = classCode(tag);
    return code != 0 ? dataTypes().name(code) : "ELEM";
  }

  const BCSSB* interfaceOf(const KRInstanceDesc& instance) const {
    return block_.getSSBList().lookup(instance.getBlockNo(), instance.getBlockKind());
  }

  // The data type code a class's constructor sets; others are written.
  static unsigned classCode(KRTypedesc::CLASS_TYPE tag) {
    switch (tag) {
      case KRTypedesc::KR_STRING_DESC:
        return KR_DT_STRING;
      case KRTypedesc::KR_ARRAY_DESC:
        return KR_DT_ARRAY;
      case KRTypedesc::KR_STRUCT_DESC:
        return KR_DT_STRUCT;
      case KRTypedesc::KR_INSTANCE_DESC:
        return KR_DT_INSTANCE;
      default:
        return 0;
    }
  }

  void typeEntry(const KRTypedesc& desc) {
    std::uint16_t element = 0;
    switch (desc.isA()) {
      case KRTypedesc::KR_ARRAY_DESC: {
        const auto& array = static_cast<const KRArrayDesc&>(desc);
        element = array.getElemTypeRef().getIndex();
        put("ARRAY");
        dimensions(array);
        put(" OF ");
        typeRef(element);
        break;
      }
      case KRTypedesc::KR_INSTANCE_DESC: {
        const auto& instance = static_cast<const KRInstanceDesc&>(desc);
        shortType(desc, true);
        if (interfaceOf(instance) == nullptr) put('?');
        break;
      }
      default:
        shortType(desc, true);
    }
    if (desc.isA() != KRTypedesc::KR_ELEM_DESC && desc.getDataType() != classCode(desc.isA())) {
      put(" CODE ");
      number(desc.getDataType());
    }
    if (desc.getGlobalFlag() != 1 && (desc.getGlobalFlag() != 0 || desc.getGDTNo() != 0)) {
      put(" GLOBAL ");
      number(desc.getGlobalFlag());
    }
    if (desc.getGlobalFlag() == 1 || desc.getGDTNo() != 0) {
      put(" GDT ");
      number(desc.getGDTNo());
    }
    if (desc.isA() == KRTypedesc::KR_ARRAY_DESC) {
      comment();
      typeSummary(element);
    }
    endLine();
  }

  void components(const KRStructDesc& desc) {
    for (std::uint16_t n = 1; n <= desc.getNoOfComp(); ++n) {
      const KRStructComp& comp = desc.getComp(n);
      entry(n, kComponentIndent);
      declaration(comp.getName(), comp.getTypeRef().getIndex());
      endLine();
      close();
    }
  }

  // "name : type", and the type in the comment.
  void declaration(const KRString& text, std::uint16_t type) {
    name("name", text);
    put(" : ");
    typeRef(type);
    typeField("type", type);
    if (type != 0) {
      comment();
      typeSummary(type);
    }
  }

  // ---- interfaces and local data

  // ", views <name>" in the comment of an entry that views another.
  template <class Entry>
  void viewComment(const Entry* viewed) {
    comment();
    put("views ");
    if (viewed != nullptr) {
      name(viewed->getName());
    } else {
      put("missing");
    }
  }

  // The entry viewed in the fields: none, or its number and name (none
  // when there is no such entry).
  template <class Entry>
  void viewField(std::uint16_t number, const Entry* viewed) {
    if (fields_ == nullptr) return;
    if (number == 0) {
      noneField("view");
      return;
    }
    open("view");
    intField("index", number);
    if (viewed != nullptr) {
      textField("name", bytesOf(viewed->getName()));
    } else {
      noneField("name");
    }
    close();
  }

  void interfaceList() {
    section(BCSection::Interfaces);
    std::size_t at = 0;
    std::uint32_t described = 0;
    for (BCSSBListIterator it(block_.getSSBList()); !it.end();) {
      const BCSSB* ssb = it++;
      put("interface ");
      open({});
      intField("index", ++described);
      blockId(ssb->getBlockKind(), ssb->getBlockNo());
      endLine();
      openList("entries");
      const bool fb = ssb->getBlockKind() == KR_FB_KENN || ssb->getBlockKind() == KR_SFB_KENN;
      std::uint32_t n = 0;
      for (BCSSBIterator pos(*ssb, 1); !pos.end(); ++pos, ++at) {
        const BCSSBEntry& e = *pos.current();
        entry(++n);
        const std::uint16_t type = e.getTypeRef().getIndex();
        name("name", e.getName());
        put(" : ");
        typeRef(type);
        typeField("type", type);
        put(' ');
        word(paramKinds(), e.getParamKind());
        wordField("parameter_kind", paramKinds(), e.getParamKind());
        const BCSSBEntry* viewed = e.getViewVarNo() != 0 ? ssb->lookup(e.getViewVarNo()) : nullptr;
        view(e.getViewVarNo());
        viewField(e.getViewVarNo(), viewed);
        if (e.isA() != BCSSBEntry::BC_FB_ENTRY) {
          noneField("offset");
        } else {
          intField("offset", e.getOffset());
        }
        if (fb && e.isA() == BCSSBEntry::BC_FB_ENTRY && e.getOffset() != derived_.entries[at]) {
          offset(e.getOffset());
        }
        if (type != 0) {
          comment();
          typeSummary(type);
        }
        if (e.getViewVarNo() != 0) viewComment(viewed);
        endLine();
        close();
      }
      closeList();
      close();
    }
  }

  void view(std::uint16_t viewed) {
    if (viewed == 0) return;
    put(" VIEW ");
    number(viewed);
  }

  void offset(std::uint32_t value) {
    put(" AT ");
    number(value);
  }

  void localData(BCSection id, const BCLDList& list) {
    section(id);
    std::uint32_t n = 0;
    for (BCLDListIterator it(list, 1); !it.end(); ++it, ++variable_) {
      const BCLDEntry& e = *it.current();
      entry(++n);
      name("name", e.getName());
      put(" : ");
      typeRef(e.getTypeRef().getIndex());
      typeField("type", e.getTypeRef().getIndex());
      const BCLDEntry* viewed =
          e.getViewVarNo() != 0 ? list.lookup(BCLDRef(e.getViewVarNo(), nullptr)) : nullptr;
      view(e.getViewVarNo());
      viewField(e.getViewVarNo(), viewed);
      intField("offset", e.getOffset());
      if (e.getOffset() != derived_.variables[variable_]) offset(e.getOffset());
      if (e.getTypeRef().getIndex() != 0) {
        comment();
        typeSummary(e.getTypeRef().getIndex());
      }
      if (e.getViewVarNo() != 0) viewComment(viewed);
      endLine();
      close();
    }
  }

  // ---- constants

  // Every slot of a table: its entry by `write`, or EMPTY.
  template <class Table, class Write>
  void tableSection(BCSection id, const Table& table, Write write) {
    section(id);
    for (std::uint32_t i = 1; i < table.getCount(); ++i) {
      entry(i);
      if (const auto* found = table.entryAt(i)) {
        write(*found);
      } else {
        put("EMPTY");
        textField("class", "EMPTY");
      }
      endLine();
      close();
    }
  }

  void constantTable() {
    tableSection(BCSection::Constants, block_.getConstList(), [this](const BCConstant& constant) {
      const std::string_view keyword = literalKeyword(constant);
      put(keyword);
      put(' ');
      textField("class", keyword);
      constantValue(constant);
      textOf("literal", [&] { literalValue(constant); });
    });
  }

  // The value of a constant in the fields: a number (milliseconds for the
  // durations and times of day), a date's parts, a REAL as its bits and,
  // when finite, its value, a STRING's bytes.
  void constantValue(const BCConstant& constant) {
    if (fields_ == nullptr) return;
    switch (constant.isA()) {
      case BCConstant::DWORD_CONST:
        intField("value", static_cast<const BCDWordConst&>(constant).getValue());
        return;
      case BCConstant::DINT_CONST:
        intField("value", static_cast<const BCDIntConst&>(constant).getValue());
        return;
      case BCConstant::REAL_CONST: {
        const float value = static_cast<const BCRealConst&>(constant).getValue();
        if (std::isfinite(value)) {
          fields_->real("value", value);
        } else {
          noneField("value");
        }
        std::uint32_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        intField("bits", bits);
        return;
      }
      case BCConstant::TIME_CONST:
        intField("value", static_cast<const BCTimeConst&>(constant).getValue());
        return;
      case BCConstant::K4TIME_CONST:
        intField("value", static_cast<const BCK4TimeConst&>(constant).getValue());
        return;
      case BCConstant::TOD_CONST:
        intField("value", static_cast<const BCTODConst&>(constant).getValue());
        return;
      case BCConstant::DATE_CONST:
        open("value");
        dateFields(static_cast<const BCDateConst&>(constant));
        close();
        return;
      case BCConstant::DT_CONST: {
        const auto& dt = static_cast<const BCDTConst&>(constant);
        open("value");
        dateFields(dt.getDate());
        intField("time_of_day", dt.getTOD().getValue());
        close();
        return;
      }
      case BCConstant::STRING_CONST:
        textField("value", bytesOf(static_cast<const BCStringConst&>(constant).getValue()));
        return;
    }
  }

  void dateFields(const BCDateConst& value) {
    intField("year", value.getYear());
    intField("month", value.getMonth());
    intField("day", value.getDay());
  }

  // The parts of a duration as the listing writes them: each truncated
  // toward zero, so a negative value has negative parts.
  void durationParts(std::int64_t value, bool days) {
    if (days) {
      number(value / kMsPerDay);
      put('d');
      value %= kMsPerDay;
    }
    number(value / kMsPerHour);
    put('h');
    value %= kMsPerHour;
    number(value / kMsPerMinute);
    put('m');
    value %= kMsPerMinute;
    number(value / kMsPerSecond);
    put('s');
    number(value % kMsPerSecond);
    put("ms");
  }

  void timeOfDay(std::int64_t value) {
    put("TOD#");
    number(value / kMsPerHour);
    put(':');
    number(value % kMsPerHour / kMsPerMinute);
    put(':');
    number(value % kMsPerMinute / kMsPerSecond);
    put('.');
    number(value % kMsPerSecond);
  }

  void date(const BCDateConst& value) {
    put("D#");
    number(value.getYear());
    put('-');
    number(value.getMonth());
    put('-');
    number(value.getDay());
  }

  // A REAL reads back bit for bit: the shortest decimal that does, or the
  // bits of a NaN.
  void real(float value) {
    if (std::isnan(value)) {
      std::uint32_t bits = 0;
      std::memcpy(&bits, &value, sizeof bits);
      put("16#");
      hex(bits, 8);
      return;
    }
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out_.append(digits, static_cast<std::size_t>(end - digits));
  }

  static std::string_view literalKeyword(const BCConstant& constant) {
    return dataTypes().name(constantClass(constant.isA())->dataType);
  }

  void literal(const BCConstant& constant) {
    put(literalKeyword(constant));
    put(' ');
    literalValue(constant);
  }

  void literalValue(const BCConstant& constant) {
    switch (constant.isA()) {
      case BCConstant::DWORD_CONST:
        hexLiteral(static_cast<const BCDWordConst&>(constant).getValue(), 8);
        return;
      case BCConstant::DINT_CONST:
        number(static_cast<const BCDIntConst&>(constant).getValue());
        return;
      case BCConstant::REAL_CONST:
        real(static_cast<const BCRealConst&>(constant).getValue());
        return;
      case BCConstant::TIME_CONST:
        put("T#");
        durationParts(static_cast<const BCTimeConst&>(constant).getValue(), true);
        return;
      case BCConstant::K4TIME_CONST:
        put("TK4#");
        durationParts(static_cast<const BCK4TimeConst&>(constant).getValue(), false);
        return;
      case BCConstant::TOD_CONST:
        timeOfDay(static_cast<const BCTODConst&>(constant).getValue());
        return;
      case BCConstant::DATE_CONST:
        date(static_cast<const BCDateConst&>(constant));
        return;
      case BCConstant::DT_CONST: {
        const auto& dt = static_cast<const BCDTConst&>(constant);
        date(dt.getDate());
        put(' ');
        timeOfDay(dt.getTOD().getValue());
        return;
      }
      case BCConstant::STRING_CONST: {
        const KRString& text = static_cast<const BCStringConst&>(constant).getValue();
        appendQuoted(out_, std::string_view(text.c_str(), text.length()));
        return;
      }
    }
  }

  // ---- memory operands

  void operandTable() {
    tableSection(BCSection::Operands, block_.getOpList(),
                 [this](const BCOperand& operand) { operandEntry(operand); });
  }

  // The clause of a type that differs from the one its entry gives.
  void typeClause(std::uint16_t type, std::uint16_t derived) {
    if (type == derived) return;
    put(" : ");
    typeRef(type);
  }

  // "FB 7.1", marked when the interface has no such entry.
  void entryRef(const BCSSBRef& ref, bool found) {
    open("entry");
    blockId(ref.getBlockKind(), ref.getBlockNo());
    put('.');
    number("parameter", ref.getParNo());
    if (!found) put('?');
    if (fields_ != nullptr) declarationFields(interfaceEntryOf(ref));
    close();
  }

  void operandEntry(const BCOperand& operand) {
    const OperandClass& c = *operandClass(operand.isA());
    const OperandFamily family = c.family;
    put(c.name);
    put(' ');
    textField("class", c.name);
    const std::uint16_t type = operand.getTypeRef().getIndex();
    typeField("type", type);
    switch (family) {
      case OperandFamily::Area:
      case OperandFamily::DbArea:
        if (family == OperandFamily::DbArea) {
          number("data_block", static_cast<const BCoDBBER&>(operand).getDbNo());
          put(' ');
        }
        number("offset", static_cast<const BCGlobVar&>(operand).getOffset());
        put(" : ");
        typeRef(type);
        break;
      case OperandFamily::Numbered:
        number("number", numberOf(operand));
        break;
      case OperandFamily::OwnFB:
      case OperandFamily::SonFB: {
        const auto& param = static_cast<const BCParFB&>(operand);
        const BCSSBRef ref = param.getSSBRef();
        const FromEntry from = fromEntry(ref);
        entryRef(ref, from.found);
        typeClause(type, from.type);
        intField("offset", param.getOffset());
        if (param.getOffset() != from.offset) offset(param.getOffset());
        if (family == OperandFamily::SonFB) {
          sonBlock(static_cast<const BCSonFB&>(param).getBlockNo(), ref);
        }
        break;
      }
      case OperandFamily::OwnFC:
      case OperandFamily::SonFC: {
        const BCSSBRef ref = static_cast<const BCParFC&>(operand).getSSBRef();
        const FromEntry from = fromEntry(ref);
        entryRef(ref, from.found);
        typeClause(type, from.type);
        if (family == OperandFamily::SonFC) {
          sonBlock(static_cast<const BCSonFC&>(operand).getBlockNo(), ref);
        }
        break;
      }
      case OperandFamily::CallParam: {
        const auto& param = static_cast<const BCParICALL&>(operand);
        number("call", param.getICallNo());
        put('.');
        number("parameter", param.getParNo());
        put(" : ");
        typeRef(type);
        wordField("block_kind", blockKinds(), param.getBlockKind());
        if (param.getBlockKind() != kKRCallParamBlockKind) {
          put(" KIND ");
          word(blockKinds(), param.getBlockKind());
        }
        break;
      }
      case OperandFamily::Local:
        local(static_cast<const BCLocalOperand&>(operand));
        break;
    }
    operandSummary(operand, false);
  }

  static std::uint16_t numberOf(const BCOperand& operand) {
    switch (operand.isA()) {
      case BCOperand::CT_MFL:
        return static_cast<const BCoMFL&>(operand).getMflNo();
      case BCOperand::CT_T:
      case BCOperand::CT_Z:
        return static_cast<const BCFctElem&>(operand).getFctNo();
      default:
        return static_cast<const BCBlock&>(operand).getBlockNo();
    }
  }

  FromEntry fromEntry(const BCSSBRef& ref) const {
    return fromInterfaceEntry(block_, ref.getBlockKind(), ref.getBlockNo(), ref.getParNo());
  }

  void sonBlock(std::uint16_t blockNo, const BCSSBRef& ref) {
    intField("block", blockNo);
    if (blockNo == ref.getBlockNo()) return;
    put(" BLOCK ");
    number(blockNo);
  }

  void local(const BCLocalOperand& operand) {
    const FromEntry from =
        fromVariable(block_, operand.isA() == BCOperand::CT_LSD, operand.getVarNo());
    number(operand.getVarNo());
    if (!from.found) put('?');
    if (fields_ != nullptr) {
      open("variable");
      intField("index", operand.getVarNo());
      declarationFields(variableOf(operand));
      close();
    }
    typeClause(operand.getTypeRef().getIndex(), from.type);
    intField("offset", operand.getRelOffset());
    if (operand.getRelOffset() != from.offset) offset(operand.getRelOffset());
  }

  const BCLDEntry* variableOf(const BCOperand& operand) const {
    const bool lsd = operand.isA() == BCOperand::CT_LSD;
    const BCLDList& list = lsd ? block_.getLSDList() : block_.getLDDList();
    const auto varNo = static_cast<const BCLocalOperand&>(operand).getVarNo();
    return list.lookup(BCLDRef(varNo, nullptr));
  }

  const BCSSBEntry* interfaceEntryOf(const BCSSBRef& ref) const {
    const BCSSB* ssb = block_.getSSBList().lookup(ref.getBlockNo(), ref.getBlockKind());
    return ssb != nullptr ? ssb->lookup(ref.getParNo()) : nullptr;
  }

  // The name and type of an interface entry or a variable referred to, none
  // when there is no such entry.
  template <class Entry>
  void declarationFields(const Entry* found) {
    if (found == nullptr) {
      noneField("name");
      noneField("type");
      return;
    }
    textField("name", bytesOf(found->getName()));
    typeField("type", found->getTypeRef().getIndex());
  }

  // The comment part on an operand: what it names and its type. From an
  // instruction (`named`) the class comes first.
  void operandSummary(const BCOperand& operand, bool named) {
    const OperandClass& c = *operandClass(operand.isA());
    const OperandFamily family = c.family;
    if (family == OperandFamily::Numbered && !named) return;
    comment();
    if (named) {
      put(c.name);
      put(' ');
    }
    operandSummaryOf(operand);
  }

  // What an operand names and its type, in a few words.
  void operandSummaryOf(const BCOperand& operand) {
    switch (operandClass(operand.isA())->family) {
      case OperandFamily::Numbered:
        number(numberOf(operand));
        return;
      case OperandFamily::OwnFB:
      case OperandFamily::SonFB:
        entrySummary(static_cast<const BCParFB&>(operand).getSSBRef());
        return;
      case OperandFamily::OwnFC:
      case OperandFamily::SonFC:
        entrySummary(static_cast<const BCParFC&>(operand).getSSBRef());
        return;
      case OperandFamily::Local:
        declarationSummary(variableOf(operand));
        return;
      default:
        typeSummary(operand.getTypeRef().getIndex());
    }
  }

  void entrySummary(const BCSSBRef& ref) { declarationSummary(interfaceEntryOf(ref)); }

  // "name : type" of an interface entry or a variable, or "missing".
  template <class Entry>
  void declarationSummary(const Entry* entry) {
    if (entry == nullptr) {
      put("missing");
      return;
    }
    name(entry->getName());
    put(" : ");
    typeSummary(entry->getTypeRef().getIndex());
  }

  // ---- instructions

  void instructionList() {
    section(BCSection::Instructions);
    std::uint32_t n = 0;
    for (BCInstructionListIterator it(block_.getInstrList(), 1); !it.end(); ++it) {
      const BCInstruction& instruction = *it.current();
      entry(++n);
      const auto code = static_cast<unsigned>(instruction.getInstrCode()) & 0xFF;
      intField("code", code);
      textOf("mnemonic", [&] {
        const std::string_view mnemonic = opcodes_.mnemonic(code);
        if (mnemonic.empty()) {
          put("IC");
          number(code);
        } else {
          put(mnemonic);
        }
      });
      const BCInstructionOp* ops[] = {instruction.getZOp(), instruction.getQ1Op(),
                                      instruction.getQ2Op()};
      int last = 2;
      while (last >= 0 && ops[last] == nullptr) --last;
      openList("operands");
      for (int k = 0; k <= 2; ++k) {
        if (k <= last) put(k == 0 ? " " : ", ");
        if (ops[k] != nullptr) {
          open({});
          instructionOperand(*ops[k]);
          close();
        } else {
          if (k <= last) put('-');
          noneField({});
        }
      }
      closeList();
      for (int k = 0; k <= last; ++k) {
        if (ops[k] != nullptr) instructionOperandSummary(*ops[k]);
      }
      endLine();
      close();
    }
  }

  // The data type an operand has unless its text says otherwise.
  unsigned derivedDataType(const BCInstructionOp& op) const {
    switch (op.isA()) {
      case BCInstructionOp::BCTMP_CLASS: {
        const KRTypedesc* desc = typeAt(static_cast<const BCTMP&>(op).getTypeRef().getIndex());
        return desc != nullptr ? desc->getDataType() : 0;
      }
      case BCInstructionOp::BCNUM_CLASS:
        return 0;
      case BCInstructionOp::BCCST_CLASS: {
        const auto index = static_cast<const BCCST&>(op).getConstRef().getIndex();
        const BCConstant* constant = block_.getConstList().entryAt(index);
        return constant != nullptr ? constant->getDataType() : 0;
      }
      case BCInstructionOp::BCOPD_CLASS: {
        const auto index = static_cast<const BCOPD&>(op).getOpRef().getIndex();
        const BCOperand* operand = block_.getOpList().entryAt(index);
        return operand != nullptr ? operand->getDataType() : 0;
      }
      default:
        return immClass(op.isA())->dataType;
    }
  }

  void instructionOperand(const BCInstructionOp& op) {
    const auto tag = static_cast<std::size_t>(op.isA());
    if (tag < std::size(kInstrOpWords)) {
      put(kInstrOpWords[tag]);
      put(' ');
      textField("class", kInstrOpWords[tag]);
    }
    switch (op.isA()) {
      case BCInstructionOp::BCTMP_CLASS: {
        const auto& tmp = static_cast<const BCTMP&>(op);
        number("number", tmp.getTmpNo());
        put(' ');
        word(tmpStatuses(), tmp.getStatus() & 0xFF);
        wordField("status", tmpStatuses(), tmp.getStatus() & 0xFF);
        put(' ');
        word(tmpAreas(), tmp.getLAreaFlag() & 0xFF);
        wordField("area", tmpAreas(), tmp.getLAreaFlag() & 0xFF);
        typeField("type", tmp.getTypeRef().getIndex());
        if (tmp.getTypeRef().getIndex() != 0) {
          put(" : ");
          typeRef(tmp.getTypeRef().getIndex());
        }
        break;
      }
      case BCInstructionOp::BCNUM_CLASS:
        number("value", static_cast<const BCNUM&>(op).getValue());
        break;
      case BCInstructionOp::BCCST_CLASS: {
        const auto index = static_cast<const BCCST&>(op).getConstRef().getIndex();
        const BCConstant* constant = block_.getConstList().entryAt(index);
        number(index);
        if (index != 0 && constant == nullptr) put('?');
        if (fields_ != nullptr) constantField(index, constant);
        break;
      }
      case BCInstructionOp::BCOPD_CLASS: {
        const auto index = static_cast<const BCOPD&>(op).getOpRef().getIndex();
        const BCOperand* operand = block_.getOpList().entryAt(index);
        number(index);
        if (index != 0 && operand == nullptr) put('?');
        if (fields_ != nullptr) operandField(index, operand);
        break;
      }
      default:
        textField("class", "IMM");
        immediate(op);
    }
    wordField("data_type", dataTypes(), op.getDataType());
    const auto refr = static_cast<unsigned>(op.getRefrFlag()) & 0xFF;
    if (refr == BCInstructionOp::REFR || refr == BCInstructionOp::NO_REFR) {
      textField("refr", refr == BCInstructionOp::REFR ? "REFR" : "NO_REFR");
    } else {
      intField("refr", refr);
    }
    intField("test", static_cast<unsigned>(op.getTestFlag()) & 0xFF);
    if (op.getDataType() != derivedDataType(op)) {
      put(" AS ");
      word(dataTypes(), op.getDataType());
    }
    if (refr == BCInstructionOp::REFR) {
      put(" REFR");
    } else if (refr != BCInstructionOp::NO_REFR) {
      put(" REFR=");
      number(refr);
    }
    const auto test = static_cast<unsigned>(op.getTestFlag()) & 0xFF;
    if (test == 1) {
      put(" TEST");
    } else if (test != 0) {
      put(" TEST=");
      number(test);
    }
  }

  // The constant or memory operand an instruction operand names, with its
  // class and what it holds or names.
  void constantField(std::uint16_t index, const BCConstant* constant) {
    open("constant");
    intField("index", index);
    if (constant != nullptr) {
      textField("class", literalKeyword(*constant));
      textField("literal", aside([&] { literalValue(*constant); }));
    } else {
      noneField("class");
      noneField("literal");
    }
    close();
  }

  void operandField(std::uint16_t index, const BCOperand* operand) {
    open("operand");
    intField("index", index);
    if (operand != nullptr) {
      textField("class", operandClass(operand->isA())->name);
      textField("summary", aside([&] { operandSummaryOf(*operand); }));
    } else {
      noneField("class");
      noneField("summary");
    }
    close();
  }

  void immediate(const BCInstructionOp& op) {
    const std::string_view keyword = dataTypes().name(immClass(op.isA())->dataType);
    put("IMM ");
    put(keyword);
    put(' ');
    textField("immediate", keyword);
    switch (op.isA()) {
      case BCInstructionOp::BCBOOLCONST_CLASS:
        number("value", static_cast<const BCBoolConst&>(op).getValue());
        return;
      case BCInstructionOp::BCBYTECONST_CLASS:
        hexLiteral(static_cast<const BCByteConst&>(op).getValue(), 2);
        intField("value", static_cast<const BCByteConst&>(op).getValue());
        return;
      case BCInstructionOp::BCCHARCONST_CLASS: {
        const char c8 = static_cast<char>(static_cast<const BCCharConst&>(op).getValue());
        appendQuoted(out_, std::string_view(&c8, 1));
        textField("value", std::string_view(&c8, 1));
        return;
      }
      case BCInstructionOp::BCWORDCONST_CLASS:
        hexLiteral(static_cast<const BCWordConst&>(op).getValue(), 4);
        intField("value", static_cast<const BCWordConst&>(op).getValue());
        return;
      case BCInstructionOp::BCINTCONST_CLASS:
        number("value", static_cast<const BCIntConst&>(op).getValue());
        return;
      default: {
        const int nil = op.isA() == BCInstructionOp::BCPTRCONST_CLASS
                            ? static_cast<const BCPtrConst&>(op).isNil()
                            : static_cast<const BCAnyConst&>(op).isNil();
        intField("value", nil);
        if (nil == 1) {
          put("NIL");
        } else {
          number(nil);
        }
      }
    }
  }

  void instructionOperandSummary(const BCInstructionOp& op) {
    switch (op.isA()) {
      case BCInstructionOp::BCTMP_CLASS: {
        const auto type = static_cast<const BCTMP&>(op).getTypeRef().getIndex();
        if (type == 0) return;
        comment();
        typeSummary(type);
        return;
      }
      case BCInstructionOp::BCCST_CLASS: {
        const auto index = static_cast<const BCCST&>(op).getConstRef().getIndex();
        const BCConstant* constant = block_.getConstList().entryAt(index);
        comment();
        if (constant != nullptr) {
          literal(*constant);
        } else {
          put(index == 0 ? "none" : "missing");
        }
        return;
      }
      case BCInstructionOp::BCOPD_CLASS: {
        const auto index = static_cast<const BCOPD&>(op).getOpRef().getIndex();
        if (const BCOperand* operand = block_.getOpList().entryAt(index)) {
          operandSummary(*operand, true);
        } else {
          comment();
          put(index == 0 ? "none" : "missing");
        }
        return;
      }
      default:
        return;
    }
  }

  const BCode& block_;
  const LaidOut& derived_;
  const KRTypeTab& types_;
  Opcodes opcodes_;
  std::string& out_;
  BCFieldSink* fields_;
  std::size_t variable_ = 0;  // LDD and LSD variables written so far
  std::size_t lineStart_ = 0;
  bool commented_ = false;
  std::vector<std::string> summaries_;
  std::vector<bool> summarized_;
};

}  // namespace

namespace {

// Writes the text, and the fields to `fields` when given; false as bcToText
// fails.
bool write(const BCode& block, const char* const* mnemonics, std::string& text,
           BCFieldSink* fields) {
  try {
    BCErrorFlagsKept kept;
    LaidOut derived;
    if (!derivedOffsets(block, derived)) {
      if (BCode::getError() == BCode::BCODE_OK) KRErrorFlagAccess::set<BCode>(BCode::BCODE_FAILED);
      kept.keepRaised();
      return false;
    }
    Writer(block, derived, mnemonics, text, fields).run();
    return true;
  } catch (const std::bad_alloc&) {
    throw KRErrorNoHeap("bctext", kBCTextWriteNoHeapLine);
  }
}

}  // namespace

BCFieldSink::~BCFieldSink() = default;

std::string bcToText(const BCode& block, const char* const* mnemonics) {
  std::string text;  // stays empty when the walk fails
  write(block, mnemonics, text, nullptr);
  return text;
}

bool bcWriteFields(BCFieldSink& sink, const BCode& block, const char* const* mnemonics) {
  std::string text;
  return write(block, mnemonics, text, &sink);
}

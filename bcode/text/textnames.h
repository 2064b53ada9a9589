// What the text writer and reader share: the words of the enumerations, the
// classes of constants, immediates and memory operands with the shape of
// their text, the mnemonics that fit the text, the escapes of quoted texts,
// the loading and layout that tell derived offsets from given ones, and the
// nearest-name suggestion of the error messages. Internal to the library.
#ifndef BCODE_TEXT_TEXTNAMES_H
#define BCODE_TEXT_TEXTNAMES_H

#include <array>
#include <cstdint>
#include <iosfwd>
#include <streambuf>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class BCode;
class BCSSBEntry;
class BCLDEntry;
class BCLDList;

namespace bctext {

// A table of words for the values of one enumeration. Values without a word
// are written as numbers.
class WordTable {
 public:
  struct Word {
    unsigned value;
    std::string_view text;
  };
  explicit WordTable(std::vector<Word> words) : words_(std::move(words)) {}

  // The word of `value`, or an empty view.
  std::string_view name(unsigned value) const;
  // The value of `word`, or -1.
  int find(std::string_view word) const;
  const std::vector<Word>& words() const { return words_; }

 private:
  std::vector<Word> words_;
};

const WordTable& blockKinds();    // OB .. SDB
const WordTable& paramKinds();    // IN, OUT, IN_OUT, STAT
const WordTable& dataTypes();     // the data type codes with a name
const WordTable& tmpStatuses();   // TMG, TML, TMT
const WordTable& tmpAreas();      // L, G
const WordTable& typeKeywords();  // the words that open a type entry

// How the text of a memory operand is shaped, by family.
enum class OperandFamily : int {
  Area,       // E, A, M, PE, PA: offset and type
  DbArea,     // DBBER: data block, offset and type
  Numbered,   // MFL, T, Z and the blocks: a number
  OwnFB,      // an interface entry, with type and offset
  SonFB,      // as OwnFB, and the called block's number
  OwnFC,      // an interface entry, with type
  SonFC,      // as OwnFC, and the called block's number
  CallParam,  // ICEP, ICAP: call and parameter number, type and block kind
  Local,      // LSD, LDD: a variable, with type and offset
};

// The classes of bcode/operand/bcoperand.def, bcode/const/bcconstant.def
// and bcode/const/bcimmediate.def, in their order, with what their text
// needs; a class added there without it does not compile.
struct OperandClass {
  unsigned char tag;
  std::string_view name;  // the listing's class name, which the text writes
  OperandFamily family;
};
// By class tag; null for a tag without a class.
const OperandClass* operandClass(unsigned tag);
const WordTable& operandClasses();

// The literal a constant class is written with.
enum class Literal : int { Unsigned, Signed, Real, Time, K4Time, Tod, Date, DateAndTime, Quoted };

struct ConstantClass {
  unsigned char tag;
  unsigned char dataType;  // its name is the class's keyword
  Literal literal;
  const char* example;  // for the error message of a wrong literal
};
const ConstantClass* constantClass(unsigned tag);
const WordTable& constantClasses();

// The value an immediate class carries.
enum class ImmValue : int { Byte, Char, Word, Int, Nil };

struct ImmClass {
  unsigned char tag;
  unsigned char dataType;  // its name is the class's keyword
  ImmValue value;
};
const ImmClass* immClass(unsigned tag);
const WordTable& immClasses();

// The words that open the instruction operands other than immediates (TMP,
// NUM, CST, OPD) by class tag: those of the listing, bcode/instr/bcinstrop.def.
inline constexpr std::string_view kInstrOpWords[] = {
#define BC_X(tag, Class, word) word,
#include "bcode/instr/bcinstrop.def"
#undef BC_X
};

// Instruction codes: a mnemonic of the caller's table where it fits the text
// (it reads as one word that is not IC<n> and no other code has it), else
// IC<code>.
class Opcodes {
 public:
  explicit Opcodes(const char* const* mnemonics);
  // The mnemonic of `code`, or an empty view when IC<code> is written.
  std::string_view mnemonic(unsigned code) const { return byCode_[code & 0xFF]; }
  // The code of `word` (a mnemonic or IC<code>), or -1.
  int find(std::string_view word) const;
  // Every name the reader knows, for suggestions.
  std::vector<std::string_view> names() const;

 private:
  std::array<std::string_view, 256> byCode_{};
  std::unordered_map<std::string_view, int> byWord_;  // -1: a mnemonic of two codes
};

// Whether a name can stand in the text without quotes.
bool isPlainName(std::string_view text);
// Appends `text` quoted: ' and $ escaped as $' and $$, bytes outside the
// printable ASCII range as $ and two hex digits.
void appendQuoted(std::string& out, std::string_view text);
// Appends the bytes a quoted text (with its quotes) stands for.
void appendUnquoted(std::string& out, std::string_view quoted);

// Every entry of every interface description in list order, and every
// local variable, LDD first, then LSD.
std::vector<BCSSBEntry*> interfaceEntriesOf(const BCode& block);
std::vector<BCLDEntry*> variablesOf(const BCode& block);

// Lays the block out as a read text is: the block's own layout, then every
// FB and SFB interface and both local data lists on their own. Failures are
// left in the error flags.
void layOutAll(BCode& block);

// Sections of a block record read into `block` as BCode::iload reads them:
// a table or list that loads replaces the block's. False, with the flags of
// the failure set, when the section does not load. Instance types find
// their interfaces in the block's interface list, which loadInterfaceList
// fills.
bool loadTypeTable(BCode& block, std::istream& is);
bool loadInterfaceList(BCode& block, std::istream& is);
bool loadLocalData(BCode& block, std::istream& is, bool lsd);

// The offsets layOutAll gives the entries and variables of `block` (in the
// order above) when they start from 0. The block is only read: the layout
// runs on a copy of its types, interfaces and local data, made through their
// records, which takes the block's view numbers. False when one of those
// does not save or does not load back; the flags of the failure stay set.
// Expects every flag clear, and may leave flags of the copy's layout set.
struct LaidOut {
  std::vector<std::uint32_t> entries;
  std::vector<std::uint32_t> variables;
};
bool derivedOffsets(const BCode& block, LaidOut& derived);

// Reads bytes in place.
class BytesIn : public std::streambuf {
 public:
  explicit BytesIn(const std::string& bytes) {
    char* begin = const_cast<char*>(bytes.data());  // only ever read
    setg(begin, begin, begin + bytes.size());
  }
};

// What a parameter or local data operand takes from the entry it names, by
// the rule of its public constructor: the entry's type and offset (for a
// variable that views another, the viewed one's offset); none of it when the
// entry is missing.
struct FromEntry {
  bool found = false;
  std::uint16_t type = 0;
  std::uint32_t offset = 0;
};
FromEntry fromInterfaceEntry(const BCode& block, unsigned kind, std::uint16_t blockNo,
                             std::uint16_t parNo);
FromEntry fromVariable(const BCode& block, bool lsd, std::uint16_t varNo);

// " (did you mean 'X'?)" for the name nearest to `word`, or "".
std::string suggestion(std::string_view word, const std::vector<std::string_view>& candidates);
std::vector<std::string_view> wordsOf(const WordTable& table);

}  // namespace bctext

#endif  // BCODE_TEXT_TEXTNAMES_H

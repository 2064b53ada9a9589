#include "bcode/code/bcnametables.h"

#include <cstddef>

#include "bcode/instr/bcinstruction.h"
#include "bcode/operand/bcoperand.h"

namespace {

// Room for the longest name and its zero.
constexpr int kNameSize = 12;

template <int N>
struct NameStore {
  char text[N][kNameSize] = {};
};

template <int N>
struct NameTable {
  const char* names[N] = {};
};

struct CodeName {
  unsigned code;
  const char* name;
};

struct CodeColumn {
  unsigned code;
  int column;
};

constexpr CodeColumn kMnemonicColumns[] = {
#define BC_X(code, column) {BCInstruction::code, column},
#include "bcode/instr/bcinstruction.def"
#undef BC_X
};
static_assert(sizeof kMnemonicColumns / sizeof kMnemonicColumns[0] == kBCMnemonicCount,
              "bcinstruction.def: one row per mnemonic column");

constexpr CodeName kTypeNames[] = {
    {1, "BOOL"},    {2, "BYTE"},     {3, "CHAR"},      {4, "WORD"},        {5, "INT"},
    {6, "DWORD"},   {7, "DINT"},     {8, "REAL"},      {9, "DATE"},        {10, "TOD"},
    {11, "TIME"},   {12, "K4TIME"},  {14, "DT"},       {16, "ARRAY"},      {17, "STRUCT"},
    {19, "STRING"}, {20, "POINTER"}, {22, "ANY"},      {23, "FB_NO"},      {24, "FC_NO"},
    {25, "DB_NO"},  {26, "SDB_NO"},  {27, "INSTANCE"}, {28, "COUNTER_NO"}, {29, "TIMER_NO"},
    {30, "ELEM30"}, {31, "ELEM31"},
};

constexpr CodeName kOperandClassNames[] = {
    {BCOperand::CT_NONE, "???"},
#define BC_X(tag, Class, blank, name, ...) {BCOperand::tag, name},
#include "bcode/operand/bcoperand.def"
#undef BC_X
};

constexpr CodeName kParamKindNames[] = {{0, "IN"}, {1, "OUT"}, {2, "IN_OUT"}, {3, "STAT"}};

constexpr void copyName(char (&out)[kNameSize], const char* text) {
  int at = 0;
  for (; text[at] != '\0' && at < kNameSize - 1; ++at) out[at] = text[at];
  out[at] = '\0';
}

// `prefix` followed by `number` in decimal.
constexpr void numberedName(char (&out)[kNameSize], const char* prefix, unsigned number) {
  int at = 0;
  for (; prefix[at] != '\0'; ++at) out[at] = prefix[at];
  char digits[4] = {};
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0);
  while (count > 0) out[at++] = digits[--count];
  out[at] = '\0';
}

// "<prefix><index>" for every entry, the known names over them.
template <int N, std::size_t M>
constexpr NameStore<N> makeNames(const char* prefix, const CodeName (&known)[M]) {
  NameStore<N> store;
  for (int i = 0; i < N; ++i) numberedName(store.text[i], prefix, static_cast<unsigned>(i));
  for (const CodeName& entry : known) copyName(store.text[entry.code], entry.name);
  return store;
}

constexpr NameStore<kBCMnemonicCount> makeMnemonics() {
  NameStore<kBCMnemonicCount> store;
  for (const CodeColumn& entry : kMnemonicColumns) {
    numberedName(store.text[entry.column], "IC", entry.code);
  }
  return store;
}

template <int N>
constexpr NameTable<N> pointersInto(const NameStore<N>& store) {
  NameTable<N> table;
  for (int i = 0; i < N; ++i) table.names[i] = store.text[i];
  return table;
}

constexpr auto kMnemonicText = makeMnemonics();
constexpr auto kTypeNameText = makeNames<kBCTypeNameCount>("TYPE", kTypeNames);
constexpr auto kOperandClassText = makeNames<kBCOperandClassNameCount>("CLASS", kOperandClassNames);
constexpr auto kParamKindText = makeNames<kBCParamKindNameCount>("KIND", kParamKindNames);

constexpr auto kMnemonicTable = pointersInto(kMnemonicText);
constexpr auto kTypeNameTable = pointersInto(kTypeNameText);
constexpr auto kOperandClassTable = pointersInto(kOperandClassText);
constexpr auto kParamKindTable = pointersInto(kParamKindText);

}  // namespace

const char* const* bcDefaultMnemonics() {
  return kMnemonicTable.names;
}
const char* const* bcDefaultTypeNames() {
  return kTypeNameTable.names;
}
const char* const* bcDefaultOperandClassNames() {
  return kOperandClassTable.names;
}
const char* const* bcDefaultParamKindNames() {
  return kParamKindTable.names;
}

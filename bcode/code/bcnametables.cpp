#include "bcode/code/bcnametables.h"

#include <cstddef>

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

// The listing column of each instruction code the listing knows.
constexpr CodeColumn kMnemonicColumns[kBCMnemonicCount] = {
    {0, 3},    {8, 34},   {12, 56},  {16, 42},  {18, 43},  {20, 45},  {22, 46},  {24, 26},
    {32, 2},   {36, 49},  {40, 28},  {44, 11},  {48, 19},  {52, 10},  {56, 44},  {64, 30},
    {68, 33},  {72, 41},  {74, 53},  {78, 0},   {80, 27},  {84, 29},  {88, 8},   {96, 14},
    {104, 31}, {112, 17}, {116, 18}, {120, 23}, {124, 25}, {128, 13}, {132, 15}, {136, 12},
    {140, 40}, {144, 20}, {152, 6},  {160, 35}, {168, 36}, {176, 37}, {184, 38}, {192, 22},
    {200, 21}, {208, 1},  {209, 4},  {210, 5},  {211, 7},  {212, 9},  {213, 16}, {214, 24},
    {215, 39}, {216, 47}, {217, 48}, {218, 50}, {219, 51}, {224, 55}, {232, 54}, {248, 52},
    {255, 32},
};

constexpr CodeName kTypeNames[] = {
    {1, "BOOL"},    {2, "BYTE"},     {3, "CHAR"},      {4, "WORD"},        {5, "INT"},
    {6, "DWORD"},   {7, "DINT"},     {8, "REAL"},      {9, "DATE"},        {10, "TOD"},
    {11, "TIME"},   {12, "K4TIME"},  {14, "DT"},       {16, "ARRAY"},      {17, "STRUCT"},
    {19, "STRING"}, {20, "POINTER"}, {22, "ANY"},      {23, "FB_NO"},      {24, "FC_NO"},
    {25, "DB_NO"},  {26, "SDB_NO"},  {27, "INSTANCE"}, {28, "COUNTER_NO"}, {29, "TIMER_NO"},
    {30, "ELEM30"}, {31, "ELEM31"},
};

constexpr CodeName kOperandClassNames[] = {
    {0, "???"},    {1, "E"},      {2, "A"},      {3, "M"},      {4, "PE"},     {5, "PA"},
    {6, "MFL"},    {7, "FBEP"},   {8, "FBAP"},   {9, "FBDP"},   {10, "FCEP"},  {11, "FCAP"},
    {12, "FCDP"},  {13, "SFBEP"}, {14, "SFBAP"}, {15, "SFBDP"}, {16, "SFCEP"}, {17, "SFCAP"},
    {18, "SFCDP"}, {19, "LSD"},   {20, "LDD"},   {21, "DBBER"}, {22, "T"},     {23, "Z"},
    {24, "OB"},    {25, "FB"},    {26, "FC"},    {27, "SFB"},   {28, "SFC"},   {29, "DB"},
    {30, "SDB"},   {31, "ICALL"}, {32, "ICEP"},  {33, "ICAP"},
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

int bcMnemonicColumn(unsigned code) {
  for (const CodeColumn& entry : kMnemonicColumns) {
    if (entry.code == code) return entry.column;
  }
  return -1;
}

// The data type codes of the library and their storage rules: one table for
// every code that has a meaning here, with storage length, alignment (both in
// bits) and whether a KRElemDesc stands for it. The 23 elementary codes in
// table order are both the predefined type indices 1 .. 23 of a new block and
// the slots of the type table's cached references.
#ifndef BCODE_TYPES_KRDATATYPE_H
#define BCODE_TYPES_KRDATATYPE_H

#include <cstddef>
#include <cstdint>

enum KR_DATA_TYPE : int {
  KR_DT_BOOL = 1,
  KR_DT_BYTE = 2,
  KR_DT_CHAR = 3,
  KR_DT_WORD = 4,
  KR_DT_INT = 5,
  KR_DT_DWORD = 6,
  KR_DT_DINT = 7,
  KR_DT_REAL = 8,
  KR_DT_DATE = 9,
  KR_DT_TOD = 10,
  KR_DT_TIME = 11,
  KR_DT_K4TIME = 12,
  KR_DT_DT = 14,
  KR_DT_ARRAY = 16,
  KR_DT_STRUCT = 17,
  KR_DT_STRING = 19,
  KR_DT_POINTER = 20,
  KR_DT_ANY = 22,
  KR_DT_FB_NO = 23,
  KR_DT_FC_NO = 24,
  KR_DT_DB_NO = 25,
  KR_DT_SDB_NO = 26,
  KR_DT_INSTANCE = 27,
  KR_DT_COUNTER_NO = 28,
  KR_DT_TIMER_NO = 29,
  KR_DT_ELEM30 = 30,
  KR_DT_ELEM31 = 31,
};

struct KRDataTypeInfo {
  unsigned char code;
  std::uint32_t storageLength;  // bits; 0 where the descriptor computes it
  std::uint32_t alignment;      // bits
  bool elementary;              // represented by a KRElemDesc
};

inline constexpr KRDataTypeInfo kKRDataTypes[] = {
    {KR_DT_BOOL, 1, 1, true},       {KR_DT_BYTE, 8, 8, true},
    {KR_DT_CHAR, 8, 8, true},       {KR_DT_WORD, 16, 16, true},
    {KR_DT_INT, 16, 16, true},      {KR_DT_DWORD, 32, 16, true},
    {KR_DT_DINT, 32, 16, true},     {KR_DT_REAL, 32, 16, true},
    {KR_DT_DATE, 16, 16, true},     {KR_DT_TOD, 32, 16, true},
    {KR_DT_TIME, 32, 16, true},     {KR_DT_K4TIME, 16, 16, true},
    {KR_DT_DT, 64, 16, true},       {KR_DT_ARRAY, 0, 16, false},
    {KR_DT_STRUCT, 0, 16, false},   {KR_DT_STRING, 0, 16, false},
    {KR_DT_POINTER, 48, 16, true},  {KR_DT_ANY, 80, 16, true},
    {KR_DT_FB_NO, 16, 16, true},    {KR_DT_FC_NO, 16, 16, true},
    {KR_DT_DB_NO, 16, 16, true},    {KR_DT_SDB_NO, 16, 16, true},
    {KR_DT_INSTANCE, 0, 16, false}, {KR_DT_COUNTER_NO, 16, 16, true},
    {KR_DT_TIMER_NO, 16, 16, true}, {KR_DT_ELEM30, 80, 16, true},
    {KR_DT_ELEM31, 48, 16, true},
};

constexpr std::size_t kKRElemTypeCount = 23;

// The elementary codes in table order: code kKRElemTypeCodes[i] is the
// predefined type index i + 1.
inline constexpr unsigned char kKRElemTypeCodes[kKRElemTypeCount] = {
    1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 20, 22, 23, 24, 25, 26, 28, 29, 30, 31};

namespace krdatatype_detail {
// Row of each code below 32 in kKRDataTypes and slot in kKRElemTypeCodes
// (-1: none), so that the hot storage rules look a code up in one step.
struct CodeIndex {
  signed char row[32];
  signed char elemSlot[32];
};
constexpr CodeIndex makeCodeIndex() {
  CodeIndex index{};
  for (int code = 0; code < 32; ++code) index.row[code] = index.elemSlot[code] = -1;
  for (std::size_t i = 0; i < sizeof kKRDataTypes / sizeof kKRDataTypes[0]; ++i) {
    index.row[kKRDataTypes[i].code] = static_cast<signed char>(i);
  }
  for (std::size_t i = 0; i < kKRElemTypeCount; ++i) {
    index.elemSlot[kKRElemTypeCodes[i]] = static_cast<signed char>(i);
  }
  return index;
}
inline constexpr CodeIndex kCodeIndex = makeCodeIndex();
}  // namespace krdatatype_detail

// The table row of `code`, or null for a code without meaning here.
constexpr const KRDataTypeInfo* krFindDataType(unsigned code) {
  if (code >= 32) return nullptr;
  const int row = krdatatype_detail::kCodeIndex.row[code];
  return row < 0 ? nullptr : &kKRDataTypes[row];
}

constexpr bool krIsElemTypeCode(unsigned code) {
  const KRDataTypeInfo* info = krFindDataType(code);
  return info != nullptr && info->elementary;
}

// The slot of an elementary code in kKRElemTypeCodes, -1 for any other code.
constexpr int krElemTypeSlot(unsigned code) {
  return code < 32 ? krdatatype_detail::kCodeIndex.elemSlot[code] : -1;
}

// The entry of a type name table that lists a data type code: codes 254
// and 255 share the names of 30 and 31.
constexpr unsigned krTypeNameIndex(unsigned code) {
  return code == 254 || code == 255 ? code - 224 : code;
}

namespace krdatatype_detail {
constexpr bool elemCodesMatchTable() {
  std::size_t elementary = 0;
  for (const KRDataTypeInfo& info : kKRDataTypes) {
    if (info.elementary) {
      if (elementary >= kKRElemTypeCount || kKRElemTypeCodes[elementary] != info.code) {
        return false;
      }
      ++elementary;
    }
  }
  return elementary == kKRElemTypeCount;
}
}  // namespace krdatatype_detail
static_assert(krdatatype_detail::elemCodesMatchTable(),
              "the elementary codes must be the table's elementary rows in order");

#endif  // BCODE_TYPES_KRDATATYPE_H

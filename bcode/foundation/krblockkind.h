// The kinds of program block. Records carry the kind as one byte, so the
// enumeration holds any byte value (an ICALL parameter's kind is 8).
#ifndef BCODE_FOUNDATION_KRBLOCKKIND_H
#define BCODE_FOUNDATION_KRBLOCKKIND_H

enum KR_BLOCK_KIND : int {
  KR_OB_KENN = 1,
  KR_FB_KENN,
  KR_SFB_KENN,
  KR_FC_KENN,
  KR_SFC_KENN,
  KR_DB_KENN,
  KR_SDB_KENN
};

// The block kind of a parameter of a numbered call object (BCParICALL).
constexpr KR_BLOCK_KIND kKRCallParamBlockKind = static_cast<KR_BLOCK_KIND>(8);

// The short name of a block kind as listings, reports and the text form
// write it, "OB" to "SDB"; null for a value outside the seven kinds.
constexpr const char* krBlockKindName(int kind) {
  constexpr const char* kNames[] = {"OB", "FB", "SFB", "FC", "SFC", "DB", "SDB"};
  return kind >= KR_OB_KENN && kind <= KR_SDB_KENN ? kNames[kind - KR_OB_KENN] : nullptr;
}

#endif  // BCODE_FOUNDATION_KRBLOCKKIND_H

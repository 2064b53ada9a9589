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

#endif  // BCODE_FOUNDATION_KRBLOCKKIND_H

#include "bcode/bcode.h"

void bcInitBCode() {
  KRString::error = KRString::KRSTRING_OK;
}

#include "bcode/code/bcerrorflags.h"

#include <algorithm>
#include <type_traits>

#include "bcode/code/bcinternal.h"
#include "bcode/code/bcode.h"
#include "bcode/const/bcconstant.h"
#include "bcode/foundation/krerror.h"
#include "bcode/foundation/krystrng.h"
#include "bcode/instr/bcinstrop.h"
#include "bcode/instr/bcinstruction.h"
#include "bcode/interface/bcssb.h"
#include "bcode/interface/bcssbentry.h"
#include "bcode/localdata/bcldlist.h"
#include "bcode/operand/bcoperand.h"
#include "bcode/types/krtypedesc.h"
#include "bcode/types/krtypetab.h"

namespace {

constexpr const char* kNoError = "no error";
constexpr const char* kUnknownValue = "an error this library does not know";

// The meaning of `value` for flags of type Errors; null for a value without one.
template <class Errors>
const char* meaningOf(int value) {
  if (value == 0) return kNoError;
#define BC_ERROR_VALUE(Type, enumerator, meaning)                                         \
  if (std::is_same<Errors, Type>::value && value == static_cast<int>(Type::enumerator)) { \
    return meaning;                                                                       \
  }
#include "bcode/code/bcerrorflags.def"
  return nullptr;
}

struct Flag {
  const char* owner;
  int (*value)();
  void (*clear)();
  void (*set)(int value);
  const char* (*meaning)(int value);
};

const Flag kFlags[] = {
#define BC_ERROR_FLAG(Owner, words)                                                 \
  {words, &bcFlagValue<Owner>, &bcClearFlag<Owner>, &KRErrorFlagAccess::set<Owner>, \
   &meaningOf<typename Owner::ERRORS>},
#include "bcode/code/bcerrorflags.def"
};

constexpr int kFlagCount = static_cast<int>(sizeof kFlags / sizeof kFlags[0]);
static_assert(kFlagCount <= BCErrorFlagsKept::kCapacity, "BCErrorFlagsKept holds every flag");

bool isFlag(int n) {
  return n >= 0 && n < kFlagCount;
}

}  // namespace

void bcInitBCode() {
  for (const Flag& flag : kFlags) flag.clear();
}

int bcErrorFlagCount() {
  return kFlagCount;
}

BCErrorFlag bcErrorFlagAt(int n) {
  if (!isFlag(n)) return {"", 0, kNoError};
  const Flag& flag = kFlags[n];
  const int value = flag.value();
  const char* meaning = flag.meaning(value);
  return {flag.owner, value, meaning != nullptr ? meaning : kUnknownValue};
}

int bcNextSetErrorFlag(int n) {
  for (n = std::max(n, 0); n < kFlagCount; ++n) {
    if (kFlags[n].value() != 0) return n;
  }
  return kFlagCount;
}

const char* bcErrorFlagMeaning(int n, int value) {
  return isFlag(n) ? kFlags[n].meaning(value) : nullptr;
}

BCErrorFlagsKept::BCErrorFlagsKept() {
  for (int n = 0; n < kFlagCount; ++n) {
    values_[n] = kFlags[n].value();
    kFlags[n].clear();
  }
}

BCErrorFlagsKept::~BCErrorFlagsKept() {
  for (int n = 0; n < kFlagCount; ++n) {
    if (!keepRaised_ || kFlags[n].value() == 0) kFlags[n].set(values_[n]);
  }
}

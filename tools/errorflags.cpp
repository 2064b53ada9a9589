#include "errorflags.h"

#include "bcode/code/bcode.h"
#include "bcode/const/bcconstant.h"
#include "bcode/const/bcconstlist.h"
#include "bcode/instr/bcinstrop.h"
#include "bcode/instr/bcinstruction.h"
#include "bcode/interface/bcssb.h"
#include "bcode/interface/bcssbentry.h"
#include "bcode/localdata/bcldlist.h"
#include "bcode/operand/bcoperand.h"
#include "bcode/types/krtypedesc.h"
#include "bcode/types/krtypetab.h"

namespace bctool {

namespace {

struct FlagSource {
  const char* name;
  int (*read)();
};

template <class C>
int classFlag() {
  return static_cast<int>(C::getError());
}

template <class Container>
int containerFlag() {
  return static_cast<int>(Container::error);
}

int stringFlag() {
  return static_cast<int>(KRString::error);
}

// In record order, each container before its elements.
const FlagSource kFlags[] = {
    {"BCode::error", classFlag<BCode>},
    {"KRRefTable<KRTypedesc*>::error", containerFlag<KRRefTable<KRTypedesc*>>},
    {"KRTypedesc::error", classFlag<KRTypedesc>},
    {"KRArrayRange::error", classFlag<KRArrayRange>},
    {"KRStructComp::error", classFlag<KRStructComp>},
    {"BCSSBList::error", classFlag<BCSSBList>},
    {"KRSequence<BCSSB*>::error", containerFlag<KRSequence<BCSSB*>>},
    {"KRSequence<BCSSBEntry*>::error", containerFlag<KRSequence<BCSSBEntry*>>},
    {"BCSSBEntry::error", classFlag<BCSSBEntry>},
    {"KRSequence<BCLDEntry*>::error", containerFlag<KRSequence<BCLDEntry*>>},
    {"BCLDEntry::error", classFlag<BCLDEntry>},
    {"KRRefTable<BCConstant*>::error", containerFlag<KRRefTable<BCConstant*>>},
    {"BCConstant::error", classFlag<BCConstant>},
    {"KRRefTable<BCOperand*>::error", containerFlag<KRRefTable<BCOperand*>>},
    {"BCOperand::error", classFlag<BCOperand>},
    {"KRSequence<BCInstruction*>::error", containerFlag<KRSequence<BCInstruction*>>},
    {"BCInstruction::error", classFlag<BCInstruction>},
    {"BCInstructionOp::error", classFlag<BCInstructionOp>},
    {"KRString::error", stringFlag},
};

}  // namespace

std::vector<ErrorFlag> setErrorFlags() {
  std::vector<ErrorFlag> flags;
  for (const FlagSource& source : kFlags) {
    int value = source.read();
    if (value != 0) flags.push_back({source.name, value});
  }
  return flags;
}

std::string errorFlagsText() {
  std::string text;
  for (const ErrorFlag& flag : setErrorFlags()) {
    if (!text.empty()) text += ", ";
    text += std::string(flag.name) + "=" + std::to_string(flag.value);
  }
  return text;
}

}  // namespace bctool

#include "bcode/code/bcode.h"
#include "bcode/const/bcconstant.h"
#include "bcode/const/bcconstlist.h"
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

void bcInitBCode() {
  BCode::resetError();
  BCInstruction::resetError();
  BCInstructionOp::resetError();
  KRSequence<BCInstruction*>::error = KRSEQUENCE_OK;
  BCConstant::resetError();
  KRRefTable<BCConstant*>::error = KRREFTABLE_OK;
  BCOperand::resetError();
  KRRefTable<BCOperand*>::error = KRREFTABLE_OK;
  BCLDEntry::resetError();
  KRSequence<BCLDEntry*>::error = KRSEQUENCE_OK;
  BCSSBList::resetError();
  BCSSBEntry::resetError();
  KRSequence<BCSSBEntry*>::error = KRSEQUENCE_OK;
  KRSequence<BCSSB*>::error = KRSEQUENCE_OK;
  KRRefTable<KRTypedesc*>::error = KRREFTABLE_OK;
  KRTypedesc::resetError();
  KRArrayRange::resetError();
  KRStructComp::resetError();
  KRString::error = KRString::KRSTRING_OK;
}

// Umbrella header: every public class of the library.
#ifndef BCODE_BCODE_H
#define BCODE_BCODE_H

#include "bcode/foundation/krblockkind.h"
#include "bcode/foundation/krcalendar.h"
#include "bcode/foundation/krerror.h"
#include "bcode/foundation/krfieldio.h"
#include "bcode/foundation/krlistline.h"
#include "bcode/foundation/kryarr.h"
#include "bcode/foundation/kryflag.h"
#include "bcode/foundation/kryref.h"
#include "bcode/foundation/krysequ.h"
#include "bcode/foundation/krystrng.h"
#include "bcode/types/krdatatype.h"
#include "bcode/types/krtypedesc.h"
#include "bcode/types/krtypetab.h"
#include "bcode/interface/bcssbentry.h"
#include "bcode/interface/bcssb.h"
#include "bcode/localdata/bcldlist.h"
#include "bcode/const/bcconstant.h"
#include "bcode/const/bcconstlist.h"
#include "bcode/const/bcimmediate.h"
#include "bcode/operand/bcoperand.h"
#include "bcode/operand/bcglobal.h"
#include "bcode/operand/bcparam.h"
#include "bcode/operand/bclocal.h"
#include "bcode/instr/bcinstrop.h"
#include "bcode/instr/bcinstruction.h"
#include "bcode/code/bcode.h"
#include "bcode/code/bcnametables.h"
#include "bcode/version.h"

#endif  // BCODE_BCODE_H

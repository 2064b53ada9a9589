// What the table of memory operand classes (bcoperand.def) makes of the
// classes themselves: the loader's factory. It knows all the leaves, so it
// stands apart from the families' own sources.
#include <new>

#include "bcode/operand/bcglobal.h"
#include "bcode/operand/bclocal.h"
#include "bcode/operand/bcoperand.h"
#include "bcode/operand/bcparam.h"

BCOperand* BCOperand::newOfClass(unsigned tag) {
  switch (tag) {
#define BC_X(classTag, Class, blank, ...) \
  case classTag:                          \
    return new (std::nothrow) Class blank;
#include "bcode/operand/bcoperand.def"
#undef BC_X
    default:
      return nullptr;
  }
}

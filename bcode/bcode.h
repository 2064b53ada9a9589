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
#include "bcode/version.h"

#endif  // BCODE_BCODE_H

// The library's error flags as a report shows them: what each flag belongs to
// and what its value means, in a user's words. The flags are those that
// bcInitBCode clears, in the same order.
//
//   for (int n = bcNextSetErrorFlag(0); n < bcErrorFlagCount(); n = bcNextSetErrorFlag(n + 1)) {
//     const BCErrorFlag flag = bcErrorFlagAt(n);
//     std::cerr << flag.owner << ": " << flag.meaning << '\n';
//   }
#ifndef BCODE_CODE_BCERRORFLAGS_H
#define BCODE_CODE_BCERRORFLAGS_H

#include "bcode/foundation/krexport.h"

// One flag of the calling thread as it stands.
struct BCErrorFlag {
  const char* owner;    // what the flag belongs to: "block", "operand table", "operand", ...
  int value;            // its value; 0 when it is clear
  const char* meaning;  // what the value means; "no error" for 0
};

// The number of flags.
BCODE_API int bcErrorFlagCount();

// Flag n (0 <= n < bcErrorFlagCount()) with its value now; for any other n
// an empty owner and value 0.
BCODE_API BCErrorFlag bcErrorFlagAt(int n);

// The first flag at or after n that is set; bcErrorFlagCount() when none is.
BCODE_API int bcNextSetErrorFlag(int n);

// What `value` means for flag n: "no error" for 0, null for a value the flag
// never takes.
BCODE_API const char* bcErrorFlagMeaning(int n, int value);

#endif  // BCODE_CODE_BCERRORFLAGS_H

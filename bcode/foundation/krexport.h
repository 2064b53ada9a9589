// Symbol visibility of the library. Everything is hidden unless marked with
// BCODE_API; the exported classes and the shared container instantiations are.
#ifndef BCODE_FOUNDATION_KREXPORT_H
#define BCODE_FOUNDATION_KREXPORT_H

#define BCODE_API __attribute__((visibility("default")))

#endif  // BCODE_FOUNDATION_KREXPORT_H

// Sharing one type walk among many queries. Internal to the library.
#ifndef BCODE_TYPES_KRTYPEWALK_H
#define BCODE_TYPES_KRTYPEWALK_H

#include <memory>

struct KRTypeWalkState;

// While a scope lives on a thread, the type queries made there (storage
// lengths, alignments in arrays, equality) share one walk: each type's answer
// is worked out once and then remembered, however many entries ask for it.
// For passes that change no type, interface description or type table while
// they run, such as laying out an interface description or a local data
// list. A scope made inside another one joins it.
class KRTypeQueryScope {
 public:
  KRTypeQueryScope();
  ~KRTypeQueryScope();
  KRTypeQueryScope(const KRTypeQueryScope&) = delete;
  KRTypeQueryScope& operator=(const KRTypeQueryScope&) = delete;

 private:
  std::unique_ptr<KRTypeWalkState> own_;  // null when joining, or without memory
};

#endif  // BCODE_TYPES_KRTYPEWALK_H

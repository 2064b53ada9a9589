// What the block's source files share: reading and clearing any error flag
// the same way, and making a collection. Internal to the library.
#ifndef BCODE_CODE_BCINTERNAL_H
#define BCODE_CODE_BCINTERNAL_H

#include <memory>
#include <new>

#include "bcode/foundation/krerror.h"
#include "bcode/foundation/krysequ.h"

// A flag belongs to a class (getError(), resetError()) or to a container
// instantiation or the string class (the static member `error`).

template <class Owner>
int bcFlagValue() {
  if constexpr (KRHasErrorFlag<Owner>::value) {
    return static_cast<int>(Owner::getError());
  } else {
    return static_cast<int>(Owner::error);
  }
}

template <class Owner>
void bcClearFlag() {
  if constexpr (KRHasErrorFlag<Owner>::value) {
    Owner::resetError();
  } else {
    Owner::error = static_cast<typename Owner::ERRORS>(0);
  }
}

// Clears the flag; answers whether it was set.
template <class Owner>
bool bcTakeFlag() {
  if (bcFlagValue<Owner>() == 0) return false;
  bcClearFlag<Owner>();
  return true;
}

// A new empty collection, null when it cannot be allocated.
template <class Collection>
std::unique_ptr<Collection> bcNewCollection() {
  try {
    return std::unique_ptr<Collection>(new (std::nothrow) Collection());
  } catch (const KRErrorNoHeap&) {
    return nullptr;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

#endif  // BCODE_CODE_BCINTERNAL_H

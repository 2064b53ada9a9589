// What the block's source files share: reading and clearing any error flag
// the same way, and making a collection. Internal to the library.
#ifndef BCODE_CODE_BCINTERNAL_H
#define BCODE_CODE_BCINTERNAL_H

#include <memory>
#include <new>

#include "bcode/code/bcode.h"
#include "bcode/foundation/krarena.h"
#include "bcode/foundation/krerror.h"
#include "bcode/foundation/krysequ.h"

// The arena of a block being built: what a reader makes in bulk goes there.
struct BCArenaAccess {
  static KRArena& of(BCode& block) { return block.arena_; }
};

// Array bounds in a block record are four bytes wide.
constexpr unsigned int kBCRecordBoundaryByteLen = 4;

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

// Gives a flag a value: the one it had before the library set it aside, or
// a failure the library reports for a class other than the flag's.
struct KRErrorFlagAccess {
  template <class Owner>
  static void set(int value) {
    if constexpr (KRHasErrorFlag<Owner>::value) {
      Owner::setError(static_cast<typename Owner::ERRORS>(value));
    } else {
      Owner::error = static_cast<typename Owner::ERRORS>(value);
    }
  }
};

// Sets the calling thread's error flags aside for work that must not change
// them: takes every flag when made, leaving all of them clear, and puts
// every one back when it goes, also when an exception passes. A flag raised
// meanwhile is lost, unless keepRaised() was called: then it stays.
class BCErrorFlagsKept {
 public:
  BCErrorFlagsKept();
  ~BCErrorFlagsKept();
  BCErrorFlagsKept(const BCErrorFlagsKept&) = delete;
  BCErrorFlagsKept& operator=(const BCErrorFlagsKept&) = delete;

  void keepRaised() { keepRaised_ = true; }

  // Room for every flag of bcode/code/bcerrorflags.def.
  static constexpr int kCapacity = 32;

 private:
  int values_[kCapacity] = {};
  bool keepRaised_ = false;
};

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

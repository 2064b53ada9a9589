// Failure reporting shared by the whole library: the out-of-memory exception,
// the always-on assertion and the per-thread error flag every class carries.
#ifndef BCODE_FOUNDATION_KRERROR_H
#define BCODE_FOUNDATION_KRERROR_H

#include <cstdint>

#include "bcode/foundation/krexport.h"

// Thrown when memory runs out inside a container or a string copy. It names
// the header whose code failed (base name only) and the failing line.
class BCODE_API KRErrorNoHeap {
 public:
  KRErrorNoHeap(const char* headerPath, std::int32_t line);

  const char* getHeader() const { return header_; }
  std::int32_t getLine() const { return line_; }

 private:
  char header_[32];
  std::int32_t line_;
};

// Reports the text of a failed consistency check and aborts. Compiled into
// every build; no input may ever reach one.
[[noreturn]] BCODE_API void krAssertFailed(const char* text, const char* file, int line);

#define KR_ASSERT(condition, text) \
  ((condition) ? static_cast<void>(0) : krAssertFailed((text), __FILE__, __LINE__))

// Declares the error flag of a class: a nested enumeration `ERRORS` must be
// declared before it. The flag itself lives in the class's source file
// (KR_DEFINE_ERROR_FLAG), one per thread. Leaves the access at `public`.
// KRErrorFlagAccess, inside the library, puts back flags it set aside.
#define KR_ERROR_FLAG_MEMBERS()            \
 public:                                   \
  static ERRORS getError();                \
  static void resetError();                \
                                           \
 protected:                                \
  static void setError(ERRORS errorValue); \
  friend struct KRErrorFlagAccess;         \
                                           \
 public:

// Defines the flag and its accessors declared with KR_ERROR_FLAG_MEMBERS.
#define KR_DEFINE_ERROR_FLAG(Class)                                                \
  namespace {                                                                      \
  thread_local Class::ERRORS g_errorFlagOf##Class = static_cast<Class::ERRORS>(0); \
  }                                                                                \
  Class::ERRORS Class::getError() {                                                \
    return g_errorFlagOf##Class;                                                   \
  }                                                                                \
  void Class::resetError() {                                                       \
    g_errorFlagOf##Class = static_cast<Class::ERRORS>(0);                          \
  }                                                                                \
  void Class::setError(Class::ERRORS errorValue) {                                 \
    g_errorFlagOf##Class = errorValue;                                             \
  }

// Clears every error flag of the library, in a fixed order. Called once by
// the compiler before it uses the library, and again after any failure.
BCODE_API void bcInitBCode();

#endif  // BCODE_FOUNDATION_KRERROR_H

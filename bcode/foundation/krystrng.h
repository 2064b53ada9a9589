// KRString: the library's string of up to 65535 characters, always kept
// zero-terminated. Names of variables, components and string constants.
// An empty string holds no storage; the characters of any other come from
// the current arena while a load runs (krarenastore.h), else from the heap.
#ifndef BCODE_FOUNDATION_KRYSTRNG_H
#define BCODE_FOUNDATION_KRYSTRNG_H

#include <cstdint>
#include <iosfwd>

#include "bcode/foundation/krexport.h"

class BCODE_API KRString {
 public:
  enum ERRORS : int { KRSTRING_OK = 0, KRSTRING_FAILED = 1 };

  // Set when a string operation failed (a text longer than 65535 characters,
  // or characters asked from a null pointer); the string is then left empty.
  // Callers test it after building a string and clear it. One per thread.
  static thread_local ERRORS error;

  KRString();
  KRString(const char* text);  // NOLINT(google-explicit-constructor): texts convert freely
  KRString(const char* text, std::uint16_t length);
  KRString(char fill, std::uint16_t count);
  KRString(const KRString& other);
  KRString& operator=(const KRString& other);
  ~KRString();

  // Replaces the characters by `length` characters at `text`.
  void assign(const char* text, std::uint16_t length);

  std::uint16_t length() const { return length_; }
  const char* c_str() const { return chars_; }

  // Equal lengths and characters.
  bool operator==(const KRString& other) const;
  bool operator!=(const KRString& other) const { return !(*this == other); }

  // Writes the characters, nothing else.
  void printOn(std::ostream& os) const;

 private:
  friend class KRFieldReader;

  // Room for `length` characters and the zero; null when memory runs out.
  static char* newChars(std::uint16_t length) noexcept;
  static char* allocate(std::uint16_t length, int line);
  void take(const char* text, std::uint16_t length, int line);
  // Takes `chars` (zero-terminated, from newChars) as its characters: a
  // name is read straight into the buffer the string keeps.
  void adopt(char* chars, std::uint16_t length);
  void release() noexcept;

  const char* chars_;
  std::uint16_t length_;
};

#endif  // BCODE_FOUNDATION_KRYSTRNG_H

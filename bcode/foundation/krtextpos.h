// The source text position every instruction operand carries: where in
// the source text it came from.
#ifndef BCODE_FOUNDATION_KRTEXTPOS_H
#define BCODE_FOUNDATION_KRTEXTPOS_H

#include <cstdint>

#include "bcode/foundation/krexport.h"

// A source text position; (0, 0) and any position with a zero part is unknown.
struct BCODE_API KRTextPos {
  std::uint16_t first = 0;
  std::uint16_t second = 0;

  KRTextPos() = default;
  KRTextPos(std::uint16_t firstPart, std::uint16_t secondPart)
      : first(firstPart), second(secondPart) {}

  bool isKnown() const { return first != 0 && second != 0; }
  bool operator==(const KRTextPos& other) const {
    return first == other.first && second == other.second;
  }
  bool operator!=(const KRTextPos& other) const { return !(*this == other); }
};

#endif  // BCODE_FOUNDATION_KRTEXTPOS_H

// The stream state a dump writes in. Internal to the library.
//
// Dumps write through the formatted output of the caller's stream, which
// reads the stream's format flags, fill, width, precision and locale. Every
// public function that writes a dump holds a KRNeutralStream while it
// writes: the stream then behaves as a new one (decimal, no base, sign or
// point shown, right-aligned, fill ' ', width 0, precision 6, the classic
// locale), and afterwards its state is exactly what the caller had set, the
// width included. Listings need none: their lines reach the stream as
// unformatted writes (krLineStore), which read none of that state.
//
// Dumps call each other, and listings of many entries call a dump per entry:
// a scope inside another one of the same thread for the same stream does
// nothing, and a stream found in the neutral state is left alone; either
// costs a few compares.
#ifndef BCODE_FOUNDATION_KRNEUTRALSTREAM_H
#define BCODE_FOUNDATION_KRNEUTRALSTREAM_H

#include <ios>
#include <locale>
#include <optional>
#include <ostream>

class KRNeutralStream {
 public:
  explicit KRNeutralStream(std::ostream& os);
  ~KRNeutralStream();
  KRNeutralStream(const KRNeutralStream&) = delete;
  KRNeutralStream& operator=(const KRNeutralStream&) = delete;

 private:
  std::ostream& os_;
  const std::ostream* enclosing_;  // the stream the enclosing scope holds neutral
  bool formatChanged_ = false;     // whether flags_ .. fill_ are to be put back
  std::ios_base::fmtflags flags_{};
  std::streamsize width_ = 0;
  std::streamsize precision_ = 0;
  char fill_ = ' ';
  std::optional<std::locale> locale_;  // the caller's, when it was replaced
};

#endif  // BCODE_FOUNDATION_KRNEUTRALSTREAM_H

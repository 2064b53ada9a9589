#include "bcode/foundation/krneutralstream.h"

namespace {

// The stream that the innermost scope of this thread holds neutral.
thread_local const std::ostream* t_held = nullptr;

// Flags that change no text: skipws only reads, unitbuf only flushes.
constexpr std::ios_base::fmtflags kTextlessFlags = std::ios_base::skipws | std::ios_base::unitbuf;
constexpr std::streamsize kNewStreamPrecision = 6;

bool formatIsNeutral(const std::ostream& os) {
  return (os.flags() & ~kTextlessFlags) == std::ios_base::dec && os.width() == 0 &&
         os.precision() == kNewStreamPrecision && os.fill() == ' ';
}

}  // namespace

KRNeutralStream::KRNeutralStream(std::ostream& os) : os_(os), enclosing_(t_held) {
  if (enclosing_ == &os_) return;
  if (!formatIsNeutral(os_)) {
    formatChanged_ = true;
    flags_ = os_.flags((os_.flags() & kTextlessFlags) | std::ios_base::dec);
    width_ = os_.width(0);
    precision_ = os_.precision(kNewStreamPrecision);
    fill_ = os_.fill(' ');
  }
  if (os_.getloc() != std::locale::classic()) locale_ = os_.imbue(std::locale::classic());
  t_held = &os_;
}

KRNeutralStream::~KRNeutralStream() {
  t_held = enclosing_;
  if (formatChanged_) {
    os_.flags(flags_);
    os_.width(width_);
    os_.precision(precision_);
    os_.fill(fill_);
  }
  if (locale_) os_.imbue(*locale_);
}

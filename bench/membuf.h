// Stream buffers over memory for the benchmarks: a record is written into and
// read from a buffer made once, so that the timings show the library's work
// and not the growth of a string. Positions can be asked (tellp, tellg).
#ifndef BCODE_BENCH_MEMBUF_H
#define BCODE_BENCH_MEMBUF_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <streambuf>
#include <string>
#include <vector>

namespace bcbench {

// Writes into a fixed area; a write past its end fails as on a full device.
class FixedOutBuf : public std::streambuf {
 public:
  explicit FixedOutBuf(std::size_t capacity) : area_(capacity) { rewind(); }

  void rewind() { setp(area_.data(), area_.data() + area_.size()); }
  std::size_t size() const { return static_cast<std::size_t>(pptr() - pbase()); }
  const char* data() const { return pbase(); }

 protected:
  pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode) override {
    if (off != 0 || dir != std::ios_base::cur) return pos_type(off_type(-1));
    return pos_type(static_cast<off_type>(size()));
  }

 private:
  std::vector<char> area_;
};

// Reads a record held elsewhere, from its first byte each time it is rewound.
class MemoryInBuf : public std::streambuf {
 public:
  explicit MemoryInBuf(const std::string& bytes) : bytes_(bytes) { rewind(); }

  void rewind() {
    char* begin = const_cast<char*>(bytes_.data());
    setg(begin, begin, begin + bytes_.size());
  }

 protected:
  pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode) override {
    if (off != 0 || dir != std::ios_base::cur) return pos_type(off_type(-1));
    return pos_type(static_cast<off_type>(gptr() - eback()));
  }

 private:
  const std::string& bytes_;
};

// Discards what is written and counts its lines.
class LineCountingBuf : public std::streambuf {
 public:
  LineCountingBuf() { setp(area_, area_ + sizeof area_); }

  std::uint64_t lines() {
    countPending();
    return lines_;
  }

 protected:
  int_type overflow(int_type ch) override {
    countPending();
    if (!traits_type::eq_int_type(ch, traits_type::eof())) {
      if (traits_type::to_char_type(ch) == '\n') ++lines_;
    }
    return traits_type::not_eof(ch);
  }

 private:
  void countPending() {
    lines_ += static_cast<std::uint64_t>(std::count(pbase(), pptr(), '\n'));
    setp(area_, area_ + sizeof area_);
  }

  char area_[4096];
  std::uint64_t lines_ = 0;
};

}  // namespace bcbench

#endif  // BCODE_BENCH_MEMBUF_H

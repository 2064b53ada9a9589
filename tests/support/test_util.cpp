#include "tests/support/test_util.h"

#include <algorithm>

#include <cctype>
#include <cstdio>
#include <stdexcept>

#include "bcode/code/bcerrorflags.h"
#include "tests/support/record_check.h"

namespace bctest {

std::string fromHex(const std::string& hex) {
  std::string out;
  std::string digits;
  for (char c : hex) {
    if (std::isspace(static_cast<unsigned char>(c))) continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) throw std::invalid_argument(hex);
    digits += c;
  }
  if (digits.size() % 2 != 0) throw std::invalid_argument(hex);
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    out += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
  }
  return out;
}

std::string toHex(const std::string& bytes) {
  std::string out;
  char buf[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned char>(bytes[i]));
    if (i != 0) out += ' ';
    out += buf;
  }
  return out;
}

std::streamsize LimitedBuf::xsputn(const char* s, std::streamsize n) {
  std::streamsize taken = 0;
  while (taken < n && bytes_.size() < limit_) bytes_ += s[taken++];
  return taken;
}

LimitedBuf::int_type LimitedBuf::overflow(int_type ch) {
  if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
  if (bytes_.size() >= limit_) return traits_type::eof();
  bytes_ += traits_type::to_char_type(ch);
  return ch;
}

PipeBuf::PipeBuf(std::string bytes, std::size_t chunk)
    : bytes_(std::move(bytes)), chunk_(chunk), area_(chunk + 64) {}

PipeBuf::int_type PipeBuf::underflow() {
  if (next_ >= bytes_.size()) return traits_type::eof();
  const std::size_t size = std::min(chunk_, bytes_.size() - next_);
  std::fill(area_.begin(), area_.end(), '\xEE');
  std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(next_), size, area_.begin());
  next_ += size;
  setg(area_.data(), area_.data(), area_.data() + size);
  return traits_type::to_int_type(area_[0]);
}

ChunkOutBuf::ChunkOutBuf(std::size_t chunk) : area_(chunk + 64) {
  setp(area_.data(), area_.data() + chunk);
}

const std::string& ChunkOutBuf::bytes() {
  drain();
  return bytes_;
}

void ChunkOutBuf::drain() {
  bytes_.append(pbase(), pptr());
  setp(pbase(), epptr());
}

ChunkOutBuf::int_type ChunkOutBuf::overflow(int_type ch) {
  drain();
  if (!traits_type::eq_int_type(ch, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(ch);
    pbump(1);
  }
  return traits_type::not_eof(ch);
}

NameTable::NameTable(const char* prefix, std::size_t size) {
  names_.reserve(size);
  for (std::size_t i = 0; i < size; ++i) names_.push_back(prefix + std::to_string(i));
  for (auto& n : names_) pointers_.push_back(&n[0]);
}

std::string columns(const std::vector<std::pair<std::size_t, std::string>>& texts) {
  std::string line;
  for (const auto& [column, text] : texts) {
    line.resize(std::max(line.size(), column + text.size()), ' ');
    line.replace(column, text.size(), text);
  }
  return line + "\n";
}

RecordFlag libraryFlag(const char* owner, int onLoad, int onSave, bool alone) {
  for (int n = 0; n < bcErrorFlagCount(); ++n) {
    if (std::string(bcErrorFlagAt(n).owner) == owner) {
      return {[n] { return bcErrorFlagAt(n).value; }, onLoad, onSave, nullptr, alone ? n : -1};
    }
  }
  ADD_FAILURE() << "no flag of " << owner;
  return {[] { return -1; }, onLoad, onSave};
}

bool RecordFlag::raised(int expected) const {
  if (value() != expected) return false;
  if (aloneAt < 0) return true;
  for (int n = bcNextSetErrorFlag(0); n < bcErrorFlagCount(); n = bcNextSetErrorFlag(n + 1)) {
    if (n != aloneAt) return false;
  }
  return true;
}

}  // namespace bctest

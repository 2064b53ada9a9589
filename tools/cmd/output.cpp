#include "tools/cmd/output.h"

#include <cerrno>
#include <cstring>
#include <iostream>

#include <nlohmann/json.hpp>

#include "tools/cmd/commands.h"
#include "tools/support/diagnostic.h"

namespace bctool {

namespace {

// A failed write without a reason from the system.
constexpr int kUnknownReason = -1;

// How the output is named in messages.
std::string outputName(const std::string& path) {
  return path == kStdStream ? std::string("<stdout>") : path;
}

}  // namespace

Output::Output(std::string path) : path_(std::move(path)) {
  if (path_ == kStdStream) os_ = &std::cout;
}

Output::Output(std::string path, std::ostream& os) : path_(std::move(path)), os_(&os) {}

bool Output::open() {
  if (os_ != nullptr) return true;
  errno = 0;
  file_.open(path_, std::ios::binary | std::ios::trunc);
  if (file_) {
    os_ = &file_;
    return true;
  }
  report({outputName(path_), std::nullopt, "",
          std::string("cannot open for writing: ") +
              (errno != 0 ? std::strerror(errno) : "cannot be created")});
  return false;
}

void Output::noteFailure() {
  if (failure_ == 0) failure_ = errno != 0 ? errno : kUnknownReason;
}

void Output::write(const char* data, std::size_t size) {
  if (!good()) return;
  errno = 0;
  os_->write(data, static_cast<std::streamsize>(size));
  if (!*os_) noteFailure();
}

void Output::write(const std::string& text) {
  write(text.data(), text.size());
}

void Output::write(const nlohmann::ordered_json& document) {
  // Names in a record are bytes, not necessarily UTF-8: those that are not
  // are shown with replacement characters rather than failing the document.
  write(document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n");
}

bool Output::close() {
  if (os_ == nullptr) return false;
  if (failure_ == 0) {
    errno = 0;
    os_->flush();
    if (os_ == &file_) file_.close();
    if (!*os_) noteFailure();
  }
  if (failure_ == 0) return true;
  report({outputName(path_), std::nullopt, "",
          std::string("cannot write: ") +
              (failure_ != kUnknownReason ? std::strerror(failure_) : "write error")});
  return false;
}

}  // namespace bctool

// Where a subcommand's results go: standard output, standard error or the
// file -o names. Every result is written through here, so that a write or
// the final flush that fails is told to the user and fails the command.
#ifndef BCODE_TOOLS_CMD_OUTPUT_H
#define BCODE_TOOLS_CMD_OUTPUT_H

#include <fstream>
#include <iosfwd>
#include <string>

#include <nlohmann/json_fwd.hpp>

namespace bctool {

class Output {
 public:
  // `path` "-" is standard output.
  explicit Output(std::string path);
  // A stream already open, such as standard error, named `name` in messages.
  Output(std::string name, std::ostream& os);
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // Opens the file; false after telling the user why.
  bool open();
  void write(const std::string& text);
  void write(const char* data, std::size_t size);
  // A JSON document, indented, with a line end.
  void write(const nlohmann::ordered_json& document);
  // Whether every write so far succeeded.
  bool good() const { return failure_ == 0 && os_ != nullptr && os_->good(); }
  // Flushes (and closes a file); false after telling the user when any
  // write failed.
  bool close();

 private:
  void noteFailure();

  std::string path_;
  std::ofstream file_;
  std::ostream* os_ = nullptr;
  int failure_ = 0;  // the system's reason for the first failed write
};

}  // namespace bctool

#endif  // BCODE_TOOLS_CMD_OUTPUT_H

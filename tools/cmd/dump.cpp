#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "bcode/text/bcfields.h"
#include "tools/cmd/commands.h"
#include "tools/support/blockinput.h"
#include "tools/support/blocklisting.h"
#include "tools/support/errorreport.h"

namespace bctool {

namespace {

using Json = nlohmann::ordered_json;

// Builds the JSON tree of the fields the library hands out, as they come.
class JsonFields : public BCFieldSink {
 public:
  Json take() { return std::move(root_); }

  void beginObject(std::string_view key) override { open(key, Json::object()); }
  void endObject() override { open_.pop_back(); }
  void beginList(std::string_view key) override { open(key, Json::array()); }
  void endList() override { open_.pop_back(); }
  void integer(std::string_view key, std::int64_t value) override { add(key, value); }
  void real(std::string_view key, double value) override { add(key, value); }
  void text(std::string_view key, std::string_view bytes) override { add(key, std::string(bytes)); }
  void boolean(std::string_view key, bool value) override { add(key, value); }
  void none(std::string_view key) override { add(key, nullptr); }

 private:
  // The members of an object are kept in a vector, so a reference to one
  // holds only until the next member is added: a member's object or list is
  // filled before anything else is added to the object it belongs to.
  Json& add(std::string_view key, Json value) {
    if (open_.empty()) return root_ = std::move(value);
    Json& into = *open_.back();
    if (into.is_array()) {
      into.push_back(std::move(value));
      return into.back();
    }
    return into[std::string(key)] = std::move(value);
  }

  void open(std::string_view key, Json value) { open_.push_back(&add(key, std::move(value))); }

  Json root_;
  std::vector<Json*> open_;
};

std::optional<Json> dumpJson(const BlockInput& input) {
  JsonFields fields;
  if (!bcWriteFields(fields, *input.reading.block)) {
    report({input.file, std::nullopt, "", "cannot describe the block: " + errorFlagsText()});
    bcInitBCode();
    return std::nullopt;
  }
  Json entry = {{"file", input.file}};
  Json tree = fields.take();
  for (auto& [key, value] : tree.items()) entry[key] = std::move(value);
  return entry;
}

}  // namespace

int runDump(const Options& options) {
  return showEachBlock(options, {[](std::ostream& os, const BlockInput& input) {
                                   printDump(os, *input.reading.block);
                                 },
                                 dumpJson});
}

}  // namespace bctool

#include "tools/support/diagnostic.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <iterator>
#include <vector>

#include "bcode/code/bcode.h"
#include "bcode/code/bcrecordsection.h"
#include "bcode/interface/bcssb.h"
#include "bcode/localdata/bcldlist.h"
#include "bcode/text/bctext.h"
#include "tools/support/blockfile.h"
#include "tools/support/blockreading.h"
#include "tools/support/errorreport.h"

namespace bctool {

namespace {

// How a user knows the sections of a record, by their place in it.
struct SectionWords {
  const char* entry;    // one entry: "operand"; null for the block header
  const char* ownFlag;  // the owner words of the flag the section itself raises
  bool slots;           // a table: its count includes the unused slot 0
};

constexpr SectionWords kSectionWords[] = {
    {nullptr, "block", false},
    {"type", "type table", true},
    {"interface description", "interface list", false},
    {"LDD variable", "local data list", false},
    {"LSD variable", "local data list", false},
    {"constant", "constant table", true},
    {"operand", "operand table", true},
    {"instruction", "instruction list", false},
};
static_assert(std::size(kSectionWords) == kBCSectionCount, "words for every section");

// Every section begins with its entry count, two bytes little-endian.
constexpr std::size_t kCountBytes = 2;

struct FailedEntry {
  std::uint32_t number;  // the slot or entry number a listing shows
  std::size_t begin;     // its first byte
};

// The loader frees a section that fails, so which entry failed is found by
// reading the record again with the section's entry count lowered: the
// largest count that still reads ends just before the failing entry.
std::optional<FailedEntry> failedEntry(std::string_view bytes, const BlockReading& reading,
                                       const SectionWords& words) {
  const std::size_t at = reading.failedBegin;
  if (words.entry == nullptr || at + kCountBytes > bytes.size()) return std::nullopt;
  const auto byte = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  std::uint32_t good = words.slots ? 1 : 0;  // a count that reads no entry at all
  std::uint32_t bad = byte(at) | byte(at + 1) << 8;
  if (bad <= good) return std::nullopt;

  std::string probe(bytes);
  const auto readsWith = [&](std::uint32_t count) {
    probe[at] = static_cast<char>(count & 0xFF);
    probe[at + 1] = static_cast<char>(count >> 8);
    return readThroughSection(probe, reading.failed->number);
  };
  std::optional<std::size_t> end = readsWith(good);
  if (!end) return std::nullopt;  // the failure lies outside the entries
  while (bad - good > 1) {
    const std::uint32_t mid = good + (bad - good) / 2;
    if (std::optional<std::size_t> midEnd = readsWith(mid)) {
      good = mid;
      end = midEnd;
    } else {
      bad = mid;
    }
  }
  return FailedEntry{words.slots ? good : good + 1, *end};
}

// What the flags of a failure mean, leaving out the block's flag and, when
// anything more telling is set, the section's own.
std::string meanings(const std::vector<BCErrorFlag>& flags, const char* ownFlag) {
  const auto shown = [&](const BCErrorFlag& flag, bool withOwn) {
    return std::strcmp(flag.owner, "block") != 0 &&
           (withOwn || std::strcmp(flag.owner, ownFlag) != 0);
  };
  bool inner = false;
  for (const BCErrorFlag& flag : flags) inner = inner || shown(flag, false);
  std::string text;
  for (const BCErrorFlag& flag : flags) {
    if (!shown(flag, !inner)) continue;
    if (!text.empty()) text += "; ";
    text += flag.meaning;
  }
  return text.empty() ? "the loader gave no reason" : text;
}

std::string failureMessage(std::string_view bytes, const BlockReading& reading,
                           const SectionWords& words) {
  const std::optional<FailedEntry> entry = failedEntry(bytes, reading, words);
  const std::string where = entry ? std::string(words.entry) + " " + grouped(entry->number) +
                                        ", which begins at byte " + std::to_string(entry->begin)
                                  : "";
  if (reading.reachedEnd) {
    if (words.entry == nullptr) return "record ends inside the block header";
    if (entry) return "record ends inside " + where;
    if (reading.stopOffset < reading.failedBegin + kCountBytes) {
      return "record ends inside the count of entries";
    }
    return "record ends here";
  }
  const std::string reason = meanings(reading.failureFlags, words.ownFlag);
  return entry ? where + ": " + reason : reason;
}

}  // namespace

std::string diagnosticLine(const Diagnostic& d) {
  if (d.place) {
    // The library's form, which editors jump to; without its last line end.
    std::string text = bcFormatDiagnostic(
        {d.file, d.place->line, d.place->column, d.message, d.place->sourceLine});
    text.pop_back();
    return text;
  }
  std::string line = "bcode: ";
  if (!d.file.empty()) {
    line += d.file;
    if (d.offset) line += ":" + std::to_string(*d.offset);
    line += ": ";
  }
  line += "error: ";
  if (!d.section.empty()) line += d.section + ": ";
  return line + d.message;
}

Diagnostic textDiagnostic(const BCTextDiagnostic& d) {
  return {d.file, std::nullopt, "", d.message, TextPlace{d.line, d.column, d.sourceLine}};
}

Diagnostic loadFailure(const std::string& file, std::string_view bytes,
                       const BlockReading& reading) {
  if (bytes.empty()) return {file, 0, "", "empty file: not a block record"};
  const int number = reading.failed ? reading.failed->number : 0;
  const bool known = number >= 0 && number < static_cast<int>(std::size(kSectionWords));
  const SectionWords& words = kSectionWords[known ? number : 0];
  const std::string section = reading.failed ? reading.failed->name : "block header";
  return {file, reading.stopOffset, section, failureMessage(bytes, reading, words)};
}

Diagnostic layoutFailure(const std::string& file, const BlockReading& reading) {
  // The load keeps only the block's flag; laying each part out again tells
  // which part fails and why.
  BCode& block = *reading.block;
  BCSSB* own = block.getSSBList().lookup(block.getBlockNo(), block.getBlockKind());
  struct Part {
    const char* section;
    std::string subject;
    std::function<void()> layOut;
  };
  const Part parts[] = {
      {"interface list",
       "the interface of " + blockKindName(block.getBlockKind()) + " " +
           std::to_string(block.getBlockNo()),
       [own] {
         if (own != nullptr) own->getLastOffset();
       }},
      {"LSD list", "the LSD list", [&block] { block.getLSDList().getLastOffset(); }},
      {"LDD list", "the LDD list", [&block] { block.getLDDList().getLastOffset(); }},
  };
  for (const auto& [section, subject, layOut] : parts) {
    bcInitBCode();
    layOut();
    const std::vector<BCErrorFlag> flags = setErrorFlags();
    bcInitBCode();
    if (flags.empty()) continue;
    const SectionInfo* where = reading.section(section);
    return {file, where != nullptr ? where->begin : reading.layoutOffset, section,
            subject + " cannot be laid out: " + meanings(flags, "")};
  }
  return {file, reading.layoutOffset, "", "the block cannot be laid out"};
}

}  // namespace bctool

// The text form measured cold (bench/cold.h), in bytes of text per second:
// dis writes the text of a block loaded from its record, asm reads that
// text back into a block.
#include <malloc.h>

#include <ctime>
#include <istream>
#include <memory>
#include <string>
#include <vector>

#include "bcode/code/bcode.h"
#include "bcode/text/bctext.h"
#include "bench/cold.h"
#include "bench/membuf.h"

namespace bcbench {

namespace {

constexpr double kMinDisMBps = 100;
constexpr double kMinAsmMBps = 50;

// The process's CPU time, user and system.
double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

std::unique_ptr<BCode> load(const std::string& record) {
  MemoryInBuf buffer(record);
  std::istream is(&buffer);
  return std::unique_ptr<BCode>(BCode::iload(is));
}

double disSample(const std::string& record, unsigned long long& bytes) {
  const std::unique_ptr<BCode> block = load(record);
  if (block == nullptr) return -1;
  const double start = cpuSeconds();
  const std::string text = bcToText(*block);
  const double seconds = cpuSeconds() - start;
  bytes = text.size();
  return text.empty() ? -1 : seconds;
}

double asmSample(const std::string& record, unsigned long long& bytes) {
  std::string text;
  if (std::unique_ptr<BCode> block = load(record)) text = bcToText(*block);
  if (text.empty()) return -1;
  // What making the text freed goes back to the system, so that the reader
  // meets fresh memory as in a process that is handed only the text.
  malloc_trim(0);
  const double start = cpuSeconds();
  const BCTextReading reading = bcReadText(text, "bench.bct");
  const double seconds = cpuSeconds() - start;
  bytes = text.size();
  return reading.block != nullptr ? seconds : -1;
}

}  // namespace

const std::vector<ColdOperation>& textColdOperations() {
  static const std::vector<ColdOperation> operations = {
      {"dis (bcToText)", "dis", kMinDisMBps, disSample},
      {"asm (bcReadText)", "asm", kMinAsmMBps, asmSample},
  };
  return operations;
}

}  // namespace bcbench

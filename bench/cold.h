// Cold figures: each sample of an operation runs in a process of its own, as
// a compiler or the bcode tool meets a block: a fresh heap whose memory is
// first touched by the operation, cold caches. The benchmark program starts
// itself again for every sample (runColdChild) and keeps the best of them.
#ifndef BCODE_BENCH_COLD_H
#define BCODE_BENCH_COLD_H

#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

namespace bcbench {

// The command-line flag that makes the program a cold sample.
inline constexpr const char* kColdFlag = "--bcode_cold=";

// In the started process: runs the operation named in `argv` on the record
// file it names and prints "seconds peakBytes items". Answers the exit status.
int runColdChild(int argc, char** argv);

// Records by instruction count; `samples` processes per operation and size,
// in shuffled order. `tool` is the bcode tool whose `check` runs as a whole
// process, empty for none. Prints the table; false when a target is missed.
bool runCold(std::ostream& os, const std::map<std::uint32_t, std::string>& records, int samples,
             const std::string& tool);

// An operation measured cold that another file of the benchmark defines:
// in its sample process it is handed the record, and answers the CPU
// seconds it took (negative on failure) and the bytes it counts, which its
// row shows per second (kCountedMBps).
struct ColdOperation {
  const char* name;   // the row
  const char* op;     // its --bcode_cold= value
  double targetMBps;  // at the largest size; 0 for none
  double (*run)(const std::string& record, unsigned long long& bytes);
};

inline constexpr const char* kCountedMBps = "MB/s of text";

// The text form's operations (bench/textcold.cpp).
const std::vector<ColdOperation>& textColdOperations();

}  // namespace bcbench

#endif  // BCODE_BENCH_COLD_H

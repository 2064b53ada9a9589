// The summary `make bench` prints after the benchmarks: per operation its
// time or throughput at each size and the growth of its time from one size to
// the next, then the record throughputs against memcpy of the same bytes.
#ifndef BCODE_BENCH_SUMMARY_H
#define BCODE_BENCH_SUMMARY_H

#include <benchmark/benchmark.h>

#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

namespace bcbench {

// The best of the repetitions of one operation at one size.
struct Measurement {
  double seconds = 0;         // CPU time per iteration
  double bytesPerSecond = 0;  // 0 when the operation moves no record
  double itemsPerSecond = 0;  // lines, operands or entries; 0 when not counted
  double recordBytes = 0;
};

struct OperationRow {
  std::string name;
  std::string itemName;  // what itemsPerSecond counts, empty for none
  std::map<std::int64_t, Measurement> bySize;
};

// Prints every run as the console reporter does and keeps the best of each.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  // The table lists the operations in this order, whatever order their runs
  // come in (repetitions may be interleaved); operations not run are left out.
  explicit SummaryReporter(const std::vector<std::string>& operations);
  void ReportRuns(const std::vector<Run>& runs) override;
  const std::vector<OperationRow>& rows() const { return rows_; }

 private:
  OperationRow& rowOf(const std::string& name);
  std::vector<OperationRow> rows_;
};

// Growth beyond this from one size to the double is not linear enough.
inline constexpr double kMaxGrowth = 2.1;

// Cores and CPU model, for the table's caption.
std::string machineText();

// The markdown table and the checks; false when a growth or a throughput
// target is missed.
bool printSummary(std::ostream& os, const std::vector<OperationRow>& rows);

}  // namespace bcbench

#endif  // BCODE_BENCH_SUMMARY_H

#include "summary.h"

#include <cstdio>
#include <fstream>
#include <ostream>
#include <thread>

namespace bcbench {

namespace {

constexpr double kMB = 1e6;
// Throughput targets for records of a megabyte or more.
constexpr double kMinSaveMBps = 400;
constexpr double kMinIloadMBps = 200;

double counter(const benchmark::BenchmarkReporter::Run& run, const char* name) {
  const auto it = run.counters.find(name);
  return it == run.counters.end() ? 0.0 : static_cast<double>(it->second);
}

std::string format(const char* pattern, double value) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

std::string timeText(double seconds) {
  if (seconds >= 1e-3) return format("%.2f ms", seconds * 1e3);
  if (seconds >= 1e-6) return format("%.2f us", seconds * 1e6);
  return format("%.0f ns", seconds * 1e9);
}

// Throughput where the operation has one, time otherwise.
std::string cellText(const OperationRow& row, const Measurement& m) {
  if (m.bytesPerSecond > 0) return format("%.0f MB/s", m.bytesPerSecond / kMB);
  if (!row.itemName.empty() && m.itemsPerSecond > 0) {
    return format("%.3g", m.itemsPerSecond / kMB) + " M " + row.itemName + "/s";
  }
  return timeText(m.seconds);
}

void printRow(std::ostream& os, const OperationRow& row, bool& linear) {
  if (row.bySize.empty()) return;
  os << "| " << row.name;
  for (const auto& [size, m] : row.bySize) os << " | " << cellText(row, m);
  const Measurement* previous = nullptr;
  for (const auto& [size, m] : row.bySize) {
    if (previous != nullptr) {
      const double growth = m.seconds / previous->seconds;
      // A memcpy row is the reference, not an operation of the library.
      const bool counts = row.name.find("memcpy") == std::string::npos;
      if (counts && growth > kMaxGrowth) linear = false;
      os << " | " << format("%.2f", growth) << (counts && growth > kMaxGrowth ? " (!)" : "");
    }
    previous = &m;
  }
  os << " |\n";
}

const OperationRow* find(const std::vector<OperationRow>& rows, const std::string& name) {
  for (const OperationRow& row : rows) {
    if (row.name == name) return &row;
  }
  return nullptr;
}

// The record operation against memcpy of the same bytes, at each size.
bool printAgainstMemcpy(std::ostream& os, const std::vector<OperationRow>& rows,
                        const std::string& name, double targetMBps) {
  const OperationRow* op = find(rows, name);
  const OperationRow* copy = find(rows, name + " memcpy");
  if (op == nullptr || copy == nullptr) return true;
  bool met = true;
  for (const auto& [size, m] : op->bySize) {
    const auto same = copy->bySize.find(size);
    if (same == copy->bySize.end()) continue;
    const double mbps = m.bytesPerSecond / kMB;
    const bool large = m.recordBytes >= kMB;
    if (large && mbps < targetMBps) met = false;
    os << name << " " << size << " instructions, record " << format("%.2f", m.recordBytes / kMB)
       << " MB: " << format("%.0f", mbps) << " MB/s, memcpy "
       << format("%.0f", same->second.bytesPerSecond / kMB)
       << " MB/s, ratio 1:" << format("%.0f", same->second.bytesPerSecond / m.bytesPerSecond)
       << (large ? (mbps >= targetMBps ? "  (target met)" : "  (below target)") : "") << "\n";
  }
  return met;
}

}  // namespace

SummaryReporter::SummaryReporter(const std::vector<std::string>& operations) {
  for (const std::string& name : operations) rowOf(name);
}

void SummaryReporter::ReportRuns(const std::vector<Run>& runs) {
  ConsoleReporter::ReportRuns(runs);
  for (const Run& run : runs) {
    if (run.error_occurred || run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
    Measurement m;
    m.seconds = run.cpu_accumulated_time / static_cast<double>(run.iterations);
    m.bytesPerSecond = counter(run, "bytes_per_second");
    m.itemsPerSecond = counter(run, "items_per_second");
    m.recordBytes = counter(run, "record_bytes");
    OperationRow& row = rowOf(run.run_name.function_name);
    row.itemName = run.report_label;
    const std::int64_t size = std::stoll(run.run_name.args);
    auto [it, fresh] = row.bySize.emplace(size, m);
    if (!fresh && m.seconds < it->second.seconds) it->second = m;
  }
}

OperationRow& SummaryReporter::rowOf(const std::string& name) {
  for (OperationRow& row : rows_) {
    if (row.name == name) return row;
  }
  rows_.push_back(OperationRow{name, "", {}});
  return rows_.back();
}

std::string machineText() {
  std::string model = "unknown CPU";
  std::ifstream cpuinfo("/proc/cpuinfo");
  for (std::string line; std::getline(cpuinfo, line);) {
    if (line.rfind("model name", 0) == 0 && line.find(':') != std::string::npos) {
      model = line.substr(line.find(':') + 2);
      break;
    }
  }
  return std::to_string(std::thread::hardware_concurrency()) + " cores, " + model;
}

bool printSummary(std::ostream& os, const std::vector<OperationRow>& rows) {
  os << "\n| operation | N | 2N | 4N | growth N to 2N | growth 2N to 4N |\n"
     << "|---|---|---|---|---|---|\n";
  bool linear = true;
  for (const OperationRow& row : rows) printRow(os, row, linear);
  os << "\nGrowth is the ratio of the CPU time per operation, best of the repetitions.\n";
  os << (linear ? "Every operation grows at most " : "Some operation grows more than ")
     << format("%.1f", kMaxGrowth) << " times per doubling.\n\n";
  const bool save = printAgainstMemcpy(os, rows, "save", kMinSaveMBps);
  const bool iload = printAgainstMemcpy(os, rows, "iload", kMinIloadMBps);
  return linear && save && iload;
}

}  // namespace bcbench

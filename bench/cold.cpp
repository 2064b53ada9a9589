#include "bench/cold.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <istream>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bcode/code/bcode.h"
#include "bcode/foundation/krerror.h"
#include "bench/membuf.h"
#include "tools/support/blocklisting.h"
#include "tools/support/nametablefile.h"

namespace bcbench {

namespace {

constexpr double kMB = 1e6;
constexpr double kMaxColdGrowth = 2.1;
constexpr double kMinIloadMBps = 200;
constexpr double kMinCheckMBps = 150;
constexpr double kMinSaveMBps = 400;
constexpr double kMaxPeakRatio = 4.5;

// What one sample measured.
struct Result {
  double seconds = -1;           // CPU time of the operation (the process's for `check`)
  long long peakBytes = 0;       // resident memory the operation added at its peak
  unsigned long long items = 0;  // listing lines
};

double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// A field of /proc/self/status in bytes ("VmRSS", "VmHWM"), 0 when unknown.
long long statusBytes(const char* field) {
  std::ifstream status("/proc/self/status");
  const std::string prefix = std::string(field) + ":";
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(prefix, 0) == 0) return std::atoll(line.c_str() + prefix.size()) * 1024;
  }
  return 0;
}

// Lets the peak resident memory start again from the current one.
void resetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(0, std::ios::end);
  std::string bytes(static_cast<std::size_t>(in.tellg()), '\0');
  in.seekg(0);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

// Memory not yet touched, as fresh memory is (new char[] leaves it so).
std::unique_ptr<char[]> freshBuffer(std::size_t size) {
  return std::unique_ptr<char[]>(new char[size]);
}

// Writes into fresh memory; the first write to each page faults it in, as
// saving into a new string or file buffer does.
class FreshOutBuf : public std::streambuf {
 public:
  explicit FreshOutBuf(std::size_t capacity) : area_(freshBuffer(capacity)) {
    setp(area_.get(), area_.get() + capacity);
  }
  std::size_t size() const { return static_cast<std::size_t>(pptr() - pbase()); }

 private:
  std::unique_ptr<char[]> area_;
};

std::unique_ptr<BCode> load(const std::string& bytes) {
  MemoryInBuf buffer(bytes);
  std::istream is(&buffer);
  return std::unique_ptr<BCode>(BCode::iload(is));
}

Result readSample(const std::string& path) {
  Result r;
  const double start = cpuSeconds();
  const int fd = ::open(path.c_str(), O_RDONLY);
  struct stat info {};
  if (fd < 0 || ::fstat(fd, &info) != 0) return r;
  const auto size = static_cast<std::size_t>(info.st_size);
  std::unique_ptr<char[]> bytes = freshBuffer(size);
  std::size_t got = 0;
  for (ssize_t n = 1; got < size && n > 0; got += static_cast<std::size_t>(n)) {
    n = ::read(fd, bytes.get() + got, size - got);
    if (n <= 0) break;
  }
  ::close(fd);
  if (got == size) r.seconds = cpuSeconds() - start;
  return r;
}

Result memcpySample(const std::string& bytes) {
  Result r;
  std::unique_ptr<char[]> copy = freshBuffer(bytes.size());
  const double start = cpuSeconds();
  std::memcpy(copy.get(), bytes.data(), bytes.size());
  r.seconds = cpuSeconds() - start;
  if (std::memcmp(copy.get(), bytes.data(), bytes.size()) != 0) r.seconds = -1;
  return r;
}

Result iloadSample(const std::string& bytes) {
  Result r;
  resetPeak();
  const long long before = statusBytes("VmRSS");
  MemoryInBuf buffer(bytes);
  std::istream is(&buffer);
  const double start = cpuSeconds();
  const std::unique_ptr<BCode> block(BCode::iload(is));
  r.seconds = cpuSeconds() - start;
  r.peakBytes = statusBytes("VmHWM") - before;
  if (block == nullptr) r.seconds = -1;
  return r;
}

Result saveSample(const std::string& bytes) {
  Result r;
  const std::unique_ptr<BCode> block = load(bytes);
  if (block == nullptr) return r;
  FreshOutBuf buffer(bytes.size() + 64);
  std::ostream os(&buffer);
  const double start = cpuSeconds();
  block->save(os);
  r.seconds = cpuSeconds() - start;
  if (!os.good() || buffer.size() != bytes.size()) r.seconds = -1;
  return r;
}

// Saves into a new file beside the record, as a compiler writes a block:
// the system copies the bytes into its page cache, which needs no fresh
// memory of the process's own.
Result saveFileSample(const std::string& bytes, const std::string& path) {
  Result r;
  const std::unique_ptr<BCode> block = load(bytes);
  if (block == nullptr) return r;
  const std::string saved = path + ".saved";
  const double start = cpuSeconds();
  {
    std::ofstream os(saved, std::ios::binary | std::ios::trunc);
    block->save(os);
    os.close();
    r.seconds = os.fail() ? -1 : cpuSeconds() - start;
  }
  struct stat info {};
  if (::stat(saved.c_str(), &info) != 0 || static_cast<std::size_t>(info.st_size) != bytes.size()) {
    r.seconds = -1;
  }
  std::remove(saved.c_str());
  return r;
}

Result listingSample(const std::string& bytes) {
  Result r;
  const std::unique_ptr<BCode> block = load(bytes);
  if (block == nullptr) return r;
  const bctool::NameTables names;
  LineCountingBuf counting;
  std::ostream os(&counting);
  const double start = cpuSeconds();
  bctool::printListing(os, *block, names);
  r.seconds = cpuSeconds() - start;
  r.items = counting.lines();
  return r;
}

std::string flagValue(int argc, char** argv, const char* flag) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], flag, std::strlen(flag)) == 0) return argv[i] + std::strlen(flag);
  }
  return "";
}

constexpr const char* kFileFlag = "--bcode_file=";

// ---------------------------------------------------------------------------
// The parent's side

// Starts `argv[0]` with `argv`, its standard output into `out` (null: none),
// and waits for it; answers the CPU time the process used, -1 on failure.
// Starts the program as a shell or a build tool does, without a copy of the
// benchmark's own memory that the new program would first have to drop (the
// child of a fork pays for unmapping what it inherited), and answers the CPU
// time, user and system, that the process took.
double runProcess(const std::vector<std::string>& args, std::string* out) {
  int pipeFds[2] = {-1, -1};
  if (out != nullptr && ::pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  if (out != nullptr) {
    ::posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  } else {
    ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  }
  ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  if (out != nullptr) {
    ::close(pipeFds[1]);
    char chunk[256];
    for (ssize_t n; spawned == 0 && (n = ::read(pipeFds[0], chunk, sizeof chunk)) > 0;) {
      out->append(chunk, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
  }
  if (spawned != 0) return -1;
  int status = 0;
  rusage usage{};
  if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status)) return -1;
  const double seconds =
      static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
      static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
  // The tool answers 1 for a block it finds wrong; that is not a measurement.
  return WEXITSTATUS(status) == 0 ? seconds : -1;
}

std::string selfPath() {
  char path[4096];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
}

// One row of the table: an operation of a sample process, or `check` of the tool.
struct Row {
  const char* name;
  const char* op;    // the sample's operation; "check" runs the tool
  const char* unit;  // "MB/s", "M lines/s" or "x record" (the peak memory of iload)
  double target;     // at the largest size; 0 for none
  bool reference;    // a physical yardstick, not an operation of the library
};

const Row kRows[] = {
    {"read the file", "read", "MB/s", 0, true},
    {"memcpy", "memcpy", "MB/s", 0, true},
    {"iload", "iload", "MB/s", kMinIloadMBps, false},
    {"iload peak memory", "iload", "x record", kMaxPeakRatio, false},
    {"save into fresh memory", "save", "MB/s", kMinSaveMBps, false},
    {"save to a file", "savefile", "MB/s", kMinSaveMBps, false},
    {"listing", "listing", "M lines/s", 0, false},
    {"bcode check process", "check", "MB/s", kMinCheckMBps, false},
};

struct Best {
  Result result;
  bool any = false;
  void take(const Result& r) {
    if (r.seconds < 0) return;
    if (!any || r.seconds < result.seconds) {
      const long long peak = any ? std::min(result.peakBytes, r.peakBytes) : r.peakBytes;
      result = r;
      result.peakBytes = peak;
    } else {
      result.peakBytes = std::min(result.peakBytes, r.peakBytes);
    }
    any = true;
  }
};

std::string format(const char* pattern, double value) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

double valueOf(const Row& row, const Result& r, double recordBytes) {
  if (std::strcmp(row.unit, "x record") == 0) return static_cast<double>(r.peakBytes) / recordBytes;
  if (std::strcmp(row.unit, "M lines/s") == 0 || std::strcmp(row.unit, kCountedMBps) == 0)
    return static_cast<double>(r.items) / r.seconds / kMB;
  return recordBytes / r.seconds / kMB;
}

// The quantity whose growth per doubling is watched: time, or memory.
double growthBase(const Row& row, const Result& r) {
  return std::strcmp(row.unit, "x record") == 0 ? static_cast<double>(r.peakBytes) : r.seconds;
}

bool meets(const Row& row, double value) {
  if (row.target <= 0) return true;
  return std::strcmp(row.unit, "x record") == 0 ? value <= row.target : value >= row.target;
}

}  // namespace

int runColdChild(int argc, char** argv) {
  const std::string op = flagValue(argc, argv, kColdFlag);
  const std::string path = flagValue(argc, argv, kFileFlag);
  bcInitBCode();
  Result r;
  if (op == "read") {
    r = readSample(path);
  } else {
    const std::string bytes = readFile(path);
    if (op == "memcpy") r = memcpySample(bytes);
    if (op == "iload") r = iloadSample(bytes);
    if (op == "save") r = saveSample(bytes);
    if (op == "savefile") r = saveFileSample(bytes, path);
    if (op == "listing") r = listingSample(bytes);
    for (const ColdOperation& o : textColdOperations()) {
      if (op == o.op) r.seconds = o.run(bytes, r.items);
    }
  }
  std::printf("%.9f %lld %llu\n", r.seconds, r.peakBytes, r.items);
  return r.seconds < 0 ? 1 : 0;
}

bool runCold(std::ostream& os, const std::map<std::uint32_t, std::string>& records, int samples,
             const std::string& tool) {
  char dirTemplate[] = "/tmp/bcode_bench.XXXXXX";
  const char* dir = ::mkdtemp(dirTemplate);
  if (dir == nullptr) return false;
  std::map<std::uint32_t, std::string> files;
  for (const auto& [size, record] : records) {
    files[size] = std::string(dir) + "/block" + std::to_string(size) + ".bc";
    std::ofstream(files[size], std::ios::binary) << record;
  }
  const std::string self = selfPath();
  std::vector<std::pair<std::string, std::uint32_t>> jobs;
  for (const char* op : {"read", "memcpy", "iload", "save", "savefile", "listing", "check"}) {
    if (std::strcmp(op, "check") == 0 && tool.empty()) continue;
    for (const auto& entry : files) jobs.emplace_back(op, entry.first);
  }
  for (const ColdOperation& o : textColdOperations()) {
    for (const auto& entry : files) jobs.emplace_back(o.op, entry.first);
  }
  std::map<std::pair<std::string, std::uint32_t>, Best> best;
  std::mt19937 shuffle(20240601u);
  for (int round = 0; round < samples; ++round) {
    std::shuffle(jobs.begin(), jobs.end(), shuffle);
    for (const auto& job : jobs) {
      const std::string& file = files[job.second];
      Result r;
      if (job.first == "check") {
        r.seconds = runProcess({tool, "check", file}, nullptr);
      } else {
        std::string out;
        runProcess({self, kColdFlag + job.first, kFileFlag + file}, &out);
        std::sscanf(out.c_str(), "%lf %lld %llu", &r.seconds, &r.peakBytes, &r.items);
      }
      best[job].take(r);
    }
  }
  for (const auto& entry : files) std::remove(entry.second.c_str());
  ::rmdir(dir);

  os << "\n| cold: a fresh process per sample | N | 2N | 4N | growth N to 2N | growth 2N to 4N |\n"
     << "|---|---|---|---|---|---|\n";
  bool met = true;
  std::string targets;
  std::vector<Row> rows(std::begin(kRows), std::end(kRows));
  for (const ColdOperation& o : textColdOperations()) {
    rows.push_back({o.name, o.op, kCountedMBps, o.targetMBps, false});
  }
  for (const Row& row : rows) {
    os << "| " << row.name;
    const Result* previous = nullptr;
    std::string growth;
    for (const auto& [size, file] : files) {
      const Best& b = best[{row.op, size}];
      if (!b.any) {
        os << " | failed";
        met = false;
        previous = nullptr;
        continue;
      }
      const double recordBytes = static_cast<double>(records.at(size).size());
      const double value = valueOf(row, b.result, recordBytes);
      os << " | " << format(value >= 100 ? "%.0f " : "%.2f ", value) << row.unit;
      if (previous != nullptr) {
        const double ratio = growthBase(row, b.result) / growthBase(row, *previous);
        const bool tooSteep = !row.reference && ratio > kMaxColdGrowth;
        if (tooSteep) met = false;
        growth += " | " + format("%.2f", ratio) + (tooSteep ? " (!)" : "");
      }
      previous = &b.result;
      if (size == files.rbegin()->first && row.target > 0) {
        const bool ok = meets(row, value);
        if (!ok) met = false;
        targets += std::string(row.name) + " at " + std::to_string(size) + " instructions (" +
                   format("%.2f", recordBytes / kMB) + " MB): " + format("%.2f ", value) +
                   row.unit + ", target " + format("%.1f", row.target) +
                   (ok ? " (met)\n" : " (missed)\n");
      }
    }
    os << growth << " |\n";
  }
  os << "\nCPU time of the operation in a process of its own (of the whole process for the "
        "check), best of "
     << samples << "; growth is the ratio of time (of memory for the peak) per doubling.\n"
     << targets;
  return met;
}

}  // namespace bcbench

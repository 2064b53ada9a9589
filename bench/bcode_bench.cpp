// The benchmarks of libbcode: each service on generated blocks of N, 2N and
// 4N instructions (N = 15000 unless --bcode_n=... says otherwise), then the
// summary table. Blocks are generated once per size and shared. After these
// warm figures come the cold ones (bench/cold.h): iload, save, the listing,
// the tool's check and the text form's dis and asm (bench/textcold.cpp),
// each sample in a fresh process.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "bcode/code/bcode.h"
#include "bcode/const/bcconstant.h"
#include "bcode/const/bcconstlist.h"
#include "bcode/foundation/krerror.h"
#include "bcode/instr/bcinstrop.h"
#include "bcode/instr/bcinstruction.h"
#include "bcode/interface/bcssb.h"
#include "bcode/localdata/bcldlist.h"
#include "bcode/operand/bclocal.h"
#include "bcode/operand/bcoperand.h"
#include "bcode/operand/bcparam.h"
#include "bcode/text/bctext.h"
#include "bench/cold.h"
#include "bench/membuf.h"
#include "bench/summary.h"
#include "tools/support/blockgen.h"
#include "tools/support/blocklisting.h"
#include "tools/support/nametablefile.h"

namespace bcbench {
namespace {

using bctool::generateBlock;
using bctool::GeneratedBlock;

// A generated block with its record, its text and the length of its listing.
struct Sample {
  GeneratedBlock generated;
  std::string record;
  std::string text;
  std::uint64_t listingLines = 0;
};

class Samples {
 public:
  const Sample& at(std::uint32_t instructions) {
    auto found = samples_.find(instructions);
    if (found != samples_.end()) return found->second;
    Sample& sample = samples_[instructions];
    sample.generated = generateBlock(instructions);
    if (sample.generated.block == nullptr) {
      std::cerr << "generating a block of " << instructions << " instructions failed\n";
      std::exit(1);
    }
    std::ostringstream record;
    sample.generated.block->save(record);
    sample.record = record.str();
    sample.text = bcToText(*sample.generated.block);
    LineCountingBuf counting;
    std::ostream listing(&counting);
    bctool::printListing(listing, *sample.generated.block, names_);
    sample.listingLines = counting.lines();
    return sample;
  }
  const bctool::NameTables& names() const { return names_; }

 private:
  std::map<std::uint32_t, Sample> samples_;
  bctool::NameTables names_;
};

std::uint32_t sizeOf(const benchmark::State& state) {
  return static_cast<std::uint32_t>(state.range(0));
}

void recordThroughput(benchmark::State& state, const std::string& record) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * record.size()));
  state.counters["record_bytes"] = static_cast<double>(record.size());
}

void save(benchmark::State& state, Samples& samples) {
  const Sample& sample = samples.at(sizeOf(state));
  FixedOutBuf buffer(sample.record.size() + 64);
  std::ostream os(&buffer);
  for (auto _ : state) {
    buffer.rewind();
    sample.generated.block->save(os);
    benchmark::ClobberMemory();
  }
  if (!os.good() || buffer.size() != sample.record.size()) state.SkipWithError("save failed");
  recordThroughput(state, sample.record);
}

void iload(benchmark::State& state, Samples& samples) {
  const Sample& sample = samples.at(sizeOf(state));
  MemoryInBuf buffer(sample.record);
  for (auto _ : state) {
    buffer.rewind();
    std::istream is(&buffer);
    std::unique_ptr<BCode> loaded(BCode::iload(is));
    state.PauseTiming();
    if (loaded == nullptr) state.SkipWithError("iload failed");
    loaded.reset();
    state.ResumeTiming();
  }
  recordThroughput(state, sample.record);
}

// The same bytes as the record, copied by memcpy in the same run.
void copyRecord(benchmark::State& state, Samples& samples) {
  const Sample& sample = samples.at(sizeOf(state));
  std::string copy(sample.record.size(), '\0');
  for (auto _ : state) {
    std::memcpy(copy.data(), sample.record.data(), sample.record.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  recordThroughput(state, sample.record);
}

// The text form's throughput counts bytes of text.
void writeText(benchmark::State& state, Samples& samples) {
  const Sample& sample = samples.at(sizeOf(state));
  std::size_t written = 0;
  for (auto _ : state) {
    written = bcToText(*sample.generated.block).size();
    benchmark::DoNotOptimize(written);
  }
  if (written != sample.text.size()) state.SkipWithError("bcToText failed");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * sample.text.size()));
}

void readText(benchmark::State& state, Samples& samples) {
  const Sample& sample = samples.at(sizeOf(state));
  for (auto _ : state) {
    BCTextReading reading = bcReadText(sample.text, "bench.bct");
    state.PauseTiming();
    if (reading.block == nullptr) state.SkipWithError("bcReadText failed");
    reading.block.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * sample.text.size()));
}

void calcOffsets(benchmark::State& state, Samples& samples) {
  BCode& block = *samples.at(sizeOf(state)).generated.block;
  for (auto _ : state) block.calcOffsets();
}

// The full listing of the bcode tool, with the library's default name tables.
void listing(benchmark::State& state, Samples& samples) {
  const Sample& sample = samples.at(sizeOf(state));
  LineCountingBuf counting;
  std::ostream os(&counting);
  for (auto _ : state) bctool::printListing(os, *sample.generated.block, samples.names());
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * sample.listingLines));
  state.SetLabel("lines");
}

template <class Operand, class Ref>
void constructAll(const std::vector<Ref>& refs, KR_BLOCK_KIND kind) {
  for (const Ref& ref : refs) {
    Operand operand(kind, ref);
    benchmark::DoNotOptimize(operand.getOffset());
  }
}

// A local data operand for every variable, a parameter operand for every
// interface entry.
void localAndParamOperands(benchmark::State& state, Samples& samples) {
  const GeneratedBlock& g = samples.at(sizeOf(state)).generated;
  for (auto _ : state) {
    for (const BCLDRef& ref : g.lddVariables) benchmark::DoNotOptimize(BCoLDD(ref).getOffset());
    for (const BCLDRef& ref : g.lsdVariables) benchmark::DoNotOptimize(BCoLSD(ref).getOffset());
    constructAll<BCoFBEP>(g.ownEntries, KR_FB_KENN);
    constructAll<BCoSFBEP>(g.fbEntries, KR_FB_KENN);
    for (const BCSSBRef& ref : g.fcEntries) {
      benchmark::DoNotOptimize(BCoSFCEP(KR_FC_KENN, ref).getParNo());
    }
  }
  const std::size_t count = g.lddVariables.size() + g.lsdVariables.size() + g.ownEntries.size() +
                            g.fbEntries.size() + g.fcEntries.size();
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * count));
  state.SetLabel("operands");
}

// The four searches, each from the last instruction for the temporary that
// only the first instruction makes.
template <class Search>
void searchFromEnd(benchmark::State& state, Samples& samples, Search search) {
  const GeneratedBlock& g = samples.at(sizeOf(state)).generated;
  const BCInstructionList& list = g.block->getInstrList();
  const BCInstructionListIterator last(list, 0);
  int found = 0;
  for (auto _ : state) {
    found = search(list, last, g.firstTemporary);
    benchmark::DoNotOptimize(found);
  }
  if (found == 0) state.SkipWithError("the search found nothing");
}

int searchCreating(const BCInstructionList& list, const BCInstructionListIterator& from,
                   std::uint32_t tmpNo) {
  BCInstructionListIterator found(list, 1);
  return list.searchTMPCreatingInstr(from, tmpNo, found);
}

int searchBaseOp(const BCInstructionList& list, const BCInstructionListIterator& from,
                 std::uint32_t tmpNo) {
  BCInstructionListIterator found(list, 1);
  BCInstructionOp* base = nullptr;
  return list.searchInstrOfBaseOp(from, tmpNo, found, base);
}

int searchOperandPos(const BCInstructionList& list, const BCInstructionListIterator& from,
                     std::uint32_t tmpNo) {
  const BCTMP tmp(KR_DT_INT, tmpNo, BCTMP::TMG, BCTMP::L_AREA);
  KRTextPos pos;
  return list.searchATextPos(from, tmp, pos);
}

int searchInstructionPos(const BCInstructionList& list, const BCInstructionListIterator& from,
                         std::uint32_t) {
  KRTextPos pos;
  return list.searchATextPos(from, pos);
}

void fillConstantTable(benchmark::State& state) {
  const auto entries = static_cast<std::int32_t>(state.range(0));
  for (auto _ : state) {
    auto table = std::make_unique<BCConstantList>();
    for (std::int32_t i = 1; i <= entries; ++i) {
      table->add(std::make_unique<BCDIntConst>(i).release());
    }
    benchmark::DoNotOptimize(table->getCount());
    state.PauseTiming();
    table.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * entries);
  state.SetLabel("entries");
}

using BlockBenchmark = void (*)(benchmark::State&, Samples&);

// Each registration also notes the operation's name, in table order.
void registerAtSizes(std::vector<std::string>& names, const char* name, BlockBenchmark run,
                     Samples& samples, std::uint32_t n) {
  benchmark::RegisterBenchmark(name, [run, &samples](benchmark::State& s) { run(s, samples); })
      ->Arg(n)
      ->Arg(2 * n)
      ->Arg(4 * n)
      ->Unit(benchmark::kMicrosecond);
  names.emplace_back(name);
}

template <class Search>
void registerSearch(std::vector<std::string>& names, const char* name, Search search,
                    Samples& samples, std::uint32_t n) {
  benchmark::RegisterBenchmark(
      name, [search, &samples](benchmark::State& s) { searchFromEnd(s, samples, search); })
      ->Arg(n)
      ->Arg(2 * n)
      ->Arg(4 * n)
      ->Unit(benchmark::kMicrosecond);
  names.emplace_back(name);
}

// Registers every benchmark and answers the operation names in table order.
std::vector<std::string> registerAll(Samples& samples, std::uint32_t n) {
  std::vector<std::string> names;
  registerAtSizes(names, "save", save, samples, n);
  registerAtSizes(names, "save memcpy", copyRecord, samples, n);
  registerAtSizes(names, "iload", iload, samples, n);
  registerAtSizes(names, "iload memcpy", copyRecord, samples, n);
  registerAtSizes(names, "calcOffsets", calcOffsets, samples, n);
  registerAtSizes(names, "bcToText", writeText, samples, n);
  registerAtSizes(names, "bcReadText", readText, samples, n);
  registerAtSizes(names, "listing", listing, samples, n);
  registerAtSizes(names, "local data and parameter operands", localAndParamOperands, samples, n);
  registerSearch(names, "searchTMPCreatingInstr", searchCreating, samples, n);
  registerSearch(names, "searchInstrOfBaseOp", searchBaseOp, samples, n);
  registerSearch(names, "searchATextPos (operand)", searchOperandPos, samples, n);
  registerSearch(names, "searchATextPos (instruction)", searchInstructionPos, samples, n);
  benchmark::RegisterBenchmark("fill constant table", fillConstantTable)
      ->Arg(16383)
      ->Arg(32767)
      ->Arg(65534)
      ->Unit(benchmark::kMillisecond);
  names.emplace_back("fill constant table");
  return names;
}

// The value of --<name>=<number>, or `otherwise`.
std::uint32_t numberFromArgs(int argc, char** argv, const std::string& name,
                             std::uint32_t otherwise) {
  const std::string flag = "--" + name + "=";
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], flag.c_str(), flag.size()) == 0) {
      return static_cast<std::uint32_t>(std::strtoul(argv[i] + flag.size(), nullptr, 10));
    }
  }
  return otherwise;
}

// The bcode tool beside this program, empty when it was not built.
std::string toolBesideUs() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return "";
  std::string tool(path, static_cast<std::size_t>(n));
  tool = tool.substr(0, tool.rfind('/') + 1) + "bcode";
  return access(tool.c_str(), X_OK) == 0 ? tool : "";
}

}  // namespace
}  // namespace bcbench

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], bcbench::kColdFlag, std::strlen(bcbench::kColdFlag)) == 0) {
      return bcbench::runColdChild(argc, argv);
    }
  }
  // The warm figures: destroying a loaded block between iterations frees
  // megabytes that glibc would hand back to the kernel, and the next load
  // would fault them in again. This keeps freed memory in the heap, as in a
  // process that has loaded blocks before; the cold figures have no such help.
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
  bcInitBCode();
  benchmark::Initialize(&argc, argv);
  const std::uint32_t n = bcbench::numberFromArgs(argc, argv, "bcode_n", 15000);
  const std::uint32_t coldSamples = bcbench::numberFromArgs(argc, argv, "bcode_cold_samples", 11);
  const bool warm = bcbench::numberFromArgs(argc, argv, "bcode_warm", 1) != 0;
  if (n == 0 || 4 * n > 65535) {
    std::cerr << "--bcode_n must be between 1 and 16383\n";
    return 2;
  }
  // Every sample is made before the first benchmark runs: repetitions may
  // come in any order, and none should pay for making a sample.
  bcbench::Samples samples;
  std::map<std::uint32_t, std::string> records;
  for (std::uint32_t size : {n, 2 * n, 4 * n}) records[size] = samples.at(size).record;
  bool met = true;
  std::cout << "Machine: " << bcbench::machineText() << "\nN = " << n << " instructions\n";
  if (warm) {
    bcbench::SummaryReporter reporter(bcbench::registerAll(samples, n));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::cout << "\nWarm: the heap keeps freed memory between iterations (mallopt "
                 "M_TRIM_THRESHOLD); fill constant table: N = 16383 entries\n";
    met = bcbench::printSummary(std::cout, reporter.rows());
  }
  if (coldSamples > 0) {
    met = bcbench::runCold(std::cout, records, static_cast<int>(coldSamples),
                           bcbench::toolBesideUs()) &&
          met;
  }
  std::cout << (met ? "All targets met.\n" : "Some target missed.\n");
  benchmark::Shutdown();
  return 0;
}

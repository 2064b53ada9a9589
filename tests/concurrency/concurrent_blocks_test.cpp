// Separate blocks built, laid out, saved, loaded and listed on four threads at
// once, with loads failing on some threads while others succeed: every error
// flag is per thread, so each thread sees only its own failures. One block
// is also written as text on all four. make test runs this program under
// ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bcode/code/bcode.h"
#include "bcode/instr/bcinstrop.h"
#include "bcode/instr/bcinstruction.h"
#include "bcode/text/bctext.h"
#include "fuzz/recordcheck.h"
#include "tools/support/demoblock.h"
#include "tools/support/errorreport.h"

namespace {

constexpr int kThreads = 4;
constexpr int kRounds = 12;

// What one thread found wrong, reported by the main thread.
using Problems = std::vector<std::string>;

// Starts `work(thread, problems)` on kThreads threads released together and
// fails the test with whatever they report.
void runOnThreads(const std::function<void(int, Problems&)>& work) {
  std::vector<Problems> problems(kThreads);
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ready.fetch_add(1);
      while (ready.load() < kThreads) std::this_thread::yield();
      work(t, problems[t]);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    for (const std::string& problem : problems[t])
      ADD_FAILURE() << "thread " << t << ": " << problem;
  }
}

// What the main thread made of the demo block.
struct Reference {
  std::string record;
  std::string reloaded;
  std::string listing;
};

void expectNoFlags(const char* after, Problems& problems) {
  const std::string flags = bctool::errorFlagsText();
  if (!flags.empty()) problems.push_back(std::string("flags after ") + after + ": " + flags);
}

// The whole road of one block; no flag may be set at any step.
void goodRound(const Reference& ref, Problems& problems) {
  const std::unique_ptr<BCode> block = bctool::buildDemoBlock();
  if (!block) {
    problems.push_back("build failed: " + bctool::errorFlagsText());
    return;
  }
  block->calcOffsets();
  expectNoFlags("build and layout", problems);
  if (bcfuzz::saveBlock(*block) != ref.record) problems.push_back("saved bytes differ");
  const std::unique_ptr<BCode> loaded = bcfuzz::loadBlock(ref.record);
  if (!loaded) {
    problems.push_back("load failed: " + bctool::errorFlagsText());
    return;
  }
  if (bcfuzz::saveBlock(*loaded) != ref.reloaded) problems.push_back("reloaded bytes differ");
  if (bcfuzz::listBlock(*block) != ref.listing) problems.push_back("listing differs");
  expectNoFlags("save, load and listing", problems);
}

// Loads of every truncation of the record: each fails with BCode's flag set,
// which only this thread sees, until it is cleared here.
void failingRound(const Reference& ref, int thread, Problems& problems) {
  for (std::size_t size = thread; size < ref.record.size(); size += 7) {
    if (bcfuzz::loadBlock(ref.record.substr(0, size)) != nullptr) {
      problems.push_back("a record cut at " + std::to_string(size) + " loaded");
    }
    if (BCode::getError() == BCode::BCODE_OK) {
      problems.push_back("no flag for a record cut at " + std::to_string(size));
    }
    bcInitBCode();
  }
}

// The demo block's record, the record it saves as once loaded, its listing.
Reference demoReference() {
  bcInitBCode();
  const std::unique_ptr<BCode> block = bctool::buildDemoBlock();
  if (block == nullptr) return {};
  const std::string record = bcfuzz::saveBlock(*block);
  return {record, bcfuzz::saveBlock(*bcfuzz::loadBlock(record)), bcfuzz::listBlock(*block)};
}

TEST(Concurrency, SeparateBlocksOnFourThreadsSeeOnlyTheirOwnFlags) {
  const Reference ref = demoReference();
  ASSERT_FALSE(ref.record.empty());
  runOnThreads([&ref](int thread, Problems& problems) {
    for (int round = 0; round < kRounds; ++round) {
      if ((thread + round) % 2 == 0) {
        goodRound(ref, problems);
      } else {
        failingRound(ref, thread, problems);
      }
    }
  });
}

// Each thread loads a block, takes its instructions out and destroys the
// block; the next thread then deletes those instructions and the results
// they hand back. The objects' memory lies in the loading block's arena, so
// its chunks are counted down from two threads and freed by whichever gives
// the last object back (ThreadSanitizer watches the counts, LeakSanitizer
// the chunks).
TEST(Concurrency, LoadedObjectsOutliveTheirBlockOnAnotherThread) {
  const Reference ref = demoReference();
  ASSERT_FALSE(ref.record.empty());
  std::vector<std::vector<std::unique_ptr<BCInstruction>>> taken(kThreads);
  std::atomic<int> destroyed{0};
  runOnThreads([&](int thread, Problems& problems) {
    if (const std::unique_ptr<BCode> block = bcfuzz::loadBlock(ref.record)) {
      BCInstructionList& list = block->getInstrList();
      while (!list.isEmpty()) taken[thread].emplace_back(list.removeFirst());
    } else {
      problems.push_back("load failed: " + bctool::errorFlagsText());
    }
    destroyed.fetch_add(1);
    while (destroyed.load() < kThreads) std::this_thread::yield();
    std::vector<std::unique_ptr<BCInstruction>>& others = taken[(thread + 1) % kThreads];
    if (others.empty()) problems.push_back("no instructions to delete");
    for (std::unique_ptr<BCInstruction>& instr : others) {
      const std::unique_ptr<BCInstructionOp> z(instr->setZOp(nullptr));
      instr.reset();
    }
  });
}

// The text writer only reads the block it writes, so threads may share one.
TEST(Concurrency, OneBlockWrittenAsTextOnFourThreads) {
  bcInitBCode();
  const std::unique_ptr<BCode> block = bctool::buildDemoBlock();
  ASSERT_NE(block, nullptr);
  const std::string text = bcToText(*block);
  runOnThreads([&](int, Problems& problems) {
    for (int round = 0; round < kRounds; ++round) {
      if (bcToText(*block) != text) problems.push_back("the text differs");
    }
    expectNoFlags("bcToText", problems);
  });
}

// Every file of a fuzz target's corpus: its path and its bytes.
std::vector<std::pair<std::string, std::string>> corpus(const char* target) {
  std::vector<std::pair<std::string, std::string>> files;
  const std::string dir = std::string(BCODE_FUZZ_CORPUS_DIR) + "/" + target;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    files.emplace_back(entry.path().string(), std::string(std::istreambuf_iterator<char>(in), {}));
  }
  return files;
}

// Every seed and every input a fuzzer once failed on, split over the
// threads; the type tables are read with both bound widths, in a different
// order per thread, since the width is per thread too.
TEST(Concurrency, FuzzCorpusReplaysOnFourThreads) {
  const auto blocks = corpus("fuzz_block_load");
  const auto tables = corpus("fuzz_type_table");
  ASSERT_FALSE(blocks.empty());
  ASSERT_FALSE(tables.empty());
  runOnThreads([&](int thread, Problems& problems) {
    for (std::size_t i = thread; i < blocks.size(); i += kThreads) {
      const std::string problem = bcfuzz::checkBlockRecord(blocks[i].second);
      if (!problem.empty()) problems.push_back(blocks[i].first + ": " + problem);
    }
    const unsigned int widths[2] = {thread % 2 == 0 ? 2u : 4u, thread % 2 == 0 ? 4u : 2u};
    for (const auto& [path, bytes] : tables) {
      for (const unsigned int width : widths) {
        const std::string problem = bcfuzz::checkTypeTableRecord(bytes, width);
        if (!problem.empty()) problems.push_back(path + ": " + problem);
      }
    }
  });
}

}  // namespace

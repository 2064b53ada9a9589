// Dumps and listings write the same text whatever state the caller left its
// stream (and standard output) in, and leave that state as they found it.
#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <locale>
#include <memory>
#include <sstream>
#include <string>

#include "bcode/code/bcode.h"
#include "bcode/const/bcconstlist.h"
#include "bcode/foundation/krystrng.h"
#include "bcode/instr/bcinstrop.h"
#include "bcode/instr/bcinstruction.h"
#include "bcode/interface/bcssb.h"
#include "bcode/interface/bcssbentry.h"
#include "bcode/localdata/bcldlist.h"
#include "bcode/operand/bclocal.h"
#include "bcode/operand/bcoperand.h"
#include "bcode/operand/bcparam.h"
#include "bcode/types/krinstancedesc.h"
#include "bcode/types/krtypetab.h"
#include "tools/support/blocklisting.h"
#include "tools/support/demoblock.h"
#include "tools/support/nametablefile.h"

namespace {

// Digits grouped one by one, another decimal point and other words for
// true and false: a locale that no machine needs to have installed.
struct OddPunctuation : std::numpunct<char> {
  char do_thousands_sep() const override { return '\''; }
  std::string do_grouping() const override { return "\1"; }
  char do_decimal_point() const override { return ','; }
  std::string do_truename() const override { return "yes"; }
  std::string do_falsename() const override { return "no"; }
};

struct StreamState {
  std::ios_base::fmtflags flags;
  char fill;
  std::streamsize width;
  std::streamsize precision;
  std::locale locale;

  void setOn(std::ostream& os) const {
    os.flags(flags);
    os.fill(fill);
    os.width(width);
    os.precision(precision);
    os.imbue(locale);
  }
  void expectOn(const std::ostream& os) const {
    EXPECT_EQ(os.flags(), flags);
    EXPECT_EQ(os.fill(), fill);
    EXPECT_EQ(os.width(), width);
    EXPECT_EQ(os.precision(), precision);
    EXPECT_TRUE(os.getloc() == locale);
  }
};

using std::ios_base;
const std::locale kOddLocale(std::locale::classic(), new OddPunctuation);
const StreamState kStates[] = {
    {ios_base::hex | ios_base::showbase | ios_base::left | ios_base::uppercase | ios_base::showpos |
         ios_base::boolalpha | ios_base::scientific | ios_base::showpoint,
     '*', 30, 2, kOddLocale},
    {ios_base::oct | ios_base::internal | ios_base::fixed, '#', 40, 9, kOddLocale},
};

// Each public function that writes text, for every part of the demo block.
// The parts' dumps are called one by one, so that no enclosing dump's scope
// stands in for their own.
struct Writer {
  const char* name;
  std::function<void(std::ostream&, BCode&)> write;
};

template <class T, class Dump>
void eachEntry(const KRRefTable<T>& table, Dump dump) {
  for (KRRefTableIterator<T> it(table); !it.end(); ++it) dump(*it.current());
}

void eachVariable(const BCLDList& list, std::ostream& os) {
  for (BCLDListIterator it(list, 1); !it.end(); ++it) it.current()->printOn(os);
}

void eachOperandOf(const BCInstruction& instruction, std::ostream& os) {
  for (const BCInstructionOp* op :
       {instruction.getZOp(), instruction.getQ1Op(), instruction.getQ2Op()}) {
    if (op != nullptr) op->printOn(os);
  }
}

const Writer kWriters[] = {
    {"listing", [](std::ostream& os, BCode& b) { bctool::printListing(os, b, {}); }},
    {"dump", [](std::ostream& os, BCode& b) { bctool::printDump(os, b); }},
    {"types",
     [](std::ostream& os, BCode& b) {
       eachEntry(b.getTypeTab(), [&](const KRTypedesc& desc) { desc.printOn(os, 3); });
     }},
    {"interfaces",
     [](std::ostream& os, BCode& b) {
       for (BCSSBListIterator list(b.getSSBList()); !list.end();) {
         const BCSSB* ssb = list++;
         ssb->printOn(os);
         for (BCSSBIterator it(*ssb, 1); !it.end(); ++it) it.current()->printOn(os);
       }
     }},
    {"local data",
     [](std::ostream& os, BCode& b) {
       eachVariable(b.getLDDList(), os);
       eachVariable(b.getLSDList(), os);
     }},
    {"constants",
     [](std::ostream& os, BCode& b) {
       eachEntry(b.getConstList(), [&](const BCConstant& c) { c.printOn(os); });
     }},
    {"operands",
     [](std::ostream& os, BCode& b) {
       eachEntry(b.getOpList(), [&](const BCOperand& op) { op.printOn(os); });
     }},
    {"instructions",
     [](std::ostream& os, BCode& b) {
       for (BCInstructionListIterator it(b.getInstrList(), 1); !it.end(); ++it) {
         it.current()->printOn(os);
         eachOperandOf(*it.current(), os);
       }
     }},
    {"unresolved references",
     [](std::ostream& os, BCode& b) {
       BCoLSD(BCLDRef(99, &b.getLSDList())).printOn(os);
       BCoSFCEP(KR_FC_KENN, BCSSBRef(99, KR_FC_KENN, 1, &b.getSSBList())).printOn(os);
       KRInstanceDesc(99, KR_FB_KENN, nullptr).printOn(os, 1);
     }},
    {"string", [](std::ostream& os, BCode&) { KRString("name").printOn(os); }},
};

struct Output {
  std::string stream;
  std::string standardOutput;
};

// What `writer` writes to a stream and to standard output, both in `state`
// (a new stream's when null); checks that the state is left unchanged.
Output written(const Writer& writer, BCode& block, const StreamState* state) {
  std::ostringstream os;
  std::ostringstream out;
  std::ios savedFormat(nullptr);
  savedFormat.copyfmt(std::cout);
  std::streambuf* const savedBuffer = std::cout.rdbuf(out.rdbuf());
  if (state != nullptr) {
    state->setOn(os);
    state->setOn(std::cout);
  }
  writer.write(os, block);
  if (state != nullptr) {
    state->expectOn(os);
    state->expectOn(std::cout);
  }
  std::cout.rdbuf(savedBuffer);
  std::cout.copyfmt(savedFormat);
  return {os.str(), out.str()};
}

TEST(StreamState, ChangesNoTextAndIsLeftAsFound) {
  const std::unique_ptr<BCode> block = bctool::buildDemoBlock();
  ASSERT_NE(block, nullptr);
  for (const Writer& writer : kWriters) {
    SCOPED_TRACE(writer.name);
    const Output plain = written(writer, *block, nullptr);
    ASSERT_FALSE(plain.stream.empty());
    for (const StreamState& state : kStates) {
      const Output odd = written(writer, *block, &state);
      EXPECT_EQ(odd.stream, plain.stream);
      EXPECT_EQ(odd.standardOutput, plain.standardOutput);
    }
  }
}

}  // namespace

#include "tools/support/blocklisting.h"

#include <cstdio>
#include <iomanip>
#include <ostream>
#include <string>

#include "bcode/code/bcode.h"
#include "bcode/const/bcconstlist.h"
#include "bcode/foundation/krlistline.h"
#include "bcode/instr/bcinstruction.h"
#include "bcode/interface/bcssb.h"
#include "bcode/localdata/bcldlist.h"
#include "bcode/operand/bcoperand.h"
#include "bcode/types/krtypetab.h"
#include "tools/support/blockreading.h"
#include "tools/support/nametablefile.h"

namespace bctool {

namespace {

// Listing level of the type lines: component names at column 2.
constexpr int kTypeLevel = 2;
// Table lines start with the index, right-aligned in 5; the entry's own
// columns follow at kEntryColumn.
constexpr int kEntryColumn = 6;
constexpr const char* kEmptySlot = "(empty)";

// The entries a table holds, not counting its empty slots.
template <class T>
std::uint32_t presentEntries(const KRRefTable<T>& table) {
  std::uint32_t present = 0;
  for (std::uint32_t i = 1; i < table.getCount(); ++i) {
    if (table.entryAt(i) != nullptr) ++present;
  }
  return present;
}

std::string plural(std::uint32_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// The listing and the dump are written unformatted, like the library's own
// lines, so that no state of the caller's stream changes them.
void writeText(std::ostream& os, const std::string& text) {
  os.write(text.data(), static_cast<std::streamsize>(text.size()));
}

void blockTitle(std::ostream& os, const BCode& block) {
  writeText(os, std::string("Block: ") + blockKindName(block.getBlockKind()) + ' ' +
                    std::to_string(block.getBlockNo()) + '\n');
}

std::string typeTitle(const BCode& block) {
  return "Type table: " + plural(presentEntries(block.getTypeTab()), "type", "types");
}
std::string interfaceTitle(const BCode& block) {
  return "Interface list: " + plural(block.getSSBList().getCount(), "description", "descriptions");
}
std::string localDataTitle(const char* name, const BCLDList& list) {
  return std::string(name) + " list: " + plural(list.getEntryCount(), "variable", "variables") +
         ", start offset " + std::to_string(list.getStartOffset());
}
std::string constantTitle(const BCode& block) {
  return "Constant table: " + plural(presentEntries(block.getConstList()), "constant", "constants");
}
std::string operandTitle(const BCode& block) {
  return "Operand table: " + plural(presentEntries(block.getOpList()), "operand", "operands");
}
std::string instructionTitle(const BCode& block) {
  return "Instruction list: " +
         plural(block.getInstrList().getCount(), "instruction", "instructions");
}

void sectionTitle(std::ostream& os, const std::string& title) {
  writeText(os, '\n' + title + '\n');
}

// Listing lines through the one line writer of the library.
class Lister {
 public:
  Lister(std::ostream& os, const NameTables& names) : os_(os), names_(names) {}

  void run(const BCode& block) {
    // One print run: each type's length is worked out once.
    const KRTypePrintScope onePrint(block.getTypeTab());
    blockTitle(os_, block);
    sectionTitle(os_, typeTitle(block));
    types(block.getTypeTab());
    sectionTitle(os_, interfaceTitle(block));
    block.getSSBList().printOn(os_, line_, line_, names_.paramKindNames.get(),
                               names_.typeNames.get());
    localData("LDD", block.getLDDList());
    localData("LSD", block.getLSDList());
    sectionTitle(os_, constantTitle(block));
    constants(block.getConstList());
    sectionTitle(os_, operandTitle(block));
    operands(block.getOpList());
    sectionTitle(os_, instructionTitle(block));
    instructions(block.getInstrList());
  }

 private:
  char* entryColumn() { return line_ + kEntryColumn; }

  void putIndex(std::uint32_t index) {
    krLinePrintf(line_, line_, "%5u", static_cast<unsigned>(index));
  }

  void emptySlot(std::uint32_t index) {
    putIndex(index);
    krLinePut(line_, entryColumn(), kEmptySlot);
    krLineStore(os_, entryColumn(), line_);
  }

  // Every slot of a table from 1 on: the index, then the entry's columns,
  // or the empty slot's line.
  template <class Table, class PrintEntry>
  void slots(const Table& table, PrintEntry printEntry) {
    for (std::uint32_t i = 1; i < table.getCount(); ++i) {
      const auto* entry = table.entryAt(i);
      if (entry == nullptr) {
        emptySlot(i);
        continue;
      }
      putIndex(i);
      printEntry(*entry);
    }
  }

  void types(const KRTypeTab& table) {
    slots(table, [this](const KRTypedesc& desc) {
      desc.printOn(os_, kTypeLevel, nullptr, line_, names_.typeNames.get());
    });
  }

  void localData(const char* name, const BCLDList& list) {
    sectionTitle(os_, localDataTitle(name, list));
    std::uint32_t number = 0;
    for (BCLDListIterator it(list, 1); !it.end(); ++it) {
      putIndex(++number);
      it.current()->printOn(os_, entryColumn(), line_, names_.typeNames.get());
    }
  }

  void constants(const BCConstantList& table) {
    slots(table,
          [this](const BCConstant& constant) { constant.printOn(os_, entryColumn(), line_); });
  }

  void operands(const BCOperandList& table) {
    slots(table, [this](const BCOperand& operand) {
      operand.printOn(os_, entryColumn(), line_, names_.classNames.get(), names_.typeNames.get());
    });
  }

  // The mnemonic opens the line; the operand columns start 7 further on.
  void instructions(const BCInstructionList& list) {
    for (BCInstructionListIterator it(list, 1); !it.end(); ++it) {
      it.current()->printOn(os_, line_, line_, names_.mnemonics.get(), names_.typeNames.get());
    }
  }

  std::ostream& os_;
  const NameTables& names_;
  char line_[kKRLineSize] = {};
};

// Debugging dumps: each entry after its index, right-aligned in 5.
class Dumper {
 public:
  explicit Dumper(std::ostream& os) : os_(os) {}

  void run(const BCode& block) {
    // One print run: each structure and array is written once, then
    // referred to.
    const KRTypePrintScope onePrint(block.getTypeTab());
    blockTitle(os_, block);
    sectionTitle(os_, typeTitle(block));
    table(block.getTypeTab(), [this](const KRTypedesc& desc) { desc.printOn(os_, 0); });
    sectionTitle(os_, interfaceTitle(block));
    block.getSSBList().printOn(os_);
    localData("LDD", block.getLDDList());
    localData("LSD", block.getLSDList());
    sectionTitle(os_, constantTitle(block));
    table(block.getConstList(), [this](const BCConstant& constant) { constant.printOn(os_); });
    sectionTitle(os_, operandTitle(block));
    table(block.getOpList(), [this](const BCOperand& operand) { operand.printOn(os_); });
    sectionTitle(os_, instructionTitle(block));
    std::uint32_t number = 0;
    for (BCInstructionListIterator it(block.getInstrList(), 1); !it.end(); ++it) {
      index(++number);
      it.current()->printOn(os_);
    }
  }

 private:
  void index(std::uint32_t number) {
    char text[16];
    std::snprintf(text, sizeof text, "%5u ", static_cast<unsigned>(number));
    writeText(os_, text);
  }

  template <class T, class Dump>
  void table(const KRRefTable<T>& entries, Dump dump) {
    for (std::uint32_t i = 1; i < entries.getCount(); ++i) {
      index(i);
      if (entries.entryAt(i) == nullptr) {
        writeText(os_, std::string(kEmptySlot) + '\n');
      } else {
        dump(*entries.entryAt(i));
      }
    }
  }

  void localData(const char* name, const BCLDList& list) {
    sectionTitle(os_, localDataTitle(name, list));
    std::uint32_t number = 0;
    for (BCLDListIterator it(list, 1); !it.end(); ++it) {
      index(++number);
      it.current()->printOn(os_);
    }
  }

  std::ostream& os_;
};

void statsRow(std::ostream& os, const std::string& name, const std::string& entries,
              const std::string& offset, const std::string& bytes) {
  os << std::left << std::setw(18) << name << std::right << std::setw(8) << entries << std::setw(9)
     << offset << std::setw(9) << bytes << '\n';
}

}  // namespace

void printListing(std::ostream& os, const BCode& block, const NameTables& names) {
  Lister(os, names).run(block);
}

void printDump(std::ostream& os, const BCode& block) {
  Dumper(os).run(block);
}

void printStats(std::ostream& os, const BlockReading& reading, std::size_t fileSize) {
  blockTitle(os, *reading.block);
  statsRow(os, "section", "entries", "offset", "bytes");
  for (const SectionInfo& section : reading.sections) {
    statsRow(os, section.name, section.hasEntries ? std::to_string(section.entries) : "-",
             std::to_string(section.begin), std::to_string(section.end - section.begin));
  }
  std::size_t end = reading.recordEnd();
  if (fileSize > end) {
    statsRow(os, "after the record", "-", std::to_string(end), std::to_string(fileSize - end));
  }
  statsRow(os, "file", "", "", std::to_string(fileSize));
}

}  // namespace bctool

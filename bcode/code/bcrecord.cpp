// The block record: its sections in record order, each with its name, its
// writer and its reader. BCode::save and BCode::iload walk this one table.
#include <istream>
#include <iterator>
#include <memory>
#include <new>
#include <ostream>

#include "bcode/code/bcinternal.h"
#include "bcode/code/bcloadobserver.h"
#include "bcode/code/bcode.h"
#include "bcode/const/bcconstlist.h"
#include "bcode/foundation/krarena.h"
#include "bcode/foundation/krfieldio.h"
#include "bcode/instr/bcinstruction.h"
#include "bcode/interface/bcssb.h"
#include "bcode/localdata/bcldlist.h"
#include "bcode/operand/bcoperand.h"
#include "bcode/types/krtypetab.h"

namespace {

// Where a load stands: the stream, the block being built and what the
// sections hand on to later ones. An observer is told about each step.
struct LoadContext {
  LoadContext(std::istream& in, BCLoadObserver* watcher) : is(in), observer(watcher) {
    if (observer != nullptr) start = position();
  }

  // Bytes read since the load began; unknown when the stream cannot tell.
  std::int64_t offset() const {
    const std::int64_t now = position();
    return start < 0 || now < 0 ? BCLoadObserver::kUnknownOffset : now - start;
  }

  std::istream& is;
  BCLoadObserver* const observer;
  std::unique_ptr<BCode> block;
  // Made with the type table, whose instance types look their blocks up in
  // it, and filled by the interface list section.
  std::unique_ptr<BCSSBList> interfaces;

 private:
  // Asked of the buffer, which answers whatever state the stream is in.
  std::int64_t position() const {
    std::streambuf* buf = is.rdbuf();
    return buf != nullptr ? static_cast<std::int64_t>(
                                buf->pubseekoff(0, std::ios_base::cur, std::ios_base::in))
                          : BCLoadObserver::kUnknownOffset;
  }

  std::int64_t start = BCLoadObserver::kUnknownOffset;
};

// Where a save stands: the stream, and what maps in its put area ahead of
// a long section.
struct SaveContext {
  explicit SaveContext(std::ostream& out) : os(out), mapper(out) {}

  std::ostream& os;
  KRPutAreaMapper mapper;
};

// What a loaded block keeps in its arena for each byte of its record, about:
// everything a load makes (instructions, their operands and the nodes of
// their list most of all) takes six times its record.
constexpr std::size_t kArenaBytesPerRecordByte = 6;

enum class Outcome {
  kRead,      // the section came back and belongs to the block (unless its flag is set)
  kFailed,    // nothing came back, or the block's own fields were short
  kNoMemory,  // the block or a collection could not be allocated
};

// Writes a section; false when a field of the block's own was short.
using SaveSection = bool (*)(const BCode&, SaveContext&);

struct Section {
  BCRecordSection about;
  SaveSection save;
  Outcome (*load)(LoadContext&);
  // The flag that tells that saving or loading the section failed.
  int (*flag)();
  void (*clearFlag)();
  // The entries the loaded section holds; null for the block header.
  std::uint32_t (*entries)(const BCode&);
  // The block is laid out before the section is read: operand records
  // resolve offsets of interface entries and local data.
  bool layOutFirst;
};

// ---------------------------------------------------------------------------
// Writers

bool saveHeader(const BCode& block, SaveContext& c) {
  return KRFieldWriter(c.os)
      .u16(block.getBlockNo())
      .u8(static_cast<std::uint8_t>(block.getBlockKind()))
      .ok();
}

template <class Collection, const Collection& (BCode::*Get)() const>
bool saveCollection(const BCode& block, SaveContext& c) {
  (block.*Get)().save(c.os);
  return true;
}

// The instructions take most of a block's record: the pages of the put
// area are mapped in ahead of them as they go, as far as the instructions
// still to come fill at least.
bool saveInstructions(const BCode& block, SaveContext& c) {
  constexpr std::uint32_t kMapEvery = 256;  // instructions
  const BCInstructionList& list = block.getInstrList();
  std::uint32_t left = list.getCount();
  list.saveRecord(c.os, [&c, &left](std::ostream& out, const BCInstruction* instr) {
    if (left % kMapEvery == 0)
      c.mapper.willWrite(std::size_t{left} * BCInstruction::kMinRecordBytes);
    --left;
    instr->save(out);
    return BCInstruction::getError() == BCInstruction::BCINSTRUCTION_OK;
  });
  return true;
}

// ---------------------------------------------------------------------------
// Readers

Outcome loadHeader(LoadContext& c) {
  std::uint16_t blockNo = 0;
  std::uint8_t kind = 0;
  if (!KRFieldReader(c.is).u16(blockNo).u8(kind).ok()) return Outcome::kFailed;
  c.block->setBlockInfo(blockNo, static_cast<KR_BLOCK_KIND>(kind));
  return Outcome::kRead;
}

// The block takes a section that came back, replacing its empty one.
template <class Collection>
Outcome attach(LoadContext& c, void (BCode::*set)(Collection*), Collection* loaded) {
  if (loaded == nullptr) return Outcome::kFailed;
  (c.block.get()->*set)(loaded);
  return Outcome::kRead;
}

Outcome loadTypes(LoadContext& c) {
  c.interfaces = bcNewCollection<BCSSBList>();
  if (!c.interfaces) return Outcome::kNoMemory;
  KRTypeEnv env(nullptr, c.interfaces.get(), kBCRecordBoundaryByteLen);
  return attach(c, &BCode::setTypeTab, KRTypeTab::iload(c.is, &env));
}

Outcome loadInterfaces(LoadContext& c) {
  c.interfaces->load(c.is, &c.block->getTypeTab());
  return attach(c, &BCode::setSSBList, c.interfaces.release());
}

template <void (BCode::*Set)(BCLDList*)>
Outcome loadLocalData(LoadContext& c) {
  return attach(c, Set, BCLDList::iload(c.is, &c.block->getTypeTab()));
}

Outcome loadConstants(LoadContext& c) {
  return attach(c, &BCode::setConstList, BCConstantList::iload(c.is));
}

Outcome loadOperands(LoadContext& c) {
  return attach(c, &BCode::setOpList, BCOperandList::iload(c.is, c.block.get()));
}

Outcome loadInstructions(LoadContext& c) {
  return attach(c, &BCode::setInstrList, BCInstructionList::iload(c.is, c.block.get()));
}

// ---------------------------------------------------------------------------
// Entry counts

template <class Table, const Table& (BCode::*Get)() const>
std::uint32_t presentEntries(const BCode& block) {
  const Table& table = (block.*Get)();
  std::uint32_t present = 0;
  for (std::uint32_t i = 1; i < table.getCount(); ++i) {
    if (table.entryAt(i) != nullptr) ++present;
  }
  return present;
}

template <class List, const List& (BCode::*Get)() const>
std::uint32_t listCount(const BCode& block) {
  return (block.*Get)().getCount();
}

template <const BCLDList& (BCode::*Get)() const>
std::uint32_t variableCount(const BCode& block) {
  return (block.*Get)().getEntryCount();
}

// ---------------------------------------------------------------------------
// The table

int noFlag() {
  return 0;
}
void noClear() {}

// A section of entries; the block header, which has none, is written out
// in the table.
template <class Flag>
constexpr Section section(BCSection id, const char* name, SaveSection save,
                          Outcome (*load)(LoadContext&), std::uint32_t (*entries)(const BCode&),
                          bool layOutFirst = false) {
  return {{static_cast<int>(id), name, true},
          save,
          load,
          &bcFlagValue<Flag>,
          &bcClearFlag<Flag>,
          entries,
          layOutFirst};
}

constexpr Section kSections[] = {
    {{static_cast<int>(BCSection::Header), "block header", false},
     saveHeader,
     loadHeader,
     noFlag,
     noClear,
     nullptr,
     false},
    section<KRRefTable<KRTypedesc*>>(BCSection::Types, "type table",
                                     saveCollection<KRTypeTab, &BCode::getTypeTab>, loadTypes,
                                     presentEntries<KRTypeTab, &BCode::getTypeTab>),
    section<BCSSBList>(BCSection::Interfaces, "interface list",
                       saveCollection<BCSSBList, &BCode::getSSBList>, loadInterfaces,
                       listCount<BCSSBList, &BCode::getSSBList>),
    section<KRSequence<BCLDEntry*>>(
        BCSection::LDD, "LDD list", saveCollection<BCLDList, &BCode::getLDDList>,
        loadLocalData<&BCode::setLDDList>, variableCount<&BCode::getLDDList>),
    section<KRSequence<BCLDEntry*>>(
        BCSection::LSD, "LSD list", saveCollection<BCLDList, &BCode::getLSDList>,
        loadLocalData<&BCode::setLSDList>, variableCount<&BCode::getLSDList>),
    section<KRRefTable<BCConstant*>>(BCSection::Constants, "constant table",
                                     saveCollection<BCConstantList, &BCode::getConstList>,
                                     loadConstants,
                                     presentEntries<BCConstantList, &BCode::getConstList>),
    section<KRRefTable<BCOperand*>>(BCSection::Operands, "operand table",
                                    saveCollection<BCOperandList, &BCode::getOpList>, loadOperands,
                                    presentEntries<BCOperandList, &BCode::getOpList>, true),
    section<KRSequence<BCInstruction*>>(BCSection::Instructions, "instruction list",
                                        saveInstructions, loadInstructions,
                                        listCount<BCInstructionList, &BCode::getInstrList>),
};

constexpr bool inRecordOrder() {
  for (int i = 0; i < kBCSectionCount; ++i) {
    if (kSections[i].about.number != i) return false;
  }
  return std::size(kSections) == kBCSectionCount;
}
static_assert(inRecordOrder(), "every section in its place");

const BCRecordSection& describe(const Section& s) {
  return s.about;
}

}  // namespace

const BCRecordSection& bcRecordSection(BCSection section) {
  return kSections[static_cast<int>(section)].about;
}

BCLoadObserver::~BCLoadObserver() = default;

// Each section is written in turn; the first whose flag is then set is
// cleared and fails the save.
void BCode::save(std::ostream& os) const {
  if (!isComplete()) {
    setError(BCODE_FAILED);
    return;
  }
  // The sections before the instructions are mapped in ahead as far as
  // the instructions alone fill at least.
  SaveContext c(os);
  c.mapper.willWrite(std::size_t{getInstrList().getCount()} * BCInstruction::kMinRecordBytes);
  for (const Section& s : kSections) {
    if (!s.save(*this, c) || s.flag() != 0) {
      s.clearFlag();
      setError(BCODE_FAILED);
      return;
    }
  }
}

BCode* BCode::iload(std::istream& is) {
  return iload(is, nullptr);
}

BCode* BCode::iload(std::istream& is, BCLoadObserver* observer) {
  LoadContext c(is, observer);

  // What the layout keeps (the interface list's index) goes to the arena
  // too; the observer, called around it, allocates from the heap.
  const auto calcOffsets = [&c] {
    const KRArenaScope arena(&c.block->arena_);
    c.block->calcOffsets();
  };
  // A failed layout does not stop the load; it stays visible as flag 1 on
  // the block returned. An observer learns of it whatever the flag held.
  const auto layOut = [&c, &calcOffsets] {
    if (c.observer == nullptr) {
      calcOffsets();
      return;
    }
    c.observer->beforeLayout(*c.block);
    const ERRORS before = getError();
    resetError();
    calcOffsets();
    if (getError() == BCODE_OK) {
      setError(before);
    } else {
      c.observer->layoutFailed(c.offset());
    }
  };

  // A failed section fails the block: the section's flag is cleared and the
  // block's set (2 when memory ran out). The observer hears of it while the
  // flags of the failure are still set.
  const auto fail = [&c](const Section& s, Outcome outcome) {
    const ERRORS blockError = outcome == Outcome::kNoMemory ? BCODE_NO_MEMORY : BCODE_FAILED;
    const bool sectionFlag = s.flag() != 0;
    if (!sectionFlag) setError(blockError);
    if (c.observer != nullptr) c.observer->errorRaised(describe(s), c.offset());
    if (sectionFlag) {
      s.clearFlag();
      setError(blockError);
    }
  };

  // A construction that reported a failure (flag 2) still loads: every
  // section it could not create is replaced by the loaded one.
  c.block.reset(new (std::nothrow) BCode());
  if (c.block) c.block->arena_.expect(kArenaBytesPerRecordByte * KRFieldReader(is).remaining());
  for (const Section& s : kSections) {
    if (s.layOutFirst) layOut();
    if (observer != nullptr) observer->sectionBegins(describe(s), c.offset());
    Outcome outcome = Outcome::kNoMemory;
    if (c.block) {
      // What the section's reader makes in bulk goes to the block's arena;
      // the observer, called between sections, allocates from the heap.
      const KRArenaScope arena(&c.block->arena_);
      outcome = s.load(c);
    }
    if (outcome != Outcome::kRead || s.flag() != 0) {
      fail(s, outcome);
      return nullptr;
    }
    if (observer != nullptr) {
      observer->sectionEnds(describe(s), c.offset(), s.entries ? s.entries(*c.block) : 0);
    }
  }
  return c.block.release();
}

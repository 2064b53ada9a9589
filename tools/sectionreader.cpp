#include "sectionreader.h"

#include <map>
#include <memory>
#include <vector>

#include "bcode/code/bcode.h"
#include "bcode/const/bcconstlist.h"
#include "bcode/foundation/krfieldio.h"
#include "bcode/instr/bcinstruction.h"
#include "bcode/interface/bcssb.h"
#include "bcode/localdata/bcldlist.h"
#include "bcode/operand/bcoperand.h"
#include "bcode/types/krtypetab.h"
#include "blockfile.h"
#include "errorflags.h"

namespace bctool {

namespace {

// The width of array bounds in a block record.
constexpr unsigned kBoundaryByteLen = 4;

// Takes each entry whose offset repeats that of an earlier ordinary entry as
// a view of that entry.
template <class Entry>
void inferViews(const std::vector<Entry*>& entries) {
  std::map<std::uint32_t, std::uint16_t> firstAt;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    auto [at, inserted] =
        firstAt.emplace(entries[i]->getOffset(), static_cast<std::uint16_t>(i + 1));
    if (!inserted) entries[i]->setViewVarNo(at->second);
  }
}

template <class Entry, class Iterator, class Owner>
std::vector<Entry*> entriesOf(const Owner& owner) {
  std::vector<Entry*> entries;
  for (Iterator it(owner, 1); !it.end(); ++it) entries.push_back(it.current());
  return entries;
}

void inferBlockViews(BCode& block) {
  for (BCSSBListIterator it(block.getSSBList()); !it.end();) {
    const BCSSB* ssb = it++;
    // Only FB entries carry their offsets in the record.
    if (ssb->getBlockKind() == KR_FB_KENN || ssb->getBlockKind() == KR_SFB_KENN) {
      inferViews(entriesOf<BCSSBEntry, BCSSBIterator>(*ssb));
    }
  }
  inferViews(entriesOf<BCLDEntry, BCLDListIterator>(block.getLDDList()));
  inferViews(entriesOf<BCLDEntry, BCLDListIterator>(block.getLSDList()));
}

class SectionLoader {
 public:
  explicit SectionLoader(const std::string& bytes) : in_(bytes) {}

  BlockReading run() {
    bcInitBCode();
    if (header() && typeTable() && interfaceList() && localData(true) && localData(false) &&
        constantTable()) {
      layOut();
      if (operandTable() && instructionList()) result_.block = std::move(block_);
    }
    return std::move(result_);
  }

 private:
  bool header() {
    std::size_t begin = in_.offset();
    std::uint16_t blockNo = 0;
    std::uint8_t kind = 0;
    KRFieldReader reader(in_);
    reader.u16(blockNo).u8(kind);
    if (reader.ok()) block_ = std::make_unique<BCode>(blockNo, static_cast<KR_BLOCK_KIND>(kind));
    return finish("block header", begin, reader.ok() && BCode::getError() == BCode::BCODE_OK, 0);
  }

  bool typeTable() {
    std::size_t begin = in_.offset();
    KRTypeEnv env(nullptr, &block_->getSSBList(), kBoundaryByteLen);
    std::unique_ptr<KRTypeTab> table(KRTypeTab::iload(in_, &env));
    bool ok = table != nullptr && KRRefTable<KRTypedesc*>::error == KRREFTABLE_OK;
    std::uint32_t entries = table != nullptr ? presentEntries(*table) : 0;
    if (ok) block_->setTypeTab(table.release());
    return finish("type table", begin, ok, entries);
  }

  bool interfaceList() {
    std::size_t begin = in_.offset();
    BCSSBList& list = block_->getSSBList();
    list.load(in_, &block_->getTypeTab());
    return finish("interface list", begin, BCSSBList::getError() == BCSSBList::BCSSBLIST_OK,
                  list.getCount());
  }

  bool localData(bool dynamic) {
    std::size_t begin = in_.offset();
    std::unique_ptr<BCLDList> list(BCLDList::iload(in_, &block_->getTypeTab()));
    bool ok = list != nullptr && KRSequence<BCLDEntry*>::error == KRSEQUENCE_OK;
    std::uint32_t entries = list != nullptr ? list->getEntryCount() : 0;
    if (ok && dynamic) block_->setLDDList(list.release());
    if (ok && !dynamic) block_->setLSDList(list.release());
    return finish(dynamic ? "LDD list" : "LSD list", begin, ok, entries);
  }

  bool constantTable() {
    std::size_t begin = in_.offset();
    std::unique_ptr<BCConstantList> table(BCConstantList::iload(in_));
    bool ok = table != nullptr && KRRefTable<BCConstant*>::error == KRREFTABLE_OK;
    std::uint32_t entries = table != nullptr ? presentEntries(*table) : 0;
    if (ok) block_->setConstList(table.release());
    return finish("constant table", begin, ok, entries);
  }

  // As the loader does, between the constants and the operands. A failed
  // layout does not stop the load; its flags are kept aside and cleared so
  // that they do not fail the operand loads.
  void layOut() {
    inferBlockViews(*block_);
    block_->calcOffsets();
    result_.layoutFlags = errorFlagsText();
    if (!result_.layoutFlags.empty()) bcInitBCode();
  }

  bool operandTable() {
    std::size_t begin = in_.offset();
    std::unique_ptr<BCOperandList> table(BCOperandList::iload(in_, block_.get()));
    bool ok = table != nullptr && KRRefTable<BCOperand*>::error == KRREFTABLE_OK;
    std::uint32_t entries = table != nullptr ? presentEntries(*table) : 0;
    if (ok) block_->setOpList(table.release());
    return finish("operand table", begin, ok, entries);
  }

  bool instructionList() {
    std::size_t begin = in_.offset();
    std::unique_ptr<BCInstructionList> list(BCInstructionList::iload(in_, block_.get()));
    bool ok = list != nullptr && KRSequence<BCInstruction*>::error == KRSEQUENCE_OK;
    std::uint32_t entries = list != nullptr ? list->getCount() : 0;
    if (ok) block_->setInstrList(list.release());
    return finish("instruction list", begin, ok, entries);
  }

  // Records a section read completely, or the failure that ended the read.
  bool finish(const char* name, std::size_t begin, bool ok, std::uint32_t entries) {
    if (ok) {
      result_.sections.push_back({name, begin, in_.offset(), entries});
      return true;
    }
    result_.failedSection = name;
    result_.stopOffset = in_.offset();
    result_.failureFlags = errorFlagsText();
    return false;
  }

  MemoryStream in_;
  BlockReading result_;
  std::unique_ptr<BCode> block_;
};

}  // namespace

BlockReading readBlock(const std::string& bytes) {
  return SectionLoader(bytes).run();
}

std::string blockKindName(int kind) {
  static const char* const kNames[] = {"OB", "FB", "SFB", "FC", "SFC", "DB", "SDB"};
  if (kind >= KR_OB_KENN && kind <= KR_SDB_KENN) return kNames[kind - KR_OB_KENN];
  return "kind " + std::to_string(kind);
}

}  // namespace bctool

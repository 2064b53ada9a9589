#include "bcode/instr/bcinstruction.h"

#include <cstddef>
#include <istream>
#include <memory>
#include <new>
#include <ostream>
#include <unordered_map>
#include <vector>

#include "bcode/foundation/krfieldio.h"
#include "bcode/foundation/krlistline.h"
#include "bcode/foundation/krneutralstream.h"
#include "bcode/instr/bcinstrop.h"

template class KRSequence<BCInstruction*>;

KR_DEFINE_ERROR_FLAG(BCInstruction)

namespace {

// The columns of an instruction's lines: the mnemonic on the first line, a
// "-" on the others, then the operand's row.
constexpr KRListColumn kMnemonicColumn{"mnemonic", 0, 7};
constexpr KRListColumn kOperandColumn{"operand", 7, 0};

const BCTMP* asTmp(const BCInstructionOp* op) {
  return op != nullptr && op->isTMP() ? dynamic_cast<const BCTMP*>(op) : nullptr;
}

// Whether `instr` creates temporary `tmpNo`: its z is that temporary with status 0.
bool createsTmp(const BCInstruction& instr, std::uint32_t tmpNo) {
  const BCInstructionOp* z = instr.getZOp();
  if (z == nullptr || z->isA() != BCInstructionOp::BCTMP_CLASS) return false;
  const BCTMP* tmp = asTmp(z);
  return tmp != nullptr && tmp->getTmpNo() == tmpNo && tmp->getStatus() == BCTMP::TMG;
}

}  // namespace

// ---------------------------------------------------------------------------
// BCInstruction

namespace {

// A copy of `op` (none for none); a copy that cannot be made is reported by
// the caller.
std::unique_ptr<BCInstructionOp> copyOf(const BCInstructionOp* op, bool& failed) {
  if (op == nullptr) return nullptr;
  std::unique_ptr<BCInstructionOp> copy(op->newCopy());
  if (!copy) failed = true;
  return copy;
}

}  // namespace

BCInstruction::BCInstruction() = default;

BCInstruction::BCInstruction(INSTR_CODE code, const BCInstructionOp* z, const BCInstructionOp* q1,
                             const BCInstructionOp* q2)
    : code_(code) {
  bool failed = false;
  z_ = copyOf(z, failed);
  q1_ = copyOf(q1, failed);
  q2_ = copyOf(q2, failed);
  if (failed) setError(BCINSTRUCTION_NO_MEMORY);
}

BCInstruction::BCInstruction(const BCInstruction& other)
    : BCInstruction(other.code_, other.z_.get(), other.q1_.get(), other.q2_.get()) {}

BCInstruction& BCInstruction::operator=(const BCInstruction& other) {
  if (this == &other) return *this;
  code_ = other.code_;
  z_.reset();
  q1_.reset();
  q2_.reset();
  bool failed = false;
  z_ = copyOf(other.z_.get(), failed);
  q1_ = copyOf(other.q1_.get(), failed);
  q2_ = copyOf(other.q2_.get(), failed);
  if (failed) setError(BCINSTRUCTION_NO_MEMORY);
  return *this;
}

BCInstruction::~BCInstruction() = default;

BCInstruction::INSTR_CODE BCInstruction::setInstrCode(INSTR_CODE code) {
  const INSTR_CODE previous = code_;
  code_ = code;
  return previous;
}

BCInstructionOp* BCInstruction::setZOp(BCInstructionOp* op) {
  BCInstructionOp* previous = z_.release();
  z_.reset(op);
  return previous;
}

BCInstructionOp* BCInstruction::setQ1Op(BCInstructionOp* op) {
  BCInstructionOp* previous = q1_.release();
  q1_.reset(op);
  return previous;
}

BCInstructionOp* BCInstruction::setQ2Op(BCInstructionOp* op) {
  BCInstructionOp* previous = q2_.release();
  q2_.reset(op);
  return previous;
}

void BCInstruction::swapQ1Q2() {
  q1_.swap(q2_);
}

namespace {
// The byte before an operand's place in the record: 1 when it is there.
std::uint8_t presenceByte(const BCInstructionOp* op) {
  return op != nullptr ? 1 : 0;
}

bool sameOperand(const BCInstructionOp* a, const BCInstructionOp* b) {
  if (a == nullptr || b == nullptr) return a == b;
  return *a == *b;
}
}  // namespace

bool BCInstruction::operator==(const BCInstruction& other) const {
  return code_ == other.code_ && sameOperand(z_.get(), other.z_.get()) &&
         sameOperand(q1_.get(), other.q1_.get()) && sameOperand(q2_.get(), other.q2_.get());
}

bool BCInstruction::isBinary() const {
  return q1_ != nullptr && q2_ != nullptr;
}
bool BCInstruction::isUnary() const {
  return q1_ != nullptr && q2_ == nullptr;
}
bool BCInstruction::isLabelDef() const {
  return code_ == IC_LABEL_DEF;
}

bool BCInstruction::isAnyJump() const {
  return code_ == IC_JUMP || code_ == IC_JUMP_200 || code_ == IC_JUMP_192 || code_ == IC_JUMP_193;
}

bool BCInstruction::isInstruction() const {
  if (isAnyJump() || isLabelDef()) return true;
  if (z_ != nullptr && z_->kind() == BCInstructionOp::OPD) return true;
  if (code_ == IC_CHAIN_215 || z_ == nullptr) return false;
  return z_->kind() == BCInstructionOp::TMP && z_->getRefrFlag() == BCInstructionOp::REFR;
}

// The code, and three presence bytes each followed by the longest operand
// record.
const int BCInstruction::kMaxRecordBytes = 1 + 3 * (1 + BCInstructionOp::kMaxRecordBytes);

void BCInstruction::save(std::ostream& os) const {
  KRFieldWriter out(os);
  if (!out.record<kMaxRecordBytes>([this, &os](auto& fields) { return saveRecord(fields, os); })) {
    // An operand of a class a program derived writes its own part.
    saveRecord(out, os);
  }
}

template <class Out>
bool BCInstruction::saveRecord(Out& out, std::ostream& os) const {
  const BCInstructionOp* const ops[] = {z_.get(), q1_.get(), q2_.get()};
  // The code goes with the first presence byte.
  if (!out.fields(static_cast<std::uint8_t>(code_), presenceByte(ops[0])).ok()) {
    setError(BCINSTRUCTION_FAILED);
    return true;
  }
  for (std::size_t i = 0; i < 3; ++i) {
    if (i > 0 && !out.u8(presenceByte(ops[i])).ok()) {
      setError(BCINSTRUCTION_FAILED);
      return true;
    }
    if (ops[i] == nullptr) continue;
    if (!BCInstructionOp::save(*ops[i], out, os)) return false;
    if (BCInstructionOp::getError() != BCInstructionOp::BCINSTRUCTIONOP_OK) {
      setError(BCINSTRUCTION_FAILED);
      return true;
    }
  }
  return true;
}

BCInstruction* BCInstruction::iload(std::istream& is, BCode* block) {
  KRFieldReader in(is);
  return in.record<kMaxRecordBytes>([block](auto& fields) { return load(fields, block); });
}

template <class In>
BCInstruction* BCInstruction::load(In& in, BCode* block) {
  std::uint8_t code = 0;
  std::uint8_t present = 0;
  // The code comes with the first presence byte.
  if (!in.fields(code, present).ok()) {
    setError(BCINSTRUCTION_FAILED);
    return nullptr;
  }
  std::unique_ptr<BCInstructionOp> ops[3];  // z, q1, q2
  for (std::size_t i = 0; i < 3; ++i) {
    if (i > 0 && !in.u8(present).ok()) {
      setError(BCINSTRUCTION_FAILED);
      return nullptr;
    }
    if (present == 0) continue;
    ops[i].reset(BCInstructionOp::load(in, block));
    if (!ops[i]) {
      setError(BCINSTRUCTION_FAILED);
      return nullptr;
    }
  }
  // The loaded operands are taken over, not copied.
  auto* instr = new (std::nothrow) BCInstruction();
  if (instr == nullptr) {
    setError(BCINSTRUCTION_NO_MEMORY);
    return nullptr;
  }
  instr->code_ = static_cast<INSTR_CODE>(code);
  instr->z_ = std::move(ops[0]);
  instr->q1_ = std::move(ops[1]);
  instr->q2_ = std::move(ops[2]);
  return instr;
}

void BCInstruction::printOn(std::ostream& os) const {
  const KRNeutralStream neutral(os);
  os << static_cast<int>(code_) << '\n';
  if (z_ != nullptr) {
    os << " z:  ";
    z_->printOn(os);
  }
  if (q1_ != nullptr) {
    os << " q1: ";
    q1_->printOn(os);
  }
  if (q2_ != nullptr) {
    os << " q2: ";
    q2_->printOn(os);
  }
}

void BCInstruction::printOn(std::ostream& os, char* mnemonicPos, char* line,
                            const char* const* mnemonics, const char* const* typeNames) const {
  if (mnemonicPos == nullptr || line == nullptr) return;
  const int column = bcMnemonicColumn(static_cast<unsigned>(code_));
  const char* mnemonic = column >= 0 && mnemonics != nullptr && mnemonics[column] != nullptr
                             ? mnemonics[column]
                             : "???";
  // The result on the mnemonic's line, each source on a line of its own.
  const KRListLine first(line, mnemonicPos);
  const KRListLine other(line, line);
  first.printf(kMnemonicColumn, "%s", mnemonic);
  const BCInstructionOp* const ops[] = {z_.get(), q1_.get(), q2_.get()};
  for (std::size_t i = 0; i < 3; ++i) {
    const KRListLine& out = i == 0 ? first : other;
    if (i != 0) out.put(kMnemonicColumn, "-");
    if (ops[i] != nullptr) {
      ops[i]->printOn(os, out.at(kOperandColumn), line, typeNames);
    } else {
      BCInstructionOp::printNone(os, out.at(kOperandColumn), line);
    }
  }
  other.put(kMnemonicColumn, " ");
  other.store(os, kMnemonicColumn);
}

void BCInstruction::store(std::ostream& os, char* end, char* line) const {
  krLineStore(os, end, line);
}

// ---------------------------------------------------------------------------
// BCInstructionList

BCInstructionList::BCInstructionList() {
  setOwner(1);
}

BCInstructionList::~BCInstructionList() = default;

BCInstructionList* BCInstructionList::iload(std::istream& is, BCode* block) {
  std::unique_ptr<BCInstructionList> list(new (std::nothrow) BCInstructionList());
  if (!list) {
    error = KRSEQUENCE_NO_LIST;
    return nullptr;
  }
  const bool loaded = list->loadRecord(is, [block](std::istream& in, BCInstruction*& instr) {
    instr = BCInstruction::iload(in, block);
    return instr != nullptr && BCInstruction::getError() == BCInstruction::BCINSTRUCTION_OK;
  });
  if (!loaded || error != KRSEQUENCE_OK) return nullptr;
  return list.release();
}

int BCInstructionList::searchTMPCreatingInstr(const BCInstructionListIterator& from,
                                              std::uint32_t tmpNo,
                                              BCInstructionListIterator& found) const {
  for (BCInstructionListIterator at(from); !at.atHead(); --at) {
    const BCInstruction* instr = at.current();
    if (instr == nullptr) return 0;  // started at the end: the list's error is 2
    if (createsTmp(*instr, tmpNo)) {
      found = at;
      return 1;
    }
  }
  return 0;
}

int BCInstructionList::searchInstrOfBaseOp(const BCInstructionListIterator& from,
                                           std::uint32_t tmpNo, BCInstructionListIterator& found,
                                           BCInstructionOp*& baseOp) const {
  baseOp = nullptr;
  BCInstructionListIterator at(from);
  while (!at.atHead()) {
    if (!searchTMPCreatingInstr(at, tmpNo, at)) return 0;
    BCInstruction* instr = at.current();
    const BCInstruction::INSTR_CODE code = instr->getInstrCode();
    if (code != BCInstruction::IC_CHAIN_211 && code != BCInstruction::IC_CHAIN_215) return 0;
    BCInstructionOp* q1 = instr->getQ1Op();
    if (q1 == nullptr) return 0;
    if (q1->getRefrFlag() == BCInstructionOp::NO_REFR) {
      baseOp = q1;
      found = at;
      return 1;
    }
    const BCTMP* tmp = asTmp(q1);
    if (tmp == nullptr) return 0;
    tmpNo = tmp->getTmpNo();
    --at;
  }
  return 0;
}

namespace {

// The text position search for an operand. A temporary without a position
// of its own leads to the instruction that created it, whose result and then
// sources are examined the same way, depth first. Each creating instruction
// is explored at most once: its outcome (and the last position it examined)
// is remembered, so a search never repeats work over shared temporaries and
// never loops on an instruction that reads the temporary it creates. The
// explicit stack keeps deep chains off the call stack.
class TextPosSearch {
 public:
  TextPosSearch(const BCInstructionList& list, KRTextPos& pos) : list_(list), pos_(pos) {}

  int run(const BCInstructionListIterator& from, const BCInstructionOp& op) {
    BCInstructionListIterator creator(from);
    Step step = examine(from, op, creator);
    for (;;) {
      if (step == FOUND) return 1;
      if (step == DESCEND) step = enter(creator);
      if (step != FAILED && step != CONTINUE) continue;
      if (stack_.empty()) return 0;
      Frame& top = stack_.back();
      if (const BCInstructionOp* source = nextSource(top)) {
        step = examine(top.creator, *source, creator);
        continue;
      }
      explored_[top.creator.node()] = Explored{false, pos_};
      stack_.pop_back();
      step = FAILED;
    }
  }

 private:
  enum Step { FOUND, FAILED, DESCEND, CONTINUE };
  struct Frame {
    BCInstructionListIterator creator;
    int nextSource;
  };
  struct Explored {
    bool inProgress;
    KRTextPos lastPos;
  };

  // The operand's own position, or the creator of its temporary.
  Step examine(const BCInstructionListIterator& from, const BCInstructionOp& op,
               BCInstructionListIterator& creator) {
    pos_ = op.getTextPos();
    if (pos_.isKnown()) return FOUND;
    const BCTMP* tmp = asTmp(&op);
    if (tmp == nullptr) return FAILED;
    return list_.searchTMPCreatingInstr(from, tmp->getTmpNo(), creator) != 0 ? DESCEND : FAILED;
  }

  // The creator's result position, else its sources are examined next.
  Step enter(const BCInstructionListIterator& creator) {
    const BCInstruction* instr = creator.current();
    const auto explored = explored_.find(creator.node());
    if (explored != explored_.end()) {
      pos_ = explored->second.inProgress ? instr->getZOp()->getTextPos() : explored->second.lastPos;
      return FAILED;
    }
    pos_ = instr->getZOp()->getTextPos();
    if (pos_.isKnown()) return FOUND;
    explored_[creator.node()] = Explored{true, KRTextPos()};
    stack_.push_back(Frame{creator, 0});
    return CONTINUE;
  }

  static const BCInstructionOp* nextSource(Frame& frame) {
    const BCInstruction* instr = frame.creator.current();
    while (frame.nextSource < 2) {
      const BCInstructionOp* source = frame.nextSource++ == 0 ? instr->getQ1Op() : instr->getQ2Op();
      if (source != nullptr) return source;
    }
    return nullptr;
  }

  const BCInstructionList& list_;
  KRTextPos& pos_;
  std::vector<Frame> stack_;
  std::unordered_map<const void*, Explored> explored_;
};

}  // namespace

int BCInstructionList::searchATextPos(const BCInstructionListIterator& from,
                                      const BCInstructionOp& op, KRTextPos& pos) const {
  return TextPosSearch(*this, pos).run(from, op);
}

int BCInstructionList::searchATextPos(const BCInstructionListIterator& from, KRTextPos& pos) const {
  const BCInstruction* instr = from.current();
  if (instr == nullptr) return 0;
  const BCInstructionOp* const ops[] = {instr->getQ1Op(), instr->getQ2Op(), instr->getZOp()};
  for (const BCInstructionOp* op : ops) {
    if (op == nullptr) continue;
    pos = op->getTextPos();
    if (pos.isKnown()) return 1;
  }
  for (const BCInstructionOp* op : ops) {
    if (op != nullptr && searchATextPos(from, *op, pos) != 0) return 1;
  }
  return 0;
}

// ---------------------------------------------------------------------------

BCInstructionListIterator::BCInstructionListIterator(const BCInstructionList& list, int direction)
    : KRSequenceIterator<BCInstruction*>(list, direction) {}

int bcMnemonicColumn(unsigned code) {
  switch (code) {
#define BC_X(instrCode, column)  \
  case BCInstruction::instrCode: \
    return column;
#include "bcode/instr/bcinstruction.def"
#undef BC_X
    default:
      return -1;
  }
}

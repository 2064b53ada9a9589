// Three-address instructions, the block's instruction list and its backward
// searches.
#ifndef BCODE_INSTR_BCINSTRUCTION_H
#define BCODE_INSTR_BCINSTRUCTION_H

#include <cstdint>
#include <iosfwd>
#include <memory>

#include "bcode/foundation/krarena.h"
#include "bcode/foundation/krerror.h"
#include "bcode/foundation/krexport.h"
#include "bcode/foundation/krtextpos.h"
#include "bcode/foundation/krysequ.h"

class BCInstructionOp;
class BCode;

class BCODE_API BCInstruction : public KRArenaObject {
 public:
  // The codes the listing knows, plus the jump 193 that has no listing
  // column. The enumeration is sparse; records carry the code's low byte.
  enum INSTR_CODE : int {
    IC_0 = 0,
    IC_8 = 8,
    IC_12 = 12,
    IC_16 = 16,
    IC_18 = 18,
    IC_20 = 20,
    IC_22 = 22,
    IC_24 = 24,
    IC_32 = 32,
    IC_36 = 36,
    IC_40 = 40,
    IC_44 = 44,
    IC_48 = 48,
    IC_52 = 52,
    IC_56 = 56,
    IC_64 = 64,
    IC_68 = 68,
    IC_72 = 72,
    IC_74 = 74,
    IC_78 = 78,
    IC_80 = 80,
    IC_84 = 84,
    IC_88 = 88,
    IC_96 = 96,
    IC_104 = 104,
    IC_112 = 112,
    IC_116 = 116,
    IC_120 = 120,
    IC_124 = 124,
    IC_128 = 128,
    IC_132 = 132,
    IC_136 = 136,
    IC_140 = 140,
    IC_144 = 144,
    IC_152 = 152,
    IC_160 = 160,
    IC_168 = 168,
    IC_176 = 176,
    IC_184 = 184,
    IC_192 = 192,
    IC_193 = 193,
    IC_200 = 200,
    IC_208 = 208,
    IC_209 = 209,
    IC_210 = 210,
    IC_211 = 211,
    IC_212 = 212,
    IC_213 = 213,
    IC_214 = 214,
    IC_215 = 215,
    IC_216 = 216,
    IC_217 = 217,
    IC_218 = 218,
    IC_219 = 219,
    IC_224 = 224,
    IC_232 = 232,
    IC_248 = 248,
    IC_255 = 255,
    // Codes with a fixed role in the library.
    IC_LABEL_DEF = IC_136,
    IC_JUMP = IC_144,
    IC_JUMP_192 = IC_192,
    IC_JUMP_193 = IC_193,
    IC_JUMP_200 = IC_200,
    IC_CHAIN_211 = IC_211,  // searchInstrOfBaseOp follows its q1
    IC_CHAIN_215 = IC_215,  // likewise; an instruction only with a table operand as z
  };

  enum ERRORS : int {
    BCINSTRUCTION_OK = 0,
    BCINSTRUCTION_FAILED = 1,     // save or load failed
    BCINSTRUCTION_NO_MEMORY = 2,  // an operand could not be copied or allocated
  };
  KR_ERROR_FLAG_MEMBERS()

  // The shortest instruction record: the code and three presence bytes.
  static constexpr int kMinRecordBytes = 4;

  // Stores copies of the non-null operands; the caller keeps its own.
  BCInstruction(INSTR_CODE code, const BCInstructionOp* z, const BCInstructionOp* q1,
                const BCInstructionOp* q2);
  BCInstruction(const BCInstruction& other);
  BCInstruction& operator=(const BCInstruction& other);
  ~BCInstruction();

  INSTR_CODE getInstrCode() const { return code_; }
  // Returns the previous code.
  INSTR_CODE setInstrCode(INSTR_CODE code);

  BCInstructionOp* getZOp() { return z_.get(); }
  const BCInstructionOp* getZOp() const { return z_.get(); }
  BCInstructionOp* getQ1Op() { return q1_.get(); }
  const BCInstructionOp* getQ1Op() const { return q1_.get(); }
  BCInstructionOp* getQ2Op() { return q2_.get(); }
  const BCInstructionOp* getQ2Op() const { return q2_.get(); }

  // Each setter takes ownership of `op` and hands back the operand it
  // replaces, which the caller now owns.
  BCInstructionOp* setZOp(BCInstructionOp* op);
  BCInstructionOp* setQ1Op(BCInstructionOp* op);
  BCInstructionOp* setQ2Op(BCInstructionOp* op);
  void swapQ1Q2();

  bool operator==(const BCInstruction& other) const;
  bool operator!=(const BCInstruction& other) const { return !(*this == other); }

  bool isBinary() const;
  bool isUnary() const;
  bool isLabelDef() const;
  bool isAnyJump() const;
  // Whether the instruction does something observable: jumps and labels,
  // writes to a table operand, or a referencing temporary result.
  bool isInstruction() const;

  // The instruction record: code byte, then per operand a presence byte and
  // the operand's record.
  void save(std::ostream& os) const;
  static BCInstruction* iload(std::istream& is, BCode* block);

  // Debugging dump.
  void printOn(std::ostream& os) const;
  // Four listing lines: mnemonic with z, q1, q2, and a separator line.
  void printOn(std::ostream& os, char* mnemonicPos, char* line, const char* const* mnemonics,
               const char* const* typeNames) const;
  void store(std::ostream& os, char* end, char* line) const;

 protected:
  BCInstruction();

 private:
  // The longest instruction record.
  static const int kMaxRecordBytes;

  // The instruction record through a KRFieldReader or, when it lies in the
  // get area, a KRFieldSpanReader of it.
  template <class In>
  static BCInstruction* load(In& in, BCode* block);
  // The instruction record through a KRFieldWriter or, when the put area
  // has room for it, a KRFieldSpanWriter; false when an operand would not
  // go into the span (BCInstructionOp::save), with nothing written.
  template <class Out>
  bool saveRecord(Out& out, std::ostream& os) const;

  INSTR_CODE code_ = IC_0;
  std::unique_ptr<BCInstructionOp> q1_;
  std::unique_ptr<BCInstructionOp> z_;
  std::unique_ptr<BCInstructionOp> q2_;
};

// The column of the mnemonic table that lists an instruction code, -1 for a
// code the listing does not know (such as 193).
BCODE_API int bcMnemonicColumn(unsigned code);

extern template class BCODE_API KRSequence<BCInstruction*>;

class BCInstructionListIterator;

// The block's instructions in program order; owns them.
class BCODE_API BCInstructionList : public KRSequence<BCInstruction*> {
 public:
  BCInstructionList();
  ~BCInstructionList() override;

  // The instruction list record: count, then each instruction record. Null
  // with the list's error set on failure.
  static BCInstructionList* iload(std::istream& is, BCode* block);

  // The searches walk backwards from `from` (inclusive) towards the start.

  // The instruction whose z is temporary `tmpNo` with status 0.
  int searchTMPCreatingInstr(const BCInstructionListIterator& from, std::uint32_t tmpNo,
                             BCInstructionListIterator& found) const;
  // Follows a chain of temporaries through codes 211 and 215 back to the
  // non-referencing q1 that started it.
  int searchInstrOfBaseOp(const BCInstructionListIterator& from, std::uint32_t tmpNo,
                          BCInstructionListIterator& found, BCInstructionOp*& baseOp) const;
  // A known text position for `op`, taken from the instructions that made
  // its temporary when it has none of its own.
  int searchATextPos(const BCInstructionListIterator& from, const BCInstructionOp& op,
                     KRTextPos& pos) const;
  // A known text position for the instruction at `from`.
  int searchATextPos(const BCInstructionListIterator& from, KRTextPos& pos) const;
};

class BCODE_API BCInstructionListIterator : public KRSequenceIterator<BCInstruction*> {
 public:
  // Direction 1 starts at the first instruction, any other value at the last.
  BCInstructionListIterator(const BCInstructionList& list, int direction);
};

#endif  // BCODE_INSTR_BCINSTRUCTION_H

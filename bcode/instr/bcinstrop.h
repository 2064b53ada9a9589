// Instruction operands: temporaries, numbers, immediates, and handles of
// entries in the block's constant and operand tables. Operands hold table
// indices, never pointers, so they survive saving and loading.
#ifndef BCODE_INSTR_BCINSTROP_H
#define BCODE_INSTR_BCINSTROP_H

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <new>
#include <typeinfo>

#include "bcode/const/bcconstlist.h"
#include "bcode/foundation/krarena.h"
#include "bcode/foundation/krerror.h"
#include "bcode/foundation/krexport.h"
#include "bcode/foundation/krfieldio.h"
#include "bcode/foundation/krtextpos.h"
#include "bcode/operand/bcoperand.h"
#include "bcode/types/krtypetab.h"

class BCode;

class BCODE_API BCInstructionOp : public KRArenaObject {
 public:
  // The class tag of the operand record.
  enum CLASS_TYPE : int {
    BCTMP_CLASS = 0,
    BCNUM_CLASS = 1,
    BCCST_CLASS = 2,
    BCOPD_CLASS = 3,
    BCBOOLCONST_CLASS = 4,
    BCBYTECONST_CLASS = 5,
    BCCHARCONST_CLASS = 6,
    BCWORDCONST_CLASS = 7,
    BCINTCONST_CLASS = 8,
    BCPTRCONST_CLASS = 9,
    BCANYCONST_CLASS = 10,
  };
  enum OP_KIND : int { TMP = 0, NUM = 1, IMM = 2, CST = 3, OPD = 4 };
  enum REFR_VAL : int { REFR = 0, NO_REFR = 1 };
  enum ERRORS : int {
    BCINSTRUCTIONOP_OK = 0,
    BCINSTRUCTIONOP_FAILED = 1,  // unresolvable handle, or a save or load failure
  };
  KR_ERROR_FLAG_MEMBERS()

  virtual ~BCInstructionOp();
  virtual CLASS_TYPE isA() const = 0;
  virtual OP_KIND kind() const = 0;
  // Whether the two operands view the same storage; only table operands know.
  virtual int identView(const BCInstructionOp& other) const;
  // Data type, reference flag and test flag equal.
  virtual int isEqual(const BCInstructionOp& other) const;
  // A heap copy, null when memory runs out.
  virtual BCInstructionOp* newCopy() const = 0;
  // The listing columns from `column` on; emits the line. The base writes nothing.
  virtual void printOn(std::ostream& os, char* column, char* line,
                       const char* const* typeNames) const;
  // Debugging dump, one line.
  virtual void printOn(std::ostream& os) const = 0;

  unsigned char getDataType() const { return dataType_; }
  void setTestFlag(int flag) { testFlag_ = static_cast<unsigned char>(flag); }
  int getTestFlag() const { return testFlag_; }
  void setRefrFlag(REFR_VAL flag) { refrFlag_ = static_cast<unsigned char>(flag); }
  REFR_VAL getRefrFlag() const { return static_cast<REFR_VAL>(refrFlag_); }
  void setTextPos(const KRTextPos& pos) { textPos_ = pos; }
  const KRTextPos& getTextPos() const { return textPos_; }

  bool isTMP() const { return kind() == TMP; }
  bool isLValue() const { return kind() == OPD; }
  bool isLeaf() const { return kind() != TMP; }

  // Same class and isEqual; the text position never takes part.
  bool operator==(const BCInstructionOp& other) const;
  bool operator!=(const BCInstructionOp& other) const { return !(*this == other); }

  // The operand record: class tag, then the class's fields. Table indices
  // read back are bound to the tables of `block`.
  void save(std::ostream& os) const;
  static BCInstructionOp* iload(std::istream& is, BCode* block);

  // Emits the listing line (blanks up to `end`) and clears the buffer.
  void store(std::ostream& os, char* end, char* line) const;
  // The row a listing shows for a missing operand: "-" in every column of
  // an operand's row, emitted.
  static void printNone(std::ostream& os, char* column, char* line);

 protected:
  BCInstructionOp() = default;
  BCInstructionOp(const BCInstructionOp& other) = default;

  virtual void saveInstance(std::ostream& os) const;
  virtual void loadInstance(std::istream& is, BCode* block);

  void setDataType(unsigned char dataType) { dataType_ = dataType; }

  // The fields of this part of the record, then `own`, those of the class,
  // read or written in one go: the field functions stop at the first field
  // that fails, as the parts one after the other would.
  template <class In, class... Own>
  bool readFields(In& in, Own&... own) {
    return in.fields(dataType_, refrFlag_, testFlag_, own...).ok();
  }
  template <class Out, class... Own>
  bool writeFields(Out& out, Own... own) const {
    return out.fields(dataType_, refrFlag_, testFlag_, own...).ok();
  }

  // `op`, made for a record in its loading state (null when memory ran
  // out), with its fields read from `in` (a KRFieldReader or KRFieldSpanReader);
  // null when it could not be made or the flag is set after.
  template <class Op, class In>
  static BCInstructionOp* loaded(Op* op, In& in, BCode* block) {
    std::unique_ptr<Op> made(op);
    if (!made) {
      setError(BCINSTRUCTIONOP_FAILED);
      return nullptr;
    }
    made->loadFields(in, block);
    if (getError() != BCINSTRUCTIONOP_OK) return nullptr;
    return made.release();
  }

  // The record of `op` when it is an object of class `Op` itself, not of a
  // class a program derived from it (whose saveInstance may write more):
  // its class tag and fields, written without the virtual call. False,
  // with nothing written, for any other object.
  template <class Op>
  static bool savedAs(const BCInstructionOp& op, KRFieldSpanWriter& out) {
    // The class's type information is one object in the library, which a
    // derived class's cannot be; should it ever be two, the call is made.
    if (&typeid(op) != &typeid(Op)) return false;
    out.u8(static_cast<std::uint8_t>(Op::kTag));
    static_cast<const Op&>(op).saveFields(out);
    return true;
  }

 private:
  friend class BCInstruction;
  BCInstructionOp& operator=(const BCInstructionOp&) = delete;

  // The longest operand record, a temporary's: class tag, the three bytes
  // of this part, type index, number, status and area.
  static constexpr int kMaxRecordBytes = 1 + 3 + 2 + 4 + 1 + 1;
  // The operand record, read through a reader or, when it lies in the
  // get area, through a span of it.
  static BCInstructionOp* load(KRFieldReader& in, BCode* block);
  static BCInstructionOp* load(KRFieldSpanReader& in, BCode* block);
  template <class In>
  static BCInstructionOp* loadRecord(In& in, BCode* block);
  // The operand record of `op`: through a writer by save(); into a span
  // for an object of one of the library's classes only (savedAs), else
  // false with nothing written.
  static bool save(const BCInstructionOp& op, KRFieldWriter& out, std::ostream& os);
  static bool save(const BCInstructionOp& op, KRFieldSpanWriter& out, std::ostream& os);

  // The flags take one byte each and follow the text position, so that the
  // fields fill 7 of the 8 bytes after the vtable pointer: a one-byte
  // immediate fits 16 bytes, a temporary 32.
  KRTextPos textPos_;
  unsigned char dataType_ = 0;
  unsigned char refrFlag_ = NO_REFR;
  unsigned char testFlag_ = 0;
};

// What each class of the operand records adds to its family: its class tag
// and its copy, made as `Derived`, the class deriving from it.
template <class Derived, class Family, BCInstructionOp::CLASS_TYPE Tag>
class BCODE_API BCInstructionOpOf : public Family {
 public:
  BCInstructionOp::CLASS_TYPE isA() const override { return Tag; }
  BCInstructionOp* newCopy() const override {
    return new (std::nothrow) Derived(static_cast<const Derived&>(*this));
  }

 protected:
  static constexpr BCInstructionOp::CLASS_TYPE kTag = Tag;

  BCInstructionOpOf() = default;
  BCInstructionOpOf(const BCInstructionOpOf& other) = default;
};

// A numbered temporary holding an intermediate result.
class BCODE_API BCTMP
    : public BCInstructionOpOf<BCTMP, BCInstructionOp, BCInstructionOp::BCTMP_CLASS> {
 public:
  enum STATUS_TYPE : int { TMG = 0, TML = 1, TMT = 2 };
  enum AREA_TYPE : int { L_AREA = 0, G_AREA = 1 };

  BCTMP(unsigned char dataType, std::uint32_t tmpNo, STATUS_TYPE status, AREA_TYPE lArea,
        const KRTypeRef& type);
  BCTMP(unsigned char dataType, std::uint32_t tmpNo, STATUS_TYPE status, AREA_TYPE lArea);
  BCTMP(const BCTMP& other) = default;

  OP_KIND kind() const override { return TMP; }
  int isEqual(const BCInstructionOp& other) const override;
  void printOn(std::ostream& os, char* column, char* line,
               const char* const* typeNames) const override;
  void printOn(std::ostream& os) const override;

  std::uint32_t getTmpNo() const { return tmpNo_; }
  STATUS_TYPE getStatus() const { return static_cast<STATUS_TYPE>(status_); }
  void setStatus(STATUS_TYPE status) { status_ = static_cast<unsigned char>(status); }
  AREA_TYPE getLAreaFlag() const { return static_cast<AREA_TYPE>(lArea_); }
  void setLAreaFlag(AREA_TYPE lArea) { lArea_ = static_cast<unsigned char>(lArea); }
  const KRTypeRef& getTypeRef() const { return type_; }

 protected:
  friend class BCInstructionOp;
  BCTMP() = default;
  void saveInstance(std::ostream& os) const override;
  void loadInstance(std::istream& is, BCode* block) override;

 private:
  template <class In>
  void loadFields(In& in, BCode* block);
  template <class Out>
  void saveFields(Out& out) const;

  std::uint32_t tmpNo_ = 0;
  unsigned char status_ = TMG;    // a STATUS_TYPE
  unsigned char lArea_ = L_AREA;  // an AREA_TYPE
  KRTypeRef type_;
};

// A small number such as a count or a jump label.
class BCODE_API BCNUM
    : public BCInstructionOpOf<BCNUM, BCInstructionOp, BCInstructionOp::BCNUM_CLASS> {
 public:
  explicit BCNUM(std::uint16_t value) : value_(value) {}
  BCNUM(const BCNUM& other) = default;

  OP_KIND kind() const override { return NUM; }
  // The values only, unlike every other operand class.
  int isEqual(const BCInstructionOp& other) const override;
  void printOn(std::ostream& os, char* column, char* line,
               const char* const* typeNames) const override;
  void printOn(std::ostream& os) const override;

  std::uint16_t getValue() const { return value_; }
  void setValue(std::uint16_t value) { value_ = value; }

 protected:
  friend class BCInstructionOp;
  BCNUM() = default;
  void saveInstance(std::ostream& os) const override;
  void loadInstance(std::istream& is, BCode* block) override;

 private:
  template <class In>
  void loadFields(In& in, BCode* block);
  template <class Out>
  void saveFields(Out& out) const;

  std::uint16_t value_ = 0;
};

// An immediate value; the value classes derive from it (bcode/const/bcimmediate.h).
class BCODE_API BCIMM : public BCInstructionOp {
 public:
  BCIMM() = default;
  BCIMM(const BCIMM& other) = default;

  OP_KIND kind() const override { return IMM; }

 protected:
  void saveInstance(std::ostream& os) const override;
  void loadInstance(std::istream& is, BCode* block) override;
  // The listing row of an immediate with its value at column 59, formatted
  // from `value` or given as a text; emits the line.
  void listImmediate(std::ostream& os, char* column, char* line, const char* const* typeNames,
                     const char* format, int value) const;
  void listImmediate(std::ostream& os, char* column, char* line, const char* const* typeNames,
                     const char* valueText) const;
  // The dump's part after the value: "   IMM  ", test flag, data type, line end.
  void dumpImmediate(std::ostream& os) const;

 private:
  friend class BCInstructionOp;
  // The immediate of the class a record's tag names, its fields read from
  // `in`; null with the flag set for a tag of no immediate class, when
  // memory runs out or a field is short. Defined with the immediates.
  // `In` is KRFieldReader or KRFieldSpanReader.
  template <class In>
  static BCInstructionOp* loadOfClass(unsigned tag, In& in);
  // The record of an immediate of class `tag` written into `out`, as
  // BCInstructionOp::savedAs; false for an object of no immediate class.
  static bool savedAsOfClass(unsigned tag, const BCInstructionOp& op, KRFieldSpanWriter& out);
};

// What the handles of table entries share: the handle, a data type taken
// from the entry, equality of the handles or else of the entries, the index
// record bound to the loading block's table on reading, and the listing and
// dump forms.
template <class Derived, class Entry, class Ref, BCInstructionOp::CLASS_TYPE Tag,
          BCInstructionOp::OP_KIND Kind>
class BCODE_API BCHandleOf : public BCInstructionOpOf<Derived, BCInstructionOp, Tag> {
 public:
  BCInstructionOp::OP_KIND kind() const override { return Kind; }
  int isEqual(const BCInstructionOp& other) const override;
  void printOn(std::ostream& os, char* column, char* line,
               const char* const* typeNames) const override;
  void printOn(std::ostream& os) const override;

 protected:
  BCHandleOf() = default;
  // Takes the data type from the entry; an unresolvable handle sets the
  // error flag 1 and leaves the data type 0.
  explicit BCHandleOf(const Ref& ref);
  BCHandleOf(const BCHandleOf& other) = default;

  const Ref& ref() const { return ref_; }

  void saveInstance(std::ostream& os) const override;
  void loadInstance(std::istream& is, BCode* block) override;
  template <class In>
  void loadFields(In& in, BCode* block);
  template <class Out>
  void saveFields(Out& out) const;

 private:
  Ref ref_;
};

// A handle of an entry in the block's constant table; the constant lists its
// own columns from the type name on.
class BCODE_API BCCST : public BCHandleOf<BCCST, BCConstant, BCConstRef,
                                          BCInstructionOp::BCCST_CLASS, BCInstructionOp::CST> {
 public:
  explicit BCCST(const BCConstRef& constant) : BCHandleOf(constant) {}

  const BCConstRef& getConstRef() const { return ref(); }

 protected:
  friend class BCInstructionOp;
  BCCST() = default;
};

// A handle of an entry in the block's operand table.
class BCODE_API BCOPD : public BCHandleOf<BCOPD, BCOperand, BCOpRef, BCInstructionOp::BCOPD_CLASS,
                                          BCInstructionOp::OPD> {
 public:
  explicit BCOPD(const BCOpRef& operand) : BCHandleOf(operand) {}

  int identView(const BCInstructionOp& other) const override;

  const BCOpRef& getOpRef() const { return ref(); }

 protected:
  friend class BCInstructionOp;
  BCOPD() = default;
};

#endif  // BCODE_INSTR_BCINSTROP_H

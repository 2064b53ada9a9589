// BCOperand: a typed memory location that instructions read or write, the
// root of the memory operand classes. BCOperandList is the operand table of
// one block; instructions name its entries through BCOpRef indices only.
#ifndef BCODE_OPERAND_BCOPERAND_H
#define BCODE_OPERAND_BCOPERAND_H

#include <cstdint>
#include <initializer_list>
#include <iosfwd>
#include <new>

#include "bcode/foundation/krarena.h"
#include "bcode/foundation/krerror.h"
#include "bcode/foundation/krexport.h"
#include "bcode/foundation/krlistline.h"
#include "bcode/foundation/kryref.h"
#include "bcode/types/krtypetab.h"

class BCode;
class KRFieldReader;
class KRFieldWriter;

class BCODE_API BCOperand : public KRArenaObject {
 public:
  enum ERRORS : int { BCOPERAND_OK = 0, BCOPERAND_FAILED = 1 };
  KR_ERROR_FLAG_MEMBERS()

  // The class tag: the answer of isA() and the first byte of a record.
  enum CLASS_TYPE : int {
    CT_NONE = 0,
    CT_E = 1,
    CT_A = 2,
    CT_M = 3,
    CT_PE = 4,
    CT_PA = 5,
    CT_MFL = 6,
    CT_FBEP = 7,
    CT_FBAP = 8,
    CT_FBDP = 9,
    CT_FCEP = 10,
    CT_FCAP = 11,
    CT_FCDP = 12,
    CT_SFBEP = 13,
    CT_SFBAP = 14,
    CT_SFBDP = 15,
    CT_SFCEP = 16,
    CT_SFCAP = 17,
    CT_SFCDP = 18,
    CT_LSD = 19,
    CT_LDD = 20,
    CT_DBBER = 21,
    CT_T = 22,
    CT_Z = 23,
    CT_OB = 24,
    CT_FB = 25,
    CT_FC = 26,
    CT_SFB = 27,
    CT_SFC = 28,
    CT_DB = 29,
    CT_SDB = 30,
    CT_ICALL = 31,
    CT_ICEP = 32,
    CT_ICAP = 33,
    CT_LAST = CT_ICAP
  };

  // The family, the answer of kind().
  enum KIND : int {
    K_LSD = 0,
    K_LDD = 1,
    K_PARAM = 2,
    K_GLOBVAR = 3,
    K_FCTELEM = 4,
    K_MFL = 5,
    K_BLOCK = 6
  };

  BCOperand(const BCOperand& other) = default;
  BCOperand& operator=(const BCOperand&) = delete;
  virtual ~BCOperand();

  virtual CLASS_TYPE isA() const = 0;
  virtual KIND kind() const = 0;
  // The data type code of the location; 0 here.
  virtual unsigned char getDataType() const;
  // 1 when the two operands name overlapping storage through a view; 0 here.
  virtual int identView(const BCOperand& other) const;
  // Type equality: equal type indices, or structurally equal resolved types.
  virtual int isEqual(const BCOperand& other) const;
  // A heap copy owned by the caller; null when no memory is returned.
  virtual BCOperand* newCopy() const = 0;
  // The listing line: columns from `col` inside the 160-byte `line`, class
  // names indexed by tag and type names by data type code.
  virtual void printOn(std::ostream& os, char* col, char* line, const char* const* classNames,
                       const char* const* typeNames) const = 0;
  // The one-line debugging dump.
  virtual void printOn(std::ostream& os) const = 0;

  KRTypeRef getTypeRef() const { return typeRef; }

  // Same class tag and isEqual.
  int operator==(const BCOperand& other) const;

  // The operand record: the tag, then the fields of the class.
  void save(std::ostream& os) const;
  // Rebuilds an operand from its record, binding its references to `code`'s
  // lists (to none when `code` is null). Null on failure, flag 1.
  static BCOperand* iload(std::istream& is, BCode* code);

  // Emits the listing line: zero bytes before `end` become blanks.
  void store(std::ostream& os, char* end, char* line) const;

 protected:
  BCOperand() = default;
  explicit BCOperand(const KRTypeRef& type) : typeRef(type) {}

  virtual void loadInstance(std::istream& is, BCode* code);
  virtual void saveInstance(std::ostream& os) const;

  // Shared pieces of the records: a failed field sets the flag.
  static void checkWrite(const KRFieldWriter& out);
  static void checkRead(const KRFieldReader& in);
  // The record of the number-only classes: one u16 and no type.
  static void saveNumber(std::ostream& os, std::uint16_t number);
  static void loadNumber(std::istream& is, std::uint16_t& number);
  // Binds a type index read from a record to `code`'s type table.
  void bindType(std::uint16_t index, BCode* code);

  // 1 when `other` is a `Same` and `test` holds for it.
  template <class Same, class Test>
  static int sameClassAnd(const BCOperand& other, Test test) {
    const auto* same = dynamic_cast<const Same*>(&other);
    return same != nullptr && test(*same) ? 1 : 0;
  }

  // The view overlap rule, once both variables' descriptions were found:
  // either one views the other, or both view the same variable.
  static int viewsOverlap(std::uint16_t ownNo, std::uint16_t ownView, std::uint16_t otherNo,
                          std::uint16_t otherView);

  // The columns of the listing line, counted from the operand's column.
  static constexpr KRListColumn kClassColumn{"class", 0, 8};
  static constexpr KRListColumn kTypeColumn{"type name", 8, 10};
  static constexpr KRListColumn kTypeIndexColumn{"type index", 18, 8};
  static constexpr KRListColumn kNumberColumn{"number", 26, 13};
  static constexpr KRListColumn kParamColumn{"parameter", 39, 9};
  static constexpr KRListColumn kVarColumn{"variable", 48, 8};
  static constexpr KRListColumn kParNoColumn{"parameter number", 56, 8};
  static constexpr KRListColumn kOffsetColumn{"offset", 64, 0};

  // Column 0: the class name table entry of the tag, or the class's own name.
  void printClassName(const KRListLine& out, const char* const* classNames) const;
  // The type name ("???" when unresolved) and the type index.
  void printTypeColumns(const KRListLine& out, const char* const* typeNames) const;
  // "-" at every column given.
  static void printDashes(const KRListLine& out, std::initializer_list<KRListColumn> columns);
  // Offsets are unsigned but listed in signed decimal.
  static void printOffset(const KRListLine& out, const KRListColumn& column, std::uint32_t offset);

  // The data type code implied by the class of an operand without a type.
  unsigned char impliedDataType() const;
  // The data type code of the resolved type; 0 when it does not resolve.
  unsigned char resolvedDataType() const;

  // Dump pieces: the class mnemonic, a right-aligned number, the type.
  const char* mnemonic() const;
  static void dumpField(std::ostream& os, std::int32_t value, int width);
  void dumpType(std::ostream& os) const;

  KRTypeRef typeRef;

 private:
  // An operand of the class a record's tag names, in the state its record
  // is loaded into; null for a tag of no class or when memory runs out.
  static BCOperand* newOfClass(unsigned tag);
};

extern template class BCODE_API KRRefTable<BCOperand*>;

// What each class of the operand table's records adds to its family: its
// class tag and its copy, made as `Derived`, the class deriving from it. The
// family's constructors stay the constructors.
template <class Derived, class Family, BCOperand::CLASS_TYPE Tag>
class BCODE_API BCOperandOf : public Family {
 public:
  using Family::Family;

  BCOperand::CLASS_TYPE isA() const override { return Tag; }
  BCOperand* newCopy() const override {
    return new (std::nothrow) Derived(static_cast<const Derived&>(*this));
  }

 protected:
  BCOperandOf() = default;
};

// Names one operand of an operand table by index; index 0 names none.
class BCODE_API BCOpRef : public KRReference<BCOperand*> {
 public:
  BCOpRef() = default;
  BCOpRef(const KRReference<BCOperand*>& ref)  // NOLINT(google-explicit-constructor)
      : KRReference<BCOperand*>(ref) {}
};

// The operand table of one block; it owns its operands.
class BCODE_API BCOperandList : public KRRefTable<BCOperand*> {
 public:
  BCOperandList() = default;
  ~BCOperandList() override;

  // Reads a table record whose operands bind to `code`'s lists; null on
  // failure with the table's flag set.
  static BCOperandList* iload(std::istream& is, BCode* code);
};

// Visits the occupied slots of an operand table in index order.
class BCODE_API BCOperandListIterator : public KRRefTableIterator<BCOperand*> {
 public:
  explicit BCOperandListIterator(const BCOperandList& list)
      : KRRefTableIterator<BCOperand*>(list) {}
};

#endif  // BCODE_OPERAND_BCOPERAND_H

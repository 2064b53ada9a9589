// Type descriptors: elementary types, strings, arrays and structures, with
// their storage rules (all lengths, offsets and alignments in bits),
// comparisons, records and text forms. The type of an FB or SFB instance,
// KRInstanceDesc, is in krinstancedesc.h.
//
// Descriptors name each other through KRTypeRef, so a type graph read from a
// record can be deep, cyclic or share sub-types many times over. Storage
// lengths, alignments, comparisons, dumps and listings work at any depth that
// memory allows, detect a cycle and answer as for an unresolvable type (error
// flag 1, a neutral value). Each call remembers its answers, so a shared
// sub-type (a pair of them, when comparing) is worked out once per call, and a
// dump writes each structure and array once (see KRTypePrintScope).
#ifndef BCODE_TYPES_KRTYPEDESC_H
#define BCODE_TYPES_KRTYPEDESC_H

#include <cstdint>
#include <iosfwd>
#include <memory>

#include "bcode/foundation/krarena.h"
#include "bcode/foundation/krerror.h"
#include "bcode/foundation/krexport.h"
#include "bcode/foundation/kryarr.h"
#include "bcode/foundation/krystrng.h"
#include "bcode/types/krtypetab.h"

class KRTypeEnv;
class KRTypeWalk;
struct KRTypeWalkState;

// Descriptors and their components are made in bulk by a block load, in
// its arena (krarena.h).
class BCODE_API KRTypedesc : public KRArenaObject {
 public:
  // Class tags: isA() and the first byte of a descriptor record.
  enum CLASS_TYPE : int {
    KR_ELEM_DESC = 0,
    KR_ARRAY_DESC = 1,
    KR_STRUCT_DESC = 2,
    KR_STRING_DESC = 3,
    KR_INSTANCE_DESC = 4,
  };
  enum ERRORS : int {
    KRTYPEDESC_OK = 0,
    KRTYPEDESC_FAILED = 1,     // unresolvable reference, unknown code, failed read or write
    KRTYPEDESC_NO_MEMORY = 2,  // an object could not be created
  };
  KR_ERROR_FLAG_MEMBERS()

  virtual CLASS_TYPE isA() const = 0;
  // The same data type code; subclasses add their own conditions.
  virtual bool equalType(const KRTypedesc& other) const;
  virtual ~KRTypedesc();
  virtual std::uint32_t storageLength() const = 0;
  virtual std::uint32_t alignment() const = 0;
  // Listing lines: stream, listing level, a text the types do not use, the
  // 160-byte line buffer (all zero on entry and on return), type names by code.
  virtual void printOn(std::ostream& os, int level, char* text, char* line,
                       const char* const* typeNames) const = 0;
  // Debugging dump, indented by `indent` blanks.
  virtual void printOn(std::ostream& os, int indent) const = 0;

  unsigned char getDataType() const { return dataType; }
  // Calls the left operand's equalType.
  bool operator==(const KRTypedesc& other) const;
  bool operator!=(const KRTypedesc& other) const { return !(*this == other); }

  void setGlobal(std::uint16_t gdtNo);
  void setLocal();
  bool isGlobal() const { return global == 1; }
  // The global flag as its record carries it (isGlobal() tests it for 1).
  unsigned char getGlobalFlag() const { return global; }
  std::uint16_t getGDTNo() const { return gdtNo; }

  // Writes one listing line: zero bytes before `end` become blanks, the line
  // goes out up to its first zero with a line end, the buffer is cleared.
  static void store(std::ostream& os, char* end, char* line);

  // The descriptor record: class tag, then the class's fields.
  void save(std::ostream& os) const;
  // Reads a descriptor record; null with the error flag set on failure.
  static KRTypedesc* iload(std::istream& is, KRTypeEnv* env);

 protected:
  KRTypedesc() = default;
  KRTypedesc(const KRTypedesc&) = default;
  KRTypedesc& operator=(const KRTypedesc&) = default;
  explicit KRTypedesc(unsigned char code) : dataType(code) {}

  // Each class writes its base part first, then its own; false on failure
  // (with the error flag set).
  virtual bool saveInstance(std::ostream& os) const;
  virtual bool loadInstance(std::istream& is, KRTypeEnv* env);

  // Prints the GDT part and the length part of the dumps.
  void printGDTAndLength(std::ostream& os) const;
  // The GDT column of the listings: " %u"/" -" or, `bare`, "%u"/"-".
  void putGDTColumn(char* line, bool bare) const;
  // Ends a listing: one more empty line at level 5.
  static void finishListing(std::ostream& os, int level, char* line);
  // A dump's line for a structure or array dumped before: "STRUCT (type 26,
  // dumped above)", without the index when it is 0.
  void dumpReference(std::ostream& os, long indent, std::uint16_t index) const;

  unsigned char dataType = 0;
  unsigned char global = 0;
  std::uint16_t gdtNo = 0;

  friend class KRTypeWalk;
};

class BCODE_API KRElemDesc : public KRTypedesc {
 public:
  explicit KRElemDesc(unsigned char code) : KRTypedesc(code) {}
  KRElemDesc(const KRElemDesc&) = default;

  CLASS_TYPE isA() const override { return KR_ELEM_DESC; }
  // The code's length from the data type table; 0 with flag 1 for a code
  // that has none.
  std::uint32_t storageLength() const override;
  std::uint32_t alignment() const override;
  void printOn(std::ostream& os, int level, char* text, char* line,
               const char* const* typeNames) const override;
  void printOn(std::ostream& os, int indent) const override;

 protected:
  KRElemDesc() = default;
  friend class KRTypedesc;
};

class BCODE_API KRStringDesc : public KRTypedesc {
 public:
  explicit KRStringDesc(unsigned char maxLen) : KRTypedesc(KR_DT_STRING), maxLen_(maxLen) {}
  KRStringDesc(const KRStringDesc&) = default;

  unsigned char getMaxLen() const { return maxLen_; }

  CLASS_TYPE isA() const override { return KR_STRING_DESC; }
  bool equalType(const KRTypedesc& other) const override;
  // 8 bits per character plus a 16-bit header.
  std::uint32_t storageLength() const override;
  std::uint32_t alignment() const override { return 16; }
  void printOn(std::ostream& os, int level, char* text, char* line,
               const char* const* typeNames) const override;
  void printOn(std::ostream& os, int indent) const override;

 protected:
  KRStringDesc() = default;
  bool saveInstance(std::ostream& os) const override;
  bool loadInstance(std::istream& is, KRTypeEnv* env) override;
  friend class KRTypedesc;

 private:
  unsigned char maxLen_ = 0;
};

// One dimension of an array. The boundary byte length (2 or 4), one per
// thread, is the width in which load reads each bound; every constructor but
// the copy constructor sets it.
class BCODE_API KRArrayRange {
 public:
  enum ERRORS : int {
    KRARRAYRANGE_OK = 0,
    KRARRAYRANGE_FAILED = 1,  // short read or write, or an unsupported width
  };
  KR_ERROR_FLAG_MEMBERS()

  KRArrayRange();  // bounds 0, 0; width 4
  KRArrayRange(std::int32_t lo, std::int32_t hi, unsigned int len);
  KRArrayRange(const KRArrayRange&) = default;
  KRArrayRange& operator=(const KRArrayRange&) = default;

  static void SetBoundaryByteLen(unsigned int len);

  std::int32_t getLowerBound() const { return lo_; }
  std::int32_t getUpperBound() const { return hi_; }
  bool operator==(const KRArrayRange& other) const { return lo_ == other.lo_ && hi_ == other.hi_; }
  bool operator!=(const KRArrayRange& other) const { return !(*this == other); }

  // Both bounds as signed 32-bit values.
  void save(std::ostream& os) const;
  // Both bounds in the current boundary byte length; 2-byte bounds are
  // sign-extended.
  void load(std::istream& is);

 private:
  std::int32_t lo_ = 0;
  std::int32_t hi_ = 0;
};

class BCODE_API KRArrayDesc : public KRTypedesc {
 public:
  explicit KRArrayDesc(const KRTypeRef& elemType);
  // Copies the base fields and the element type and adds every dimension.
  KRArrayDesc(const KRArrayDesc& other);
  KRArrayDesc& operator=(const KRArrayDesc&) = delete;

  // Appends a dimension; flag 1 when 255 dimensions are there already.
  void addDim(std::int32_t lo, std::int32_t hi);
  unsigned char getDim() const { return dimCount_; }
  // Dimension n, counted from 1; bounds 0, 0 and flag 1 outside 1 .. getDim().
  KRArrayRange getRange(std::uint16_t n) const;
  KRTypeRef getElemTypeRef() const { return elemType_; }

  // The unrounded length: each row of the last dimension of a BOOL array
  // starts on a byte, string elements are padded to words.
  std::uint32_t storageLengthInArrays() const;
  // 8 when the innermost element is BOOL, BYTE or CHAR, else 16.
  std::uint32_t alignmentInArrays() const;
  // Turns the array into nested one-dimensional arrays added to `tab` and
  // returns the outermost; the null reference and flag 2 on failure.
  KRTypeRef convertHierarchical(KRTypeTab& tab) const;

  CLASS_TYPE isA() const override { return KR_ARRAY_DESC; }
  bool equalType(const KRTypedesc& other) const override;
  // storageLengthInArrays() raised to a whole word.
  std::uint32_t storageLength() const override;
  std::uint32_t alignment() const override { return 16; }
  void printOn(std::ostream& os, int level, char* text, char* line,
               const char* const* typeNames) const override;
  void printOn(std::ostream& os, int indent) const override;

 protected:
  KRArrayDesc();
  bool saveInstance(std::ostream& os) const override;
  bool loadInstance(std::istream& is, KRTypeEnv* env) override;
  friend class KRTypedesc;
  friend class KRTypeWalk;

 private:
  // The first line of the dump; the element type's dump follows.
  void dumpHead(std::ostream& os, long indent) const;

  unsigned char dimCount_ = 0;
  KRArray<KRArrayRange> ranges_;
  KRTypeRef elemType_;
};

// A component of a structured type: a structure's own component or, for an
// instance type, an interface entry of the instantiated block.
class BCODE_API KRStructuredComp : public KRArenaObject {
 public:
  virtual ~KRStructuredComp();
  virtual const KRString& getName() const = 0;
  virtual std::uint32_t getOffset() const = 0;
  virtual KRTypeRef getTypeRef() const = 0;

 protected:
  KRStructuredComp() = default;
  KRStructuredComp(const KRStructuredComp&) = default;
  KRStructuredComp& operator=(const KRStructuredComp&) = default;
};

class BCODE_API KRStructuredDesc : public KRTypedesc {
 public:
  virtual std::uint16_t getNoOfComp() const = 0;
  // Component n, counted from 1, or null.
  virtual KRStructuredComp* getStructuredComp(std::uint16_t n) const = 0;
  // The bit offset of component n.
  virtual std::uint32_t getCompOffset(std::uint16_t n) const = 0;

 protected:
  KRStructuredDesc() = default;
  KRStructuredDesc(const KRStructuredDesc&) = default;
  explicit KRStructuredDesc(unsigned char code) : KRTypedesc(code) {}
};

class BCODE_API KRStructComp : public KRStructuredComp {
 public:
  enum ERRORS : int {
    KRSTRUCTCOMP_OK = 0,
    KRSTRUCTCOMP_FAILED = 1,     // failed read, write or name, or an unresolvable type
    KRSTRUCTCOMP_NO_MEMORY = 2,  // the name buffer could not be allocated
  };
  KR_ERROR_FLAG_MEMBERS()

  KRStructComp() = default;
  KRStructComp(const KRString& name, const KRTypeRef& type);
  KRStructComp(const KRStructComp&) = default;
  KRStructComp& operator=(const KRStructComp&) = default;

  const KRString& getName() const override { return name_; }
  std::uint32_t getOffset() const override { return offset_; }
  KRTypeRef getTypeRef() const override { return type_; }
  void setOffset(std::uint32_t offset) { offset_ = offset; }

  // Equal names and equal types; false and flag 1 when a type does not resolve.
  bool operator==(const KRStructComp& other) const;
  bool operator!=(const KRStructComp& other) const { return !(*this == other); }

  // The component record: type index, name. The offset is not written.
  void save(std::ostream& os) const;
  // Reads a component record, binding the type index to `table`.
  void load(std::istream& is, KRTypeTab* table);

 private:
  friend class KRTypeWalk;

  std::uint32_t offset_ = 0;
  KRString name_;
  KRTypeRef type_;
};

class BCODE_API KRStructDesc : public KRStructuredDesc {
 public:
  KRStructDesc();
  // Copies the base fields and adds a component of the same name and type for
  // each component.
  KRStructDesc(const KRStructDesc& other);
  KRStructDesc& operator=(const KRStructDesc&) = delete;
  ~KRStructDesc() override;

  // Appends a component; flag 2 when it cannot be created (it then does not count).
  void addComp(const KRString& name, const KRTypeRef& type);
  // Component n, counted from 1. Outside 1 .. getNoOfComp(): flag 1 and an
  // empty stand-in component.
  KRStructComp& getComp(std::uint16_t n);
  const KRStructComp& getComp(std::uint16_t n) const;
  // Lays out every component.
  void updateCompOffsets() const;

  std::uint16_t getNoOfComp() const override { return compCount_; }
  KRStructuredComp* getStructuredComp(std::uint16_t n) const override;
  // Lays out components 1 .. n, storing each offset; the offset of n.
  std::uint32_t getCompOffset(std::uint16_t n) const override;

  CLASS_TYPE isA() const override { return KR_STRUCT_DESC; }
  bool equalType(const KRTypedesc& other) const override;
  // End of the last component, raised to a whole word after a BOOL, BYTE,
  // CHAR or STRING; lays out every component.
  std::uint32_t storageLength() const override;
  std::uint32_t alignment() const override { return 16; }
  void printOn(std::ostream& os, int level, char* text, char* line,
               const char* const* typeNames) const override;
  void printOn(std::ostream& os, int indent) const override;

 protected:
  bool saveInstance(std::ostream& os) const override;
  bool loadInstance(std::istream& is, KRTypeEnv* env) override;
  friend class KRTypeWalk;

 private:
  KRStructComp* compAt(std::uint16_t n) const;
  // Flag 2 and true when the structure holds 65,535 components already.
  bool refusedWhenFull() const;
  // Appends a component made whole; false (flag 2) when 65535 are there.
  bool appendComp(std::unique_ptr<KRStructComp> comp);
  // The first line of the dump, and the start of component n's line, which
  // the dump of its type ends.
  void dumpHead(std::ostream& os, long indent) const;
  void dumpCompHead(std::ostream& os, long indent, std::uint16_t n) const;

  std::uint16_t compCount_ = 0;
  KRArray<KRStructComp*> comps_;
};

// While one lives on a thread, the listings and dumps printed there are one
// print run: each type's storage length is worked out once, and a dump
// (printOn with an indentation, of descriptors, interface entries, local
// variables, operands and instruction operands) writes a structure or array
// in full once and wherever it is met again a one-line reference to its
// index in `table`, "STRUCT (type 26, dumped above)". Without a scope each
// call is a print run of its own. So printing every type of a block one by
// one, and everything that names them, takes time and output in proportion
// to the block's record (krtypewalk.cpp gives the bound of a dump). Nothing
// may change the types, the table or the interface descriptions while a
// scope lives.
class BCODE_API KRTypePrintScope {
 public:
  explicit KRTypePrintScope(const KRTypeTab& table);
  ~KRTypePrintScope();
  KRTypePrintScope(const KRTypePrintScope&) = delete;
  KRTypePrintScope& operator=(const KRTypePrintScope&) = delete;

 private:
  std::unique_ptr<KRTypeWalkState> own_;  // null when joining a walk, or without memory
  bool joined_ = false;                   // false only without memory for a walk
  bool wasShared_ = false;
  const KRTypeTab* previousTable_ = nullptr;
};

#endif  // BCODE_TYPES_KRTYPEDESC_H

// Local data lists: a block's dynamic (LDD) and static (LSD) variables, their
// layout in bits, the reference a local data operand holds, and the iterator.
#ifndef BCODE_LOCALDATA_BCLDLIST_H
#define BCODE_LOCALDATA_BCLDLIST_H

#include <cstdint>
#include <iosfwd>

#include "bcode/foundation/krarena.h"
#include "bcode/foundation/krarenastore.h"
#include "bcode/foundation/krerror.h"
#include "bcode/foundation/krexport.h"
#include "bcode/foundation/krysequ.h"
#include "bcode/foundation/krystrng.h"
#include "bcode/types/krtypetab.h"

class BCLDList;

// One local variable. A view (view number v > 0) shares the storage of
// variable v of the same list.
class BCODE_API BCLDEntry : public KRArenaObject {
 public:
  enum ERRORS : int { BCLDENTRY_OK = 0, BCLDENTRY_FAILED = 1, BCLDENTRY_NO_MEMORY = 2 };
  KR_ERROR_FLAG_MEMBERS()

  BCLDEntry(const KRString& name, KRTypeRef type);
  virtual ~BCLDEntry();
  BCLDEntry(const BCLDEntry&) = delete;
  BCLDEntry& operator=(const BCLDEntry&) = delete;

  std::uint32_t getOffset() const { return offset_; }
  virtual void setOffset(std::uint32_t offset) { offset_ = offset; }
  // The type's length and alignment; 1 with flag 1 when the type fails.
  virtual std::uint32_t storageLength() const;
  virtual std::uint32_t alignment() const;

  const KRString& getName() const { return name_; }
  KRTypeRef getTypeRef() const { return type_; }
  std::uint16_t getViewVarNo() const { return viewVarNo_; }
  void setViewVarNo(std::uint16_t varNo) { viewVarNo_ = varNo; }
  // The type's data type code; 0 when the type does not resolve.
  unsigned char getDataType() const;

  // The entry record: type index, offset, name.
  void save(std::ostream& os) const;
  static BCLDEntry* iload(std::istream& is, KRTypeTab* table);

  // Debug dump of one line.
  void printOn(std::ostream& os) const;
  // Listing line: columns start at `column` inside the 160-byte `line`;
  // `typeNames` is indexed by data type code (256 entries).
  void printOn(std::ostream& os, char* column, char* line, const char* const* typeNames) const;
  // Emits the line with a line end and clears the buffer.
  void store(std::ostream& os, char* end, char* line) const;

 protected:
  BCLDEntry();
  // Reads the entry record into this entry; false with the flag set on failure.
  virtual bool loadInstance(std::istream& is, KRTypeTab* table);
  virtual void saveInstance(std::ostream& os) const;

 private:
  // The type's measure, or 1 with flag 1 when the type fails.
  std::uint32_t measured(std::uint32_t (*ask)(const KRTypedesc&)) const;
  // Equal offsets, names and types.
  bool operator==(const BCLDEntry& other) const;
  bool operator!=(const BCLDEntry& other) const { return !(*this == other); }

  std::uint32_t offset_ = 0;
  KRString name_;
  KRTypeRef type_;
  std::uint16_t viewVarNo_ = 0;
};

extern template class BCODE_API KRSequence<BCLDEntry*>;

// Names variable `varNo` (from 1) of one list; 0 names none.
class BCODE_API BCLDRef {
 public:
  BCLDRef() = default;
  BCLDRef(std::uint16_t varNo, BCLDList* list) : list_(list), varNo_(varNo) {}

  std::uint16_t getVarNo() const { return varNo_; }
  BCLDList* getListPtr() const { return list_; }
  // The variable, or null.
  BCLDEntry* ptr() const;
  // 1 for equal numbers; the lists are not compared.
  int operator==(const BCLDRef& other) const { return varNo_ == other.varNo_ ? 1 : 0; }

 private:
  BCLDList* list_ = nullptr;
  std::uint16_t varNo_ = 0;
};

class BCODE_API BCLDList : public KRArenaObject {
 public:
  BCLDList();
  virtual ~BCLDList();
  BCLDList(const BCLDList&) = delete;
  BCLDList& operator=(const BCLDList&) = delete;

  // Layout in bits from the start of the list; every ordinary entry is
  // aligned by its own type, a view takes the offset of the entry it names.
  // Failures set KRSequence<BCLDEntry*>::error (2: fewer entries than asked,
  // 5: an entry failed or a view names no earlier entry) and give 0.
  // getLastOffset() lays out every entry and measures the last one too.
  virtual std::uint32_t getLastOffset();
  virtual std::uint32_t getOffset(std::uint16_t n);
  // The end of the last variable in storage.
  virtual std::uint32_t storageLength();

  // Takes ownership; the reference names the new entry.
  BCLDRef add(BCLDEntry* entry);
  // Variable ref.getVarNo() of this list, or null.
  BCLDEntry* lookup(BCLDRef ref) const;
  std::uint32_t getEntryCount() const { return static_cast<std::uint32_t>(byNumber_.size()); }

  // Where the list's area begins in the block; entry offsets never include it.
  std::uint32_t getStartOffset() const { return startOffset_; }
  void setStartOffset(std::uint32_t offset) { startOffset_ = offset; }

  // The list record: the count, then each entry's record.
  void save(std::ostream& os) const;
  static BCLDList* iload(std::istream& is, KRTypeTab* table);

 private:
  friend class BCLDListIterator;

  KRSequence<BCLDEntry*> entries_;
  std::uint32_t startOffset_ = 0;
  // Variable n at n - 1, so references resolve in constant time.
  KRArenaVector<BCLDEntry*> byNumber_;
};

// Walks the variables of a list; direction 1 starts at the first.
class BCODE_API BCLDListIterator : public KRSequenceIterator<BCLDEntry*> {
 public:
  BCLDListIterator(const BCLDList& list, int direction)
      : KRSequenceIterator<BCLDEntry*>(list.entries_, direction) {}
};

#endif  // BCODE_LOCALDATA_BCLDLIST_H

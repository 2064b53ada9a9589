// Interface descriptions: one BCSSB per block the code deals with (its own,
// the blocks it calls or instantiates), the list a block's code owns, the
// reference a parameter operand holds, and the iterators.
#ifndef BCODE_INTERFACE_BCSSB_H
#define BCODE_INTERFACE_BCSSB_H

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <unordered_map>
#include <utility>

#include "bcode/foundation/krarena.h"
#include "bcode/foundation/krarenastore.h"
#include "bcode/foundation/krblockkind.h"
#include "bcode/foundation/krerror.h"
#include "bcode/foundation/krexport.h"
#include "bcode/foundation/krysequ.h"
#include "bcode/interface/bcssbentry.h"

class BCSSB;
class BCSSBList;
class KRTypeEnv;
class KRTypeTab;

// Names interface entry `parNo` (from 1) of the description of one block.
class BCODE_API BCSSBRef {
 public:
  BCSSBRef() = default;
  BCSSBRef(std::uint16_t blockNo, KR_BLOCK_KIND kind, std::uint16_t parNo, BCSSBList* list)
      : list_(list), blockNo_(blockNo), blockKind_(kind), parNo_(parNo) {}

  std::uint16_t getBlockNo() const { return blockNo_; }
  KR_BLOCK_KIND getBlockKind() const { return blockKind_; }
  std::uint16_t getParNo() const { return parNo_; }
  BCSSBList* getList() const { return list_; }

  // The entry, or null when the list, the description or the entry is missing.
  BCSSBEntry* ptr() const;
  // The list is not compared.
  bool operator==(const BCSSBRef& other) const;

 private:
  BCSSBList* list_ = nullptr;
  std::uint16_t blockNo_ = 0;
  KR_BLOCK_KIND blockKind_ = static_cast<KR_BLOCK_KIND>(0);
  std::uint16_t parNo_ = 0;
};

class BCODE_API BCSSB : public KRArenaObject {
 public:
  BCSSB(std::uint16_t blockNo, KR_BLOCK_KIND kind, BCSSBList* list);
  virtual ~BCSSB();
  BCSSB(const BCSSB&) = delete;
  BCSSB& operator=(const BCSSB&) = delete;

  // Layout of the instance data in bits. Each group of entries of one
  // parameter kind starts on a word; a view takes the offset of the entry it
  // names. Failures set KRSequence<BCSSBEntry*>::error (2: fewer entries than
  // asked, 5: an entry failed or a view names no earlier entry) and give 0.
  // getLastOffset() lays out every entry and measures the last one too.
  virtual std::uint32_t getLastOffset();
  virtual std::uint32_t getOffset(std::uint16_t n);
  virtual std::uint32_t storageLength();

  std::uint16_t getBlockNo() const { return blockNo_; }
  KR_BLOCK_KIND getBlockKind() const { return blockKind_; }
  std::uint32_t getEntryCount() const { return static_cast<std::uint32_t>(byNumber_.size()); }

  // Takes ownership; the reference names the new entry.
  BCSSBRef add(BCSSBEntry* entry);
  // Entry n (from 1), or null.
  BCSSBEntry* lookup(std::uint16_t n) const;
  // The entry at which the count of entries of `kind` first reaches n.
  BCSSBEntry* getNthEntryOfParamKind(std::uint16_t kind, std::uint16_t n) const;

  void save(std::ostream& os) const;
  static BCSSB* iload(std::istream& is, KRTypeEnv* env);
  void printOn(std::ostream& os) const;
  void printOn(std::ostream& os, char* column, char* line, const char* const* kindNames,
               const char* const* typeNames) const;
  // Emits a header line with its line end.
  void store(std::ostream& os, char* end, char* line) const;

 protected:
  BCSSB();

 private:
  friend class BCSSBIterator;

  KRSequence<BCSSBEntry*> entries_;
  std::uint16_t blockNo_ = 0;
  KR_BLOCK_KIND blockKind_ = KR_FB_KENN;
  BCSSBList* list_ = nullptr;
  // Entry n at n - 1, so references resolve in constant time.
  KRArenaVector<BCSSBEntry*> byNumber_;
};

extern template class BCODE_API KRSequence<BCSSB*>;

// The interface descriptions of one block's code, in list order.
class BCODE_API BCSSBList : public KRSequence<BCSSB*> {
 public:
  enum ERRORS : int { BCSSBLIST_OK = 0, BCSSBLIST_FAILED = 1, BCSSBLIST_NO_MEMORY = 2 };
  KR_ERROR_FLAG_MEMBERS()

  BCSSBList();
  ~BCSSBList() override;

  // A new description in front of all others; null (flag 2) on failure.
  BCSSB* newSSB(std::uint16_t blockNo, KR_BLOCK_KIND kind);
  // The first description in list order of that block, or null.
  BCSSB* lookup(std::uint16_t blockNo, KR_BLOCK_KIND kind) const;
  void flush() { clear(); }

  void save(std::ostream& os) const;
  // Replaces the contents by the list record read; on failure the list is
  // empty and the flag is 1.
  void load(std::istream& is, KRTypeTab* table);
  static BCSSBList* iload(std::istream& is, KRTypeTab* table);
  void printOn(std::ostream& os) const;
  void printOn(std::ostream& os, char* column, char* line, const char* const* kindNames,
               const char* const* typeNames) const;

 private:
  void rebuildIndex() const;

  // (block number, kind) -> first description in list order; valid while
  // the list's generation equals indexGeneration.
  mutable std::unordered_map<std::uint64_t, BCSSB*, std::hash<std::uint64_t>,
                             std::equal_to<std::uint64_t>,
                             KRArenaAllocator<std::pair<const std::uint64_t, BCSSB*>>>
      byBlock_;
  mutable std::uint32_t indexGeneration_ = 0;
  mutable bool indexValid_ = false;
};

// Walks the entries of one description; direction 1 starts at the first.
class BCODE_API BCSSBIterator : public KRSequenceIterator<BCSSBEntry*> {
 public:
  BCSSBIterator(const BCSSB& ssb, int direction)
      : KRSequenceIterator<BCSSBEntry*>(ssb.entries_, direction) {}
};

// Walks the descriptions in list order.
class BCODE_API BCSSBListIterator : public KRSequenceIterator<BCSSB*> {
 public:
  explicit BCSSBListIterator(const BCSSBList& list) : KRSequenceIterator<BCSSB*>(list, 1) {}

  // The current description (null at the end); moves on.
  BCSSB* operator++(int);
  using KRSequenceIterator<BCSSB*>::operator++;
};

#endif  // BCODE_INTERFACE_BCSSB_H

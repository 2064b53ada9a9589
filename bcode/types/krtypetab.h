// The type table of a block, the reference everything typed holds to its
// type, the iterator over the table, and the environment that carries the
// table, the interface list and the array-bound width through a load.
#ifndef BCODE_TYPES_KRTYPETAB_H
#define BCODE_TYPES_KRTYPETAB_H

#include <cstdint>
#include <iosfwd>
#include <memory>

#include "bcode/foundation/krarenastore.h"
#include "bcode/foundation/krexport.h"
#include "bcode/foundation/kryref.h"
#include "bcode/types/krdatatype.h"

class KRTypedesc;
class KRTypeTab;
class KRTypeEnv;
class BCSSBList;

extern template class BCODE_API KRRefTable<KRTypedesc*>;

// A type named by its index in a type table. Index 0 means no type; its
// record form is the index alone, the reader supplies the table.
class BCODE_API KRTypeRef {
 public:
  KRTypeRef() = default;
  KRTypeRef(std::uint16_t index, KRTypeTab* table) : index_(index), table_(table) {}
  // From the handle of a table operation; a handle into a table that is not
  // a KRTypeTab gives no table.
  KRTypeRef(const KRReference<KRTypedesc*>& handle);  // NOLINT(google-explicit-constructor)
  KRTypeRef(const KRTypeRef&) = default;
  KRTypeRef& operator=(const KRTypeRef&) = default;

  std::uint16_t getIndex() const { return index_; }
  KRTypeTab* getTable() const { return table_.get(); }
  // The descriptor named, or null for index 0, no table, an empty slot or an
  // index the table has not handed out.
  KRTypedesc* ptr() const;

 private:
  std::uint16_t index_ = 0;
  KRPackedPtr<KRTypeTab> table_;
};

// Owns its descriptors; index 0 stays empty. Keeps a ready reference for each
// of the 23 elementary codes (kKRElemTypeCodes), set by add.
class BCODE_API KRTypeTab : public KRRefTable<KRTypedesc*> {
 public:
  // An empty table with 23 null cached references. A cached reference that
  // cannot be allocated sets KRRefTable<KRTypedesc*>::error to 1.
  KRTypeTab();
  ~KRTypeTab() override;

  // Stores `desc` (may be null: the index is then reserved) at the next index.
  // For a descriptor of an elementary code the cached reference of that code
  // moves to it. Throws KRErrorNoHeap when 65534 indices are in use.
  KRTypeRef add(KRTypedesc* desc);

  // The cached reference of an elementary code (null if none was added), or
  // for any other code the first KRElemDesc of that code, or the null reference.
  KRTypeRef getTypeRef(unsigned char code) const;

  // Deletes every descriptor, restarts indices at 1 and forgets the cached
  // references, which would name indices that no longer exist.
  void clear();

  // Reads a type table record. The new table becomes the environment's table
  // before anything else is read. Null with KRRefTable<KRTypedesc*>::error set
  // on failure (1: no table, 2: a short record or a descriptor that failed);
  // the environment then holds no table. Cached references stay null.
  static KRTypeTab* iload(std::istream& is, KRTypeEnv* env);

 private:
  std::unique_ptr<KRTypeRef, KRArenaDeleter> cached_[kKRElemTypeCount];
};

// Visits the descriptors of a table in index order, skipping empty slots.
class BCODE_API KRTypeTabIterator : public KRRefTableIterator<KRTypedesc*> {
 public:
  explicit KRTypeTabIterator(const KRTypeTab& table) : KRRefTableIterator<KRTypedesc*>(table) {}
  KRTypeTabIterator(const KRTypeTabIterator&) = default;
  KRTypeTabIterator& operator=(const KRTypeTabIterator&) = default;
};

// What a load binds to: the table that type indices name, the interface list
// that instance types look their blocks up in, and the width in bytes (2 or
// 4) of each array bound in the stream. Owns nothing.
class BCODE_API KRTypeEnv {
 public:
  KRTypeEnv(KRTypeTab* table, BCSSBList* list, unsigned int boundaryByteLen)
      : table_(table), list_(list), boundaryByteLen_(boundaryByteLen) {}
  KRTypeEnv(const KRTypeEnv&) = default;
  KRTypeEnv& operator=(const KRTypeEnv&) = default;

  KRTypeTab* getTypeTab() const { return table_; }
  void setTypeTab(KRTypeTab* table) { table_ = table; }
  BCSSBList* getSSBList() const { return list_; }
  unsigned int GetBoundaryByteLen() const { return boundaryByteLen_; }
  void SetBoundaryByteLen(unsigned int len) { boundaryByteLen_ = len; }

 private:
  KRTypeTab* table_;
  BCSSBList* list_;
  unsigned int boundaryByteLen_;
};

// Either header gives the descriptors (the instance type is in
// krinstancedesc.h).
#include "bcode/types/krtypedesc.h"

#endif  // BCODE_TYPES_KRTYPETAB_H

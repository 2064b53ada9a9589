// The constant table of a block, the reference an instruction operand holds
// to one of its constants, and the iterator over its occupied slots.
#ifndef BCODE_CONST_BCCONSTLIST_H
#define BCODE_CONST_BCCONSTLIST_H

#include <cstdint>
#include <iosfwd>

#include "bcode/const/bcconstant.h"
#include "bcode/foundation/krexport.h"
#include "bcode/foundation/kryref.h"

// Owns its constants; index 0 stays empty. The table record is the
// template's (save), with each constant's own record.
class BCODE_API BCConstantList : public KRRefTable<BCConstant*> {
 public:
  BCConstantList();
  ~BCConstantList() override;

  // Reads a table record; null with KRRefTable<BCConstant*>::error set on
  // failure (1: no table, 2: short record or a constant that failed to load).
  static BCConstantList* iload(std::istream& is);
};

// A constant named by its index in a table. Index 0 and no table resolve to
// null, as does an index the table has not handed out.
class BCODE_API BCConstRef : public KRReference<BCConstant*> {
 public:
  BCConstRef() = default;
  // From the handle that BCConstantList::add returns.
  BCConstRef(const KRReference<BCConstant*>& handle)  // NOLINT(google-explicit-constructor)
      : KRReference<BCConstant*>(handle) {}
  BCConstRef(const BCConstRef&) = default;
  BCConstRef& operator=(const BCConstRef&) = default;
};

// Visits the constants of a table in index order, skipping empty slots.
class BCODE_API BCConstantListIterator : public KRRefTableIterator<BCConstant*> {
 public:
  explicit BCConstantListIterator(const BCConstantList& list)
      : KRRefTableIterator<BCConstant*>(list) {}
  BCConstantListIterator(const BCConstantListIterator&) = default;
  BCConstantListIterator& operator=(const BCConstantListIterator&) = default;
};

#endif  // BCODE_CONST_BCCONSTLIST_H

#include "bcode/types/krtypetab.h"

#include <istream>
#include <memory>
#include <new>

#include "bcode/types/krtypedesc.h"

template class KRRefTable<KRTypedesc*>;

KRTypeRef::KRTypeRef(const KRReference<KRTypedesc*>& handle)
    : index_(handle.getIndex()), table_(dynamic_cast<KRTypeTab*>(handle.getTable())) {}

KRTypedesc* KRTypeRef::ptr() const {
  const KRTypeTab* table = table_.get();
  return table != nullptr ? table->entryAt(index_) : nullptr;
}

KRTypeTab::KRTypeTab() {
  for (auto& ref : cached_) {
    ref.reset(krArenaTryNewArray<KRTypeRef>(1));
    if (!ref) error = KRREFTABLE_NO_TABLE;
  }
}

KRTypeTab::~KRTypeTab() = default;

KRTypeRef KRTypeTab::add(KRTypedesc* desc) {
  // The table owns `desc` from here on, even when it cannot take it.
  std::unique_ptr<KRTypedesc> owned(desc);
  const KRTypeRef ref(KRRefTable<KRTypedesc*>::add(desc).getIndex(), this);
  owned.release();
  if (desc == nullptr) return ref;
  const int slot = krElemTypeSlot(desc->getDataType());
  if (slot >= 0 && cached_[slot]) *cached_[slot] = ref;
  return ref;
}

KRTypeRef KRTypeTab::getTypeRef(unsigned char code) const {
  const int slot = krElemTypeSlot(code);
  if (slot >= 0) return cached_[slot] ? *cached_[slot] : KRTypeRef();
  for (KRTypeTabIterator it(*this); !it.end(); ++it) {
    const KRTypedesc* desc = it.current();
    if (desc->getDataType() == code && desc->isA() == KRTypedesc::KR_ELEM_DESC) {
      return KRTypeRef(it.index(), const_cast<KRTypeTab*>(this));
    }
  }
  return KRTypeRef();
}

void KRTypeTab::clear() {
  KRRefTable<KRTypedesc*>::clear();
  for (auto& ref : cached_) {
    if (ref) *ref = KRTypeRef();
  }
}

KRTypeTab* KRTypeTab::iload(std::istream& is, KRTypeEnv* env) {
  if (error != KRREFTABLE_OK) return nullptr;
  std::unique_ptr<KRTypeTab> table(new (std::nothrow) KRTypeTab());
  if (!table) {
    error = KRREFTABLE_NO_TABLE;
    return nullptr;
  }
  // Every type index read from here on binds to the new table.
  if (env != nullptr) env->setTypeTab(table.get());
  table->clear();
  const bool loaded = table->loadRecord(is, [env](std::istream& in, KRTypedesc*& entry) {
    entry = KRTypedesc::iload(in, env);
    if (entry != nullptr) return true;
    KRTypedesc::resetError();
    return false;
  });
  if (loaded && error == KRREFTABLE_OK) return table.release();
  if (env != nullptr && env->getTypeTab() == table.get()) env->setTypeTab(nullptr);
  return nullptr;
}

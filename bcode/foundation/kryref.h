// KRRefTable<T>: a table that hands out stable 16-bit indices for its entries,
// KRReference<T>: a handle naming one entry by index, and the table iterator.
//
// Index 0 is reserved for "none"; indices are handed out in increasing order
// and never reused until the table is cleared, and the table record keeps
// every slot, so an index names the same entry after a save and a load.
#ifndef BCODE_FOUNDATION_KRYREF_H
#define BCODE_FOUNDATION_KRYREF_H

#include <cstdint>
#include <cstring>
#include <istream>
#include <memory>
#include <new>
#include <ostream>
#include <type_traits>

#include "bcode/foundation/krarena.h"
#include "bcode/foundation/krerror.h"
#include "bcode/foundation/krfieldio.h"
#include "bcode/foundation/kryarr.h"
#include "bcode/foundation/kryflag.h"

// Error flag values of every table instantiation.
enum KRRefTableErrors : int {
  KRREFTABLE_OK = 0,
  KRREFTABLE_NO_TABLE = 1,     // the table object could not be allocated while loading
  KRREFTABLE_LOAD_FAILED = 2,  // short read, or an entry's loader failed
  KRREFTABLE_SAVE_FAILED = 3,  // short write, or an entry's save failed
};

template <class T>
class KRRefTable;

// A pointer kept in 16-bit pieces. Its alignment is 2, so that a handle of a
// 16-bit index and a table takes 10 bytes and packs beside the small fields
// of the objects holding it: a temporary operand fits 32 bytes, not 40.
template <class T>
class KRPackedPtr {
 public:
  KRPackedPtr() = default;
  KRPackedPtr(T* pointer) { std::memcpy(bits_, &pointer, sizeof pointer); }  // NOLINT
  T* get() const {
    T* pointer = nullptr;
    std::memcpy(&pointer, bits_, sizeof pointer);
    return pointer;
  }

 private:
  std::uint16_t bits_[sizeof(T*) / sizeof(std::uint16_t)] = {};
};

template <class T>
class KRReference {
 public:
  KRReference() = default;
  KRReference(std::uint16_t index, KRRefTable<T>* table) : index_(index), table_(table) {}

  std::uint16_t getIndex() const { return index_; }
  KRRefTable<T>* getTable() const { return table_.get(); }

  // The entry named, or null for index 0, for no table and for an index the
  // table has not handed out.
  T ptr() const {
    const KRRefTable<T>* table = getTable();
    return table != nullptr ? table->entryAt(index_) : T();
  }

 private:
  std::uint16_t index_ = 0;
  KRPackedPtr<KRRefTable<T>> table_;
};

// A table a load fills is placed in its arena (krarena.h), as is its array.
template <class T>
class KRRefTable : public KRArenaObject {
 public:
  using ERRORS = KRRefTableErrors;
  using Element = std::remove_pointer_t<T>;

  // The instantiation's error flag, one per thread.
  static ERRORS& errorStorage();
  static constexpr KRFlag<ERRORS> error{&errorStorage};

  // The highest index a table can hand out is kMaxCount - 1.
  static constexpr std::uint32_t kMaxCount = 65535;

  KRRefTable() : KRRefTable(10, 10) {}
  KRRefTable(std::int32_t size, std::int32_t step) {
    if (size == 0) size = 1;
    try {
      array = new KRArray<T>(size, 0, step);
    } catch (const std::bad_alloc&) {
      throw KRErrorNoHeap("kryref", 450);
    }
    (*array)[0] = T();
  }
  KRRefTable(const KRRefTable&) = delete;
  KRRefTable& operator=(const KRRefTable&) = delete;
  virtual ~KRRefTable() {
    deleteEntries();
    delete array;
  }

  // Stores `entry` (which may be null) at the next index and returns its handle.
  // When it throws KRErrorNoHeap the entry was not taken: the caller still owns it.
  KRReference<T> add(T entry) {
    if (count >= kMaxCount) throw KRErrorNoHeap("kryref", 477);
    (*array)[count] = entry;
    return KRReference<T>(count++, this);
  }

  // Empties the table: entries are deleted (when owned) and indices restart at 1.
  void clear() {
    ++generation;
    deleteEntries();
    delete array;
    array = nullptr;
    count = 1;
    try {
      array = new KRArray<T>(10, 0, 10);
    } catch (const std::bad_alloc&) {
      throw KRErrorNoHeap("kryref", 646);
    }
    (*array)[0] = T();
  }

  // Growing access to a slot.
  T& operator[](int index) { return (*array)[index]; }

  // The entry at `index`, null for 0 and for indices not handed out.
  T entryAt(std::uint32_t index) const {
    if (index == 0 || index >= count || array == nullptr) return T();
    return (*static_cast<const KRArray<T>*>(array))[static_cast<std::int32_t>(index)];
  }

  std::uint16_t getCount() const { return count; }
  std::uint32_t getGeneration() const { return generation; }
  int getOwner() const { return owner; }
  void setOwner(int value) { owner = value; }

  // Writes the table record: the count, then per slot 1 .. count - 1 a
  // presence byte and the entry's record. `saveEntry(os, entry)` writes one
  // entry and answers whether that succeeded. Sets `error` to 3 on failure.
  template <class SaveEntry>
  bool saveRecord(std::ostream& os, SaveEntry&& saveEntry) const {
    KRFieldWriter out(os);
    if (!out.u16(count).ok()) return failSave();
    for (std::uint32_t i = 1; i < count; ++i) {
      const T entry = entryAt(i);
      if (!out.flag(entry != nullptr).ok()) return failSave();
      if (entry != nullptr && !saveEntry(os, entry)) return failSave();
    }
    return true;
  }

  // The table record with each entry's own save; an entry has failed when
  // its class's error flag is set afterwards.
  void save(std::ostream& os) const {
    saveRecord(os, [](std::ostream& out, T entry) {
      entry->save(out);
      return Element::getError() == 0;
    });
  }

  // Reads the slots of a table record into this freshly cleared table.
  // `loadEntry(is, T& entry)` reads one entry and answers whether its loader
  // succeeded. A presence byte other than 1 gives an empty slot. Sets `error`
  // to 2 and answers false on failure; entries read so far stay in the table.
  template <class LoadEntry>
  bool loadRecord(std::istream& is, LoadEntry&& loadEntry) {
    KRFieldReader in(is);
    std::uint16_t total = 0;
    if (!in.u16(total).ok()) return failLoad();
    // Every slot takes a byte of the record at least (its presence byte).
    const std::size_t room = count + in.remaining();
    array->reserve(total < room ? total : static_cast<std::int64_t>(room));
    while (count < total) {
      std::uint8_t present = 0;
      if (!in.u8(present).ok()) return failLoad();
      T entry = T();
      if (present == 1 && !loadEntry(is, entry)) {
        if (owner == 1) delete entry;
        return failLoad();
      }
      try {
        add(entry);
      } catch (...) {
        if (owner == 1) delete entry;  // the table is full or cannot grow
        throw;
      }
    }
    return true;
  }

  // The whole table load shared by the concrete tables: creates a `Table`,
  // reads its record and returns it, or null with `error` set (1: no table,
  // 2: the record failed). A flag still set from an earlier failure makes the
  // load answer null before reading anything.
  template <class Table, class LoadEntry>
  static Table* loadTable(std::istream& is, LoadEntry&& loadEntry) {
    if (error != KRREFTABLE_OK) return nullptr;
    std::unique_ptr<Table> table(new (std::nothrow) Table());
    if (!table) {
      error = KRREFTABLE_NO_TABLE;
      return nullptr;
    }
    table->clear();
    if (!table->loadRecord(is, loadEntry) || error != KRREFTABLE_OK) return nullptr;
    return table.release();
  }

 protected:
  KRArray<T>* array = nullptr;
  std::uint16_t count = 1;
  std::uint32_t generation = 0;
  int owner = 1;

 private:
  void deleteEntries() {
    if (owner != 1 || array == nullptr) return;
    for (std::uint32_t i = 0; i < count; ++i) {
      T& slot = (*array)[static_cast<std::int32_t>(i)];
      delete slot;
      slot = T();
    }
  }
  static bool failSave() {
    error = KRREFTABLE_SAVE_FAILED;
    return false;
  }
  static bool failLoad() {
    error = KRREFTABLE_LOAD_FAILED;
    return false;
  }
};

template <class T>
KRRefTableErrors& KRRefTable<T>::errorStorage() {
  static thread_local KRRefTableErrors flag = KRREFTABLE_OK;
  return flag;
}

// Visits the occupied slots of a table in increasing index order.
template <class T>
class KRRefTableIterator {
 public:
  explicit KRRefTableIterator(const KRRefTable<T>& table) : table_(&table) { restart(); }

  void restart() {
    generation_ = table_->getGeneration();
    index_ = 1;
    skipEmpty();
  }
  bool end() const { return index_ >= table_->getCount(); }
  // Moves to the next occupied slot.
  KRRefTableIterator& operator++() {
    if (!end()) {
      ++index_;
      skipEmpty();
    }
    return *this;
  }
  // The entry at the current slot, null at the end.
  T current() const { return table_->entryAt(index_); }
  std::uint16_t index() const { return static_cast<std::uint16_t>(index_); }
  std::uint32_t generation() const { return generation_; }

 private:
  void skipEmpty() {
    while (!end() && table_->entryAt(index_) == nullptr) ++index_;
  }

  const KRRefTable<T>* table_;
  std::uint32_t generation_ = 0;
  std::uint32_t index_ = 1;
};

#endif  // BCODE_FOUNDATION_KRYREF_H

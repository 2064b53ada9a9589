// What interface descriptions and local data lists share: the one-pass
// layout of a numbered entry list with views, the side index that makes
// entry numbers resolve in constant time, and the type columns of their dumps
// and listings. Internal to the library.
#ifndef BCODE_INTERFACE_BCLAYOUT_H
#define BCODE_INTERFACE_BCLAYOUT_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <ostream>

#include "bcode/foundation/krarenastore.h"
#include "bcode/foundation/krerror.h"
#include "bcode/foundation/krysequ.h"
#include "bcode/types/krtypetab.h"
#include "bcode/types/krtypewalk.h"

namespace bclayout {

// Appends an owned entry to the list and to its index. On failure the entry
// is freed and KRErrorNoHeap goes to the caller, who has handed it over.
template <class Entry>
void appendIndexed(KRSequence<Entry*>& list, KRArenaVector<Entry*>& index, Entry* entry) {
  std::unique_ptr<Entry> owned(entry);
  try {
    index.push_back(entry);
  } catch (const std::bad_alloc&) {
    throw KRErrorNoHeap("krysequ", 630);
  }
  try {
    list.append(entry);
  } catch (...) {
    index.pop_back();
    throw;
  }
  owned.release();
}

// Rebuilds the index of a list that was filled by its record loader.
template <class Entry>
void indexAll(const KRSequence<Entry*>& list, KRArenaVector<Entry*>& index) {
  try {
    index.clear();
    index.reserve(list.getCount());
  } catch (const std::bad_alloc&) {
    throw KRErrorNoHeap("krysequ", 630);
  }
  for (auto* node = list.headNode()->next; node != list.tailNode(); node = node->next) {
    index.push_back(node->element);
  }
}

// Turns an entry's failure into the list's layout failure.
template <class Entry>
bool entryFailed() {
  if (Entry::getError() == 0) return false;
  Entry::resetError();
  KRSequence<Entry*>::error = KRSEQUENCE_LAYOUT_FAILED;
  return true;
}

template <class Entry>
struct Pass {
  bool ok = false;
  std::uint32_t result = 0;  // offset of entry n, or of the entry it views
  const Entry* lastOrdinary = nullptr;
  std::uint32_t lastOrdinaryOffset = 0;
};

// Lays out entries 1 .. n in one pass and stores every offset. `startOf(e)`
// is the alignment an ordinary entry starts on (the owner's grouping rule).
// A view takes the offset of the earlier entry it names; a view of itself,
// of a later or of a missing entry fails the layout.
template <class Entry, class StartOf>
Pass<Entry> layOut(const KRArenaVector<Entry*>& entries, std::uint32_t n, StartOf startOf) {
  // Entries of the same type ask for its length once.
  const KRTypeQueryScope shared;
  Pass<Entry> pass;
  std::uint32_t offset = 0;
  const Entry* previous = nullptr;
  for (std::uint32_t i = 1; i <= n; ++i) {
    if (i > entries.size()) {
      KRSequence<Entry*>::error = KRSEQUENCE_NO_ELEMENT;
      return pass;
    }
    Entry* entry = entries[i - 1];
    const std::uint16_t view = entry->getViewVarNo();
    if (view != 0) {
      if (view >= i) {
        KRSequence<Entry*>::error = KRSEQUENCE_LAYOUT_FAILED;
        return pass;
      }
      entry->setOffset(entries[view - 1]->getOffset());
      pass.result = entries[view - 1]->getOffset();
      continue;
    }
    if (previous != nullptr) {
      offset += previous->storageLength();
      if (entryFailed<Entry>()) return pass;
    }
    previous = entry;
    const std::uint32_t alignment = startOf(*entry);
    if (entryFailed<Entry>()) return pass;
    if (alignment > 1 && offset % alignment != 0) offset += alignment - offset % alignment;
    entry->setOffset(offset);
    pass.result = offset;
    pass.lastOrdinary = entry;
    pass.lastOrdinaryOffset = offset;
  }
  pass.ok = true;
  return pass;
}

template <class Entry, class StartOf>
std::uint32_t offsetOf(const KRArenaVector<Entry*>& entries, std::uint32_t n, StartOf startOf) {
  const Pass<Entry> pass = layOut(entries, n, startOf);
  return pass.ok ? pass.result : 0;
}

// Lays out every entry and measures the last ordinary one too, so that a
// type that cannot be measured fails the layout wherever it is. False on
// failure; else `pass` and `end`, the end of the last ordinary entry, which
// lies behind every other (a trailing view does not move it).
template <class Entry, class StartOf>
bool layOutAll(const KRArenaVector<Entry*>& entries, StartOf startOf, Pass<Entry>& pass,
               std::uint32_t& end) {
  // Entries of the same type ask for its length once.
  const KRTypeQueryScope shared;
  pass = layOut(entries, static_cast<std::uint32_t>(entries.size()), startOf);
  end = 0;
  if (!pass.ok) return false;
  if (entries.empty()) return true;
  if (pass.lastOrdinary == nullptr) {
    KRSequence<Entry*>::error = KRSEQUENCE_LAYOUT_FAILED;
    return false;
  }
  const std::uint32_t length = pass.lastOrdinary->storageLength();
  if (entryFailed<Entry>()) return false;
  end = pass.lastOrdinaryOffset + length;
  return true;
}

// The offset of the last entry (or of the entry it views).
template <class Entry, class StartOf>
std::uint32_t lastOffsetOf(const KRArenaVector<Entry*>& entries, StartOf startOf) {
  Pass<Entry> pass;
  std::uint32_t end = 0;
  return layOutAll(entries, startOf, pass, end) ? pass.result : 0;
}

// The end of the storage.
template <class Entry, class StartOf>
std::uint32_t lengthOf(const KRArenaVector<Entry*>& entries, StartOf startOf) {
  Pass<Entry> pass;
  std::uint32_t end = 0;
  return layOutAll(entries, startOf, pass, end) ? end : 0;
}

// Asks the descriptor of `type` for a length or an alignment. False when the
// type does not resolve or the descriptor fails (its flag is then cleared).
template <class Ask>
bool askType(const KRTypeRef& type, Ask ask, std::uint32_t& value) {
  const KRTypedesc* desc = type.ptr();
  if (desc == nullptr) return false;
  value = ask(*desc);
  if (KRTypedesc::getError() == KRTypedesc::KRTYPEDESC_OK) return true;
  KRTypedesc::resetError();
  return false;
}

inline std::uint32_t lengthOfType(const KRTypedesc& desc) {
  return desc.storageLength();
}
inline std::uint32_t alignmentOfType(const KRTypedesc& desc) {
  return desc.alignment();
}

inline unsigned char dataTypeOf(const KRTypeRef& type) {
  const KRTypedesc* desc = type.ptr();
  return desc != nullptr ? desc->getDataType() : 0;
}

// A caller's name table entry; an empty text for a missing table or entry.
inline const char* nameAt(const char* const* names, unsigned char index) {
  return names != nullptr && names[index] != nullptr ? names[index] : "";
}

// The type-name column: the name of the type's code, or "???".
inline const char* typeNameOf(const KRTypeRef& type, const char* const* typeNames) {
  const KRTypedesc* desc = type.ptr();
  return desc != nullptr ? nameAt(typeNames, desc->getDataType()) : "???";
}

// The type part of a dump: the type's own dump, which ends the line, or the
// error text and a line end.
inline void dumpType(std::ostream& os, const KRTypeRef& type, const char* errorText) {
  const KRTypedesc* desc = type.ptr();
  if (desc != nullptr) {
    desc->printOn(os, 0);
  } else {
    os << errorText << '\n';
  }
}

}  // namespace bclayout

#endif  // BCODE_INTERFACE_BCLAYOUT_H

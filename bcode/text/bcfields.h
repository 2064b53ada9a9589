// The fields of a block as a tree, for callers that render a block in a form
// of their own (the bcode tool writes it as JSON, docs/json.md). The walk
// that writes the text form (bctext.h) hands the same entries to a
// BCFieldSink: the sections in record order, each entry with its index,
// every field the record stores (also those the text leaves out because
// they follow from others), enumerations by the words the text uses (a
// number where a value has none) and each reference with what it resolves
// to.
#ifndef BCODE_TEXT_BCFIELDS_H
#define BCODE_TEXT_BCFIELDS_H

#include <cstdint>
#include <string_view>

#include "bcode/code/bcode.h"
#include "bcode/foundation/krexport.h"

// Receives the tree depth first. `key` names a member of the object open,
// and is empty for an item of the list open. The walk opens the root object
// itself; every object and list it opens it closes again.
class BCODE_API BCFieldSink {
 public:
  virtual ~BCFieldSink();

  virtual void beginObject(std::string_view key) = 0;
  virtual void endObject() = 0;
  virtual void beginList(std::string_view key) = 0;
  virtual void endList() = 0;
  virtual void integer(std::string_view key, std::int64_t value) = 0;
  // Always finite: a REAL that is not is given by its bits only.
  virtual void real(std::string_view key, double value) = 0;
  // Bytes as the record holds them, which need not be UTF-8.
  virtual void text(std::string_view key, std::string_view bytes) = 0;
  virtual void boolean(std::string_view key, bool value) = 0;
  virtual void none(std::string_view key) = 0;
};

// Walks `block` into `sink`: the root object's members are "block" and
// "sections". Mnemonics name instructions as for bcToText. False, with
// BCode::getError() set, where bcToText gives an empty text; the sink has
// then had nothing. Otherwise the error flags are left as they were. As
// for bcToText, running out of memory (in the sink too: a std::bad_alloc
// it throws) throws KRErrorNoHeap, and the block is only read.
BCODE_API bool bcWriteFields(BCFieldSink& sink, const BCode& block,
                             const char* const* mnemonics = nullptr);

#endif  // BCODE_TEXT_BCFIELDS_H

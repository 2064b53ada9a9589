// Watching a block load. BCode::iload(is, observer) tells an observer where
// each section of the block record begins and ends, how many entries it held,
// where a failure stopped the load, and hands it the block before the block
// is laid out. Every callback does nothing unless overridden. A callback may
// throw: the load then stops and frees what it built, leaving the flags as
// they stood at that callback.
#ifndef BCODE_CODE_BCLOADOBSERVER_H
#define BCODE_CODE_BCLOADOBSERVER_H

#include <cstdint>

#include "bcode/code/bcrecordsection.h"
#include "bcode/foundation/krexport.h"

class BCode;

class BCODE_API BCLoadObserver {
 public:
  // Offsets count bytes from where the stream stood when the load began. A
  // stream that cannot tell its position (a pipe) gives kUnknownOffset for
  // every offset; the load itself reads such a stream as any other.
  static constexpr std::int64_t kUnknownOffset = -1;

  virtual ~BCLoadObserver();

  virtual void sectionBegins(const BCRecordSection& /*section*/, std::int64_t /*offset*/) {}

  // The section was read completely; `offset` is one past its last byte.
  // `entries`: the entries of a table (its empty slots not counted), the
  // descriptions of the interface list, the variables of a local data list,
  // the instructions of the instruction list; 0 for the block header.
  virtual void sectionEnds(const BCRecordSection& /*section*/, std::int64_t /*offset*/,
                           std::uint32_t /*entries*/) {}

  // Reading the section failed and raised an error flag; `offset` is where
  // reading stopped. Called while the flags of the failure are still set
  // (the section's own, its elements', or the block's when the header is
  // short or memory ran out), before the load clears the section's flag and
  // sets the block's. The load then returns null.
  virtual void errorRaised(const BCRecordSection& /*section*/, std::int64_t /*offset*/) {}

  // The constant table has been read and the block is about to be laid out.
  // The record carries no view numbers: this is where they can be declared.
  virtual void beforeLayout(BCode& /*block*/) {}

  // Laying the block out failed and set the block's flag to 1; the load goes
  // on. Called with that flag and those of the entry that failed still set;
  // `offset` is where the operand table begins.
  virtual void layoutFailed(std::int64_t /*offset*/) {}
};

#endif  // BCODE_CODE_BCLOADOBSERVER_H

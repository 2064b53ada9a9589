// BCode: the intermediate code of one program block. It owns the block's
// seven collections and is the unit that is laid out, saved and loaded; the
// table indices held by instructions, operands and local data mean something
// only inside the BCode that owns those tables.
#ifndef BCODE_CODE_BCODE_H
#define BCODE_CODE_BCODE_H

#include <cstdint>
#include <iosfwd>
#include <memory>

#include "bcode/foundation/krarena.h"
#include "bcode/foundation/krblockkind.h"
#include "bcode/foundation/krerror.h"
#include "bcode/foundation/krexport.h"

class BCInstructionList;
class BCLoadObserver;
class BCConstantList;
class BCOperandList;
class BCLDList;
class BCSSBList;
class KRTypeTab;

class BCODE_API BCode {
 public:
  enum ERRORS : int {
    BCODE_OK = 0,
    BCODE_FAILED = 1,     // short write or read, or a nested part failed
    BCODE_NO_MEMORY = 2,  // a collection or the loaded block could not be allocated
  };
  KR_ERROR_FLAG_MEMBERS()

  // Creates the empty collections, then stores number and kind. Test
  // getError() afterwards: a collection that could not be made is absent.
  BCode(std::uint16_t blockNo, KR_BLOCK_KIND kind);
  ~BCode();
  BCode(const BCode&) = delete;
  BCode& operator=(const BCode&) = delete;

  std::uint16_t getBlockNo() const { return blockNo_; }
  KR_BLOCK_KIND getBlockKind() const { return kind_; }
  void setBlockInfo(std::uint16_t blockNo, KR_BLOCK_KIND kind);

  // The owned collections; each exists on a block whose construction succeeded.
  BCInstructionList& getInstrList();
  const BCInstructionList& getInstrList() const;
  BCConstantList& getConstList();
  const BCConstantList& getConstList() const;
  BCOperandList& getOpList();
  const BCOperandList& getOpList() const;
  BCLDList& getLSDList();
  const BCLDList& getLSDList() const;
  BCLDList& getLDDList();
  const BCLDList& getLDDList() const;
  BCSSBList& getSSBList();
  const BCSSBList& getSSBList() const;
  KRTypeTab& getTypeTab();
  const KRTypeTab& getTypeTab() const;

  // Each setter destroys the collection it replaces and takes ownership of
  // the new one. A null collection, or the block's other local data list, is
  // refused (flag 1): the old one stays.
  void setInstrList(BCInstructionList* list);
  void setConstList(BCConstantList* list);
  void setOpList(BCOperandList* list);
  void setLSDList(BCLDList* list);
  void setLDDList(BCLDList* list);
  void setSSBList(BCSSBList* list);
  void setTypeTab(KRTypeTab* table);

  // Enters the 23 elementary types (type indices 1 to 23 on an empty table).
  void initElemTypes();

  // Lays out the own interface description, then places the LSD list behind
  // it (16-bit aligned) and the LDD list at offset 0.
  void calcOffsets();

  // The block record: number, kind, types, interfaces, LDD, LSD, constants,
  // operands, instructions.
  void save(std::ostream& os) const;
  // Reads one block record; null on failure (getError() 1 or 2).
  static BCode* iload(std::istream& is);
  // The same load, reporting its progress to `observer` (none when null):
  // where each section begins and ends, where a failure stopped it, and the
  // block before it is laid out (bcode/code/bcloadobserver.h).
  static BCode* iload(std::istream& is, BCLoadObserver* observer);

 protected:
  // Empty collections, number and kind 0; used by iload.
  BCode();
  // Creates the collections (instructions, constants, operands, LSD, LDD,
  // interfaces, types), stopping at the first that fails (flag 2).
  void init();

 private:
  // Lets the library's other readers of blocks (the text form) place what
  // they build in the block's arena, as iload does.
  friend struct BCArenaAccess;

  // Whether every collection exists (a failed construction leaves some absent).
  bool isComplete() const;

  std::uint16_t blockNo_ = 0;
  KR_BLOCK_KIND kind_ = static_cast<KR_BLOCK_KIND>(0);
  // What a load placed here outlives the collections (declared first, it is
  // destroyed last); objects taken out of the block keep their chunks.
  KRArena arena_;
  std::unique_ptr<BCInstructionList> instrList_;
  std::unique_ptr<BCConstantList> constList_;
  std::unique_ptr<BCOperandList> opList_;
  std::unique_ptr<BCLDList> lsdList_;
  std::unique_ptr<BCLDList> lddList_;
  std::unique_ptr<BCSSBList> ssbList_;
  std::unique_ptr<KRTypeTab> typeTab_;
};

#endif  // BCODE_CODE_BCODE_H

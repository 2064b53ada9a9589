// Parameter operands: formal parameters of the block being compiled (own),
// of a block it calls (son), and of a numbered call object (ICALL). FB and
// FC parameters name their interface entry and take their type from it.
#ifndef BCODE_OPERAND_BCPARAM_H
#define BCODE_OPERAND_BCPARAM_H

#include <cstdint>
#include <iosfwd>

#include "bcode/foundation/krblockkind.h"
#include "bcode/interface/bcssb.h"
#include "bcode/operand/bcoperand.h"

class BCSSBEntry;

class BCODE_API BCParam : public BCOperand {
 public:
  enum SUB_KIND : int { SK_ICALL = 0, SK_FC = 1, SK_FB = 2 };

  BCParam() = default;

  KIND kind() const override { return K_PARAM; }
  unsigned char getDataType() const override;
  // Type equality and equal block kind.
  int isEqual(const BCOperand& other) const override;
  virtual SUB_KIND getParamKind() const = 0;

  KR_BLOCK_KIND getBlockKind() const { return blockKind; }

 protected:
  BCParam(KR_BLOCK_KIND kind, const KRTypeRef& type) : BCOperand(type), blockKind(kind) {}

  // Resolves `ref` and takes the entry's type and `kind`; null (flag 1)
  // when the reference names no entry.
  const BCSSBEntry* bindEntry(KR_BLOCK_KIND kind, const BCSSBRef& ref);
  // Columns 8 to 26 of an FB or FC parameter; `sonBlockNo` null for own ones.
  void printHead(char* col, char* line, const char* const* typeNames,
                 const std::uint16_t* sonBlockNo) const;
  // The dump line of an FB or FC parameter.
  void dumpEntryLine(std::ostream& os, const BCSSBRef& ref, const std::uint16_t* sonBlockNo) const;
  // The parameter columns' start: block kind name and "-".
  void printParamStart(char* at, char* line) const;

  // The reference part of an FB or FC parameter record: parameter number,
  // block kind, block number; reading binds it to `code`'s interface list.
  void loadEntryRef(std::istream& is, BCode* code, BCSSBRef& ref);
  static void saveEntryRef(std::ostream& os, const BCSSBRef& ref);
  // The view overlap rule over the entries that two references name.
  static int entriesOverlap(const BCSSBRef& own, std::uint16_t ownNo, const BCSSBRef& other);

  KR_BLOCK_KIND blockKind = static_cast<KR_BLOCK_KIND>(0);
};

// An own parameter names a parameter of the block being compiled. Its
// listing writes column 0, then the family's columns (the four-argument
// printOn, virtual where `Virtual` says so), then the parameter columns.
#define BC_OWN_PARAM(Class, Family, Virtual)                                             \
  class BCODE_API Class : public Family {                                                \
   public:                                                                               \
    using Family::printOn;                                                               \
                                                                                         \
    Class(KR_BLOCK_KIND kind, const BCSSBRef& ref) : Family(kind, ref) {}                \
                                                                                         \
    void printOn(std::ostream& os, char* col, char* line, const char* const* classNames, \
                 const char* const* typeNames) const override;                           \
    void printOn(std::ostream& os) const override;                                       \
    Virtual void printOn(std::ostream& os, char* col, char* line,                        \
                         const char* const* typeNames) const;                            \
                                                                                         \
   protected:                                                                            \
    Class() = default;                                                                   \
  }

// A son parameter names a parameter of another block and keeps that
// block's number, which joins its equality, record and listing.
#define BC_SON_PARAM(Class, Family)                                                      \
  class BCODE_API Class : public Family {                                                \
   public:                                                                               \
    using Family::printOn;                                                               \
                                                                                         \
    Class(KR_BLOCK_KIND kind, const BCSSBRef& ref);                                      \
                                                                                         \
    int isEqual(const BCOperand& other) const override;                                  \
    void printOn(std::ostream& os, char* col, char* line, const char* const* classNames, \
                 const char* const* typeNames) const override;                           \
    void printOn(std::ostream& os) const override;                                       \
    virtual void printOn(std::ostream& os, char* col, char* line,                        \
                         const char* const* typeNames) const;                            \
                                                                                         \
    std::uint16_t getBlockNo() const { return blockNo; }                                 \
                                                                                         \
   protected:                                                                            \
    Class() = default;                                                                   \
                                                                                         \
    void loadInstance(std::istream& is, BCode* code) override;                           \
    void saveInstance(std::ostream& os) const override;                                  \
                                                                                         \
   private:                                                                              \
    std::uint16_t blockNo = 0;                                                           \
  }

// A parameter of an FB or SFB: an interface entry with a storage offset.
class BCODE_API BCParFB : public BCParam {
 public:
  using BCOperand::printOn;

  int isEqual(const BCOperand& other) const override;
  int identView(const BCOperand& other) const override;
  SUB_KIND getParamKind() const override { return SK_FB; }

  std::uint32_t getOffset() const { return offset; }
  BCSSBRef getSSBRef() const { return ssbRef; }

  // The parameter columns from `at` (column 39 of the operand).
  void printOn(std::ostream& os, char* at, char* line) const;

 protected:
  BCParFB() = default;
  BCParFB(KR_BLOCK_KIND kind, const BCSSBRef& ref);

  void loadInstance(std::istream& is, BCode* code) override;
  void saveInstance(std::ostream& os) const override;

  std::uint32_t offset = 0;
  BCSSBRef ssbRef;
};

// A parameter of an FC or SFC: an interface entry passed by reference.
class BCODE_API BCParFC : public BCParam {
 public:
  using BCOperand::printOn;

  int isEqual(const BCOperand& other) const override;
  int identView(const BCOperand& other) const override;
  SUB_KIND getParamKind() const override { return SK_FC; }

  std::uint16_t getParNo() const { return parNo; }
  BCSSBRef getSSBRef() const { return ssbRef; }

  // The parameter columns from `at` (column 39 of the operand).
  void printOn(std::ostream& os, char* at, char* line) const;

 protected:
  BCParFC() = default;
  BCParFC(KR_BLOCK_KIND kind, const BCSSBRef& ref);

  void loadInstance(std::istream& is, BCode* code) override;
  void saveInstance(std::ostream& os) const override;

  std::uint16_t parNo = 0;
  BCSSBRef ssbRef;
};

// A parameter of a numbered call object; its block kind is 8.
class BCODE_API BCParICALL : public BCParam {
 public:
  using BCOperand::printOn;

  // The block kind is 8, outside the seven kinds of blocks.
  BCParICALL(std::uint16_t parNo, std::uint16_t icallNo, const KRTypeRef& type);

  int isEqual(const BCOperand& other) const override;
  SUB_KIND getParamKind() const override { return SK_ICALL; }
  void printOn(std::ostream& os, char* col, char* line, const char* const* classNames,
               const char* const* typeNames) const override;
  void printOn(std::ostream& os) const override;
  virtual void printOn(std::ostream& os, char* col, char* line, const char* const* typeNames) const;

  std::uint16_t getParNo() const { return parNo; }
  std::uint16_t getICallNo() const { return icallNo; }

 protected:
  BCParICALL() = default;

  void loadInstance(std::istream& is, BCode* code) override;
  void saveInstance(std::ostream& os) const override;

 private:
  std::uint16_t parNo = 0;
  std::uint16_t icallNo = 0;
};

BC_OWN_PARAM(BCOwnFB, BCParFB, );
BC_SON_PARAM(BCSonFB, BCParFB);
BC_OWN_PARAM(BCOwnFC, BCParFC, virtual);
BC_SON_PARAM(BCSonFC, BCParFC);

BC_OPERAND_LEAF(BCoFBEP, BCOwnFB, CT_FBEP);
BC_OPERAND_LEAF(BCoFBAP, BCOwnFB, CT_FBAP);
BC_OPERAND_LEAF(BCoFBDP, BCOwnFB, CT_FBDP);
BC_OPERAND_LEAF(BCoFCEP, BCOwnFC, CT_FCEP);
BC_OPERAND_LEAF(BCoFCAP, BCOwnFC, CT_FCAP);
BC_OPERAND_LEAF(BCoFCDP, BCOwnFC, CT_FCDP);
BC_OPERAND_LEAF(BCoSFBEP, BCSonFB, CT_SFBEP);
BC_OPERAND_LEAF(BCoSFBAP, BCSonFB, CT_SFBAP);
BC_OPERAND_LEAF(BCoSFBDP, BCSonFB, CT_SFBDP);
BC_OPERAND_LEAF(BCoSFCEP, BCSonFC, CT_SFCEP);
BC_OPERAND_LEAF(BCoSFCAP, BCSonFC, CT_SFCAP);
BC_OPERAND_LEAF(BCoSFCDP, BCSonFC, CT_SFCDP);
BC_OPERAND_LEAF(BCoICEP, BCParICALL, CT_ICEP);
BC_OPERAND_LEAF(BCoICAP, BCParICALL, CT_ICAP);

#endif  // BCODE_OPERAND_BCPARAM_H

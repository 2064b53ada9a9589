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

  // The parameter columns of an FB or FC parameter, counted from the
  // parameter column of the operand's line.
  static constexpr KRListColumn kBlockKindColumn = krColumnFrom(kParamColumn, kParamColumn);
  static constexpr KRListColumn kParDashColumn = krColumnFrom(kParamColumn, kVarColumn);
  static constexpr KRListColumn kParRefColumn = krColumnFrom(kParamColumn, kParNoColumn);
  static constexpr KRListColumn kParOffsetColumn = krColumnFrom(kParamColumn, kOffsetColumn);

  // The type and number columns of an FB or FC parameter; `sonBlockNo`
  // null for own ones.
  void printHead(const KRListLine& out, const char* const* typeNames,
                 const std::uint16_t* sonBlockNo) const;
  // The dump line of an FB or FC parameter.
  void dumpEntryLine(std::ostream& os, const BCSSBRef& ref, const std::uint16_t* sonBlockNo) const;
  // The parameter columns' start: block kind name and "-".
  void printParamStart(const KRListLine& out) const;

  // The reference part of an FB or FC parameter record: parameter number,
  // block kind, block number; reading binds it to `code`'s interface list.
  void loadEntryRef(std::istream& is, BCode* code, BCSSBRef& ref);
  static void saveEntryRef(std::ostream& os, const BCSSBRef& ref);
  // The view overlap rule over the entries that two references name.
  static int entriesOverlap(const BCSSBRef& own, std::uint16_t ownNo, const BCSSBRef& other);

  KR_BLOCK_KIND blockKind = static_cast<KR_BLOCK_KIND>(0);
};

// A parameter of an FB or SFB: an interface entry with a storage offset.
class BCODE_API BCParFB : public BCParam {
 public:
  using BCOperand::printOn;

  int isEqual(const BCOperand& other) const override;
  int identView(const BCOperand& other) const override;
  SUB_KIND getParamKind() const override { return SK_FB; }

  std::uint32_t getOffset() const { return offset; }
  BCSSBRef getSSBRef() const { return ssbRef; }

  // The parameter columns from `at`, the operand's parameter column.
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

  // The parameter columns from `at`, the operand's parameter column.
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

// An own parameter names a parameter of the block being compiled. Its
// listing writes column 0, then the family's columns (the four-argument
// printOn), then the parameter columns.
class BCODE_API BCOwnFB : public BCParFB {
 public:
  using BCParFB::printOn;
  BCOwnFB(KR_BLOCK_KIND kind, const BCSSBRef& ref) : BCParFB(kind, ref) {}

  void printOn(std::ostream& os, char* col, char* line, const char* const* classNames,
               const char* const* typeNames) const override;
  void printOn(std::ostream& os) const override;
  void printOn(std::ostream& os, char* col, char* line, const char* const* typeNames) const;

 protected:
  BCOwnFB() = default;
};

// The own parameters of FCs, as those of FBs.
class BCODE_API BCOwnFC : public BCParFC {
 public:
  using BCParFC::printOn;
  BCOwnFC(KR_BLOCK_KIND kind, const BCSSBRef& ref) : BCParFC(kind, ref) {}

  void printOn(std::ostream& os, char* col, char* line, const char* const* classNames,
               const char* const* typeNames) const override;
  void printOn(std::ostream& os) const override;
  virtual void printOn(std::ostream& os, char* col, char* line, const char* const* typeNames) const;

 protected:
  BCOwnFC() = default;
};

// A son parameter names a parameter of another block and keeps that
// block's number, which joins its equality, record and listing. The FB and
// FC families have one each, BCSonFB and BCSonFC.
template <class Family>
class BCSonParam : public Family {
 public:
  using Family::printOn;
  BCSonParam(KR_BLOCK_KIND kind, const BCSSBRef& ref);

  int isEqual(const BCOperand& other) const override;
  void printOn(std::ostream& os, char* col, char* line, const char* const* classNames,
               const char* const* typeNames) const override;
  void printOn(std::ostream& os) const override;
  virtual void printOn(std::ostream& os, char* col, char* line, const char* const* typeNames) const;

  std::uint16_t getBlockNo() const { return blockNo; }

 protected:
  BCSonParam() = default;
  void loadInstance(std::istream& is, BCode* code) override;
  void saveInstance(std::ostream& os) const override;

 private:
  std::uint16_t blockNo = 0;
};

extern template class BCODE_API BCSonParam<BCParFB>;
extern template class BCODE_API BCSonParam<BCParFC>;

class BCODE_API BCSonFB : public BCSonParam<BCParFB> {
 public:
  using BCSonParam::BCSonParam;

 protected:
  BCSonFB() = default;
};

class BCODE_API BCSonFC : public BCSonParam<BCParFC> {
 public:
  using BCSonParam::BCSonParam;

 protected:
  BCSonFC() = default;
};

// The input (EP), output (AP) and in-out (DP) parameters of each family:
// alike but for their tags.
class BCODE_API BCoFBEP : public BCOperandOf<BCoFBEP, BCOwnFB, BCOperand::CT_FBEP> {
 public:
  using BCOperandOf::BCOperandOf;

 protected:
  BCoFBEP() = default;
  friend class BCOperand;
};

class BCODE_API BCoFBAP : public BCOperandOf<BCoFBAP, BCOwnFB, BCOperand::CT_FBAP> {
 public:
  using BCOperandOf::BCOperandOf;

 protected:
  BCoFBAP() = default;
  friend class BCOperand;
};

class BCODE_API BCoFBDP : public BCOperandOf<BCoFBDP, BCOwnFB, BCOperand::CT_FBDP> {
 public:
  using BCOperandOf::BCOperandOf;

 protected:
  BCoFBDP() = default;
  friend class BCOperand;
};

class BCODE_API BCoFCEP : public BCOperandOf<BCoFCEP, BCOwnFC, BCOperand::CT_FCEP> {
 public:
  using BCOperandOf::BCOperandOf;

 protected:
  BCoFCEP() = default;
  friend class BCOperand;
};

class BCODE_API BCoFCAP : public BCOperandOf<BCoFCAP, BCOwnFC, BCOperand::CT_FCAP> {
 public:
  using BCOperandOf::BCOperandOf;

 protected:
  BCoFCAP() = default;
  friend class BCOperand;
};

class BCODE_API BCoFCDP : public BCOperandOf<BCoFCDP, BCOwnFC, BCOperand::CT_FCDP> {
 public:
  using BCOperandOf::BCOperandOf;

 protected:
  BCoFCDP() = default;
  friend class BCOperand;
};

class BCODE_API BCoSFBEP : public BCOperandOf<BCoSFBEP, BCSonFB, BCOperand::CT_SFBEP> {
 public:
  using BCOperandOf::BCOperandOf;

 protected:
  BCoSFBEP() = default;
  friend class BCOperand;
};

class BCODE_API BCoSFBAP : public BCOperandOf<BCoSFBAP, BCSonFB, BCOperand::CT_SFBAP> {
 public:
  using BCOperandOf::BCOperandOf;

 protected:
  BCoSFBAP() = default;
  friend class BCOperand;
};

class BCODE_API BCoSFBDP : public BCOperandOf<BCoSFBDP, BCSonFB, BCOperand::CT_SFBDP> {
 public:
  using BCOperandOf::BCOperandOf;

 protected:
  BCoSFBDP() = default;
  friend class BCOperand;
};

class BCODE_API BCoSFCEP : public BCOperandOf<BCoSFCEP, BCSonFC, BCOperand::CT_SFCEP> {
 public:
  using BCOperandOf::BCOperandOf;

 protected:
  BCoSFCEP() = default;
  friend class BCOperand;
};

class BCODE_API BCoSFCAP : public BCOperandOf<BCoSFCAP, BCSonFC, BCOperand::CT_SFCAP> {
 public:
  using BCOperandOf::BCOperandOf;

 protected:
  BCoSFCAP() = default;
  friend class BCOperand;
};

class BCODE_API BCoSFCDP : public BCOperandOf<BCoSFCDP, BCSonFC, BCOperand::CT_SFCDP> {
 public:
  using BCOperandOf::BCOperandOf;

 protected:
  BCoSFCDP() = default;
  friend class BCOperand;
};

class BCODE_API BCoICEP : public BCOperandOf<BCoICEP, BCParICALL, BCOperand::CT_ICEP> {
 public:
  using BCOperandOf::BCOperandOf;

 protected:
  BCoICEP() = default;
  friend class BCOperand;
};

class BCODE_API BCoICAP : public BCOperandOf<BCoICAP, BCParICALL, BCOperand::CT_ICAP> {
 public:
  using BCOperandOf::BCOperandOf;

 protected:
  BCoICAP() = default;
  friend class BCOperand;
};

#endif  // BCODE_OPERAND_BCPARAM_H

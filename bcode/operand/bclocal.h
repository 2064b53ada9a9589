// Local data operands: a variable of the block's dynamic (LDD) or static
// (LSD) local data list. The two classes differ only in their list, tag and
// texts, so one declaration serves both.
#ifndef BCODE_OPERAND_BCLOCAL_H
#define BCODE_OPERAND_BCLOCAL_H

#include <cstdint>
#include <iosfwd>

#include "bcode/localdata/bcldlist.h"
#include "bcode/operand/bcoperand.h"

// Construction from a reference takes the entry's type and offset; a view
// takes the offset of the variable it views but keeps its own number and
// type. An unresolvable reference leaves type and offset empty (flag 1).
#define BC_LOCAL_OPERAND(Class, Tag, Kind, getRef)                                       \
  class BCODE_API Class : public BCOperand {                                             \
   public:                                                                               \
    explicit Class(const BCLDRef& ref);                                                  \
    Class(const Class&) = default;                                                       \
                                                                                         \
    CLASS_TYPE isA() const override { return Tag; }                                      \
    KIND kind() const override { return Kind; }                                          \
    unsigned char getDataType() const override;                                          \
    /* Equal variable numbers; neither type nor list is compared. */                     \
    int isEqual(const BCOperand& other) const override;                                  \
    /* Overlap with an operand of the same list through a view. */                       \
    int identView(const BCOperand& other) const override;                                \
    BCOperand* newCopy() const override;                                                 \
    void printOn(std::ostream& os, char* col, char* line, const char* const* classNames, \
                 const char* const* typeNames) const override;                           \
    void printOn(std::ostream& os) const override;                                       \
                                                                                         \
    BCLDRef getRef() const { return ldRef; }                                             \
    std::uint16_t getVarNo() const { return ldRef.getVarNo(); }                          \
    std::uint32_t getRelOffset() const { return relOffset; }                             \
    /* The list's start offset plus the relative offset; 0 and flag 1 without a list. */ \
    std::uint32_t getOffset() const;                                                     \
                                                                                         \
   protected:                                                                            \
    Class() = default;                                                                   \
    friend class BCOperand;                                                              \
    friend struct BCLocalOps;                                                            \
                                                                                         \
    void loadInstance(std::istream& is, BCode* code) override;                           \
    void saveInstance(std::ostream& os) const override;                                  \
                                                                                         \
   private:                                                                              \
    std::uint32_t relOffset = 0;                                                         \
    BCLDRef ldRef;                                                                       \
  }

BC_LOCAL_OPERAND(BCoLSD, CT_LSD, K_LSD, getLSDRef);
BC_LOCAL_OPERAND(BCoLDD, CT_LDD, K_LDD, getLDDRef);

#endif  // BCODE_OPERAND_BCLOCAL_H

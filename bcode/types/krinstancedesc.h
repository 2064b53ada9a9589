// The type of an FB or SFB instance. Its components are the entries of the
// block's interface description, so that a component of instance type and
// the interface layout give one answer for the size of an instance.
#ifndef BCODE_TYPES_KRINSTANCEDESC_H
#define BCODE_TYPES_KRINSTANCEDESC_H

#include <cstdint>
#include <iosfwd>

#include "bcode/foundation/krblockkind.h"
#include "bcode/foundation/krexport.h"
#include "bcode/types/krtypedesc.h"

class BCSSBList;
class KRTypeEnv;

// The interface description is looked up in the interface list (not owned)
// only when sizes or components are asked for.
class BCODE_API KRInstanceDesc : public KRStructuredDesc {
 public:
  KRInstanceDesc(std::uint16_t blockNo, KR_BLOCK_KIND kind, BCSSBList* list);
  KRInstanceDesc(const KRInstanceDesc&) = default;

  std::uint16_t getBlockNo() const { return blockNo_; }
  KR_BLOCK_KIND getBlockKind() const { return kind_; }
  BCSSBList* getSSBList() const { return list_; }

  // The number of the block's interface entries; 0 and flag 1 without a description.
  std::uint16_t getNoOfComp() const override;
  KRStructuredComp* getStructuredComp(std::uint16_t n) const override;
  // The offset the interface layout stored in entry n; 0 and flag 1 without one.
  std::uint32_t getCompOffset(std::uint16_t n) const override;

  CLASS_TYPE isA() const override { return KR_INSTANCE_DESC; }
  // The same code, block number and kind; the interface lists are not compared.
  bool equalType(const KRTypedesc& other) const override;
  // The interface description's length raised to a whole word; 0 and flag 1
  // without a description.
  std::uint32_t storageLength() const override;
  std::uint32_t alignment() const override { return 16; }
  void printOn(std::ostream& os, int level, char* text, char* line,
               const char* const* typeNames) const override;
  void printOn(std::ostream& os, int indent) const override;

 protected:
  KRInstanceDesc();
  bool saveInstance(std::ostream& os) const override;
  bool loadInstance(std::istream& is, KRTypeEnv* env) override;
  friend class KRTypedesc;

 private:
  std::uint16_t blockNo_ = 0;
  KR_BLOCK_KIND kind_ = static_cast<KR_BLOCK_KIND>(0);
  BCSSBList* list_ = nullptr;
};

#endif  // BCODE_TYPES_KRINSTANCEDESC_H

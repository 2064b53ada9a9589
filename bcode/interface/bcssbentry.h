// Interface entries: the named, typed parameters and statics of a block's
// interface. FB entries live in instance data and carry a bit offset; FC
// entries are passed as 32-bit parameter references and carry none.
#ifndef BCODE_INTERFACE_BCSSBENTRY_H
#define BCODE_INTERFACE_BCSSBENTRY_H

#include <cstdint>
#include <iosfwd>

#include "bcode/foundation/krerror.h"
#include "bcode/foundation/krexport.h"
#include "bcode/foundation/krysequ.h"
#include "bcode/foundation/krystrng.h"
#include "bcode/types/krtypedesc.h"
#include "bcode/types/krtypetab.h"

class KRTypeEnv;

class BCODE_API BCSSBEntry : public KRStructuredComp {
 public:
  // Kinds with a meaning here are 2 and 3; any byte value is carried.
  enum PARAM_KIND : int {
    BC_PARAM_IN = 0,
    BC_PARAM_OUT = 1,
    BC_PARAM_IN_OUT = 2,
    BC_PARAM_STAT = 3,
  };
  enum CLASS_TYPE : int { BC_FC_ENTRY = 0, BC_FB_ENTRY = 1 };
  enum ERRORS : int { BCSSBENTRY_OK = 0, BCSSBENTRY_FAILED = 1 };
  KR_ERROR_FLAG_MEMBERS()

  ~BCSSBEntry() override;
  BCSSBEntry(const BCSSBEntry&) = delete;
  BCSSBEntry& operator=(const BCSSBEntry&) = delete;

  const KRString& getName() const override { return name_; }
  // Offsets are kept by FB entries only.
  std::uint32_t getOffset() const override { return 0; }
  KRTypeRef getTypeRef() const override { return type_; }
  virtual CLASS_TYPE isA() const = 0;
  virtual void setOffset(std::uint32_t) {}
  virtual std::uint32_t storageLength() const = 0;
  virtual std::uint32_t alignment() const { return 1; }
  // Listing line: columns start at `column` inside the 160-byte `line`;
  // `kindNames` is indexed by the parameter kind, `typeNames` by the data
  // type code (256 entries each).
  virtual void printOn(std::ostream& os, char* column, char* line, const char* const* kindNames,
                       const char* const* typeNames) const = 0;
  // Debug dump of one line.
  virtual void printOn(std::ostream& os) const = 0;

  PARAM_KIND getParamKind() const { return paramKind_; }
  std::uint16_t getViewVarNo() const { return viewVarNo_; }
  void setViewVarNo(std::uint16_t varNo) { viewVarNo_ = varNo; }
  unsigned int getParListPos() const { return parListPos_; }
  void setParListPos(unsigned int pos) { parListPos_ = static_cast<std::uint16_t>(pos); }
  // The type's data type code; 0 when the type does not resolve.
  unsigned char getDataType() const;

  // The entry record; an offset follows for FB entries.
  void save(std::ostream& os) const;
  // Entries are read by their description: this consumes one byte and
  // returns null.
  static BCSSBEntry* iload(std::istream& is, KRTypeEnv* env);
  // Emits an entry line (it carries its own line end).
  void store(std::ostream& os, char* end, char* line) const;

 protected:
  BCSSBEntry();
  BCSSBEntry(const KRString& name, KRTypeRef type, PARAM_KIND kind);

  // The listing line shared by both entry classes; `offsetText` goes to
  // the offset column.
  void printLine(std::ostream& os, char* column, char* line, const char* const* kindNames,
                 const char* const* typeNames, const char* offsetText) const;
  // The dump from the name on.
  void printTail(std::ostream& os) const;
  // The value measured, or 1 with the flag set when the measurement failed.
  static std::uint32_t measured(bool ok, std::uint32_t value);

 private:
  KRString name_;
  PARAM_KIND paramKind_ = BC_PARAM_IN;
  KRTypeRef type_;
  std::uint16_t viewVarNo_ = 0;
  std::uint16_t parListPos_ = 0;
};

class BCODE_API BCFBEntry : public BCSSBEntry {
 public:
  BCFBEntry(const KRString& name, KRTypeRef type, PARAM_KIND kind);

  CLASS_TYPE isA() const override { return BC_FB_ENTRY; }
  std::uint32_t getOffset() const override { return offset_; }
  void setOffset(std::uint32_t value) override { offset_ = value; }
  // In-out parameters of composite type are passed as a 48-bit reference.
  std::uint32_t storageLength() const override;
  std::uint32_t alignment() const override;
  void printOn(std::ostream& os, char* column, char* line, const char* const* kindNames,
               const char* const* typeNames) const override;
  void printOn(std::ostream& os) const override;

 private:
  std::uint32_t offset_ = 0;
};

class BCODE_API BCFCEntry : public BCSSBEntry {
 public:
  BCFCEntry(const KRString& name, KRTypeRef type, PARAM_KIND kind);

  CLASS_TYPE isA() const override { return BC_FC_ENTRY; }
  // Every FC parameter is a 32-bit parameter reference.
  std::uint32_t storageLength() const override { return 32; }
  void printOn(std::ostream& os, char* column, char* line, const char* const* kindNames,
               const char* const* typeNames) const override;
  void printOn(std::ostream& os) const override;
};

extern template class BCODE_API KRSequence<BCSSBEntry*>;

#endif  // BCODE_INTERFACE_BCSSBENTRY_H

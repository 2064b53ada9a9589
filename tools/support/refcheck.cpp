#include "tools/support/refcheck.h"

#include "bcode/code/bcnametables.h"
#include "bcode/code/bcode.h"
#include "bcode/code/bcrecordsection.h"
#include "bcode/const/bcconstlist.h"
#include "bcode/instr/bcinstrop.h"
#include "bcode/instr/bcinstruction.h"
#include "bcode/interface/bcssb.h"
#include "bcode/localdata/bcldlist.h"
#include "bcode/operand/bclocal.h"
#include "bcode/operand/bcoperand.h"
#include "bcode/operand/bcparam.h"
#include "bcode/types/krinstancedesc.h"
#include "bcode/types/krtypetab.h"
#include "tools/support/blockreading.h"

namespace bctool {

namespace {

std::string quoted(const KRString& name) {
  return "'" + std::string(name.c_str(), name.length()) + "'";
}

// Calls `check(index, entry)` for every occupied slot of a table.
template <class Table, class Check>
void forEachEntry(const Table& table, Check check) {
  for (std::uint32_t i = 1; i < table.getCount(); ++i) {
    if (const auto* entry = table.entryAt(i)) check(i, *entry);
  }
}

class ReferenceChecker {
 public:
  explicit ReferenceChecker(const BCode& block) : block_(block) {}

  std::vector<Unresolved> run() {
    section_ = bcRecordSection(BCSection::Types).name;
    checkTypes();
    section_ = bcRecordSection(BCSection::Interfaces).name;
    checkInterfaces();
    section_ = bcRecordSection(BCSection::LDD).name;
    checkLocalData("LDD", block_.getLDDList());
    section_ = bcRecordSection(BCSection::LSD).name;
    checkLocalData("LSD", block_.getLSDList());
    section_ = bcRecordSection(BCSection::Operands).name;
    checkOperands();
    section_ = bcRecordSection(BCSection::Instructions).name;
    checkInstructions();
    return std::move(problems_);
  }

 private:
  // `where()` names the place; it is called only for a problem, so that a
  // valid block costs no text.
  template <class Where>
  void report(const Where& where, const std::string& what) {
    problems_.push_back({section_, where() + ": " + what});
  }

  // A type index other than 0 must name a descriptor.
  template <class Where>
  void checkType(const Where& where, const KRTypeRef& type) {
    if (type.getIndex() != 0 && type.ptr() == nullptr) {
      report(where, "type " + std::to_string(type.getIndex()) + " does not resolve");
    }
  }

  // Where a type is required, index 0 is missing too.
  template <class Where>
  void checkRequiredType(const Where& where, const KRTypeRef& type) {
    if (type.getIndex() == 0) {
      report(where, "has no type");
    } else {
      checkType(where, type);
    }
  }

  void checkTypes() {
    forEachEntry(block_.getTypeTab(), [this](std::uint32_t index, const KRTypedesc& desc) {
      checkDescriptor(index, desc);
    });
  }

  void checkDescriptor(std::uint32_t index, const KRTypedesc& desc) {
    const auto where = [index] { return "type " + std::to_string(index); };
    switch (desc.isA()) {
      case KRTypedesc::KR_ARRAY_DESC:
        checkRequiredType([&] { return where() + " (array) element"; },
                          static_cast<const KRArrayDesc&>(desc).getElemTypeRef());
        break;
      case KRTypedesc::KR_STRUCT_DESC: {
        const auto& structure = static_cast<const KRStructDesc&>(desc);
        for (std::uint16_t n = 1; n <= structure.getNoOfComp(); ++n) {
          const KRStructComp& comp = structure.getComp(n);
          checkRequiredType(
              [&] {
                return where() + " (struct) component " + std::to_string(n) + " " +
                       quoted(comp.getName());
              },
              comp.getTypeRef());
        }
        break;
      }
      case KRTypedesc::KR_INSTANCE_DESC: {
        const auto& instance = static_cast<const KRInstanceDesc&>(desc);
        const BCSSBList* list = instance.getSSBList();
        if (list == nullptr ||
            list->lookup(instance.getBlockNo(), instance.getBlockKind()) == nullptr) {
          report([&] { return where() + " (instance)"; },
                 "no interface description of " + blockKindName(instance.getBlockKind()) + " " +
                     std::to_string(instance.getBlockNo()));
        }
        break;
      }
      default:
        break;
    }
  }

  void checkInterfaces() {
    for (BCSSBListIterator it(block_.getSSBList()); !it.end();) {
      const BCSSB* ssb = it++;
      std::uint32_t number = 0;
      for (BCSSBIterator entry(*ssb, 1); !entry.end(); ++entry) {
        const BCSSBEntry* e = entry.current();
        ++number;
        checkRequiredType(
            [&] {
              return "interface of " + blockKindName(ssb->getBlockKind()) + " " +
                     std::to_string(ssb->getBlockNo()) + " entry " + std::to_string(number) + " " +
                     quoted(e->getName());
            },
            e->getTypeRef());
      }
    }
  }

  void checkLocalData(const char* listName, const BCLDList& list) {
    std::uint32_t number = 0;
    for (BCLDListIterator it(list, 1); !it.end(); ++it) {
      const BCLDEntry* e = it.current();
      ++number;
      checkRequiredType(
          [&] {
            return std::string(listName) + " variable " + std::to_string(number) + " " +
                   quoted(e->getName());
          },
          e->getTypeRef());
    }
  }

  void checkOperands() {
    forEachEntry(block_.getOpList(), [this](std::uint32_t index, const BCOperand& operand) {
      checkOperand(index, operand);
    });
  }

  void checkOperand(std::uint32_t index, const BCOperand& operand) {
    BCOperand::CLASS_TYPE tag = operand.isA();
    const auto where = [index, tag] {
      return "operand " + std::to_string(index) + " (" +
             bcDefaultOperandClassNames()[tag <= BCOperand::CT_LAST ? tag : 0] + ")";
    };
    switch (operand.kind()) {
      case BCOperand::K_GLOBVAR:
      case BCOperand::K_PARAM:
      case BCOperand::K_LSD:
      case BCOperand::K_LDD:
        checkRequiredType(where, operand.getTypeRef());
        break;
      default:
        break;
    }
    if (tag >= BCOperand::CT_FBEP && tag <= BCOperand::CT_SFCDP) {
      bool fb = (tag >= BCOperand::CT_FBEP && tag <= BCOperand::CT_FBDP) ||
                (tag >= BCOperand::CT_SFBEP && tag <= BCOperand::CT_SFBDP);
      BCSSBRef ref = fb ? static_cast<const BCParFB&>(operand).getSSBRef()
                        : static_cast<const BCParFC&>(operand).getSSBRef();
      if (ref.ptr() == nullptr) {
        report(where, "interface entry " + std::to_string(ref.getParNo()) + " of " +
                          blockKindName(ref.getBlockKind()) + " " +
                          std::to_string(ref.getBlockNo()) + " does not resolve");
      }
    } else if (tag == BCOperand::CT_LSD || tag == BCOperand::CT_LDD) {
      BCLDRef ref = tag == BCOperand::CT_LSD ? static_cast<const BCoLSD&>(operand).getLSDRef()
                                             : static_cast<const BCoLDD&>(operand).getLDDRef();
      if (ref.ptr() == nullptr) {
        report(where, std::string(tag == BCOperand::CT_LSD ? "LSD" : "LDD") + " variable " +
                          std::to_string(ref.getVarNo()) + " does not resolve");
      }
    }
  }

  void checkInstructions() {
    std::uint32_t number = 0;
    for (BCInstructionListIterator it(block_.getInstrList(), 1); !it.end(); ++it) {
      const BCInstruction* instr = it.current();
      ++number;
      checkInstrOp(number, "z", instr->getZOp());
      checkInstrOp(number, "q1", instr->getQ1Op());
      checkInstrOp(number, "q2", instr->getQ2Op());
    }
  }

  void checkInstrOp(std::uint32_t number, const char* role, const BCInstructionOp* op) {
    if (op == nullptr) return;
    const auto where = [number, role] {
      return "instruction " + std::to_string(number) + " " + role;
    };
    switch (op->isA()) {
      case BCInstructionOp::BCTMP_CLASS:
        checkType(where, static_cast<const BCTMP*>(op)->getTypeRef());
        break;
      case BCInstructionOp::BCCST_CLASS: {
        const BCConstRef& ref = static_cast<const BCCST*>(op)->getConstRef();
        if (ref.ptr() == nullptr) {
          report(where, "constant " + std::to_string(ref.getIndex()) + " does not resolve");
        }
        break;
      }
      case BCInstructionOp::BCOPD_CLASS: {
        const BCOpRef& ref = static_cast<const BCOPD*>(op)->getOpRef();
        if (ref.ptr() == nullptr) {
          report(where, "operand " + std::to_string(ref.getIndex()) + " does not resolve");
        }
        break;
      }
      default:
        break;
    }
  }

  const BCode& block_;
  const char* section_ = "";
  std::vector<Unresolved> problems_;
};

}  // namespace

std::vector<Unresolved> unresolvedReferences(const BCode& block) {
  return ReferenceChecker(block).run();
}

}  // namespace bctool

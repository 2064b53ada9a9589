#include "tools/support/demoblock.h"

#include <memory>
#include <utility>

#include "bcode/code/bcode.h"
#include "bcode/const/bcconstant.h"
#include "bcode/const/bcconstlist.h"
#include "bcode/const/bcimmediate.h"
#include "bcode/instr/bcinstrop.h"
#include "bcode/instr/bcinstruction.h"
#include "bcode/interface/bcssb.h"
#include "bcode/interface/bcssbentry.h"
#include "bcode/localdata/bcldlist.h"
#include "bcode/operand/bcglobal.h"
#include "bcode/operand/bclocal.h"
#include "bcode/operand/bcoperand.h"
#include "bcode/operand/bcparam.h"
#include "bcode/types/krinstancedesc.h"
#include "bcode/types/krtypedesc.h"
#include "bcode/types/krtypetab.h"
#include "tools/support/errorreport.h"

namespace bctool {

namespace {

constexpr std::uint16_t kCalledFC = 20;
constexpr std::uint16_t kInstanceFB = 12;

// Entry numbers of the views and of the variables they view.
constexpr std::uint16_t kOwnViewEntry = 7;
constexpr std::uint16_t kOwnViewedEntry = 6;
constexpr std::uint16_t kLDDViewEntry = 4;
constexpr std::uint16_t kLDDViewedEntry = 1;
constexpr std::uint16_t kLSDViewEntry = 4;
constexpr std::uint16_t kLSDViewedEntry = 2;

using PK = BCSSBEntry::PARAM_KIND;
constexpr PK kIn = BCSSBEntry::BC_PARAM_IN;
constexpr PK kOut = BCSSBEntry::BC_PARAM_OUT;
constexpr PK kInOut = BCSSBEntry::BC_PARAM_IN_OUT;
constexpr PK kStat = BCSSBEntry::BC_PARAM_STAT;

// The types beyond the 23 elementary ones.
struct DemoTypes {
  KRTypeRef boolT, byteT, intT, wordT, dwordT, dintT, realT, timeT, dtT;
  KRTypeRef text;      // STRING[20]
  KRTypeRef history;   // ARRAY[1..4] OF INT
  KRTypeRef recipe;    // STRUCT, a global type
  KRTypeRef matrix;    // ARRAY[0..1, 1..3] OF BYTE
  KRTypeRef instance;  // instance of FB 12
};

// References into the three interface descriptions, by entry.
struct DemoInterfaces {
  BCSSBRef start, done, recipe;           // own FB 7
  BCSSBRef timerIn, timerQ, timerState;   // FB 12
  BCSSBRef fcFirst, fcResult, fcScratch;  // FC 20
};

struct DemoLocals {
  BCLDRef index, indexBits;  // LDD
  BCLDRef runs, runsRaw;     // LSD
};

struct DemoConstants {
  BCConstRef dword, dint, real, time, k4time, tod, date, dt, text;
};

// The type table, interface descriptions and local data lists own an element
// from the moment it is handed over, even when add throws.
template <class Desc>
KRTypeRef addType(KRTypeTab& types, std::unique_ptr<Desc> desc) {
  return types.add(desc.release());
}

// The constant and operand tables take an element only when add returns: if
// it throws (KRErrorNoHeap), the element is still ours and is freed here.
template <class Container, class Element>
auto addOwned(Container& container, std::unique_ptr<Element> element)
    -> decltype(container.add(element.get())) {
  auto handle = container.add(element.get());
  element.release();
  return handle;
}

DemoTypes buildTypes(BCode& block) {
  KRTypeTab& types = block.getTypeTab();
  DemoTypes t;
  t.boolT = types.getTypeRef(KR_DT_BOOL);
  t.byteT = types.getTypeRef(KR_DT_BYTE);
  t.intT = types.getTypeRef(KR_DT_INT);
  t.wordT = types.getTypeRef(KR_DT_WORD);
  t.dwordT = types.getTypeRef(KR_DT_DWORD);
  t.dintT = types.getTypeRef(KR_DT_DINT);
  t.realT = types.getTypeRef(KR_DT_REAL);
  t.timeT = types.getTypeRef(KR_DT_TIME);
  t.dtT = types.getTypeRef(KR_DT_DT);

  t.text = addType(types, std::make_unique<KRStringDesc>(20));

  auto history = std::make_unique<KRArrayDesc>(t.intT);
  history->addDim(1, 4);
  t.history = addType(types, std::move(history));

  auto recipe = std::make_unique<KRStructDesc>();
  recipe->addComp(KRString("enabled"), t.boolT);
  recipe->addComp(KRString("count"), t.intT);
  recipe->addComp(KRString("label"), t.text);
  recipe->addComp(KRString("limits"), t.history);
  recipe->setGlobal(3);
  t.recipe = addType(types, std::move(recipe));

  auto matrix = std::make_unique<KRArrayDesc>(t.byteT);
  matrix->addDim(0, 1);
  matrix->addDim(1, 3);
  t.matrix = addType(types, std::move(matrix));

  t.instance = addType(
      types, std::make_unique<KRInstanceDesc>(kInstanceFB, KR_FB_KENN, &block.getSSBList()));
  return t;
}

template <class Entry>
BCSSBRef addEntry(BCSSB& ssb, const char* name, const KRTypeRef& type, PK kind) {
  return ssb.add(std::make_unique<Entry>(KRString(name), type, kind).release());
}

// Created in reverse, since a new description goes in front: the list reads
// FB 7, FB 12, FC 20. False when a description could not be created.
bool buildInterfaces(BCode& block, const DemoTypes& t, DemoInterfaces& refs) {
  BCSSBList& list = block.getSSBList();
  BCSSB* fc = list.newSSB(kCalledFC, KR_FC_KENN);
  BCSSB* fb = list.newSSB(kInstanceFB, KR_FB_KENN);
  BCSSB* own = list.newSSB(kDemoBlockNo, KR_FB_KENN);
  if (fc == nullptr || fb == nullptr || own == nullptr) return false;

  refs.fcFirst = addEntry<BCFCEntry>(*fc, "first", t.realT, kIn);
  addEntry<BCFCEntry>(*fc, "second", t.realT, kIn);
  refs.fcResult = addEntry<BCFCEntry>(*fc, "result", t.realT, kOut);
  refs.fcScratch = addEntry<BCFCEntry>(*fc, "scratch", t.text, kInOut);

  refs.timerIn = addEntry<BCFBEntry>(*fb, "IN", t.boolT, kIn);
  addEntry<BCFBEntry>(*fb, "PT", t.timeT, kIn);
  refs.timerQ = addEntry<BCFBEntry>(*fb, "Q", t.boolT, kOut);
  addEntry<BCFBEntry>(*fb, "ET", t.timeT, kOut);
  refs.timerState = addEntry<BCFBEntry>(*fb, "state", t.intT, kStat);

  refs.start = addEntry<BCFBEntry>(*own, "start", t.boolT, kIn);
  addEntry<BCFBEntry>(*own, "setpoint", t.intT, kIn);
  refs.done = addEntry<BCFBEntry>(*own, "done", t.boolT, kOut);
  addEntry<BCFBEntry>(*own, "value", t.dintT, kOut);
  refs.recipe = addEntry<BCFBEntry>(*own, "recipe", t.recipe, kInOut);
  addEntry<BCFBEntry>(*own, "total", t.dintT, kStat);
  addEntry<BCFBEntry>(*own, "totalBits", t.dwordT, kStat);  // view of "total"
  addEntry<BCFBEntry>(*own, "history", t.history, kStat);
  addEntry<BCFBEntry>(*own, "timer", t.instance, kStat);
  return true;
}

BCLDRef addVariable(BCLDList& list, const char* name, const KRTypeRef& type) {
  return list.add(std::make_unique<BCLDEntry>(KRString(name), type).release());
}

DemoLocals buildLocalData(BCode& block, const DemoTypes& t) {
  DemoLocals refs;
  BCLDList& ldd = block.getLDDList();
  refs.index = addVariable(ldd, "index", t.intT);
  addVariable(ldd, "ready", t.boolT);
  addVariable(ldd, "message", t.text);
  refs.indexBits = addVariable(ldd, "indexBits", t.wordT);  // view of "index"

  BCLDList& lsd = block.getLSDList();
  addVariable(lsd, "lastRun", t.dtT);
  refs.runs = addVariable(lsd, "runs", t.dintT);
  addVariable(lsd, "matrix", t.matrix);
  refs.runsRaw = addVariable(lsd, "runsRaw", t.dwordT);  // view of "runs"
  return refs;
}

// Every FB description is laid out, not only the block's own, so that the
// offsets its record carries are the ones a load computes again.
void layOut(BCode& block) {
  for (BCSSBListIterator it(block.getSSBList()); !it.end();) {
    BCSSB* ssb = it++;
    if (ssb->getBlockKind() == KR_FB_KENN || ssb->getBlockKind() == KR_SFB_KENN) {
      ssb->getLastOffset();
    }
  }
  block.calcOffsets();
}

DemoConstants buildConstants(BCode& block) {
  BCConstantList& list = block.getConstList();
  DemoConstants c;
  c.dword = addOwned(list, std::make_unique<BCDWordConst>(0xDEADBEEFu));
  c.dint = addOwned(list, std::make_unique<BCDIntConst>(-100000));
  c.real = addOwned(list, std::make_unique<BCRealConst>(3.25f));
  c.time = addOwned(list, std::make_unique<BCTimeConst>(90061001));
  c.k4time = addOwned(list, std::make_unique<BCK4TimeConst>(12300));
  c.tod = addOwned(list, std::make_unique<BCTODConst>(12, 5, 3, 7));
  c.date = addOwned(list, std::make_unique<BCDateConst>(24, 12, 1999));
  c.dt = addOwned(list,
                  std::make_unique<BCDTConst>(BCDateConst(1, 1, 2000), BCTODConst(8, 30, 0, 250)));
  c.text = addOwned(list, std::make_unique<BCStringConst>(KRString("hello")));
  return c;
}

// The memory operands the instructions use; the others are only entered.
struct DemoOperands {
  BCOpRef input, marker, periphIn, periphOut, dbVar, timer, counter, calledFC;
  BCOpRef ownStart, ownDone, sonIn, sonQ, fcFirst, fcResult, index, runs, runsRaw;
};

template <class Operand, class... Args>
BCOpRef addOperand(BCOperandList& list, Args&&... args) {
  return addOwned(list, std::make_unique<Operand>(std::forward<Args>(args)...));
}

DemoOperands buildOperands(BCode& block, const DemoTypes& t, const DemoInterfaces& i,
                           const DemoLocals& l) {
  BCOperandList& list = block.getOpList();
  DemoOperands o;
  o.input = addOperand<BCoE>(list, 8u, t.boolT);
  addOperand<BCoA>(list, 17u, t.boolT);
  o.marker = addOperand<BCoM>(list, 160u, t.intT);
  o.periphIn = addOperand<BCoPE>(list, 256u, t.wordT);
  o.periphOut = addOperand<BCoPA>(list, 512u, t.wordT);
  o.dbVar = addOperand<BCoDBBER>(list, std::uint16_t{5}, 32u, t.dwordT);
  addOperand<BCoMFL>(list, std::uint16_t{17});
  o.timer = addOperand<BCoT>(list, std::uint16_t{4});
  o.counter = addOperand<BCoZ>(list, std::uint16_t{9});
  addOperand<BCoOB>(list, std::uint16_t{1});
  addOperand<BCoFB>(list, kInstanceFB);
  o.calledFC = addOperand<BCoFC>(list, kCalledFC);
  addOperand<BCoSFB>(list, std::uint16_t{4});
  addOperand<BCoSFC>(list, std::uint16_t{46});
  addOperand<BCoDB>(list, std::uint16_t{5});
  addOperand<BCoSDB>(list, std::uint16_t{100});
  addOperand<BCoICall>(list, std::uint16_t{2});

  o.ownStart = addOperand<BCoFBEP>(list, KR_FB_KENN, i.start);
  o.ownDone = addOperand<BCoFBAP>(list, KR_FB_KENN, i.done);
  addOperand<BCoFBDP>(list, KR_FB_KENN, i.recipe);
  addOperand<BCoFCEP>(list, KR_FC_KENN, i.fcFirst);
  addOperand<BCoFCAP>(list, KR_FC_KENN, i.fcResult);
  addOperand<BCoFCDP>(list, KR_FC_KENN, i.fcScratch);
  o.sonIn = addOperand<BCoSFBEP>(list, KR_FB_KENN, i.timerIn);
  o.sonQ = addOperand<BCoSFBAP>(list, KR_FB_KENN, i.timerQ);
  addOperand<BCoSFBDP>(list, KR_FB_KENN, i.timerState);
  o.fcFirst = addOperand<BCoSFCEP>(list, KR_FC_KENN, i.fcFirst);
  o.fcResult = addOperand<BCoSFCAP>(list, KR_FC_KENN, i.fcResult);
  addOperand<BCoSFCDP>(list, KR_FC_KENN, i.fcScratch);
  addOperand<BCoICEP>(list, std::uint16_t{1}, std::uint16_t{2}, t.intT);
  addOperand<BCoICAP>(list, std::uint16_t{2}, std::uint16_t{2}, t.boolT);

  o.index = addOperand<BCoLDD>(list, l.index);
  addOperand<BCoLDD>(list, l.indexBits);
  o.runs = addOperand<BCoLSD>(list, l.runs);
  o.runsRaw = addOperand<BCoLSD>(list, l.runsRaw);
  return o;
}

// An operand made for one call: it lives until the end of the full
// expression, by which time the instruction holds its own copy.
const BCInstructionOp* op(const BCInstructionOp& operand) {
  return &operand;
}

// Appends instructions; operands are copied by the instruction.
class Emitter {
 public:
  explicit Emitter(BCInstructionList& list) : list_(list) {}

  void emit(BCInstruction::INSTR_CODE code, const BCInstructionOp* z,
            const BCInstructionOp* q1 = nullptr, const BCInstructionOp* q2 = nullptr) {
    auto instruction = std::make_unique<BCInstruction>(code, z, q1, q2);
    list_.append(instruction.get());  // may throw; the list owns it only afterwards
    instruction.release();
  }

 private:
  BCInstructionList& list_;
};

BCTMP temporary(const KRTypeRef& type, std::uint32_t number,
                BCTMP::STATUS_TYPE status = BCTMP::TMG) {
  return BCTMP(type.ptr() != nullptr ? type.ptr()->getDataType() : 0, number, status, BCTMP::L_AREA,
               type);
}

// A small program: a loop over the local index that counts runs, reads the
// periphery, calls FC 20 and starts the instance's timer.
void buildInstructions(BCode& block, const DemoTypes& t, const DemoConstants& c,
                       const DemoOperands& o) {
  using IC = BCInstruction;
  Emitter e(block.getInstrList());
  BCNUM loop(1);
  BCNUM skip(2);
  BCNUM finish(3);

  BCOPD start(o.ownStart);
  start.setTextPos(KRTextPos(12, 5));
  BCTMP started = temporary(t.boolT, 1);
  BCTMP counted = temporary(t.intT, 2);
  BCTMP runs = temporary(t.dintT, 3);
  BCTMP word = temporary(t.wordT, 4, BCTMP::TML);
  BCTMP mixed = temporary(t.dwordT, 5, BCTMP::TMT);
  BCTMP reference = temporary(t.realT, 6);
  reference.setRefrFlag(BCInstructionOp::REFR);
  reference.setTestFlag(1);
  BCTMP global(5, 7, BCTMP::TMG, BCTMP::G_AREA);

  e.emit(IC::IC_LABEL_DEF, nullptr, &loop);
  e.emit(IC::IC_211, &started, &start);
  e.emit(IC::IC_200, nullptr, &skip, &started);
  e.emit(IC::IC_32, &counted, op(BCOPD(o.marker)), op(BCIntConst(-5)));
  e.emit(IC::IC_215, op(BCOPD(o.index)), &counted);
  e.emit(IC::IC_64, &runs, op(BCOPD(o.runs)), op(BCCST(c.dint)));
  e.emit(IC::IC_215, op(BCOPD(o.runsRaw)), &runs);
  e.emit(IC::IC_96, &word, op(BCOPD(o.periphIn)), op(BCWordConst(0xBEEF)));
  e.emit(IC::IC_215, op(BCOPD(o.periphOut)), &word);
  e.emit(IC::IC_104, &mixed, op(BCOPD(o.dbVar)), op(BCCST(c.dword)));
  e.emit(IC::IC_215, op(BCOPD(o.fcFirst)), op(BCCST(c.real)));
  e.emit(IC::IC_8, nullptr, op(BCOPD(o.calledFC)));
  e.emit(IC::IC_211, &reference, op(BCOPD(o.fcResult)));
  e.emit(IC::IC_215, op(BCOPD(o.sonIn)), op(BCBoolConst(1)));
  e.emit(IC::IC_120, op(BCOPD(o.timer)), op(BCCST(c.time)), op(BCCST(c.k4time)));
  e.emit(IC::IC_124, op(BCOPD(o.counter)), op(BCByteConst(0x0A)), op(BCCharConst('A')));
  e.emit(IC::IC_128, &global, op(BCCST(c.tod)), op(BCCST(c.date)));
  e.emit(IC::IC_132, nullptr, op(BCCST(c.dt)), op(BCCST(c.text)));
  e.emit(IC::IC_140, nullptr, op(BCPtrConst()), op(BCAnyConst()));
  e.emit(IC::IC_JUMP, nullptr, &loop);
  e.emit(IC::IC_LABEL_DEF, nullptr, &skip);
  e.emit(IC::IC_215, op(BCOPD(o.ownDone)), op(BCOPD(o.sonQ)));
  e.emit(IC::IC_JUMP_192, nullptr, &finish);
  e.emit(IC::IC_LABEL_DEF, nullptr, &finish);
  e.emit(IC::IC_255, nullptr);
}

}  // namespace

bool declareDemoViews(BCode& block) {
  BCSSB* own = block.getSSBList().lookup(kDemoBlockNo, KR_FB_KENN);
  BCSSBEntry* ownView = own != nullptr ? own->lookup(kOwnViewEntry) : nullptr;
  BCLDEntry* lddView = block.getLDDList().lookup(BCLDRef(kLDDViewEntry, nullptr));
  BCLDEntry* lsdView = block.getLSDList().lookup(BCLDRef(kLSDViewEntry, nullptr));
  if (ownView == nullptr || lddView == nullptr || lsdView == nullptr) return false;
  ownView->setViewVarNo(kOwnViewedEntry);
  lddView->setViewVarNo(kLDDViewedEntry);
  lsdView->setViewVarNo(kLSDViewedEntry);
  return true;
}

std::unique_ptr<BCode> buildDemoBlock() {
  auto block = std::make_unique<BCode>(kDemoBlockNo, KR_FB_KENN);
  if (BCode::getError() != BCode::BCODE_OK) return nullptr;
  block->initElemTypes();
  DemoTypes types = buildTypes(*block);
  DemoInterfaces interfaces;
  if (!buildInterfaces(*block, types, interfaces)) return nullptr;
  DemoLocals locals = buildLocalData(*block, types);
  if (!declareDemoViews(*block)) return nullptr;
  // Operands take their offsets from the laid out entries.
  layOut(*block);
  DemoConstants constants = buildConstants(*block);
  DemoOperands operands = buildOperands(*block, types, interfaces, locals);
  buildInstructions(*block, types, constants, operands);
  if (anyErrorFlagSet()) return nullptr;
  return block;
}

}  // namespace bctool

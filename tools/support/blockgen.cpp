#include "tools/support/blockgen.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>

#include "bcode/code/bcode.h"
#include "bcode/const/bcconstant.h"
#include "bcode/const/bcconstlist.h"
#include "bcode/const/bcimmediate.h"
#include "bcode/instr/bcinstrop.h"
#include "bcode/instr/bcinstruction.h"
#include "bcode/interface/bcssbentry.h"
#include "bcode/operand/bcglobal.h"
#include "bcode/operand/bclocal.h"
#include "bcode/operand/bcoperand.h"
#include "bcode/operand/bcparam.h"
#include "bcode/types/krinstancedesc.h"
#include "bcode/types/krtypedesc.h"
#include "bcode/types/krtypetab.h"

namespace bctool {

namespace {

using PK = BCSSBEntry::PARAM_KIND;
using IC = BCInstruction;

constexpr std::uint16_t kFirstCalledFB = 100;
constexpr std::uint16_t kFirstCalledFC = 300;
constexpr std::uint32_t kSeed = 0x2545F491u;

// Random numbers of the generator's own, reduced to ranges by its own
// arithmetic, so that every library and platform gives the same block.
class Random {
 public:
  explicit Random(std::uint32_t state) : state_(state) {}

  std::uint32_t next() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_ >> 8;
  }
  std::uint32_t below(std::uint32_t bound) { return bound == 0 ? 0 : next() % bound; }
  template <class T>
  const T& pick(const std::vector<T>& from) {
    return from[below(static_cast<std::uint32_t>(from.size()))];
  }
  // An index into `weights`, each as likely as its weight.
  template <std::size_t N>
  std::size_t weighted(const std::array<std::uint32_t, N>& weights) {
    std::uint32_t total = 0;
    for (std::uint32_t w : weights) total += w;
    std::uint32_t r = below(total);
    for (std::size_t i = 0; i < N; ++i) {
      if (r < weights[i]) return i;
      r -= weights[i];
    }
    return N - 1;
  }

 private:
  std::uint32_t state_;
};

// Spreads a seed over 64 bits (splitmix64), so that neighbouring seeds give
// unrelated blocks.
class SeedMixer {
 public:
  explicit SeedMixer(std::uint64_t seed) : state_(seed) {}

  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
  }
  // lo .. hi, both included.
  std::uint32_t in(std::uint32_t lo, std::uint32_t hi) {
    return lo + static_cast<std::uint32_t>(next() % (hi - lo + 1));
  }

 private:
  std::uint64_t state_;
};

std::uint32_t contentState(std::uint64_t seed) {
  return seed == 0 ? kSeed : static_cast<std::uint32_t>(SeedMixer(seed).next() >> 32);
}

// Names of a plant's signals for the blocks of seeds other than 0.
constexpr const char* kWords[] = {"motor", "valve", "pump",  "level", "temp",   "speed",
                                  "flow",  "press", "alarm", "count", "limit",  "setp",
                                  "fault", "ready", "run",   "cycle", "door",   "fan",
                                  "heat",  "belt",  "lamp",  "axis",  "torque", "weight"};

KRString numbered(const char* stem, std::uint32_t n) {
  return KRString((stem + std::to_string(n)).c_str());
}

// Which entries are views: every n-th from the second on names the one
// before it. Own interface entries are views only among the statics.
bool isView(std::uint32_t number, std::uint32_t every) {
  return number >= 2 && number % every == 0;
}

// The kind of own interface entry n (from 1): a tenth each of the entries
// are in-out parameters, a third inputs, a fifth outputs, the rest statics.
PK ownEntryKind(std::uint32_t n, std::uint32_t total) {
  if (n <= total / 3) return BCSSBEntry::BC_PARAM_IN;
  if (n <= total / 3 + total / 5) return BCSSBEntry::BC_PARAM_OUT;
  if (n <= total / 3 + total / 5 + total / 10) return BCSSBEntry::BC_PARAM_IN_OUT;
  return BCSSBEntry::BC_PARAM_STAT;
}

bool isOwnView(std::uint32_t n, const BlockShape& shape) {
  return isView(n, shape.viewEvery) &&
         ownEntryKind(n - 1, shape.ownEntries) == BCSSBEntry::BC_PARAM_STAT;
}

template <class Desc>
KRTypeRef addType(KRTypeTab& types, std::unique_ptr<Desc> desc) {
  return types.add(desc.release());
}

class Generator {
 public:
  explicit Generator(GeneratedBlock& out)
      : out_(out), shape_(out.shape), block_(*out.block), random_(contentState(shape_.seed)) {}

  bool run() {
    block_.initElemTypes();
    elementaryTypes();
    userTypes();
    if (!interfaces()) return false;
    localData();
    if (!declareViews(block_, shape_)) return false;
    layOut();
    constants();
    operands();
    instructions();
    return true;
  }

 private:
  // --- types -------------------------------------------------------------

  void elementaryTypes() {
    const KRTypeTab& types = block_.getTypeTab();
    for (unsigned char code :
         {KR_DT_BOOL, KR_DT_BYTE, KR_DT_CHAR, KR_DT_WORD, KR_DT_INT, KR_DT_DWORD, KR_DT_DINT,
          KR_DT_REAL, KR_DT_DATE, KR_DT_TOD, KR_DT_TIME, KR_DT_K4TIME, KR_DT_DT}) {
      elementary_.push_back(types.getTypeRef(code));
    }
  }
  KRTypeRef elem(unsigned char code) const { return block_.getTypeTab().getTypeRef(code); }

  // Structures and arrays alternate, so each can nest the ones made before:
  // short chains of nested structures, arrays of structures.
  void userTypes() {
    KRTypeTab& types = block_.getTypeTab();
    for (std::uint32_t k = 0; k < 4; ++k) {
      strings_.push_back(
          addType(types, std::make_unique<KRStringDesc>(shape_.shortestString + 16 * k)));
    }
    for (std::uint32_t k = 0; k < std::max(shape_.structures, shape_.arrays); ++k) {
      if (k < shape_.arrays) arrays_.push_back(addType(types, newArray(k)));
      if (k < shape_.structures) structures_.push_back(addType(types, newStructure(k)));
    }
    for (std::uint32_t k = 0; k < shape_.calledFBs; ++k) {
      instances_.push_back(addType(
          types, std::make_unique<KRInstanceDesc>(static_cast<std::uint16_t>(kFirstCalledFB + k),
                                                  KR_FB_KENN, &block_.getSSBList())));
    }
  }

  std::unique_ptr<KRArrayDesc> newArray(std::uint32_t k) {
    const bool ofStructures = k % 4 == 3 && !structures_.empty();
    auto array = std::make_unique<KRArrayDesc>(ofStructures ? structures_.back()
                                                            : random_.pick(elementary_));
    array->addDim(1, static_cast<std::int32_t>(2 + k % 30));
    if (k % 3 == 2) array->addDim(0, static_cast<std::int32_t>(1 + k % 4));
    return array;
  }

  std::unique_ptr<KRStructDesc> newStructure(std::uint32_t k) {
    auto structure = std::make_unique<KRStructDesc>();
    const std::uint32_t comps = 3 + k % 6;
    for (std::uint32_t c = 0; c < comps; ++c) {
      // One draw after the other: the order of a call's arguments is the
      // compiler's, and every compiler must make the same block.
      const KRTypeRef& type = random_.pick(elementary_);
      structure->addComp(name("field", c), type);
    }
    structure->addComp(KRString("label"), random_.pick(strings_));
    if (!arrays_.empty()) structure->addComp(KRString("values"), arrays_.back());
    if (k % 4 != 0 && !structures_.empty())
      structure->addComp(KRString("inner"), structures_.back());
    if (k % 5 == 0) structure->setGlobal(static_cast<std::uint16_t>(1 + k));
    return structure;
  }

  // A name: the stem and number for seed 0, else a word and the number.
  KRString name(const char* stem, std::uint32_t n) {
    constexpr auto kWordCount = static_cast<std::uint32_t>(std::size(kWords));
    return numbered(shape_.plainNames ? stem : kWords[random_.below(kWordCount)], n);
  }

  // Any type an interface entry or a variable may have: mostly elementary.
  KRTypeRef variableType() {
    switch (random_.weighted(shape_.types)) {
      case 0:
        return random_.pick(structures_);
      case 1:
        return random_.pick(arrays_);
      case 2:
        return random_.pick(strings_);
      default:
        return random_.pick(elementary_);
    }
  }

  // --- interfaces and local data -------------------------------------------

  // A new description goes in front, so the own one is made last and leads.
  bool interfaces() {
    BCSSBList& list = block_.getSSBList();
    for (std::uint32_t k = 0; k < shape_.calledFCs; ++k) {
      BCSSB* fc = list.newSSB(static_cast<std::uint16_t>(kFirstCalledFC + k), KR_FC_KENN);
      if (fc == nullptr) return false;
      calledFCs_.push_back(fc->getBlockNo());
      for (std::uint32_t n = 1; n <= shape_.entriesPerCalled; ++n) {
        const PK kind = calledKind(n, false);
        const KRTypeRef type = variableType();
        out_.fcEntries.push_back(
            fc->add(std::make_unique<BCFCEntry>(name("p", n), type, kind).release()));
      }
    }
    for (std::uint32_t k = 0; k < shape_.calledFBs; ++k) {
      BCSSB* fb = list.newSSB(static_cast<std::uint16_t>(kFirstCalledFB + k), KR_FB_KENN);
      if (fb == nullptr) return false;
      for (std::uint32_t n = 1; n <= shape_.entriesPerCalled; ++n) {
        const PK kind = calledKind(n, true);
        const KRTypeRef type = variableType();
        out_.fbEntries.push_back(
            fb->add(std::make_unique<BCFBEntry>(name("p", n), type, kind).release()));
      }
    }
    BCSSB* own = list.newSSB(shape_.blockNo, KR_FB_KENN);
    if (own == nullptr) return false;
    for (std::uint32_t n = 1; n <= shape_.ownEntries; ++n) {
      const PK kind = ownEntryKind(n, shape_.ownEntries);
      const KRTypeRef type = kind == BCSSBEntry::BC_PARAM_STAT && n % 7 == 0
                                 ? random_.pick(instances_)
                                 : variableType();
      out_.ownEntries.push_back(
          own->add(std::make_unique<BCFBEntry>(name("own", n), type, kind).release()));
    }
    return true;
  }

  static PK calledKind(std::uint32_t n, bool withStatics) {
    if (n % 4 == 0) return withStatics ? BCSSBEntry::BC_PARAM_STAT : BCSSBEntry::BC_PARAM_IN_OUT;
    return n % 4 == 3 ? BCSSBEntry::BC_PARAM_OUT : BCSSBEntry::BC_PARAM_IN;
  }

  void localData() {
    fillList(block_.getLDDList(), shape_.lddVariables, "tmp", out_.lddVariables);
    fillList(block_.getLSDList(), shape_.lsdVariables, "stat", out_.lsdVariables);
  }

  void fillList(BCLDList& list, std::uint32_t count, const char* stem, std::vector<BCLDRef>& refs) {
    for (std::uint32_t n = 1; n <= count; ++n) {
      const KRTypeRef type = variableType();
      refs.push_back(list.add(std::make_unique<BCLDEntry>(name(stem, n), type).release()));
    }
  }

  // Every FB description is laid out, so that the offsets its record
  // carries are the ones a load computes again.
  void layOut() {
    for (BCSSBListIterator it(block_.getSSBList()); !it.end();) {
      BCSSB* ssb = it++;
      if (ssb->getBlockKind() == KR_FB_KENN) ssb->getLastOffset();
    }
    block_.calcOffsets();
  }

  // --- constants and operands ----------------------------------------------

  void constants() {
    BCConstantList& list = block_.getConstList();
    for (std::uint32_t k = 0; k < shape_.constants; ++k) {
      const auto v = random_.next();
      std::unique_ptr<BCConstant> constant = newConstant(k % 9, v);
      byClass_[k % 9].push_back(list.add(constant.release()));
    }
  }

  static std::unique_ptr<BCConstant> newConstant(std::uint32_t cls, std::uint32_t v) {
    const auto day = static_cast<unsigned char>(1 + v % 28);
    const auto month = static_cast<unsigned char>(1 + v % 12);
    const auto year = static_cast<std::uint16_t>(1990 + v % 100);
    switch (cls) {
      case 0:
        return std::make_unique<BCDWordConst>(v);
      case 1:
        return std::make_unique<BCDIntConst>(static_cast<std::int32_t>(v) - 0x400000);
      case 2:
        return std::make_unique<BCRealConst>(static_cast<float>(v % 100000) / 8.0f);
      case 3:
        return std::make_unique<BCTimeConst>(static_cast<std::int32_t>(v % 86400000));
      case 4:
        return std::make_unique<BCK4TimeConst>(static_cast<std::int32_t>(10 * (v % 999)));
      case 5:
        return std::make_unique<BCTODConst>(static_cast<std::int32_t>(v % 86400000));
      case 6:
        return std::make_unique<BCDateConst>(day, month, year);
      case 7:
        return std::make_unique<BCDTConst>(BCDateConst(day, month, year),
                                           BCTODConst(static_cast<std::int32_t>(v % 86400000)));
      default:
        return std::make_unique<BCStringConst>(numbered("text", v % 1000));
    }
  }

  template <class Operand, class... Args>
  BCOpRef addOperand(Args&&... args) {
    return block_.getOpList().add(std::make_unique<Operand>(std::forward<Args>(args)...).release());
  }

  // Data operands dominate; every class of the 33 appears in each round.
  void operands() {
    for (std::uint32_t k = 0; operandCount() < shape_.operands; ++k) {
      dataOperands(k);
      if (k % shape_.otherOperandsEvery == 0) otherOperands(k);
    }
  }
  std::uint32_t operandCount() const { return block_.getOpList().getCount() - 1u; }

  void dataOperands(std::uint32_t k) {
    const auto bit = static_cast<std::uint32_t>(8 * (k % 512));
    data_.push_back(addOperand<BCoE>(bit, elem(KR_DT_BOOL)));
    data_.push_back(addOperand<BCoA>(bit + 1, elem(KR_DT_BOOL)));
    data_.push_back(addOperand<BCoM>(16 * k, random_.pick(elementary_)));
    data_.push_back(addOperand<BCoPE>(256 + 16 * (k % 64), elem(KR_DT_WORD)));
    data_.push_back(addOperand<BCoPA>(512 + 16 * (k % 64), elem(KR_DT_WORD)));
    data_.push_back(addOperand<BCoDBBER>(static_cast<std::uint16_t>(1 + k % 50), 32 * (k % 200),
                                         elem(KR_DT_DWORD)));
    data_.push_back(addOperand<BCoLDD>(out_.lddVariables[k % out_.lddVariables.size()]));
    data_.push_back(addOperand<BCoLSD>(out_.lsdVariables[k % out_.lsdVariables.size()]));
    const BCSSBRef& own = out_.ownEntries[k % out_.ownEntries.size()];
    data_.push_back(parameter<BCoFBEP, BCoFBAP, BCoFBDP>(own));
    const BCSSBRef& fb = out_.fbEntries[k % out_.fbEntries.size()];
    data_.push_back(parameter<BCoSFBEP, BCoSFBAP, BCoSFBDP>(fb));
    const BCSSBRef& fc = out_.fcEntries[k % out_.fcEntries.size()];
    fcParams_.push_back(addOperand<BCoSFCEP>(KR_FC_KENN, fc));
    data_.push_back(addOperand<BCoSFCAP>(KR_FC_KENN, fc));
  }

  // The input, output or in-out operand class for the entry's kind.
  template <class In, class Out, class InOut>
  BCOpRef parameter(const BCSSBRef& ref) {
    switch (ref.ptr()->getParamKind()) {
      case BCSSBEntry::BC_PARAM_IN:
        return addOperand<In>(KR_FB_KENN, ref);
      case BCSSBEntry::BC_PARAM_OUT:
        return addOperand<Out>(KR_FB_KENN, ref);
      default:
        return addOperand<InOut>(KR_FB_KENN, ref);
    }
  }

  void otherOperands(std::uint32_t k) {
    const auto n = static_cast<std::uint16_t>(1 + k % 200);
    const BCSSBRef& fc = out_.fcEntries[k % out_.fcEntries.size()];
    addOperand<BCoMFL>(n);
    timers_.push_back(addOperand<BCoT>(n));
    counters_.push_back(addOperand<BCoZ>(n));
    addOperand<BCoOB>(n);
    addOperand<BCoFB>(static_cast<std::uint16_t>(kFirstCalledFB + k % shape_.calledFBs));
    calls_.push_back(addOperand<BCoFC>(calledFCs_[k % calledFCs_.size()]));
    addOperand<BCoSFB>(n);
    addOperand<BCoSFC>(n);
    addOperand<BCoDB>(n);
    addOperand<BCoSDB>(n);
    addOperand<BCoICall>(n);
    addOperand<BCoFCEP>(KR_FC_KENN, fc);
    addOperand<BCoFCAP>(KR_FC_KENN, fc);
    addOperand<BCoFCDP>(KR_FC_KENN, fc);
    addOperand<BCoSFCDP>(KR_FC_KENN, fc);
    data_.push_back(addOperand<BCoICEP>(n, static_cast<std::uint16_t>(1 + k % 4), elem(KR_DT_INT)));
    data_.push_back(
        addOperand<BCoICAP>(n, static_cast<std::uint16_t>(1 + k % 4), elem(KR_DT_BOOL)));
  }

  // --- instructions --------------------------------------------------------

  void emit(IC::INSTR_CODE code, const BCInstructionOp* z, const BCInstructionOp* q1 = nullptr,
            const BCInstructionOp* q2 = nullptr) {
    block_.getInstrList().append(std::make_unique<BCInstruction>(code, z, q1, q2).release());
    ++emitted_;
  }

  BCTMP temporary(unsigned char code, BCTMP::STATUS_TYPE status = BCTMP::TMG) {
    return BCTMP(code, ++lastTmp_, status, BCTMP::L_AREA, elem(code));
  }

  // An operand as the source text shows it: most carry their position.
  BCOPD source(const BCOpRef& ref) {
    BCOPD opd(ref);
    if (random_.below(8) != 0) opd.setTextPos(KRTextPos(static_cast<std::uint16_t>(1 + line_), 5));
    return opd;
  }

  // A second source: a constant, an immediate or another operand.
  std::unique_ptr<BCInstructionOp> secondSource() {
    switch (random_.weighted(shape_.sources)) {
      case 0:
        return std::make_unique<BCCST>(random_.pick(byClass_[random_.below(3)]));
      case 1:
        return std::make_unique<BCIntConst>(static_cast<std::int16_t>(random_.below(2000)) - 1000);
      case 2:
        return std::make_unique<BCWordConst>(static_cast<std::uint16_t>(random_.next()));
      case 3:
        return std::make_unique<BCByteConst>(static_cast<unsigned char>(random_.next()));
      default:
        return std::make_unique<BCOPD>(source(random_.pick(data_)));
    }
  }

  // The first instruction makes the temporary that only the last reads.
  void instructions() {
    BCOPD first(data_.front());
    first.setTextPos(KRTextPos(1, 1));
    BCTMP seed = temporary(KR_DT_INT);
    out_.firstTemporary = seed.getTmpNo();
    emit(IC::IC_CHAIN_211, &seed, &first);
    while (emitted_ + 8 < shape_.instructions) statement();
    while (emitted_ + 1 < shape_.instructions) emit(IC::IC_0, nullptr);
    BCTMP last(KR_DT_INT, out_.firstTemporary, BCTMP::TMG, BCTMP::L_AREA, elem(KR_DT_INT));
    BCOPD target(data_.back());
    emit(IC::IC_CHAIN_215, &target, &last);
  }

  // One source statement compiles to two to eight instructions.
  void statement() {
    ++line_;
    switch (random_.weighted(shape_.statements)) {
      case 0:
        return conditional();
      case 1:
        return call();
      case 2:
        return timerAndCounter();
      case 3:
        return calendar();
      default:
        assignment();
    }
  }

  static constexpr std::array<IC::INSTR_CODE, 12> kArithmetic = {
      IC::IC_32, IC::IC_36, IC::IC_40, IC::IC_44, IC::IC_48, IC::IC_52,
      IC::IC_56, IC::IC_64, IC::IC_68, IC::IC_72, IC::IC_96, IC::IC_104};

  // a := b op c, through a loaded temporary and a result temporary.
  void assignment() {
    const BCOPD b = source(random_.pick(data_));
    BCTMP loaded = temporary(KR_DT_INT);
    emit(IC::IC_CHAIN_211, &loaded, &b);
    BCTMP result = temporary(KR_DT_INT, random_.below(4) == 0 ? BCTMP::TML : BCTMP::TMG);
    const std::unique_ptr<BCInstructionOp> second = secondSource();
    emit(kArithmetic[random_.below(kArithmetic.size())], &result, &loaded, second.get());
    const BCOPD a = source(random_.pick(data_));
    emit(IC::IC_CHAIN_215, &a, &result);
  }

  // IF a < b THEN ... END_IF, or a jump back to the loop's head.
  void conditional() {
    const BCNUM skip(++label_);
    const BCOPD a = source(random_.pick(data_));
    BCTMP test = temporary(KR_DT_BOOL);
    emit(IC::IC_212, &test, &a, secondSource().get());
    emit(IC::IC_JUMP_200, nullptr, &skip, &test);
    assignment();
    if (random_.below(3) == 0) {
      const BCNUM loop(label_ - 1);
      emit(IC::IC_JUMP, nullptr, &loop);
    }
    emit(IC::IC_LABEL_DEF, nullptr, &skip);
  }

  // FC call: inputs from constants, the call, the output taken by reference.
  void call() {
    const BCOPD input(random_.pick(fcParams_));
    const BCCST value(random_.pick(byClass_[random_.below(9)]));
    emit(IC::IC_CHAIN_215, &input, &value);
    const BCOPD callee(random_.pick(calls_));
    emit(IC::IC_8, nullptr, &callee);
    BCTMP output = temporary(KR_DT_REAL);
    output.setRefrFlag(BCInstructionOp::REFR);
    const BCOPD result = source(random_.pick(data_));
    emit(IC::IC_CHAIN_211, &output, &result);
  }

  void timerAndCounter() {
    const BCOPD timer(random_.pick(timers_));
    const BCCST time(random_.pick(byClass_[3]));
    const BCCST k4time(random_.pick(byClass_[4]));
    emit(IC::IC_120, &timer, &time, &k4time);
    const BCOPD counter(random_.pick(counters_));
    const BCByteConst preset(static_cast<unsigned char>(random_.below(100)));
    const BCCharConst mode(static_cast<unsigned char>('A' + random_.below(26)));
    emit(IC::IC_124, &counter, &preset, &mode);
  }

  void calendar() {
    BCTMP global(KR_DT_DT, ++lastTmp_, BCTMP::TMG, BCTMP::G_AREA);
    const BCCST tod(random_.pick(byClass_[5]));
    const BCCST date(random_.pick(byClass_[6]));
    emit(IC::IC_128, &global, &tod, &date);
    const BCCST dt(random_.pick(byClass_[7]));
    const BCCST text(random_.pick(byClass_[8]));
    emit(IC::IC_132, nullptr, &dt, &text);
    const BCPtrConst pointer;
    const BCAnyConst any;
    const BCBoolConst flag(static_cast<unsigned char>(random_.below(2)));
    emit(IC::IC_140, nullptr, &pointer, &any);
    emit(IC::IC_216, nullptr, &flag);
  }

  GeneratedBlock& out_;
  const BlockShape& shape_;
  BCode& block_;
  Random random_;

  std::vector<KRTypeRef> elementary_, strings_, arrays_, structures_, instances_;
  std::vector<std::uint16_t> calledFCs_;
  std::array<std::vector<BCConstRef>, 9> byClass_;
  std::vector<BCOpRef> data_, fcParams_, timers_, counters_, calls_;
  std::uint32_t emitted_ = 0;
  std::uint32_t lastTmp_ = 0;
  std::uint16_t label_ = 0;
  std::uint32_t line_ = 0;
};

// Whether any flag a build can set is set.
bool buildFailed() {
  return BCode::getError() != BCode::BCODE_OK ||
         BCInstruction::getError() != BCInstruction::BCINSTRUCTION_OK ||
         BCInstructionOp::getError() != BCInstructionOp::BCINSTRUCTIONOP_OK ||
         BCOperand::getError() != BCOperand::BCOPERAND_OK ||
         BCConstant::getError() != BCConstant::BCCONSTANT_OK ||
         KRTypedesc::getError() != KRTypedesc::KRTYPEDESC_OK ||
         BCSSBList::getError() != BCSSBList::BCSSBLIST_OK ||
         BCSSBEntry::getError() != BCSSBEntry::BCSSBENTRY_OK ||
         BCLDEntry::getError() != BCLDEntry::BCLDENTRY_OK ||
         KRSequence<BCSSBEntry*>::error != KRSEQUENCE_OK ||
         KRSequence<BCLDEntry*>::error != KRSEQUENCE_OK;
}

}  // namespace

BlockShape BlockShape::forInstructions(std::uint32_t instructions, std::uint64_t seed) {
  BlockShape s;
  s.seed = seed;
  s.instructions = std::max<std::uint32_t>(instructions, 2);
  const std::uint32_t n = std::max<std::uint32_t>(instructions, 64);
  s.structures = std::max<std::uint32_t>(2, n / 400);
  s.arrays = std::max<std::uint32_t>(2, n / 400);
  s.ownEntries = std::max<std::uint32_t>(12, n / 50);
  s.calledFBs = std::max<std::uint32_t>(1, n / 1000);
  s.calledFCs = std::max<std::uint32_t>(1, n / 1000);
  s.entriesPerCalled = 8;
  s.lddVariables = std::max<std::uint32_t>(8, n / 25);
  s.lsdVariables = std::max<std::uint32_t>(8, n / 50);
  s.constants = std::max<std::uint32_t>(9, n / 10);
  s.operands = std::max<std::uint32_t>(40, n / 5);
  s.viewEvery = 8;
  if (seed == 0) return s;

  SeedMixer mix(seed);
  const auto vary = [&mix](std::uint32_t& count, std::uint32_t least) {
    count = std::max(least, count * mix.in(50, 150) / 100);
  };
  vary(s.structures, 2);
  vary(s.arrays, 2);
  vary(s.ownEntries, 12);
  vary(s.calledFBs, 1);
  vary(s.calledFCs, 1);
  vary(s.lddVariables, 8);
  vary(s.lsdVariables, 8);
  vary(s.constants, 9);
  vary(s.operands, 40);
  s.entriesPerCalled = mix.in(4, 12);
  s.viewEvery = mix.in(3, 16);
  s.otherOperandsEvery = mix.in(2, 8);
  s.shortestString = mix.in(1, 40);
  s.plainNames = false;
  // Below the numbers of the FBs it instantiates (from 100).
  s.blockNo = static_cast<std::uint16_t>(mix.in(1, kFirstCalledFB - 1));
  s.types = {mix.in(1, 4), mix.in(1, 4), mix.in(1, 4), mix.in(3, 12)};
  s.statements = {mix.in(1, 4), mix.in(1, 4), mix.in(1, 4), mix.in(1, 4), mix.in(2, 10)};
  s.sources = {mix.in(1, 3), mix.in(1, 3), mix.in(1, 3), mix.in(1, 3), mix.in(1, 5)};
  return s;
}

bool declareViews(BCode& block, const BlockShape& shape) {
  BCSSB* own = block.getSSBList().lookup(shape.blockNo, KR_FB_KENN);
  if (own == nullptr) return false;
  for (std::uint32_t n = 2; n <= shape.ownEntries; ++n) {
    if (!isOwnView(n, shape)) continue;
    BCSSBEntry* entry = own->lookup(static_cast<std::uint16_t>(n));
    if (entry == nullptr) return false;
    entry->setViewVarNo(static_cast<std::uint16_t>(n - 1));
  }
  for (BCLDList* list : {&block.getLDDList(), &block.getLSDList()}) {
    for (std::uint32_t n = 2; n <= list->getEntryCount(); ++n) {
      if (!isView(n, shape.viewEvery)) continue;
      BCLDEntry* entry = list->lookup(BCLDRef(static_cast<std::uint16_t>(n), list));
      if (entry == nullptr) return false;
      entry->setViewVarNo(static_cast<std::uint16_t>(n - 1));
    }
  }
  return true;
}

GeneratedBlock generateBlock(std::uint32_t instructions, std::uint64_t seed) {
  GeneratedBlock out;
  out.shape = BlockShape::forInstructions(instructions, seed);
  out.block = std::make_unique<BCode>(out.shape.blockNo, KR_FB_KENN);
  if (BCode::getError() != BCode::BCODE_OK) {
    out.block.reset();
    return out;
  }
  if (!Generator(out).run() || buildFailed()) out.block.reset();
  return out;
}

}  // namespace bctool

// The fuzzing harness of one unit: decodes the fuzzer's bytes (call_script.h) into a sequence of
// FMI calls with arbitrary arguments on up to four live instances, calls the unit's exported
// functions (linked statically with its interface layer, model and runtime), and checks what the
// unit promises a master: statuses and messages, never a crash, a hang, a leak or a write outside
// its own records (the sanitizers watch those), and, for the calls whose outcome is certain, the
// right status and untouched result arrays on a refusal.
//
// Built once per unit with FUZZ_MODEL_HEADER and FUZZ_MODEL_TYPE naming the unit's model.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include FUZZ_MODEL_HEADER
#include "fmi/fmi2_abi.h"
#include "fmi/identity.h"
#include "fuzz/call_script.h"
#include "runtime/variable_def.h"

#define FUZZ_DECLARE(name) extern "C" name##TYPE name;
FMI2_FUNCTION_NAMES(FUZZ_DECLARE)
#undef FUZZ_DECLARE

namespace {

using UnitModel = FUZZ_MODEL_TYPE;
using fuzz::fixedStep;

// Work one input may cause: calls decoded, fixed model steps taken in one call and in all.
constexpr int maxCalls = 256;
constexpr double maxStepsPerCall = 500.0;
constexpr double maxStepsPerInput = 2000.0;
// The unit refuses an interval that needs more than 10^8 fixed steps in one call.
constexpr double stepLimitSpan = 1e8 * fixedStep;

[[noreturn]] void fail(const char* what, int line) {
  std::fprintf(stderr, "unit broke a promise (unit_harness.cpp:%d): %s\n", line, what);
  std::abort();
}
#define EXPECT(condition) ((condition) ? (void)0 : fail(#condition, __LINE__))

const runtime::VariableCounts counts = runtime::countVariables(UnitModel::variables());

// Units that act at communication points step from tc to tc + hc in one call (no fixed steps to
// count, any finite interval accepted); units that read or check what their parameters name
// may refuse initialisation.
template <class M>
constexpr bool actsAtCommunicationPoints =
    requires(typename M::Data& d) { M::communicationStep(d, 0.0, 0.0); };
template <class M>
constexpr bool preparesInitialisation =
    requires(typename M::Data& d, const char** note) { M::prepare(d, note); };
constexpr bool communicationPointUnit = actsAtCommunicationPoints<UnitModel>;
constexpr bool preparesAtInitialisation = preparesInitialisation<UnitModel>;

// The resource location an instance normally gets: the unit's own resources where it reads
// them (FUZZ_RESOURCE_LOCATION), else a folder no unit looks into.
#ifdef FUZZ_RESOURCE_LOCATION
constexpr const char* normalLocation = FUZZ_RESOURCE_LOCATION;
#else
constexpr const char* normalLocation = "file:///tmp/resources";
#endif

// What the String variables of a unit that has them are set to.
const char* const stringValues[] = {"wltc", "NEDC", "us06", "", "missing.csv", "README.md",
                                    "/dev/zero", "/", "../cycles/udds.csv", "hwfet.csv"};
constexpr uint8_t numStringValues = sizeof stringValues / sizeof stringValues[0];

const std::string& unitGuid() {
  static const std::string guid = [] {
    char text[fmi::identityStringSize];
    fmi::identityString(UnitModel::info, text);
    return std::string(text);
  }();
  return guid;
}

bool isStatus(fmi2Status s) {
  return s == fmi2OK || s == fmi2Warning || s == fmi2Discard || s == fmi2Error;
}

// The messages of one instance must carry its name, an empty category, a known status and a
// text that fits the unit's message buffer.
struct LoggerContext {
  std::string name;
};

void checkingLogger(fmi2ComponentEnvironment env, fmi2String instanceName, fmi2Status status,
                    fmi2String category, fmi2String message, ...) {
  EXPECT(env != nullptr);
  const auto* context = static_cast<const LoggerContext*>(env);
  EXPECT(instanceName != nullptr && context->name == instanceName);
  EXPECT(isStatus(status));
  EXPECT(category != nullptr && category[0] == '\0');
  EXPECT(message != nullptr && std::strlen(message) < 4096);
}

// One instance the harness's master holds, and what it knows of the instance's model time.
struct Slot {
  fmi2Component component = nullptr;
  LoggerContext logger;  // the instance's componentEnvironment: its address must stay put
  double point = 0.0;    // the master's communication point
  double low = 0.0;      // the model time is at least this
  double high = 0.0;     // and at most this
  bool initialized = false;  // out of initialisation: get calls only read
};

// Keeps one untouched instance alive for the whole run, so that the library's stored default
// parameter record is never the record of a fuzzed instance: every fuzzed instance works on a
// private copy, and no input changes what the next one starts from.
void pinDefaultParameters() {
  static LoggerContext context{"pinned"};
  static const fmi2CallbackFunctions callbacks{checkingLogger, nullptr, nullptr, nullptr,
                                               &context};
  static const fmi2Component pinned =
      fmi2Instantiate("pinned", fmi2CoSimulation, unitGuid().c_str(), normalLocation,
                      &callbacks, fmi2False, fmi2False);
  EXPECT(pinned != nullptr);
}

// The arrays of one variable access, sized to the count passed (or absent).
template <class Value>
struct Access {
  std::vector<fmi2ValueReference> references;
  std::vector<Value> values;
  std::size_t count = 0;
  std::size_t filled = 0;  // values decoded (the arrays may hold one more, never passed as data)
  bool referencesNull = false;
  bool valuesNull = false;
  bool anyInvalid = false;

  const fmi2ValueReference* vr() const { return referencesNull ? nullptr : references.data(); }
  Value* value() { return valuesNull ? nullptr : values.data(); }
  bool arraysMissing() const { return count != 0 && (referencesNull || valuesNull); }
};

class Harness {
 public:
  explicit Harness(fuzz::Reader& in) : in_(in) {}
  ~Harness() {
    for (Slot& s : slots_) {
      if (s.component != nullptr) fmi2FreeInstance(s.component);
    }
  }
  Harness(const Harness&) = delete;
  Harness& operator=(const Harness&) = delete;

  void run() {
    for (int n = 0; n < maxCalls && !in_.done(); ++n) call();
  }

 private:
  using Op = fuzz::Op;

  // Every variable of an instance out of initialisation, as bit patterns (NaNs compare too).
  // Before that a get call recomputes the outputs, which may move a state (a limited one is
  // clamped in place), so reading would itself change what is read.
  static std::vector<uint64_t> snapshot(const Slot& s) {
    std::vector<uint64_t> bits;
    const fmi2Component c = s.component;
    if (c == nullptr || !s.initialized) return bits;
    const std::vector<fmi2ValueReference>& refs = allReferences();
    std::vector<double> reals(counts.reals);
    std::vector<fmi2Integer> integers(counts.integers + counts.booleans);
    EXPECT(fmi2GetReal(c, refs.data(), counts.reals, reals.data()) == fmi2OK);
    EXPECT(fmi2GetInteger(c, refs.data(), counts.integers, integers.data()) == fmi2OK);
    EXPECT(fmi2GetBoolean(c, refs.data(), counts.booleans, integers.data() + counts.integers) ==
           fmi2OK);
    bits.resize(reals.size() + integers.size());
    std::memcpy(bits.data(), reals.data(), reals.size() * sizeof(double));
    for (std::size_t i = 0; i < integers.size(); ++i) {
      bits[reals.size() + i] = static_cast<uint32_t>(integers[i]);
    }
    return bits;
  }

  static const std::vector<fmi2ValueReference>& allReferences() {
    static const std::vector<fmi2ValueReference> refs = [] {
      std::vector<fmi2ValueReference> r(std::max({counts.reals, counts.integers, counts.booleans}));
      for (std::size_t i = 0; i < r.size(); ++i) r[i] = static_cast<fmi2ValueReference>(i);
      return r;
    }();
    return refs;
  }

  // The calls that write into an instance or create, free or advance one.
  static bool changesAnInstance(Op op) {
    switch (op) {
      case Op::instantiate:
      case Op::freeInstance:
      case Op::setup:
      case Op::doStep:
      case Op::setReal:
      case Op::setInteger:
      case Op::setBoolean:
      case Op::setString:
      case Op::enterInitialization:
      case Op::exitInitialization: return true;
      default: return false;
    }
  }

  // One call on one slot; the other live instances must come out of a call that changes an
  // instance unchanged.
  void call() {
    const auto op = static_cast<Op>(in_.byte() % static_cast<uint8_t>(Op::count));
    const int index = in_.byte() % fuzz::slotCount;
    if (!changesAnInstance(op)) {
      perform(op, index);
      return;
    }
    std::vector<uint64_t> others[fuzz::slotCount];
    for (int j = 0; j < fuzz::slotCount; ++j) {
      if (j != index) others[j] = snapshot(slots_[j]);
    }
    perform(op, index);
    for (int j = 0; j < fuzz::slotCount; ++j) {
      if (j != index) EXPECT(snapshot(slots_[j]) == others[j]);
    }
  }

  void perform(Op op, int index) {
    Slot& s = slots_[index];
    fmi2Component c = s.component;
    switch (op) {
      case Op::instantiate: instantiate(s, index); break;
      case Op::freeInstance:
        fmi2FreeInstance(c);
        s.component = nullptr;
        s.initialized = false;
        break;
      case Op::setup: setup(c); break;
      case Op::enterInitialization: expectInitialisation(c, fmi2EnterInitializationMode(c)); break;
      case Op::exitInitialization:
        // A refused exit leaves the instance in initialisation.
        if (expectInitialisation(c, fmi2ExitInitializationMode(c)) == fmi2OK) s.initialized = true;
        break;
      case Op::terminate: expectPlain(c, fmi2Terminate(c)); break;
      case Op::reset: EXPECT(fmi2Reset(c) == fmi2Error); break;
      case Op::doStep: doStep(s); break;
      case Op::setReal: setReal(c); break;
      case Op::getReal: getReal(c); break;
      case Op::setInteger: setInteger(c); break;
      case Op::getInteger: getInteger(c); break;
      case Op::setBoolean: setBoolean(c); break;
      case Op::getBoolean: getBoolean(c); break;
      case Op::setString: setString(c); break;
      case Op::getString: getString(c); break;
      case Op::refusal: refusal(c); break;
      case Op::setDebugLogging: setDebugLogging(c); break;
      case Op::inputDerivatives: inputDerivatives(c); break;
      case Op::outputDerivatives: outputDerivatives(c); break;
      case Op::info:
        EXPECT(std::strcmp(fmi2GetTypesPlatform(), "default") == 0);
        EXPECT(std::strcmp(fmi2GetVersion(), "2.0") == 0);
        break;
      case Op::count: break;
    }
  }

  // A call that only checks the handle.
  static void expectPlain(fmi2Component c, fmi2Status status) {
    EXPECT(status == (c == nullptr ? fmi2Error : fmi2OK));
  }

  // Entering or leaving initialisation: refused only by a unit that checks its parameters then.
  static fmi2Status expectInitialisation(fmi2Component c, fmi2Status status) {
    if (c != nullptr && preparesAtInitialisation) EXPECT(status == fmi2OK || status == fmi2Error);
    else expectPlain(c, status);
    return status;
  }

  // ---- lifecycle ----------------------------------------------------------------------------

  void instantiate(Slot& s, int index) {
    if (s.component != nullptr) fmi2FreeInstance(s.component);
    s = Slot{};
    bool mustFail = false;
    bool certain = true;

    std::string guid = unitGuid();
    bool guidNull = false;
    const uint8_t guidKind = in_.byte();
    if (guidKind >= static_cast<uint8_t>(fuzz::GuidKind::null)) {
      switch (static_cast<fuzz::GuidKind>(guidKind)) {
        case fuzz::GuidKind::null: guidNull = true; break;
        case fuzz::GuidKind::upperCase:
          for (char& ch : guid) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
          break;
        case fuzz::GuidKind::braces: guid = "{" + guid + "}"; break;
        case fuzz::GuidKind::trailing: guid += "0"; break;
        case fuzz::GuidKind::truncated: guid.pop_back(); break;
        default: guid = in_.text(); break;
      }
      if (guidNull || guid != unitGuid()) mustFail = true;
    }

    std::string location;
    bool locationNull = false;
    switch (static_cast<fuzz::LocationKind>(in_.byte() % 8)) {
      case fuzz::LocationKind::normal: location = normalLocation; break;
      case fuzz::LocationKind::windows: location = "file:/C:/sim/resources/"; break;
      case fuzz::LocationKind::null: locationNull = mustFail = true; break;
      case fuzz::LocationKind::empty: mustFail = true; break;
      case fuzz::LocationKind::tooLong:
        location = "file:///" + std::string(300, 'r');
        mustFail = true;
        break;
      case fuzz::LocationKind::percent:
        location = "file:///tmp/x%2";
        mustFail = true;
        break;
      case fuzz::LocationKind::noSlash:
        location = "file://host/x";
        mustFail = true;
        break;
      case fuzz::LocationKind::text:
        location = in_.text();
        certain = false;
        break;
    }

    bool nameNull = false;
    switch (static_cast<fuzz::NameKind>(in_.byte() % 4)) {
      case fuzz::NameKind::normal: s.logger.name = "unit" + std::to_string(index); break;
      case fuzz::NameKind::null: nameNull = mustFail = true; break;
      case fuzz::NameKind::longName: s.logger.name = std::string(6000, 'n'); break;
      case fuzz::NameKind::text: s.logger.name = in_.text(); break;
    }

    const fmi2CallbackFunctions callbacks{checkingLogger, nullptr, nullptr, nullptr, &s.logger};
    const fmi2CallbackFunctions noLogger{nullptr, nullptr, nullptr, nullptr, &s.logger};
    const fmi2CallbackFunctions* functions = &callbacks;
    switch (in_.byte() % 4) {
      case 1: functions = nullptr; break;
      case 2: functions = &noLogger; break;
      default: break;
    }
    if (functions != &callbacks) mustFail = true;

    const uint8_t flags = in_.byte();
    const fmi2Type type = (flags & 1) != 0 ? fmi2ModelExchange : fmi2CoSimulation;
    const fmi2Boolean visible = (flags >> 1) & 1;
    const fmi2Boolean loggingOn = (flags & 4) != 0 ? fmi2True : fmi2False;

    s.component = fmi2Instantiate(nameNull ? nullptr : s.logger.name.c_str(), type,
                                  guidNull ? nullptr : guid.c_str(),
                                  locationNull ? nullptr : location.c_str(), functions, visible,
                                  loggingOn);
    if (mustFail) EXPECT(s.component == nullptr);
    else if (certain) EXPECT(s.component != nullptr);
  }

  void setup(fmi2Component c) {
    const fmi2Boolean toleranceDefined = in_.byte() & 1;
    const double tolerance = in_.real();
    const double startTime = in_.real();
    const fmi2Boolean stopTimeDefined = in_.byte() & 1;
    const double stopTime = in_.real();
    const fmi2Status status =
        fmi2SetupExperiment(c, toleranceDefined, tolerance, startTime, stopTimeDefined, stopTime);
    const bool refused =
        c == nullptr || !(startTime == 0.0) || (stopTimeDefined != 0 && stopTime < 0.0);
    EXPECT(status == (refused ? fmi2Error : fmi2OK));
  }

  // ---- communication step -------------------------------------------------------------------

  double point(const Slot& s) {
    switch (static_cast<fuzz::PointKind>(in_.byte() % 4)) {
      case fuzz::PointKind::current: return s.point;
      case fuzz::PointKind::zero: return 0.0;
      case fuzz::PointKind::any: return in_.real();
      case fuzz::PointKind::offset: break;
    }
    return s.point + in_.real();
  }

  // An upper bound of the fixed steps a call ending at `end` takes (the model time is at least
  // s.low, the carry less than one step).
  static double stepsBound(const Slot& s, double end) {
    if (!std::isfinite(end)) return 0.0;
    return std::fmax(0.0, (end - s.low) / fixedStep + 4.0);
  }

  void doStep(Slot& s) {
    const double tc = point(s);
    double hc = in_.real();
    const fmi2Boolean noPrior = in_.byte() & 1;
    if (s.component == nullptr) {
      EXPECT(fmi2DoStep(nullptr, tc, hc, noPrior) == fmi2Error);
      return;
    }
    // Refused for certain: an end at +infinity, or one so far beyond the next model step (which
    // ends at most one step after s.high) that even the most favourable carry needs more than
    // 10^8 steps. The unit must refuse these without stepping, so they cost nothing.
    double end = tc + hc;
    const bool tooLong = end - (s.high + 2.0 * fixedStep) >= stepLimitSpan + 1.0;
    double steps = 0.0;
    if (!tooLong) {
      // Keep the work of one input bounded: shorten an interval that would take too many steps.
      const double allowed = std::fmin(maxStepsPerCall, budget_);
      steps = stepsBound(s, end);
      if (steps > allowed) {
        hc = (s.low + (allowed - 8.0) * fixedStep) - tc;
        end = tc + hc;
        steps = stepsBound(s, end);
        if (!(steps <= allowed) || end - (s.high + 2.0 * fixedStep) >= stepLimitSpan + 1.0) {
          return;
        }
      }
    }
    const fmi2Status status = fmi2DoStep(s.component, tc, hc, noPrior);
    EXPECT(isStatus(status));
    if (communicationPointUnit ? !std::isfinite(end) : tooLong) EXPECT(status == fmi2Error);
    if (status == fmi2Error) return;  // a refusal: nothing was stepped
    EXPECT(status == fmi2OK);         // no model asks to stop
    budget_ -= steps;
    if (std::isfinite(end)) {
      // The model stops within one step (plus the carry) of the end.
      const double slack = 1e-9 + std::fabs(end) * 1e-12;
      s.low = std::fmax(s.low, end - 2.0 * fixedStep - slack);
      s.high = std::fmax(s.high, end + fixedStep + slack);
      s.point = end;
    }
  }

  // ---- variable access ----------------------------------------------------------------------

  fmi2ValueReference reference(uint32_t typeCount) {
    const uint8_t s = in_.byte();
    const uint32_t index = s / 8u;
    // With no variables of the type, every reference is invalid.
    auto modulo = [typeCount](uint32_t i) { return typeCount == 0 ? i : i % typeCount; };
    switch (static_cast<fuzz::ReferenceKind>(s % 8)) {
      case fuzz::ReferenceKind::first0:
      case fuzz::ReferenceKind::first1: return modulo(index);
      case fuzz::ReferenceKind::last:
        return typeCount == 0 ? index : typeCount - 1 - modulo(index);
      case fuzz::ReferenceKind::any0:
      case fuzz::ReferenceKind::any1: return modulo(in_.u16());
      case fuzz::ReferenceKind::onePastLast: return typeCount;
      case fuzz::ReferenceKind::huge: return std::numeric_limits<fmi2ValueReference>::max();
      case fuzz::ReferenceKind::raw: break;
    }
    return in_.u32();
  }

  // Decodes the count and the value references of one access; the values are filled with
  // `fill` (the values to write, or a sentinel that a refused get must leave in place).
  template <class Value, class Fill>
  Access<Value> access(uint32_t typeCount, Fill fill) {
    Access<Value> a;
    std::size_t arrays = 0;
    switch (static_cast<fuzz::CountKind>(in_.byte() % 8)) {
      case fuzz::CountKind::none:
        a.referencesNull = a.valuesNull = true;
        break;
      case fuzz::CountKind::small: arrays = a.count = 1 + in_.byte() % 8; break;
      case fuzz::CountKind::medium: arrays = a.count = 1 + in_.u16() % 1024; break;
      case fuzz::CountKind::nullReferences:
        a.count = fuzz::hugeCounts[in_.byte() % 4];
        a.referencesNull = true;
        a.valuesNull = (in_.byte() & 1) != 0;
        break;
      case fuzz::CountKind::nullValues:
        // vr holds one element only: the unit must refuse the missing values before it reads vr.
        a.count = fuzz::hugeCounts[in_.byte() % 4];
        a.references.push_back(0);
        a.valuesNull = true;
        break;
      case fuzz::CountKind::one: arrays = a.count = 1; break;
      case fuzz::CountKind::two: arrays = a.count = 2; break;
      case fuzz::CountKind::three: arrays = a.count = 3; break;
    }
    for (std::size_t i = 0; i < arrays; ++i) {
      const fmi2ValueReference vr = reference(typeCount);
      a.anyInvalid = a.anyInvalid || vr >= typeCount;
      a.references.push_back(vr);
      a.values.push_back(fill());
    }
    a.filled = arrays;
    // An empty vector's data() may be null; an array the harness means to pass must not be.
    if (a.references.empty()) a.references.push_back(0);
    if (a.values.empty()) a.values.push_back(Value{});
    return a;
  }

  // What a set call must return: refused when an array is missing or a reference is invalid;
  // otherwise fmi2OK, except where the model's guard may refuse an integer value.
  template <class Value>
  static void expectSet(fmi2Component c, const Access<Value>& a, fmi2Status status,
                        bool mayRefuseValues) {
    if (c == nullptr || a.arraysMissing() || a.anyInvalid) {
      EXPECT(status == fmi2Error);
    } else if (mayRefuseValues) {
      EXPECT(status == fmi2OK || status == fmi2Error);
    } else {
      EXPECT(status == fmi2OK);
    }
  }

  // What a get call must return; a refused get leaves the sentinel values in place.
  template <class Value>
  static void expectGet(fmi2Component c, const Access<Value>& a, fmi2Status status,
                        Value sentinel) {
    if (c == nullptr || a.arraysMissing() || a.anyInvalid) {
      EXPECT(status == fmi2Error);
      for (std::size_t i = 0; i < a.filled; ++i) {
        EXPECT(std::memcmp(&a.values[i], &sentinel, sizeof sentinel) == 0);
      }
    } else {
      EXPECT(status == fmi2OK);
    }
  }

  fmi2Integer integerValue() {
    switch (in_.byte() % 4) {
      case 0: return in_.byte();
      case 1: return static_cast<fmi2Integer>(in_.u32());
      case 2: return -1;
      default: break;
    }
    return (in_.byte() & 1) != 0 ? std::numeric_limits<fmi2Integer>::max()
                                 : std::numeric_limits<fmi2Integer>::min();
  }

  fmi2Boolean booleanValue() {
    switch (in_.byte() % 4) {
      case 0: return fmi2False;
      case 1: return fmi2True;
      case 2: return -1;
      default: break;
    }
    return static_cast<fmi2Boolean>(in_.u32());
  }

  static constexpr double realSentinel = -123456.789;
  static constexpr fmi2Integer integerSentinel = 0x5A5A5A5A;

  void setReal(fmi2Component c) {
    auto a = access<fmi2Real>(counts.reals, [this] { return in_.real(); });
    expectSet(c, a, fmi2SetReal(c, a.vr(), a.count, a.value()), false);
  }
  void getReal(fmi2Component c) {
    auto a = access<fmi2Real>(counts.reals, [] { return realSentinel; });
    expectGet(c, a, fmi2GetReal(c, a.vr(), a.count, a.value()), realSentinel);
  }
  void setInteger(fmi2Component c) {
    auto a = access<fmi2Integer>(counts.integers, [this] { return integerValue(); });
    expectSet(c, a, fmi2SetInteger(c, a.vr(), a.count, a.value()), true);
  }
  void getInteger(fmi2Component c) {
    auto a = access<fmi2Integer>(counts.integers, [] { return integerSentinel; });
    expectGet(c, a, fmi2GetInteger(c, a.vr(), a.count, a.value()), integerSentinel);
  }
  void setBoolean(fmi2Component c) {
    auto a = access<fmi2Boolean>(counts.booleans, [this] { return booleanValue(); });
    expectSet(c, a, fmi2SetBoolean(c, a.vr(), a.count, a.value()), false);
  }
  void getBoolean(fmi2Component c) {
    auto a = access<fmi2Boolean>(counts.booleans, [] { return integerSentinel; });
    const fmi2Status status = fmi2GetBoolean(c, a.vr(), a.count, a.value());
    expectGet(c, a, status, integerSentinel);
    if (status == fmi2OK && !a.valuesNull) {
      for (std::size_t i = 0; i < a.count; ++i) {
        EXPECT(a.values[i] == fmi2True || a.values[i] == fmi2False);
      }
    }
  }

  // A unit without String variables refuses every access with values; one with them moves the
  // texts like any other type (a set may refuse a text it cannot store).
  void setString(fmi2Component c) {
    auto a = access<fmi2String>(counts.strings, [this]() -> fmi2String {
      const uint8_t s = in_.byte();
      if (s == 0xFF) return nullptr;
      if (s == 0xFE) return longText().c_str();
      return stringValues[s % numStringValues];
    });
    const fmi2Status status = fmi2SetString(c, a.vr(), a.count, a.value());
    if (counts.strings != 0) {
      expectSet(c, a, status, true);
    } else {
      EXPECT(status == (c != nullptr && a.count == 0 ? fmi2OK : fmi2Error));
    }
  }
  void getString(fmi2Component c) {
    static const char* const sentinel = "sentinel";
    auto a = access<fmi2String>(counts.strings, [] { return sentinel; });
    if (counts.strings != 0) {
      const fmi2Status status = fmi2GetString(c, a.vr(), a.count, a.value());
      expectGet(c, a, status, sentinel);
      if (status == fmi2OK && !a.valuesNull) {
        for (std::size_t i = 0; i < a.count; ++i) EXPECT(a.values[i] != nullptr);
      }
      return;
    }
    // The unit fills as many strings as the count says, whatever vr holds.
    a.valuesNull = a.valuesNull || a.count > a.values.size();
    const fmi2Status status = fmi2GetString(c, a.vr(), a.count, a.value());
    EXPECT(status == (c != nullptr && a.count == 0 ? fmi2OK : fmi2Error));
    if (c != nullptr && !a.valuesNull) {
      for (std::size_t i = 0; i < a.count; ++i) {
        EXPECT(a.values[i] != nullptr && a.values[i][0] == '\0');
      }
    }
  }

  // A text longer than any String variable holds.
  static const std::string& longText() {
    static const std::string text(5000, 'c');
    return text;
  }

  // ---- refusals and the rest ----------------------------------------------------------------

  // Each refusal returns fmi2Error and writes nothing of what the master passed.
  void refusal(fmi2Component c) {
    int marker = 0;
    fmi2FMUstate state = &marker;
    std::size_t size = 77;
    fmi2Byte buffer[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const fmi2Byte original[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    fmi2Status queried = fmi2Pending;
    double real = realSentinel;
    fmi2Integer integer = integerSentinel;
    fmi2String text = "sentinel";
    const fmi2String originalText = text;
    double derivatives[4] = {realSentinel, realSentinel, realSentinel, realSentinel};
    const fmi2ValueReference refs[4] = {0, 1, 2, 3};
    const double seed[4] = {1.0, 1.0, 1.0, 1.0};
    const auto kind = static_cast<fmi2StatusKind>(in_.byte() % 4);
    const std::size_t n = in_.byte() % 5;
    fmi2Status status = fmi2OK;
    switch (in_.byte() % 13) {
      case 0: status = fmi2GetFMUstate(c, &state); break;
      case 1: status = fmi2SetFMUstate(c, state); break;
      case 2: status = fmi2FreeFMUstate(c, &state); break;
      case 3: status = fmi2SerializedFMUstateSize(c, state, &size); break;
      case 4: status = fmi2SerializeFMUstate(c, state, buffer, sizeof buffer); break;
      case 5: status = fmi2DeSerializeFMUstate(c, buffer, sizeof buffer, &state); break;
      case 6:
        status = fmi2GetDirectionalDerivative(c, refs, n, refs, n, seed, derivatives);
        break;
      case 7: status = fmi2CancelStep(c); break;
      case 8: status = fmi2GetStatus(c, kind, &queried); break;
      case 9: status = fmi2GetRealStatus(c, kind, &real); break;
      case 10: status = fmi2GetIntegerStatus(c, kind, &integer); break;
      case 11: status = fmi2GetBooleanStatus(c, kind, &integer); break;
      default: status = fmi2GetStringStatus(c, kind, &text); break;
    }
    EXPECT(status == fmi2Error);
    EXPECT(state == &marker && size == 77 && std::memcmp(buffer, original, sizeof buffer) == 0);
    EXPECT(queried == fmi2Pending && real == realSentinel && integer == integerSentinel);
    EXPECT(text == originalText);
    for (double d : derivatives) EXPECT(d == realSentinel);
  }

  void setDebugLogging(fmi2Component c) {
    const fmi2Boolean loggingOn = static_cast<fmi2Boolean>(in_.byte() % 3);
    const fmi2String categories[] = {"logAll", "logError"};
    std::size_t n = 0;
    const fmi2String* list = nullptr;
    switch (in_.byte() % 4) {
      case 1: n = 2; list = categories; break;
      case 2: n = fuzz::hugeCounts[in_.byte() % 4]; break;  // categories are never read
      default: break;
    }
    const fmi2Status status = fmi2SetDebugLogging(c, loggingOn, n, list);
    EXPECT(status == (c != nullptr && n == 0 ? fmi2OK : fmi2Error));
  }

  void inputDerivatives(fmi2Component c) {
    const std::size_t n = in_.byte() % 4;
    const fmi2ValueReference refs[3] = {0, reference(counts.reals), reference(counts.reals)};
    const fmi2Integer orders[3] = {1, 1, 2};
    const double values[3] = {1.0, 2.0, 3.0};
    const bool nullArrays = n == 3;  // 3: a huge count with NULL arrays, never read
    const fmi2Status status =
        nullArrays ? fmi2SetRealInputDerivatives(c, nullptr, fuzz::hugeCounts[0], nullptr, nullptr)
                   : fmi2SetRealInputDerivatives(c, refs, n, orders, values);
    if (c == nullptr) EXPECT(status == fmi2Error);
    else EXPECT(status == (n == 0 ? fmi2OK : fmi2Warning));
  }

  void outputDerivatives(fmi2Component c) {
    auto a = access<fmi2Real>(counts.reals, [] { return realSentinel; });
    // The unit writes as many zeros as the count says, whatever vr holds.
    a.valuesNull = a.valuesNull || a.count > a.values.size();
    const fmi2Integer orders[1] = {1};
    const fmi2Status status = fmi2GetRealOutputDerivatives(c, a.vr(), a.count, orders, a.value());
    const std::vector<fmi2Real>& values = a.values;
    if (c == nullptr || (a.count != 0 && a.valuesNull)) {
      EXPECT(status == fmi2Error);
    } else {
      EXPECT(status == fmi2OK);
      for (std::size_t i = 0; i < a.count; ++i) EXPECT(values[i] == 0.0);
    }
  }

  fuzz::Reader& in_;
  Slot slots_[fuzz::slotCount];
  double budget_ = maxStepsPerInput;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  pinDefaultParameters();
  fuzz::Reader in(data, size);
  Harness harness(in);
  harness.run();
  return 0;
}

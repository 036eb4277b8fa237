// The plan every model is built to. A model supplies its records, its stored parameter defaults,
// its equations and its value-reference table as a model description type M:
//
//   struct Model : runtime::ModelBase<Model, ModelParameters, BlockSignals, ExternalInputs,
//                                     ExternalOutputs, WorkStates> {   // runtime/model_base.h
//     static constexpr int32_t numContinuousStates = ...;
//     static constexpr runtime::ModelInfo info = {...};
//     static constexpr const char* description = "...";
//     static ModelParameters& defaultParameters();                // the library's stored record
//     static std::span<const runtime::VariableDef> variables();  // in value-reference order
//     static void initializeModel(Data&);                        // Data: runtime::ModelData<Model>
//     static void computeOutputs(Data&);                         // after the major-step prologue
//     static void computeDerivatives(Data&);
//     // optional, each replacing the base's default:
//     static constexpr int32_t numTriggerStates = ...;           // edge memories (default 0)
//     static void fixUpParameters(ModelParameters&);             // after initializeNonFinites
//     static void updateDiscreteStates(Data&);                   // before the integration
//     static void startInputs(ExternalInputs&);                  // inputs that do not start at 0
//     // why writing `value` to integer reference `vr` would break a lookup, or null; `current`
//     // holds the other elements as the set call leaves them
//     static const char* integerWriteError(const ModelParameters& current, uint32_t vr,
//                                          uint32_t value);
//     // what is wrong with a value above the declared maximum of integer parameter `vr`, in the
//     // model's own terms (default: the value is above the largest one the table allows)
//     static const char* integerAboveMaximum(uint32_t vr);
//     // a model that acts at communication points (no continuous states) supplies instead of
//     // fixed steps (see ModelInterface):
//     static const char* communicationStep(Data&, double tc, double hc);
//     // and, as it needs them:
//     static const char* prepare(Data&, const char** note);
//     static void setResourceFolder(Data&, const char* folder);
//     static void releaseWork(WorkStates&);                      // before the records are freed
//     static constexpr bool outputsFollowInputs = true;
//   };
//
// and everything else (creation and release of the instance, the timing rules, the integration
// step, the value-reference table and the table of model operations) comes from here.
#pragma once

#include <cstdlib>
#include <cstring>
#include <span>

#include "runtime/model_data.h"
#include "runtime/model_interface.h"
#include "runtime/numerics.h"
#include "runtime/ode8.h"
#include "runtime/sim_model.h"
#include "runtime/variable_def.h"
#include "runtime/variable_table.h"

namespace runtime {

// The model-independent entries of the table of model operations.
namespace entries {
void destroyIntegrationData(SimModel*);
double getStartTime(SimModel* m);
void setFinalTime(SimModel* m, double t);
void initializeSizes(SimModel* m);
void initializeSampleTimes(SimModel* m);
void createIntegrationData(SimModel*);
const char* getErrorStatus(SimModel* m);
void setSolverName(SimModel* m, const char* name);
void initializeModel(SimModel* m);
double getNextSampleHitTime(SimModel*);
void setSolverStopTime(SimModel* m, double t);
void computeOutputs(SimModel* m, int32_t taskId);
void terminateModel(SimModel* m);
uint8_t getStopRequested(SimModel* m);
int32_t* getSampleHits(SimModel* m);
int32_t getNumSampleTimes(SimModel* m);
void updateStates(SimModel* m, int32_t taskId);
double getSampleTime(SimModel* m, int32_t taskId);
void updateContinuousStates(SimModel*);
void setTime(SimModel* m, double t);
double getSolverStopTime(SimModel* m);
double getStepEndTime(SimModel* m);
int32_t registerSimulationData(ModelInterface* mi);
void emptyRoutine(SimModel*);
}  // namespace entries

// Set once the library's stored default parameter record is in use by an instance; never cleared.
template <class M>
inline int32_t defaultParametersInUse = 0;

template <class M>
void modelComputeOutputs(SimModel* m, int32_t /*taskId*/) {
  majorStepPrologue(*m);
  typename M::Data d(*m);
  M::computeOutputs(d);
}

template <class M>
void modelUpdateStates(SimModel* m, int32_t /*taskId*/) {
  {
    typename M::Data d(*m);
    M::updateDiscreteStates(d);
  }
  if constexpr (M::numContinuousStates > 0) {
    if (m->majorTimeStep == 1) ode8Step<M>(*m->integrator, *m);
  }
  advanceClock(*m);
}

template <class M>
void modelInitializeModel(SimModel* m) {
  typename M::Data d(*m);
  M::initializeModel(d);
}

template <class M>
void modelTerminateModel(SimModel* m) {
  auto release = [](auto*& p) {
    std::free(p);
    p = nullptr;
  };
  if constexpr (requires(typename M::WorkStates& w) { M::releaseWork(w); }) {
    if (m->workStates != nullptr) M::releaseWork(*static_cast<typename M::WorkStates*>(m->workStates));
  }
  release(m->integrator);
  release(m->blockSignals);
  release(m->continuousStates);
  release(m->inputs);
  release(m->outputs);
  if (m->ownsParameters == 1) release(m->parameters);
  release(m->workStates);
  release(m->triggerStates);
  std::free(m);
}

template <class M>
SimModel* createModel() {
  constexpr int32_t n = M::numContinuousStates;
  constexpr std::size_t vectorBytes = sizeof(double) * ode8Vectors * n;
  void* block = std::calloc(1, sizeof(SimModel) + vectorBytes);
  if (block == nullptr) return nullptr;
  auto* m = static_cast<SimModel*>(block);

  bool failed = false;
  auto allocate = [&failed](std::size_t bytes) -> void* {
    void* p = failed ? nullptr : std::calloc(1, bytes);
    if (p == nullptr) failed = true;
    return p;
  };

  auto* integrator = static_cast<IntegratorInfo*>(allocate(sizeof(IntegratorInfo)));
  m->integrator = integrator;
  if (integrator != nullptr) {
    integrator->majorTimeStepPtr = &m->majorTimeStep;
    integrator->taskTimesPtr = &m->taskTimes;
    integrator->stepSizePtr = &m->stepSize0;
    integrator->stateDerivativesPtr = &m->stateDerivatives;
    integrator->continuousStatesPtr = &m->continuousStates;
    integrator->solverName = "ode8";
  }
  m->blockSignals = allocate(sizeof(typename M::BlockSignals));

  using Parameters = typename M::ModelParameters;
  Parameters& stored = M::defaultParameters();
  if (defaultParametersInUse<M> == 1) {
    auto* copy = static_cast<Parameters*>(allocate(sizeof(Parameters)));
    if (copy != nullptr) std::memcpy(static_cast<void*>(copy), &stored, sizeof(Parameters));
    m->parameters = copy;
    m->ownsParameters = 1;
  } else {
    m->parameters = &stored;
    m->ownsParameters = 0;
    defaultParametersInUse<M> = 1;
  }

  if constexpr (n > 0) m->continuousStates = static_cast<double*>(allocate(sizeof(double) * n));
  m->workStates = allocate(sizeof(typename M::WorkStates));
  m->inputs = allocate(sizeof(typename M::ExternalInputs));
  m->outputs = allocate(sizeof(typename M::ExternalOutputs));
  if (m->inputs != nullptr) M::startInputs(*static_cast<typename M::ExternalInputs*>(m->inputs));
  if constexpr (M::numTriggerStates > 0) {
    m->triggerStates = static_cast<uint8_t*>(allocate(M::numTriggerStates));
    if (m->triggerStates != nullptr) std::memset(m->triggerStates, 3, M::numTriggerStates);
  }

  m->methods = ModelMethods{m,
                            &entries::emptyRoutine,
                            &entries::emptyRoutine,
                            &modelInitializeModel<M>,
                            &modelComputeOutputs<M>,
                            &modelUpdateStates<M>,
                            &modelTerminateModel<M>};

  initializeNonFinites(sizeof(double));
  if (m->parameters != nullptr) M::fixUpParameters(*static_cast<Parameters*>(m->parameters));

  m->majorTimeStep = 1;
  m->integrationVectors = reinterpret_cast<double*>(static_cast<unsigned char*>(block) + sizeof(SimModel));
  m->integrationData.delta = m->integrationVectors;
  for (int i = 0; i < ode8Stages; ++i) {
    m->integrationData.stageDerivatives[i] = m->integrationVectors + n * (i + 1);
  }
  m->integrationData.initialState = m->integrationVectors + n * (ode8Stages + 1);
  if (integrator != nullptr) integrator->integrationDataPtr = &m->integrationData;

  m->sampleTimes = m->sampleTimesStorage;
  m->sampleHits = m->sampleHitsStorage;
  m->taskTimes = m->taskTimesStorage;
  m->sampleTimes[0] = 0.0;
  m->sampleTimes[1] = fixedStepSize;
  m->taskTimes[0] = 0.0;
  m->taskTimes[1] = 0.0;
  m->sampleHits[0] = 1;
  m->sampleHits[1] = 1;
  m->stepSize0 = fixedStepSize;
  m->finalTime = 500.0;
  if (integrator != nullptr) integrator->fixedStepSize = fixedStepSize;

  m->numContinuousStates = n;
  m->numSampleTimes = numSampleTimes;
  if (failed) m->errorStatus = memoryAllocationError;
  return m;
}

// Fills the value-reference arrays from the model's definition table. A model whose creation
// failed has records missing and gets no table: the instance cannot be used.
template <class M>
int32_t buildVariableTable(SimModel* m, VariableTable* table) {
  table->integers = nullptr;
  table->booleans = nullptr;
  table->strings = nullptr;
  table->numStrings = 0;
  if (m->errorStatus != nullptr) return 0;
  const std::span<const VariableDef> defs = M::variables();
  const VariableCounts counts = countVariables(defs);
  VariableEntry** arrays[] = {&table->reals, &table->integers, &table->booleans, &table->strings};
  const uint32_t sizes[] = {counts.reals, counts.integers, counts.booleans, counts.strings};
  for (int t = 0; t < 4; ++t) {
    *arrays[t] = nullptr;
    if (sizes[t] == 0) continue;
    *arrays[t] = static_cast<VariableEntry*>(std::calloc(sizes[t], sizeof(VariableEntry)));
    if (*arrays[t] == nullptr) return 0;
  }
  table->numReals = counts.reals;
  table->numIntegers = counts.integers;
  table->numBooleans = counts.booleans;
  table->numStrings = counts.strings;

  forEachScalar(defs, [&](const VariableDef& d, uint32_t e, uint32_t vr) {
    void* record = d.causality == Causality::input       ? m->inputs
                   : d.causality == Causality::parameter ? m->parameters
                                                         : m->outputs;
    VariableEntry& entry = (*arrays[static_cast<int>(baseTypeOf(d.dataType))])[vr];
    entry.address = static_cast<unsigned char*>(record) + d.offset + e * storageSizeOf(d.dataType);
    entry.dataType = d.dataType;
    entry.parameter = d.causality == Causality::parameter ? 1 : 0;
  });
  return 1;
}

// The definition holding integer value reference vr, and the element of it that vr names.
template <class M>
const VariableDef* integerDefinition(uint32_t vr, uint32_t& element) {
  const VariableDef* found = nullptr;
  forEachScalar(M::variables(), [&](const VariableDef& d, uint32_t e, uint32_t reference) {
    if (found == nullptr && baseTypeOf(d.dataType) == BaseType::integer && reference == vr) {
      found = &d;
      element = e;
    }
  });
  return found;
}

// The largest value a write may store in integer value reference vr; only parameters are
// limited.
template <class M>
uint32_t integerMaximum(uint32_t vr) {
  uint32_t element = 0;
  const VariableDef* d = integerDefinition<M>(vr, element);
  return d != nullptr && d->causality == Causality::parameter ? d->maxValue : noIntegerLimit;
}

// Why a value above the declared maximum of integer reference vr is refused.
template <class M>
const char* integerAboveMaximumReason(uint32_t vr) {
  if constexpr (requires { M::integerAboveMaximum(0u); }) {
    return M::integerAboveMaximum(vr);
  } else {
    return "the value is above the largest one the table allows";
  }
}

// Judges every write of one set call before any is made, in two passes. First each value
// against its element's declared maximum: the first element outside it is refused. Then the
// model's rule, which ties elements of one map together (a stride with the other stride, a last
// index with the other last index): it sees the parameter record as the whole call would leave
// it, so each value is judged with the final values of the other elements the call writes and the
// current values of the rest, and the first element whose combination leaves a table is refused.
// (A reference written twice in one call has each of its values judged that way.)
template <class M>
const char* checkIntegerWrites(SimModel* m, const uint32_t* vr, const int32_t* value,
                               std::size_t count, std::size_t* refused) {
  for (std::size_t i = 0; i < count; ++i) {
    if (static_cast<uint32_t>(value[i]) > integerMaximum<M>(vr[i])) {
      *refused = i;
      return integerAboveMaximumReason<M>(vr[i]);
    }
  }
  using Parameters = typename M::ModelParameters;
  if constexpr (requires(const Parameters& p) { M::integerWriteError(p, 0u, 0u); }) {
    if (count == 0) return nullptr;
    Parameters after;
    std::memcpy(static_cast<void*>(&after), m->parameters, sizeof(Parameters));
    for (std::size_t i = 0; i < count; ++i) {
      uint32_t element = 0;
      const VariableDef* d = integerDefinition<M>(vr[i], element);
      if (d == nullptr || d->causality != Causality::parameter) continue;
      std::memcpy(reinterpret_cast<unsigned char*>(&after) + d->offset + element * sizeof(uint32_t),
                  &value[i], sizeof(uint32_t));
    }
    for (std::size_t i = 0; i < count; ++i) {
      const char* reason = M::integerWriteError(after, vr[i], static_cast<uint32_t>(value[i]));
      if (reason != nullptr) {
        *refused = i;
        return reason;
      }
    }
  }
  return nullptr;
}

// The entries of a model that acts at communication points; null for the others.
template <class M>
const char* modelCommunicationStep(SimModel* m, double tc, double hc) {
  typename M::Data d(*m);
  return M::communicationStep(d, tc, hc);
}

template <class M>
const char* modelPrepare(SimModel* m, const char** note) {
  typename M::Data d(*m);
  return M::prepare(d, note);
}

template <class M>
void modelSetResourceFolder(SimModel* m, const char* folder) {
  typename M::Data d(*m);
  M::setResourceFolder(d, folder);
}

template <class M>
void registerCommunicationPointEntries(ModelInterface* mi) {
  using D = typename M::Data;
  mi->setResourceFolder = nullptr;
  mi->prepare = nullptr;
  mi->communicationStep = nullptr;
  mi->outputsFollowInputs = 0;
  if constexpr (requires(D& d) { M::communicationStep(d, 0.0, 0.0); }) {
    static_assert(M::numContinuousStates == 0, "a model with states takes fixed steps");
    mi->communicationStep = &modelCommunicationStep<M>;
  }
  if constexpr (requires(D& d, const char** note) { M::prepare(d, note); }) {
    mi->prepare = &modelPrepare<M>;
  }
  if constexpr (requires(D& d) { M::setResourceFolder(d, ""); }) {
    mi->setResourceFolder = &modelSetResourceFolder<M>;
  }
  if constexpr (requires { M::outputsFollowInputs; }) {
    mi->outputsFollowInputs = M::outputsFollowInputs ? 1 : 0;
  }
}

template <class M>
void fillModelInfo(ModelInfo* info) {
  *info = M::info;
}

template <class M>
int32_t registerFunctions(ModelInterface* mi) {
  mi->destroyIntegrationData = &entries::destroyIntegrationData;
  mi->getStartTime = &entries::getStartTime;
  mi->setFinalTime = &entries::setFinalTime;
  mi->initializeSizes = &entries::initializeSizes;
  mi->initializeSampleTimes = &entries::initializeSampleTimes;
  mi->createIntegrationData = &entries::createIntegrationData;
  mi->getErrorStatus = &entries::getErrorStatus;
  mi->setSolverName = &entries::setSolverName;
  mi->initializeModel = &entries::initializeModel;
  mi->getNextSampleHitTime = &entries::getNextSampleHitTime;
  mi->setSolverStopTime = &entries::setSolverStopTime;
  mi->computeOutputs = &entries::computeOutputs;
  mi->terminateModel = &entries::terminateModel;
  mi->getStopRequested = &entries::getStopRequested;
  mi->getSampleHits = &entries::getSampleHits;
  mi->getNumSampleTimes = &entries::getNumSampleTimes;
  mi->updateStates = &entries::updateStates;
  mi->getSampleTime = &entries::getSampleTime;
  mi->updateContinuousStates = &entries::updateContinuousStates;
  mi->setTime = &entries::setTime;
  mi->getSolverStopTime = &entries::getSolverStopTime;
  mi->getStepEndTime = &entries::getStepEndTime;
  mi->initializeNonFinites = &initializeNonFinites;
  mi->createModel = &createModel<M>;
  mi->registerSimulationData = &entries::registerSimulationData;
  mi->readReal = &readReal;
  mi->readInteger = &readInteger;
  mi->readBoolean = &readBoolean;
  mi->writeReal = &writeReal;
  mi->writeInteger = &writeInteger;
  mi->writeBoolean = &writeBoolean;
  mi->buildVariableTable = &buildVariableTable<M>;
  mi->freeVariableTable = &freeVariableTable;
  mi->checkIntegerWrites = &checkIntegerWrites<M>;
  mi->readString = &readString;
  mi->writeString = &writeString;
  registerCommunicationPointEntries<M>(mi);
  return 1;
}

}  // namespace runtime

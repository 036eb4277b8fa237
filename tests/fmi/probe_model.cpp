#include "tests/fmi/probe_model.h"

#include <cstdlib>

#include "fmi/identity.h"
#include "fmi/unit_model.h"
#include "models/chassis/chassis_model.h"
#include "runtime/model_plan.h"

namespace probe {

Faults faults;
Calls calls;
ExtraStorage extra;
std::vector<Message> messages;

namespace {

using Model = chassis::Model;

void logger(fmi2ComponentEnvironment, fmi2String, fmi2Status status, fmi2String,
            fmi2String message, ...) {
  messages.push_back({status, message});
}

runtime::SimModel* createModel() {
  ++calls.createModel;
  if (faults.createModelReturnsNull) return nullptr;
  runtime::SimModel* m = runtime::createModel<Model>();
  if (faults.createModelRecordsError) m->errorStatus = runtime::memoryAllocationError;
  return m;
}

int32_t registerSimulationData(runtime::ModelInterface* mi) {
  runtime::entries::registerSimulationData(mi);
  mi->sizeofChar = faults.sizeofChar;
  if (faults.noContinuousStates) mi->numContinuousStates = 0;
  return faults.simulationDataFails ? 0 : 1;
}

// The probe's integer entries: the enumeration variable refuses negative values on write and
// reports 99 as invalid on read (the entries' `ok`); every other variable as the runtime moves it.
void writeInteger(const runtime::VariableEntry* entry, int32_t value, int32_t* ok) {
  if (entry->address != &extra.enumeration) return runtime::writeInteger(entry, value, ok);
  *ok = value >= 0 ? 1 : 0;
  if (*ok == 1) extra.enumeration = value;
}

int32_t readInteger(const runtime::VariableEntry* entry, int32_t* ok) {
  if (entry->address != &extra.enumeration) return runtime::readInteger(entry, ok);
  *ok = extra.enumeration == 99 ? 0 : 1;
  return extra.enumeration;
}

int32_t buildVariableTable(runtime::SimModel* m, runtime::VariableTable* table) {
  if (runtime::buildVariableTable<Model>(m, table) == 0) return 0;
  table->integers = static_cast<runtime::VariableEntry*>(
      std::calloc(numProbeIntegers, sizeof(runtime::VariableEntry)));
  table->booleans = static_cast<runtime::VariableEntry*>(
      std::calloc(numProbeBooleans, sizeof(runtime::VariableEntry)));
  if (faults.variableTableFails || table->integers == nullptr || table->booleans == nullptr) {
    return 0;
  }
  extra = {};
  table->integers[guardedInteger] = {&extra.guarded, runtime::typeUInt32, 0};
  table->integers[enumInteger] = {&extra.enumeration, runtime::typeUInt32, 0};
  for (uint32_t i = 0; i < numProbeBooleans; ++i) {
    table->booleans[i] = {&extra.flags[i], runtime::typeBoolean, 0};
  }
  table->numIntegers = numProbeIntegers;
  table->numBooleans = numProbeBooleans;
  return 1;
}

const char* checkIntegerWrites(runtime::SimModel*, const uint32_t* vr, const int32_t* value,
                               std::size_t count, std::size_t* refused) {
  for (std::size_t i = 0; i < count; ++i) {
    if (vr[i] == guardedInteger && static_cast<uint32_t>(value[i]) > 10) {
      *refused = i;
      return "the table has eleven rows";
    }
  }
  return nullptr;
}

void freeVariableTable(runtime::VariableTable* table) {
  ++calls.freeVariableTable;
  runtime::freeVariableTable(table);
}

void terminateModel(runtime::SimModel* m) {
  ++calls.terminateModel;
  runtime::entries::terminateModel(m);
}

void destroyIntegrationData(runtime::SimModel*) { ++calls.destroyIntegrationData; }

double getStartTime(runtime::SimModel*) { return faults.startTime; }

void createIntegrationData(runtime::SimModel* m) {
  if (faults.integrationDataError) m->errorStatus = runtime::memoryAllocationError;
}

void initializeModel(runtime::SimModel* m) {
  runtime::entries::initializeModel(m);
  if (faults.initializeError != nullptr) m->errorStatus = faults.initializeError;
}

void updateStates(runtime::SimModel* m, int32_t task) {
  ++calls.updateStates;
  runtime::entries::updateStates(m, task);
}

uint8_t getStopRequested(runtime::SimModel*) { return faults.stopRequested ? 1 : 0; }

}  // namespace

const fmi2CallbackFunctions callbacks = {&logger, nullptr, nullptr, nullptr, nullptr};

void reset() {
  faults = {};
  calls = {};
  messages.clear();
}

std::string guid() {
  char text[fmi::identityStringSize];
  fmi::identityString(Model::info, text);
  return text;
}

fmi::FmuComponent* instantiate(bool loggingOn) {
  return static_cast<fmi::FmuComponent*>(fmi2Instantiate("probe", fmi2CoSimulation, guid().c_str(),
                                                         "file:///tmp/probe", &callbacks, fmi2False,
                                                         loggingOn ? fmi2True : fmi2False));
}

}  // namespace probe

// The model this test executable joins to the layer.
namespace fmi {

int32_t registerFunctions(runtime::ModelInterface* mi) {
  if (probe::faults.registerFunctionsFails) return 0;
  runtime::registerFunctions<chassis::Model>(mi);
  mi->createModel = &probe::createModel;
  mi->registerSimulationData = &probe::registerSimulationData;
  mi->buildVariableTable = &probe::buildVariableTable;
  mi->checkIntegerWrites = &probe::checkIntegerWrites;
  mi->readInteger = &probe::readInteger;
  mi->writeInteger = &probe::writeInteger;
  mi->freeVariableTable = &probe::freeVariableTable;
  mi->terminateModel = &probe::terminateModel;
  mi->destroyIntegrationData = &probe::destroyIntegrationData;
  mi->getStartTime = &probe::getStartTime;
  mi->createIntegrationData = &probe::createIntegrationData;
  mi->initializeModel = &probe::initializeModel;
  mi->updateStates = &probe::updateStates;
  mi->getStopRequested = &probe::getStopRequested;
  return 1;
}

void fillModelInfo(runtime::ModelInfo* info) { runtime::fillModelInfo<chassis::Model>(info); }

}  // namespace fmi

// The model-independent entries of the table of model operations. Entries that run a model
// routine go through the instance's method block with its owner as the argument.
#include "runtime/model_plan.h"

namespace runtime::entries {

void emptyRoutine(SimModel*) {}
void destroyIntegrationData(SimModel*) {}
double getStartTime(SimModel* m) { return m->startTime; }
void setFinalTime(SimModel* m, double t) { m->finalTime = t; }
void initializeSizes(SimModel* m) { m->methods.initializeSizes(m->methods.owner); }
void initializeSampleTimes(SimModel* m) { m->methods.initializeSampleTimes(m->methods.owner); }
void createIntegrationData(SimModel*) {}
const char* getErrorStatus(SimModel* m) { return m->errorStatus; }
void setSolverName(SimModel* m, const char* name) { m->integrator->solverName = name; }
void initializeModel(SimModel* m) { m->methods.initializeModel(m->methods.owner); }
double getNextSampleHitTime(SimModel*) { return -1.0; }
void setSolverStopTime(SimModel* m, double t) { m->integrator->stopTime = t; }
void computeOutputs(SimModel* m, int32_t taskId) { m->methods.computeOutputs(m->methods.owner, taskId); }
void terminateModel(SimModel* m) { m->methods.terminateModel(m->methods.owner); }
uint8_t getStopRequested(SimModel* m) { return m->stopRequested; }
int32_t* getSampleHits(SimModel* m) { return m->sampleHits; }
int32_t getNumSampleTimes(SimModel* m) { return m->numSampleTimes; }
void updateStates(SimModel* m, int32_t taskId) { m->methods.updateStates(m->methods.owner, taskId); }
double getSampleTime(SimModel* m, int32_t taskId) { return m->sampleTimes[taskId]; }
void updateContinuousStates(SimModel*) {}
void setTime(SimModel* m, double t) { (*m->integrator->taskTimesPtr)[0] = t; }
double getSolverStopTime(SimModel* m) { return m->integrator->stopTime; }
double getStepEndTime(SimModel* m) { return m->integrator->stopTime; }

int32_t registerSimulationData(ModelInterface* mi) {
  mi->numContinuousStates = static_cast<uint64_t>(mi->model->numContinuousStates);
  mi->multiTasking = 0;
  mi->baseTaskId = 1;
  // A model whose integrator record could not be allocated still registers its step size.
  mi->fixedStepSize = mi->model->integrator != nullptr ? mi->model->integrator->fixedStepSize : fixedStepSize;
  mi->sizeofIntT = sizeof(int32_t);
  mi->sizeofRealT = sizeof(double);
  mi->sizeofTimeT = sizeof(double);
  mi->sizeofDouble = sizeof(double);
  mi->sizeofInt = sizeof(int);
  mi->sizeofChar = sizeof(char);
  mi->sizeofVoidPtr = sizeof(void*);
  mi->continuousSampleTime = 0.0;
  return 1;
}

}  // namespace runtime::entries

// The one model a unit library carries. Each library in units/ defines these two routines for
// its model; the interface layer calls them and otherwise reaches the model only through the
// table of model operations.
#pragma once

#include <cstdint>

#include "runtime/model_interface.h"
#include "runtime/model_plan.h"

namespace fmi {

int32_t registerFunctions(runtime::ModelInterface* modelInterface);
void fillModelInfo(runtime::ModelInfo* info);

}  // namespace fmi

// Joins model M to the interface layer of the library being built.
#define FMI_UNIT_MODEL(M)                                                          \
  namespace fmi {                                                                  \
  int32_t registerFunctions(runtime::ModelInterface* modelInterface) {             \
    return runtime::registerFunctions<M>(modelInterface);                          \
  }                                                                                \
  void fillModelInfo(runtime::ModelInfo* info) { runtime::fillModelInfo<M>(info); } \
  }

// Generates a unit's modelDescription.xml from the model's own tables: its information record,
// its value-reference definitions, and the start values an instance really holds right after
// instantiation, read through the instance's value-reference table.
#pragma once

#include <cstdio>
#include <fstream>
#include <iostream>
#include <ostream>
#include <span>

#include "fmi/identity.h"
#include "runtime/model_interface.h"
#include "runtime/model_plan.h"
#include "runtime/variable_def.h"

namespace tools {

struct DescribedModel {
  const runtime::ModelInfo& info;
  const char* description;
  std::span<const runtime::VariableDef> variables;
  const runtime::ModelInterface& instance;  // created and with its value-reference table built
};

// Writes the model description; returns false (with a message on stderr) when a table is
// inconsistent, for example a unit that the unit table does not define.
bool writeModelDescription(std::ostream& out, const DescribedModel& model);

// Creates an instance of M as the interface layer does and describes it, to the file named by
// the first argument.
template <class M>
int describeMain(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.xml\n", argv[0]);
    return 2;
  }
  runtime::ModelInterface mi{};
  runtime::fillModelInfo<M>(&mi.info);
  runtime::registerFunctions<M>(&mi);
  mi.model = mi.createModel();
  if (mi.model == nullptr || mi.registerSimulationData(&mi) != 1 ||
      mi.buildVariableTable(mi.model, &mi.variables) != 1) {
    std::fprintf(stderr, "%s: the model could not be created\n", argv[0]);
    return 1;
  }
  mi.initializeNonFinites(sizeof(double));
  std::ofstream file(argv[1]);
  const bool ok = writeModelDescription(file, {mi.info, M::description, M::variables(), mi});
  mi.freeVariableTable(&mi.variables);
  mi.terminateModel(mi.model);
  file.close();
  if (!ok || !file) {
    std::fprintf(stderr, "%s: could not write %s\n", argv[0], argv[1]);
    return 1;
  }
  return 0;
}

}  // namespace tools

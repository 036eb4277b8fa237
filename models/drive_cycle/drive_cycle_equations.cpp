// The drive cycle model: reads its trace at initialisation and gives the target speed, the phase
// and whether the trace is over at the communication point.
//
// Time: after fmi2DoStep(tc, hc) the outputs belong to tc + hc; after set-up, to the start time 0.
#include <cstring>
#include <new>
#include <string>

#include "formats/cycle_file/cycle_reader.h"
#include "models/drive_cycle/drive_cycle_model.h"

namespace drive_cycle {

struct LoadedCycle {
  std::string cycle;    // the value of the parameter the trace was read for
  std::optional<CycleTrace> trace;
  std::string message;  // the text of the last refusal or note, handed to the interface layer
};

namespace {

void showTrace(Model::Data& d) {
  ExternalOutputs& o = d.outputs;
  const LoadedCycle* loaded = d.work.loaded;
  const bool present = loaded != nullptr && loaded->trace.has_value();
  o.duration = present ? loaded->trace->duration() : 0.0;
  o.distance = present ? loaded->trace->distanceKm() : 0.0;
  o.phaseCount = present ? static_cast<uint32_t>(loaded->trace->phaseNames.size()) : 0u;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
  return text;
}

// Reads the trace the parameter names, unless it is the one already read.
const char* load(Model::Data& d, const char** note) {
  LoadedCycle& loaded = *d.work.loaded;
  const std::string name = d.parameters.cycle.text;
  if (loaded.trace.has_value() && loaded.cycle == name) return nullptr;
  loaded.trace.reset();
  loaded.cycle = name;
  if (name.empty()) {
    loaded.message = "The parameter cycle is empty: it must name a standard cycle (wltc, nedc, udds, "
                     "ftp75, hwfet, us06), a file in the resources folder or an absolute path";
    return loaded.message.c_str();
  }
  CycleReadResult result = readCycle(resolveCycle(name, d.work.resourceFolder));
  if (!result.trace.has_value()) {
    loaded.message = "The drive cycle '" + name + "' cannot be used: " + result.error;
    return loaded.message.c_str();
  }
  loaded.trace = std::move(result.trace);
  std::vector<std::string> said = loaded.trace->notes;
  said.insert(said.end(), loaded.trace->warnings.begin(), loaded.trace->warnings.end());
  loaded.message = joined(said);
  *note = loaded.message.c_str();
  return nullptr;
}

}  // namespace

void Model::initializeModel(Data& d) { d.work.time = 0.0; }

void Model::computeOutputs(Data& d) {
  ExternalOutputs& o = d.outputs;
  const LoadedCycle* loaded = d.work.loaded;
  if (loaded == nullptr || !loaded->trace.has_value()) {
    o.targetSpeedKmh = 0.0;
    o.phase = 0;
    o.finished = 0;
    return;
  }
  const CycleTrace& trace = *loaded->trace;
  const double t = d.work.time;
  o.targetSpeedKmh = trace.speedAt(t);
  o.phase = static_cast<uint32_t>(trace.phaseAt(t));
  o.finished = t >= trace.duration() ? 1 : 0;
}

// The layer's decoded path of a file: URI has lost the leading slash of the absolute path.
void Model::setResourceFolder(Data& d, const char* folder) {
  char* out = d.work.resourceFolder;
  out[0] = '/';
  std::strncpy(out + 1, folder, runtime::stringCapacity - 2);
  out[runtime::stringCapacity - 1] = '\0';
}

const char* Model::prepare(Data& d, const char** note) {
  static const char* const outOfMemory = "Out of memory while reading the drive cycle";
  try {
    if (d.work.loaded == nullptr) d.work.loaded = new LoadedCycle();
    const char* refusal = load(d, note);
    showTrace(d);
    return refusal;
  } catch (const std::bad_alloc&) {
    if (d.work.loaded != nullptr) d.work.loaded->trace.reset();
    showTrace(d);
    return outOfMemory;
  }
}

const char* Model::communicationStep(Data& d, double tc, double hc) {
  if (d.work.loaded == nullptr || !d.work.loaded->trace.has_value()) {
    return "The drive cycle has no trace to step through: it is read by "
           "fmi2EnterInitializationMode and fmi2ExitInitializationMode, which must succeed first";
  }
  d.work.time = tc + hc;
  computeOutputs(d);
  return nullptr;
}

void Model::releaseWork(WorkStates& w) {
  delete w.loaded;
  w.loaded = nullptr;
}

}  // namespace drive_cycle

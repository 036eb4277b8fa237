// What a run hands to the layers above the engine (a report, its health checks): every
// output of every component at every communication point, column by column, with the names,
// units and descriptions from the model descriptions. The engine knows nothing of what the
// columns mean; a report finds its signals by the unit (model identifier) and variable name, so
// that it does not depend on how a system names its components.
#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace master {

struct RecordedVariable {
  std::string component;        // the component's name in the system
  std::string modelIdentifier;  // of the unit it instantiates (for example "Relay")
  std::string name;             // the variable's name in the unit's model description
  std::string unit;             // as declared, or empty
  std::string description;
};

// The engine's estimate of its coupling error on one power bond (two connections that carry
// power between two components: an effort, such as a torque, one way and the flow it drives,
// such as a speed, the other). Each side steps with the other's value held from their last
// exchange, so the two disagree on the energy that crossed: over each exchange interval h the
// effort's side reckons f0 (e0 + e1) h / 2 and the flow's side e0 (f0 + f1) h / 2. `residual` sums
// the size of that disagreement, `transferred` the energy that crossed either way (|e f|,
// trapezoid), both in J over the run.
struct CouplingEstimate {
  std::string effort, flow;  // "component.variable" of each output
  double exchangeStep = 0.0;  // s
  double residual = 0.0, transferred = 0.0;
  double share() const { return transferred > 0.0 ? residual / transferred : 0.0; }
};

struct RunRecord {
  std::filesystem::path systemFile;
  std::string systemName;
  double startTime = 0.0;
  double communicationStep = 0.0;
  std::vector<RecordedVariable> variables;
  std::vector<double> time;                  // every communication point, from the start time
  std::vector<std::vector<double>> columns;  // columns[i][k]: variables[i] at time[k]
  // Every value bound to a component before the run ("component.variable" -> the value as text),
  // for a report that needs a unit's settings.
  std::map<std::string, std::string> boundValues;
  // The start value of every parameter, as the model description of the unit that ran gives it
  // ("component.variable" -> the text): a parameter's value where nothing was bound to it.
  std::map<std::string, std::string> startValues;
  double wallSeconds = 0.0;
  bool interrupted = false;
  std::vector<CouplingEstimate> couplingErrors;  // one per power bond the system declares

  std::size_t points() const { return time.size(); }
  // The column of `variable` in the first component that instantiates `modelIdentifier`, or
  // npos when the system has none.
  std::size_t find(std::string_view modelIdentifier, std::string_view variable) const {
    for (std::size_t i = 0; i < variables.size(); ++i) {
      if (variables[i].modelIdentifier == modelIdentifier && variables[i].name == variable) return i;
    }
    return npos;
  }
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);
};

// Watches a run while it runs. The engine calls `check` after each communication point has been
// appended to the record; a non-empty answer stops the run with that message (a failed health
// check, exit code 2). While the units step side by side, the point is recorded by whichever of
// the engine's threads is done with its units first: the calls come from any of them, one at a
// time and in order of the points.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  virtual void start(const RunRecord& record) { (void)record; }
  virtual std::string check(const RunRecord& record, std::size_t point) {
    (void)record;
    (void)point;
    return {};
  }
};

}  // namespace master

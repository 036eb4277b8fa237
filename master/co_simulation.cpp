#include "master/co_simulation.h"

#include <chrono>
#include <cmath>
#include <fstream>
#include <map>
#include <memory>
#include <optional>

#include "master/coupling.h"
#include "master/csv_writer.h"
#include "master/error.h"
#include "master/fmu_archive.h"
#include "master/fmu_unit.h"
#include "master/model_description.h"
#include "master/plots.h"
#include "master/progress_bar.h"
#include "master/system_structure.h"
#include "master/unit_log.h"

namespace master {

volatile std::sig_atomic_t stopRequested = 0;

namespace {

namespace fs = std::filesystem;

// The master's own columns at the front of every results row.
enum : std::size_t { timeColumn, targetColumn, gearColumn, ratioColumn, lockupColumn };

// Passes of output-to-input propagation in initialization mode, so that the values at time 0
// are consistent along every chain of direct feed-through in the vehicle (at most three units
// long).
constexpr int initializationPasses = 4;

struct Unit {
  std::string name;
  std::unique_ptr<ExtractedFmu> archive;
  ModelDescription description;
  std::unique_ptr<FmuLibrary> library;
  std::unique_ptr<FmuInstance> instance;

  // Resolved once; stepping uses nothing else.
  std::vector<fmi2ValueReference> outputRefs;  // every Real output, in description order
  std::size_t outputColumn = 0;                // the row column of the first of them
  std::vector<fmi2ValueReference> inputRefs;   // the coupled inputs
  std::vector<std::size_t> inputSources;       // the row column each of them is taken from
  std::vector<double> inputValues;
};

class Simulation {
 public:
  explicit Simulation(const SimulationOptions& options)
      : options_(options),
        log_(options.verbose),
        cycle_(options.cycleFile ? readDriveCycle(*options.cycleFile) : nedcCycle()),
        cursor_(cycle_),
        schedule_(options.shift) {}

  SimulationResult run();

 private:
  void load();
  void checkStep() const;
  void plan();
  void initialize();
  void masterSignals(double t) {
    row_[timeColumn] = t;
    row_[targetColumn] = cursor_.speedAt(t);
    schedule_.update(t, row_[vehicleSpeedColumn_]);
    row_[gearColumn] = schedule_.gear();
    row_[ratioColumn] = schedule_.ratio();
    row_[lockupColumn] = schedule_.lockupCommand();
  }
  void setInputs() {
    for (Unit& u : units_) {
      for (std::size_t i = 0; i < u.inputSources.size(); ++i) u.inputValues[i] = row_[u.inputSources[i]];
      u.instance->setReal(u.inputRefs.data(), u.inputRefs.size(), u.inputValues.data());
    }
  }
  void getOutputs() {
    for (Unit& u : units_) u.instance->getReal(u.outputRefs.data(), u.outputRefs.size(), &row_[u.outputColumn]);
  }
  std::size_t observed(const CouplingPlan& plan, const char* name) const;
  std::size_t columnOf(const VariableRef& ref) const;

  const SimulationOptions& options_;
  UnitLog log_;
  std::optional<ProgressBar> bar_;
  std::vector<Unit> units_;
  SystemStructure system_;
  DriveCycle cycle_;
  CycleCursor cursor_;
  ShiftSchedule schedule_;
  std::vector<std::string> columns_;
  std::vector<double> row_;
  std::map<std::pair<std::size_t, fmi2ValueReference>, std::size_t> outputColumns_;
  std::size_t vehicleSpeedColumn_ = 0;
  SummaryColumns summaryColumns_{};
  PlotColumns plotColumns_{};
  std::string fuelUnit_;
};

void Simulation::load() {
  system_ = readSystemStructure(options_.systemFile);
  units_.reserve(system_.components.size());
  for (const SsdComponent& c : system_.components) {
    Unit& u = units_.emplace_back();
    u.name = c.name;
    const fs::path source(c.source);
    u.archive = std::make_unique<ExtractedFmu>(source.is_absolute() ? source : options_.fmuDir / source);
    u.description = readModelDescription(u.archive->modelDescriptionFile());
    u.library = std::make_unique<FmuLibrary>(u.archive->binaryFile(u.description.modelIdentifier));
  }
}

void Simulation::checkStep() const {
  const double h = options_.step;
  if (!(h > 0.0) || !std::isfinite(h)) throw MasterError("the communication step must be a positive time");
  for (const Unit& u : units_) {
    const double unitStep = u.description.defaultStepSize;
    if (!(unitStep > 0.0)) continue;
    const double multiple = h / unitStep;
    if (multiple < 0.5 || std::fabs(multiple - std::round(multiple)) > 1e-9 * multiple) {
      char text[200];
      std::snprintf(text, sizeof text,
                    "the communication step %g s is not a whole multiple of the fixed step %g s of unit '%s'", h,
                    unitStep, u.name.c_str());
      throw MasterError(text);
    }
  }
}

std::size_t Simulation::columnOf(const VariableRef& ref) const {
  return outputColumns_.at({ref.component, ref.variable->valueReference});
}

std::size_t Simulation::observed(const CouplingPlan& plan, const char* name) const {
  const CouplingPlan::SystemOutput* out = plan.findOutput(name);
  if (out == nullptr) {
    throw MasterError(system_.source + ": the system has no output connector '" + name +
                      "', which the master observes");
  }
  return columnOf(out->source);
}

void Simulation::plan() {
  std::vector<const ModelDescription*> descriptions;
  for (const Unit& u : units_) descriptions.push_back(&u.description);
  const CouplingPlan plan = resolveCoupling(system_, descriptions);

  columns_ = {"time", signal_names::targetSpeed, "gear", signal_names::gearRatio, signal_names::lockupCommand};
  for (std::size_t i = 0; i < units_.size(); ++i) {
    Unit& u = units_[i];
    u.outputColumn = columns_.size();
    for (const ModelVariable& v : u.description.variables) {
      if (v.causality != Causality::output || v.type != VariableType::real) continue;
      outputColumns_[{i, v.valueReference}] = columns_.size();
      u.outputRefs.push_back(v.valueReference);
      columns_.push_back(u.name + "." + v.name);
    }
  }
  row_.assign(columns_.size(), 0.0);

  for (const CouplingPlan::Link& link : plan.links) {
    Unit& to = units_[link.to.component];
    to.inputRefs.push_back(link.to.variable->valueReference);
    to.inputSources.push_back(columnOf(link.from));
  }
  const std::pair<const char*, std::size_t> supplied[] = {{signal_names::targetSpeed, targetColumn},
                                                          {signal_names::gearRatio, ratioColumn},
                                                          {signal_names::lockupCommand, lockupColumn}};
  for (const CouplingPlan::SystemInput& in : plan.systemInputs) {
    std::size_t column = 0;
    for (const auto& [name, c] : supplied) {
      if (in.name == name) column = c;
    }
    if (column == 0) {
      throw MasterError(system_.source + ": the master supplies no signal '" + in.name + "' (it supplies " +
                        signal_names::targetSpeed + ", " + signal_names::gearRatio + " and " +
                        signal_names::lockupCommand + ")");
    }
    for (const VariableRef& sink : in.sinks) {
      units_[sink.component].inputRefs.push_back(sink.variable->valueReference);
      units_[sink.component].inputSources.push_back(column);
    }
  }
  for (Unit& u : units_) u.inputValues.assign(u.inputRefs.size(), 0.0);

  vehicleSpeedColumn_ = observed(plan, signal_names::vehicleSpeed);
  summaryColumns_ = {timeColumn,
                     targetColumn,
                     gearColumn,
                     vehicleSpeedColumn_,
                     observed(plan, signal_names::engineSpeed),
                     observed(plan, signal_names::fuel),
                     observed(plan, signal_names::stateOfCharge),
                     observed(plan, signal_names::busVoltage)};
  const std::size_t accelerator = observed(plan, signal_names::accelerator);
  const std::size_t brake = observed(plan, signal_names::brake);
  auto one = [](std::size_t c) { return static_cast<int>(c) + 1; };
  plotColumns_ = {one(timeColumn),
                  one(targetColumn),
                  one(vehicleSpeedColumn_),
                  one(summaryColumns_.engineSpeed),
                  one(gearColumn),
                  one(accelerator),
                  one(brake),
                  one(summaryColumns_.stateOfCharge),
                  one(summaryColumns_.busVoltage),
                  one(summaryColumns_.fuel)};
  fuelUnit_ = plan.findOutput(signal_names::fuel)->source.variable->unit;

  // Instances, then the bound values, which must be in place before the experiment is set up.
  for (Unit& u : units_) {
    u.instance = std::make_unique<FmuInstance>(*u.library, u.name, u.description,
                                               fileUri(u.archive->resourcesFolder()), log_);
  }
  for (const CouplingPlan::Parameter& p : plan.parameters) {
    FmuInstance& instance = *units_[p.target.component].instance;
    const fmi2ValueReference vr = p.target.variable->valueReference;
    switch (p.value.type) {
      case VariableType::real: instance.setReal(&vr, 1, &p.value.real); break;
      case VariableType::integer: instance.setInteger(&vr, 1, &p.value.integer); break;
      default: instance.setBoolean(&vr, 1, &p.value.integer); break;
    }
  }
}

void Simulation::initialize() {
  for (Unit& u : units_) u.instance->setupExperiment(cycle_.duration());
  for (Unit& u : units_) u.instance->enterInitializationMode();
  for (int pass = 0; pass < initializationPasses; ++pass) {
    getOutputs();
    masterSignals(0.0);
    setInputs();
  }
  getOutputs();
  for (Unit& u : units_) u.instance->exitInitializationMode();
}

SimulationResult Simulation::run() {
  load();
  checkStep();
  plan();

  const double h = options_.step;
  // Enough steps to cover the cycle; a duration that is a whole multiple of the step (up to
  // rounding) takes exactly that many.
  const double intervals = cycle_.duration() / h;
  const auto steps = static_cast<std::int64_t>(std::ceil(intervals - 1e-9 * intervals));
  fs::create_directories(options_.outDir);
  SimulationResult result;
  result.csvFile = options_.outDir / "results.csv";
  result.summaryFile = options_.outDir / "summary.txt";
  // A run that fails leaves no summary of an earlier run beside its own results.
  fs::remove(result.summaryFile);
  CsvWriter csv(result.csvFile, columns_);
  SummaryAccumulator summary(summaryColumns_, row_.size(), schedule_.gearCount(), h);

  const auto start = std::chrono::steady_clock::now();
  initialize();
  bar_.emplace(steps, options_.progress);
  log_.attach(&*bar_);
  for (std::int64_t k = 0;; ++k) {
    const double t = static_cast<double>(k) * h;
    masterSignals(t);
    csv.writeRow(row_.data(), row_.size());
    summary.add(row_.data());
    if (k == steps) break;
    if (stopRequested != 0) {
      char text[80];
      std::snprintf(text, sizeof text, "interrupted at t = %g s", t);
      throw MasterError(text);
    }
    setInputs();
    for (Unit& u : units_) u.instance->doStep(t, h);
    getOutputs();
    bar_->update(k + 1, t + h);
  }
  for (Unit& u : units_) u.instance->terminate();
  const auto end = std::chrono::steady_clock::now();
  bar_->clear();
  log_.attach(nullptr);
  csv.close();

  Summary& s = result.summary;
  summary.finish(s);
  s.systemFile = options_.systemFile.string();
  s.cycleName = cycle_.name;
  s.unitCount = units_.size();
  s.duration = static_cast<double>(steps) * h;
  s.step = h;
  s.fuelUnit = fuelUnit_;
  s.wallSeconds = std::chrono::duration<double>(end - start).count();
  {
    std::ofstream out(result.summaryFile);
    out << s.text();
    if (!out) throw MasterError("cannot write '" + result.summaryFile.string() + "'");
  }
  if (options_.plots) {
    result.plotFiles = writePlots(result.csvFile, options_.outDir, plotColumns_, static_cast<long>(steps) + 1,
                                   schedule_.gearCount(), fuelUnit_);
  }
  return result;
}

}  // namespace

SimulationResult runSimulation(const SimulationOptions& options) { return Simulation(options).run(); }

}  // namespace master

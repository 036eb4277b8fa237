// _vehiclesim: the engine and the run of vehicle-sim in a Python process. A run goes through the
// same steps as the command line's (app/cli/run_session.h), with the interpreter's lock
// released while the units step; the record stays in C++ and the arrays look into it. The
// Python package vehiclesim wraps this module.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <chrono>
#include <memory>
#include <mutex>

#include "app/cli/info_command.h"
#include "app/cli/log.h"
#include "app/cli/results_folder.h"
#include "app/cli/run_command.h"
#include "app/cli/run_session.h"
#include "app/cli/variable_selection.h"
#include "app/default_system.h"
#include "engine/error.h"
#include "app/report/cycle_following.h"
#include "app/report/vehicle_signals.h"
#include "engine/unit_log.h"

namespace py = pybind11;
namespace fs = std::filesystem;
using namespace master;
using namespace master::cli;

namespace {

// Runs in one process go one after the other: the log, the units' message sink and the stop flag
// are the process's, and each run already steps its units on threads of its own.
std::mutex runLock;

fs::path moduleDefaultSystem() {
  static const fs::path folder = folderOf(reinterpret_cast<const void*>(&moduleDefaultSystem));
  return defaultSystemBeside(folder, {VEHICLESIM_INSTALLED_SYSTEM, VEHICLESIM_BUILT_SYSTEM});
}

fs::path systemOrDefault(const std::optional<std::string>& system) {
  return system ? fs::path(*system) : moduleDefaultSystem();
}

// The interpreter's signal handlers run in its main thread with its lock held: the run's
// calling thread asks for them every 50 ms and ends the run on the exception they raise.
class InterruptCheck {
 public:
  bool operator()() {
    const auto now = std::chrono::steady_clock::now();
    if (now < next_) return true;
    next_ = now + std::chrono::milliseconds(50);
    const py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() == 0) return true;
    PyErr_Fetch(&type_, &value_, &trace_);
    return false;
  }
  // After the run, with the lock held: raises what the handler raised.
  [[noreturn]] void raise() {
    if (type_ == nullptr) {
      PyErr_SetNone(PyExc_KeyboardInterrupt);
    } else {
      PyErr_Restore(type_, value_, trace_);
    }
    throw py::error_already_set();
  }

 private:
  std::chrono::steady_clock::time_point next_{};
  PyObject *type_ = nullptr, *value_ = nullptr, *trace_ = nullptr;
};

// Selects the columns when the record knows its variables, before the first step, so that a
// pattern that matches nothing is refused before anything runs.
class Selection : public RunObserver {
 public:
  explicit Selection(const std::vector<std::string>& patterns) : patterns_(patterns) {}
  void start(const RunRecord& record) override { selected = selectVariables(record.variables, patterns_); }
  std::vector<std::size_t> selected;

 private:
  const std::vector<std::string>& patterns_;
};

struct Run {
  CliOptions options;
  std::size_t stepsPerRow = 1;
  FinishedRun finished;
  std::vector<std::size_t> selected, rows;
  std::string summaryJson;

  const RunRecord& record() const { return finished.record; }
};

std::shared_ptr<Run> simulateRun(CliOptions options) {
  options.noProgress = true;
  options.noPlots = false;
  auto run = std::make_shared<Run>();
  InterruptCheck interrupt;
  {
    const py::gil_scoped_release release;
    const std::lock_guard<std::mutex> lock(runLock);
    PreparedRun prepared = prepareRun(options, moduleDefaultSystem());
    Selection selection(options.outputVariables);
    run->finished = simulate(prepared, options, {&selection}, [&interrupt] { return interrupt(); });
    run->selected = std::move(selection.selected);
    run->stepsPerRow = prepared.stepsPerRow;
  }  // the unpacked system and units are gone here
  if (run->finished.outcome.status == RunOutcome::Status::interrupted) interrupt.raise();
  run->options = std::move(options);
  run->rows = resultsRows(run->record().points(), run->stepsPerRow);
  const RunReport report = reportRun(run->finished, run->options, nullptr);
  run->finished.summary.results = "results.csv";
  run->summaryJson = summaryJson(run->finished.summary, report.vehicleFields).dump(2);
  return run;
}

// The results folder the command line writes, from the finished record.
void writeFolder(Run& run, const fs::path& folder, bool plots) {
  run.options.noPlots = !plots;
  const py::gil_scoped_release release;
  const std::lock_guard<std::mutex> lock(runLock);
  ResultsFolder target(folder);
  ResultsWriter results(target.path() / "results.csv", run.options.outputVariables, run.stepsPerRow);
  replayRecord(results, run.record());
  writeRunFolder(run.finished, run.options, results, target.path(), "results.csv");
  target.commit();
}

// The rows of `values` the results file holds: a read-only view into the record held by
// `owner` when that is every point, else (or without an owner) a copy.
py::array_t<double> rowsOf(const Run& run, const std::vector<double>& values, py::handle owner) {
  if (run.rows.size() == values.size()) {
    py::array_t<double> view(static_cast<py::ssize_t>(values.size()), values.data(), owner);
    if (owner) view.attr("setflags")(py::arg("write") = false);
    return view;
  }
  py::array_t<double> out(static_cast<py::ssize_t>(run.rows.size()));
  double* data = out.mutable_data();
  for (std::size_t i = 0; i < run.rows.size(); ++i) data[i] = values[run.rows[i]];
  return out;
}

py::list describe(const std::optional<std::string>& system) {
  std::vector<InfoComponent> components;
  {
    const py::gil_scoped_release release;
    components = describeTarget(systemOrDefault(system), describeSystem);
  }
  py::list out;
  for (const InfoComponent& c : components) {
    py::list variables;
    for (const ModelVariable& v : c.description.variables) {
      py::dict d;
      d["name"] = v.name;
      d["causality"] = causalityName(v.causality);
      d["variability"] = v.variability;
      d["type"] = typeName(v.type);
      d["unit"] = v.unit;
      d["start"] = v.start ? py::object(py::str(*v.start)) : py::object(py::none());
      d["description"] = v.description;
      variables.append(d);
    }
    py::dict d;
    d["name"] = c.name;
    d["unit"] = c.description.modelIdentifier;
    d["model"] = c.description.modelName;
    d["source"] = c.source;
    d["variables"] = variables;
    out.append(d);
  }
  return out;
}

}  // namespace

PYBIND11_MODULE(_vehiclesim, m) {
  m.doc() = "The engine of vehicle-sim: runs SSP systems of FMI 2.0 Co-Simulation units.";
  static py::exception<MasterError> error(m, "Error", PyExc_RuntimeError);
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const MasterError& e) {
      error(e.what());
    } catch (const fs::filesystem_error& e) {
      error(e.what());
    }
  });
  log().open(LogLevel::warning, "");
  setUnitMessageSink(logUnitMessage);

  m.def("default_system", [] { return moduleDefaultSystem(); });
  m.def("describe", &describe, py::arg("system") = py::none());

  m.def(
      "simulate",
      [](const std::optional<std::string>& system, const std::string& cycle, double step,
         std::optional<double> startTime, std::optional<double> stopTime, std::optional<double> outputInterval,
         std::vector<std::string> startValues, std::vector<std::string> parameters,
         std::vector<std::string> outputVariables, unsigned threads, bool feedthrough, bool allowNonFinite,
         const std::string& coupling, std::vector<std::string> groups) {
        CliOptions o;
        o.system = system ? *system : std::string();
        o.cycle = cycle;
        o.step = step;
        o.startTime = startTime;
        o.stopTime = stopTime;
        o.outputInterval = outputInterval;
        o.startValues = std::move(startValues);
        o.parameterFiles = std::move(parameters);
        o.outputVariables = std::move(outputVariables);
        o.threads = threads;
        o.noFeedthrough = !feedthrough;
        o.allowNonFinite = allowNonFinite;
        o.coupling = coupling;
        o.groups = std::move(groups);
        return simulateRun(std::move(o));
      },
      py::arg("system"), py::arg("cycle"), py::arg("step"), py::arg("start_time"), py::arg("stop_time"),
      py::arg("output_interval"), py::arg("start_values"), py::arg("parameters"), py::arg("output_variables"),
      py::arg("threads"), py::arg("feedthrough"), py::arg("allow_non_finite"), py::arg("coupling"), py::arg("groups"));

  py::class_<Run, std::shared_ptr<Run>>(m, "Run")
      .def_property_readonly("names",
                             [](const Run& r) {
                               std::vector<std::string> out;
                               for (const std::size_t i : r.selected) out.push_back(columnName(r.record().variables[i]));
                               return out;
                             })
      .def_property_readonly("units",
                             [](const Run& r) {
                               std::vector<std::string> out;
                               for (const std::size_t i : r.selected) out.push_back(r.record().variables[i].unit);
                               return out;
                             })
      .def_property_readonly("descriptions",
                             [](const Run& r) {
                               std::vector<std::string> out;
                               for (const std::size_t i : r.selected) out.push_back(r.record().variables[i].description);
                               return out;
                             })
      .def_property_readonly("summary_json", [](const Run& r) { return r.summaryJson; })
      .def("time", [](py::object self) {
        const Run& r = self.cast<const Run&>();
        return rowsOf(r, r.record().time, self);
      })
      .def("column", [](py::object self, std::size_t i) {
        const Run& r = self.cast<const Run&>();
        if (i >= r.selected.size()) throw py::index_error("no such column");
        return rowsOf(r, r.record().columns[r.selected[i]], self);
      })
      .def("tolerance_band",
           [](py::object self) -> py::object {
             const Run& r = self.cast<const Run&>();
             const report::VehicleSignals s = report::findSignals(r.record());
             if (s.targetKmh == nullptr || s.speedKmh == nullptr) return py::none();
             const report::CycleFollowing band =
                 report::checkCycleFollowing(r.record().time, *s.targetKmh, *s.speedKmh, r.options.report.toleranceKmh,
                                             r.options.report.toleranceSeconds);
             return py::make_tuple(rowsOf(r, band.lowerKmh, py::handle()), rowsOf(r, band.upperKmh, py::handle()));
           })
      .def("write", [](Run& r, const fs::path& folder, bool plots) { writeFolder(r, folder, plots); });
}

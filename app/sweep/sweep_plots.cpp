#include "app/sweep/sweep_plots.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>

#include "engine/error.h"
#include "app/child_process.h"

namespace master::sweep {

namespace fs = std::filesystem;

namespace {

struct Figure {
  const char* column;
  const char* label;
};
constexpr Figure figures[] = {{"fuelLitresPer100Km", "fuel (L/100 km)"},
                              {"co2GramsPerKm", "CO2 (g/km)"},
                              {"cycleFollowing.excursions", "excursions from the speed band"}};

std::string gnuplotQuoted(const std::string& text) {
  std::string out = "'";
  for (const char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

bool numeric(const std::string& text) {
  if (text.empty()) return false;
  char* end = nullptr;
  std::strtod(text.c_str(), &end);
  return *end == '\0';
}

// The 1-based column of `name`, or 0.
std::size_t columnOf(const std::vector<std::string>& header, const std::string& name) {
  const auto it = std::find(header.begin(), header.end(), name);
  return it == header.end() ? 0 : static_cast<std::size_t>(it - header.begin()) + 1;
}

// A file name part from an input name.
std::string slug(const std::string& name) {
  std::string s;
  for (const char c : name) s += std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' ? c : '_';
  return s;
}

}  // namespace

std::string sweepPlotScript(const Plan& plan, const fs::path& csv, const std::vector<std::string>& header,
                            const std::vector<std::vector<std::string>>& rows, std::vector<fs::path>& pngs) {
  // The cycles, as series, when they are swept.
  std::vector<std::string> cycles;
  const std::size_t cycleInput = std::find(plan.inputNames.begin(), plan.inputNames.end(), "cycle") - plan.inputNames.begin();
  const bool cycleSwept = std::find(plan.sweptNames.begin(), plan.sweptNames.end(), "cycle") != plan.sweptNames.end();
  if (cycleSwept) {
    for (const PlannedCase& c : plan.cases) {
      if (std::find(cycles.begin(), cycles.end(), c.values[cycleInput]) == cycles.end()) cycles.push_back(c.values[cycleInput]);
    }
  }

  // The cases not ok, of one cycle or (empty) of all.
  const std::size_t statusColumn = columnOf(header, "status");
  const std::size_t cycleColumn = columnOf(header, "cycle");
  auto notOk = [&](const std::string& cycle) {
    return static_cast<std::size_t>(std::count_if(rows.begin(), rows.end(), [&](const auto& row) {
      return row[statusColumn - 1] != "ok" && (cycle.empty() || row[cycleColumn - 1] == cycle);
    }));
  };

  std::string s = "# Figures of the sweep against its swept inputs; rerun with: gnuplot sweep.gp\n";
  s += "set datafile separator ','\nset terminal pngcairo size 960,640 noenhanced\nset grid\nset key outside right\n";
  s += "set offsets graph 0.05, graph 0.05, graph 0.05, graph 0.05\n";  // no point on a border
  s += "data = " + gnuplotQuoted(csv.string()) + "\n";
  for (std::size_t input = 0; input < plan.inputNames.size(); ++input) {
    const std::string& name = plan.inputNames[input];
    if (name == "cycle" || std::find(plan.sweptNames.begin(), plan.sweptNames.end(), name) == plan.sweptNames.end()) continue;
    if (!std::all_of(plan.cases.begin(), plan.cases.end(), [&](const PlannedCase& c) { return numeric(c.values[input]); })) continue;
    const std::size_t x = columnOf(header, name);
    for (const Figure& f : figures) {
      const std::size_t y = columnOf(header, f.column);
      if (y == 0 || std::none_of(rows.begin(), rows.end(), [&](const auto& row) {
            return row[statusColumn - 1] == "ok" && numeric(row[y - 1]);
          })) {
        continue;
      }
      const fs::path png = plan.dir / "plots" / (slug(f.column) + "-vs-" + slug(name) + ".png");
      pngs.push_back(png);
      s += "set output " + gnuplotQuoted(png.string()) + "\nset title " + gnuplotQuoted(std::string(f.label) + " against " + name) +
           "\nset xlabel " + gnuplotQuoted(name) + "\nset ylabel " + gnuplotQuoted(f.label) + "\n";
      // A case that is not ok has no figure to show, or one that is not to be trusted (a health
      // check failed): it is left out, and the legend says how many were.
      const std::string ok = "strcol(" + std::to_string(statusColumn) + ") eq 'ok'";
      auto series = [&](const std::string& condition, const std::string& title, std::size_t leftOut) {
        // Both coordinates undefined, so that a case left out does not widen the x range either.
        return "data every ::1 using (" + condition + " ? column(" + std::to_string(x) + ") : 1/0):(" + condition +
               " ? column(" + std::to_string(y) + ") : 1/0) with points pt 7 ps 1.5 title " +
               gnuplotQuoted(title + (leftOut ? " (" + std::to_string(leftOut) + " cases not ok left out)" : ""));
      };
      if (cycles.empty()) {
        s += "plot " + series(ok, f.column, notOk("")) + "\n";
        continue;
      }
      s += "plot ";
      for (std::size_t k = 0; k < cycles.size(); ++k) {
        s += std::string(k ? ", " : "") +
             series(ok + " && strcol(" + std::to_string(cycleColumn) + ") eq " + gnuplotQuoted(cycles[k]), cycles[k],
                    notOk(cycles[k]));
      }
      s += "\n";
    }
  }
  s += "set output\n";
  return pngs.empty() ? std::string() : s;
}

std::vector<fs::path> writeSweepPlots(const Plan& plan, const fs::path& csv, const std::vector<std::string>& header,
                                      const std::vector<std::vector<std::string>>& rows) {
  std::vector<fs::path> pngs;
  const std::string script = sweepPlotScript(plan, csv, header, rows, pngs);
  if (script.empty()) return {};
  const fs::path folder = plan.dir / "plots";
  fs::create_directories(folder);
  const fs::path scriptFile = folder / "sweep.gp";
  {
    std::ofstream out(scriptFile);
    out << script;
    if (!out) throw MasterError("cannot write '" + scriptFile.string() + "'");
  }
  const fs::path log = folder / "gnuplot.log";
  if (runProcess({"gnuplot", scriptFile.string()}, log) != 0) {
    throw MasterError("gnuplot failed on '" + scriptFile.string() + "': " + lastLine(log));
  }
  fs::remove(log);
  return pngs;
}

}  // namespace master::sweep

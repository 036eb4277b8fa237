#include "master/plots.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "master/error.h"

extern char** environ;

namespace master {

namespace fs = std::filesystem;

namespace {

const char* const plotNames[] = {"speed.png", "engine.png", "pedals.png", "electrical.png", "fuel.png"};

// A gnuplot single-quoted string: only the quote itself needs doubling.
std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

}  // namespace

std::string plotScript(const fs::path& csv, const fs::path& outDir, const PlotColumns& c, long rows,
                       int gearCount, const std::string& fuelUnit) {
  const long every = rows > 20000 ? rows / 10000 : 1;
  const std::string data = quoted(csv.string());
  auto png = [&](int i) { return quoted((outDir / plotNames[i]).string()); };
  auto col = [](int n) { return std::to_string(n); };
  std::string s;
  s += "# Plots of a vehicle simulation run; rerun with: gnuplot plots.gp\n";
  s += "set datafile separator ','\n";
  s += "set terminal pngcairo size 1280,640 noenhanced\n";
  s += "set grid\nset key top left\nset xlabel 'time (s)'\n";
  s += "data = " + data + "\n";

  s += "set output " + png(0) + "\nset title 'Target and actual speed'\nset ylabel 'speed (km/h)'\n";
  s += "plot data every " + std::to_string(every) + "::1 using " + col(c.time) + ":" + col(c.target) +
       " with lines lw 2 title 'target', '' every " + std::to_string(every) + "::1 using " + col(c.time) + ":" +
       col(c.vehicleSpeed) + " with lines title 'actual'\n";

  s += "set output " + png(1) + "\nset title 'Engine speed and gear'\nset ylabel 'engine speed (rpm)'\n";
  s += "set y2label 'gear'\nset y2tics 1\nset ytics nomirror\nset y2range [0:" + std::to_string(gearCount + 1) + "]\n";
  s += "plot data every " + std::to_string(every) + "::1 using " + col(c.time) + ":" + col(c.engineSpeed) +
       " with lines title 'engine speed', '' every " + std::to_string(every) + "::1 using " + col(c.time) + ":" +
       col(c.gear) + " axes x1y2 with steps title 'gear'\n";
  s += "unset y2label\nunset y2tics\nset ytics mirror\n";

  s += "set output " + png(2) + "\nset title 'Pedals'\nset ylabel 'pedal (%)'\nset yrange [-5:105]\n";
  s += "plot data every " + std::to_string(every) + "::1 using " + col(c.time) + ":" + col(c.accelerator) +
       " with lines title 'accelerator', '' every " + std::to_string(every) + "::1 using " + col(c.time) + ":" +
       col(c.brake) + " with lines title 'brake'\n";
  s += "set autoscale y\n";

  s += "set output " + png(3) + "\nset title 'State of charge and bus voltage'\nset ylabel 'state of charge (%)'\n";
  s += "set y2label 'bus voltage (V)'\nset y2tics\nset ytics nomirror\nset autoscale y2\n";
  s += "plot data every " + std::to_string(every) + "::1 using " + col(c.time) + ":" + col(c.stateOfCharge) +
       " with lines title 'state of charge', '' every " + std::to_string(every) + "::1 using " + col(c.time) + ":" +
       col(c.busVoltage) + " axes x1y2 with lines title 'bus voltage'\n";
  s += "unset y2label\nunset y2tics\nset ytics mirror\n";

  s += "set output " + png(4) + "\nset title 'Fuel used'\nset ylabel " +
       quoted(fuelUnit.empty() ? "fuel used" : "fuel used (" + fuelUnit + ")") + "\n";
  s += "plot data every " + std::to_string(every) + "::1 using " + col(c.time) + ":" + col(c.fuel) +
       " with lines title 'fuel used'\n";
  s += "set output\n";
  return s;
}

std::vector<fs::path> writePlots(const fs::path& csv, const fs::path& outDir, const PlotColumns& columns,
                                 long rows, int gearCount, const std::string& fuelUnit) {
  const fs::path script = outDir / "plots.gp";
  {
    std::ofstream out(script);
    out << plotScript(csv, outDir, columns, rows, gearCount, fuelUnit);
    if (!out) throw MasterError("cannot write '" + script.string() + "'");
  }
  std::string program = "gnuplot";
  std::string scriptArg = script.string();
  char* argv[] = {program.data(), scriptArg.data(), nullptr};
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, "gnuplot", nullptr, nullptr, argv, environ);
  if (spawned != 0) {
    throw MasterError("cannot run gnuplot for the plots (" + std::string(std::strerror(spawned)) +
                      "); install gnuplot or use --no-plots");
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) throw MasterError("lost track of gnuplot");
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw MasterError("gnuplot failed on '" + script.string() + "'");
  }
  std::vector<fs::path> files;
  for (const char* name : plotNames) files.push_back(outDir / name);
  return files;
}

}  // namespace master

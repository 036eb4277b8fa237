#include "app/report/report_plots.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "app/report/engine_maps.h"
#include "app/text_file.h"
#include "engine/error.h"
#include "app/report/gnuplot_run.h"

namespace report {

namespace fs = std::filesystem;

namespace {

// Plots with more points than this are thinned to every n-th point.
constexpr std::size_t plotPoints = 6000;

std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

class DataFile {
 public:
  explicit DataFile(const fs::path& file, char separator = ',') : file_(file), out_(file), separator_(separator) {}
  void row(std::initializer_list<double> values) {
    bool first = true;
    for (double v : values) {
      if (!first) out_ << separator_;
      first = false;
      if (std::isfinite(v)) {
        char text[32];
        std::snprintf(text, sizeof text, "%.9g", v);
        out_ << text;
      } else {
        out_ << "nan";
      }
    }
    out_ << '\n';
  }
  void text(const std::string& line) { out_ << line << '\n'; }
  void close() {
    out_.close();
    if (!out_) throw master::MasterError("cannot write '" + file_.string() + "'");
  }

 private:
  fs::path file_;
  std::ofstream out_;
  char separator_;
};

double at(Column c, std::size_t k) { return c ? (*c)[k] : NAN; }

void writeSeries(const VehicleSignals& s, const VehicleFigures& f, const EngineMaps& maps, double density,
                 const fs::path& dir) {
  const auto& t = s.record->time;
  const std::size_t n = t.size();
  const std::size_t every = std::max<std::size_t>(1, (n + plotPoints - 1) / plotPoints);
  DataFile series(dir / "report-series.csv");
  double distance = 0.0;
  for (std::size_t k = 0; k < n; ++k) {
    if (k > 0) distance += 0.5 * ((*s.speedKmh)[k - 1] + (*s.speedKmh)[k]) * (t[k] - t[k - 1]) / 3600.0;
    if (k % every != 0 && k + 1 != n) continue;
    const double fuel = (*s.fuelUsed)[k] - (*s.fuelUsed)[0];
    const double cumulative = distance > 0.2 ? fuel / (density * 1000.0) / distance * 100.0 : NAN;
    series.row({t[k], (*s.targetKmh)[k], f.following.lowerKmh[k], f.following.upperKmh[k], (*s.speedKmh)[k],
                at(s.fuelRate, k), cumulative, at(s.stateOfCharge, k), at(s.busVoltage, k), at(s.accelerator, k),
                at(s.brake, k), at(s.gear, k), at(s.lockup, k)});
  }
  series.close();

  // The engine's operating points while it burns fuel: its torque from the fuel map.
  DataFile points(dir / "report-engine-points.dat", ' ');
  if (s.engineRpm && s.fuelRate) {
    for (std::size_t k = 0; k < n; k += every) {
      const double rpm = (*s.engineRpm)[k], rate = (*s.fuelRate)[k];
      if (rpm > 0.0 && rate > 0.0) points.row({rpm, maps.torqueForFuel(rate, rpm)});
    }
  }
  points.close();

  // Brake-specific consumption over the map's speeds up to the full-load torque.
  DataFile grid(dir / "report-engine-grid.dat", ' ');
  const double lowRpm = maps.fuelSpeeds.front() < 800.0 ? 800.0 : maps.fuelSpeeds.front();
  const double highRpm = maps.fuelSpeeds.back(), highTorque = maps.fuelTorques.back();
  for (int i = 0; i <= 60; ++i) {
    const double rpm = lowRpm + (highRpm - lowRpm) * i / 60.0;
    for (int j = 1; j <= 60; ++j) {
      const double torque = highTorque * j / 60.0;
      const double bsfc = torque <= maps.fullLoadTorque(rpm) + 1e-9 ? maps.brakeSpecificConsumption(torque, rpm) : NAN;
      grid.row({rpm, torque, bsfc});
    }
    grid.text("");
  }
  grid.close();
  DataFile fullLoad(dir / "report-full-load.dat", ' ');
  for (int i = 0; i <= 200; ++i) {
    const double rpm = maps.torqueSpeeds.front() + (maps.torqueSpeeds.back() - maps.torqueSpeeds.front()) * i / 200.0;
    fullLoad.row({rpm, maps.fullLoadTorque(rpm), maps.closedThrottleTorque(rpm)});
  }
  fullLoad.close();

  DataFile phases(dir / "report-phases.csv");
  for (std::size_t i = 0; i < f.phases.size(); ++i) {
    phases.text(std::to_string(i) + ",\"" + f.phases[i].name + "\"," + std::to_string(f.phases[i].litresPer100Km));
  }
  phases.close();
}

std::string range(double low, double high) {
  const double margin = std::max(0.05 * (high - low), 0.02 * std::max(std::fabs(high), 1.0));
  char text[80];
  std::snprintf(text, sizeof text, "[%.6g:%.6g]", low - margin, high + margin);
  return text;
}

}  // namespace

std::vector<Plot> drawPlots(const VehicleSignals& s, const VehicleFigures& f, const ReportSettings& settings,
                            const fs::path& dir) {
  const EngineMaps maps = engineMaps(s);
  writeSeries(s, f, maps, settings.fuelDensityKgPerL, dir);
  std::vector<Plot> plots;
  std::string g;
  g += "# The vehicle report's plots; redraw with: gnuplot report-plots.gp (in this folder)\n";
  g += "set datafile separator ','\nset datafile missing 'nan'\n";
  g += "set terminal svg size 1100,480 dynamic noenhanced font 'sans,13' background '#ffffff'\n";
  g += "set grid\nset key inside top left opaque\nset xlabel 'time (s)'\n";
  g += "series = 'report-series.csv'\n";
  auto plot = [&](const char* file, const char* title) {
    plots.push_back({title, dir / file});
    g += std::string("set output ") + quoted(file) + "\nset title " + quoted(title) + "\n";
  };

  plot("speed.svg", "Vehicle speed and the cycle's tolerance band");
  g += "set ylabel 'speed (km/h)'\n";
  g += "plot series using 1:3:4 with filledcurves fc rgb '#a0c8f0' fs solid 0.5 title 'tolerance band',"
       " '' using 1:2 with lines lc rgb '#204080' dt 2 title 'target',"
       " '' using 1:5 with lines lc rgb '#c03020' title 'vehicle'\n";

  plot("engine-map.svg", "Engine operating points over the torque and fuel maps");
  // Contours of the brake-specific consumption up to the full-load torque, drawn as a map view
  // of the surface with the operating points and torque curves in the plane beneath them.
  g += "set datafile separator whitespace\nset view map\nset contour base\n"
       "set cntrparam levels discrete 245,250,260,280,300,350,400\nset cntrlabel format '%.0f' start 25 interval 60\n"
       "set xlabel 'engine speed (rpm)'\nset ylabel 'engine torque (N.m)'\nset key outside right top\n";
  g += "splot 'report-engine-grid.dat' using 1:2:3 nosurface with lines lw 1.5 title 'g/kWh',"
       " '' using 1:2:3 nosurface with labels font ',9' notitle,"
       " 'report-full-load.dat' using 1:2:(0) nocontours with lines lw 2 lc rgb 'black' title 'full-load torque',"
       " '' using 1:3:(0) nocontours with lines lc rgb '#707070' dt 2 title 'closed-throttle torque',"
       " 'report-engine-points.dat' using 1:2:(0) nocontours with points pt 7 ps 0.2 lc rgb '#2040c0' title "
       "'operating points'\n";
  g += "unset contour\nunset view\nset datafile separator ','\nset xlabel 'time (s)'\nset key inside top left opaque\n";

  plot("fuel.svg", "Fuel rate and cumulative consumption");
  g += "set ylabel 'fuel rate (g/s)'\nset y2label 'cumulative consumption (L/100 km)'\nset y2tics\nset ytics nomirror\n";
  g += "plot series using 1:6 with lines lc rgb '#808080' title 'fuel rate',"
       " '' using 1:7 axes x1y2 with lines lw 2 lc rgb '#c03020' title 'cumulative L/100 km (from 0.2 km on)'\n";
  g += "unset y2label\nunset y2tics\nset ytics mirror\n";

  if (!f.phases.empty()) {
    plot("phases.svg", "Fuel consumption per phase");
    char total[200];
    std::snprintf(total, sizeof total, "%.6g", f.total.litresPer100Km);
    g += "set xlabel 'phase'\nset ylabel 'consumption (L/100 km)'\nset style fill solid 0.6\nset boxwidth 0.6\n"
         "set yrange [0:*]\nset xrange [-0.6:" + std::to_string(f.phases.size()) + "-0.4]\n";
    g += "plot 'report-phases.csv' using 1:3:xtic(2) with boxes lc rgb '#4080c0' title 'phase', " +
         std::string(total) + " with lines lw 2 lc rgb '#c03020' title 'whole cycle'\n";
    g += "set autoscale x\nset autoscale y\nset xlabel 'time (s)'\nset xtics auto\n";
  }

  if (f.battery) {
    plot("electrical.svg", "State of charge and bus voltage");
    g += "set ylabel 'state of charge (%)'\nset y2label 'bus voltage (V)'\nset y2tics\nset ytics nomirror\n";
    g += "set yrange " + range(f.socMin, std::max(f.socMax, f.socUpperLimit)) + "\n";
    double busLow = f.busMin, busHigh = f.busMax;
    if (s.busVoltage) {
      busLow = std::min(busLow, s.busVoltage->front());
      busHigh = std::max(busHigh, s.busVoltage->front());
    }
    g += "set y2range " + range(busLow, busHigh) + "\n";
    char limit[200];
    std::snprintf(limit, sizeof limit, "%.6g with lines dt 2 lc rgb '#208020' title 'charge limit %.6g %%'",
                  f.socUpperLimit, f.socUpperLimit);
    g += "plot series using 1:8 with lines lw 2 lc rgb '#208020' title 'state of charge', " + std::string(limit) +
         ", '' using 1:9 axes x1y2 with lines lc rgb '#c06000' title 'bus voltage'\n";
    g += "unset y2label\nunset y2tics\nset ytics mirror\nset autoscale y\n";
  }

  if (s.accelerator || s.brake) {
    plot("pedals.svg", "Pedals");
    g += "set ylabel 'pedal (%)'\nset yrange [-5:105]\n";
    g += "plot series using 1:10 with lines lc rgb '#208020' title 'accelerator', '' using 1:11 with lines lc rgb "
         "'#c03020' title 'brake'\nset autoscale y\n";
  }

  if (f.gears) {
    plot("gear.svg", "Gear and lock-up clutch");
    g += "set ylabel 'gear'\nset yrange [0:" + std::to_string(f.timeInGear.size() + 1) +
         "]\nset ytics 1 nomirror\nset y2label 'lock-up command (0 or 1)'\nset y2range [-0.1:1.1]\nset y2tics 1\n";
    g += "plot series using 1:12 with steps lw 2 lc rgb '#204080' title 'gear', '' using 1:13 axes x1y2 with steps "
         "lc rgb '#c06000' title 'lock-up'\n";
    g += "unset y2label\nunset y2tics\nset ytics mirror auto\nset autoscale y\n";
  }
  g += "set output\n";
  const fs::path script = fs::absolute(dir / "report-plots.gp");
  master::writeTextFile(script, g);
  try {
    runGnuplot(script, dir);
    for (const Plot& p : plots) {
      if (!fs::is_regular_file(p.file)) throw PlotError("gnuplot drew no " + p.file.filename().string());
    }
  } catch (const PlotError&) {
    // No plot file stays behind half drawn or empty.
    std::error_code ec;
    for (const Plot& p : plots) fs::remove(p.file, ec);
    throw;
  }
  return plots;
}

}  // namespace report

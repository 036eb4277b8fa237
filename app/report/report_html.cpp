#include "app/report/report_html.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tools/markup_escape.h"

namespace report {

namespace {

std::string escape(std::string_view text) { return tools::escapeMarkup(text); }

std::string base64(const std::string& bytes) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                       static_cast<unsigned char>(bytes[i + 2]);
    for (int shift = 18; shift >= 0; shift -= 6) out += alphabet[(v >> shift) & 63];
  }
  if (i < bytes.size()) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += alphabet[(v >> 18) & 63];
    out += alphabet[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? alphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string readFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  if (!in) throw std::runtime_error("cannot read the plot '" + file.string() + "'");
  return s.str();
}

std::string num(double v, const char* format = "%.3f") {
  if (!std::isfinite(v)) return "&ndash;";
  char text[64];
  // A denormal (round-off, such as -2.283e-321) and a negative zero are shown as 0.
  std::snprintf(text, sizeof text, format, std::fpclassify(v) == FP_SUBNORMAL || v == 0.0 ? 0.0 : v);
  return text;
}

class Html {
 public:
  void raw(const std::string& s) { out_ += s; }
  void heading(const std::string& title) { out_ += "<h2>" + escape(title) + "</h2>\n"; }
  void tableStart(std::initializer_list<const char*> header) {
    out_ += "<table><tr>";
    for (const char* h : header) out_ += std::string("<th>") + h + "</th>";
    out_ += "</tr>\n";
  }
  void row(std::initializer_list<std::string> cells) {
    out_ += "<tr>";
    bool first = true;
    for (const std::string& c : cells) {
      out_ += first ? "<td>" + c + "</td>" : "<td class=\"n\">" + c + "</td>";
      first = false;
    }
    out_ += "</tr>\n";
  }
  void tableEnd() { out_ += "</table>\n"; }
  std::string str() const { return out_; }

 private:
  std::string out_;
};

void consumptionRow(Html& h, const Consumption& c) {
  h.row({escape(c.name), num(c.startTime, "%.0f") + "&ndash;" + num(c.endTime, "%.0f"), num(c.distanceKm),
         num(c.cycleDistanceKm), num(c.fuelGrams, "%.2f"), num(c.litresPer100Km), num(c.co2GramsPerKm, "%.1f")});
}

void energyTable(Html& h, const Energy& e) {
  h.heading("Energy");
  h.raw("<p>Each flow is an amount of energy in kJ in the direction its name says, never negative; only the "
        "changes (kinetic energy gained, battery) and the balance carry a sign.</p>\n");
  h.tableStart({"flow", "kJ", "how it is worked out"});
  h.row({"fuel", num(e.fuel, "%.0f"), "fuel used &times; lower heating value"});
  if (e.engine) h.row({"engine to driveline", num(e.engineToDriveline, "%.0f"), "converter and lock-up clutch torque on the engine &times; engine speed"});
  h.row({"gearbox loss", num(e.gearboxLoss, "%.0f"), "the powertrain's gearbox loss power"});
  if (e.wheels) {
    h.row({"wheels: traction", num(e.traction, "%.0f"), "driveshaft torque &times; wheel travel, where it drives"});
    h.row({"wheels: engine braking", num(e.wheelBraking, "%.0f"), "the same, where it holds back (what the wheels gave back to the driveline)"});
    h.row({"friction brakes", num(e.frictionBrakes, "%.0f"), "the chassis' lagged brake force (from the brake pedal) &times; speed"});
    h.row({"aerodynamic drag", num(e.aerodynamic, "%.0f"), "the chassis' drag law and parameters over its speed"});
    h.row({"rolling resistance", num(e.rolling, "%.0f"), "the chassis' rolling law and parameters over its speed"});
    if (e.extraResistance != 0.0) h.row({"extra resistance", num(e.extraResistance, "%.0f"), "the chassis' constant extra force"});
    h.row({"kinetic energy gained", num(e.kineticGain, "%+.1f"), "&frac12; m (v<sub>end</sub>&sup2; &minus; v<sub>start</sub>&sup2;)"});
    h.row({"<b>balance at the wheels</b>", num(e.balance, "%+.2f"),
           "what the wheels received less what the chassis forces and the kinetic energy took (" +
               num(e.traction > 0.0 ? std::fabs(e.balance) / e.traction * 100.0 : 0.0, "%.3f") + " % of traction)"});
  }
  if (e.electrical) {
    h.row({"alternator drive", num(e.alternatorDrive, "%.1f"), "alternator torque on the engine &times; engine speed"});
    h.row({"belt drive loss", num(e.beltLoss, "%.1f"), "the electrical system's drive loss power"});
    h.row({"battery", num(e.batteryKj, "%+.1f"), "charge gained (" + num(e.batteryAh, "%+.3f") + " Ah) &times; mean bus voltage"});
  }
  h.tableEnd();
}

}  // namespace

std::string reportHtml(const master::RunRecord& record, const VehicleFigures& f, const ReportSettings& s,
                       const std::vector<std::string>& messages, const std::vector<Plot>& plots,
                       const ProvenanceRows& provenance) {
  Html h;
  const std::string name = record.systemName.empty() ? std::string("vehicle") : record.systemName;
  h.raw("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>Vehicle report: " + escape(name) +
        "</title>\n<style>\nbody{font-family:sans-serif;margin:2em;max-width:1200px;color:#222}\n"
        "table{border-collapse:collapse;margin:0.5em 0 1.5em}\nth,td{border:1px solid #bbb;padding:0.25em 0.6em;"
        "text-align:left}\ntd.n{text-align:right;font-variant-numeric:tabular-nums}\nth{background:#eef}\n"
        ".fail{background:#fdd;border:1px solid #c00;padding:0.5em}\n.ok{background:#dfd;border:1px solid #080;"
        "padding:0.5em}\n.note{background:#ffd;border:1px solid #aa0;padding:0.5em;margin:0.3em 0}\n"
        "figure{margin:1em 0}\nimg{max-width:100%}\n</style></head>\n<body>\n");
  h.raw("<h1>Vehicle report: " + escape(name) + "</h1>\n<p>System " + escape(record.systemFile.string()) + "; " +
        num(f.duration, "%.2f") + " s at a communication step of " + num(f.step, "%g") + " s");
  if (record.wallSeconds > 0.0) h.raw("; " + num(f.duration / record.wallSeconds, "%.0f") + " times real time");
  h.raw(".</p>\n");
  if (!provenance.empty()) {
    h.raw("<table class=\"run\">");
    for (const auto& [label, value] : provenance) {
      h.raw("<tr><th>" + escape(label) + "</th><td><code>" + escape(value) + "</code></td></tr>");
    }
    h.raw("</table>\n");
  }
  if (messages.empty()) {
    h.raw("<p class=\"ok\">Health checks passed.</p>\n");
  } else {
    for (const std::string& m : messages) h.raw("<p class=\"fail\">" + escape(m) + "</p>\n");
  }

  h.heading("Distance and fuel");
  h.tableStart({"", "time (s)", "distance (km)", "cycle distance (km)", "fuel (g)", "L/100 km", "g CO<sub>2</sub>/km"});
  for (const Consumption& p : f.phases) consumptionRow(h, p);
  consumptionRow(h, f.total);
  h.tableEnd();
  h.raw("<p>Fuel properties: density " + num(s.fuelDensityKgPerL, "%.3f") + " kg/L, " + num(s.co2PerGramFuel, "%.2f") +
        " g CO<sub>2</sub> per g of fuel, lower heating value " + num(s.lowerHeatingValueMjPerKg, "%.1f") +
        " MJ/kg (petrol defaults; see --fuel-density, --co2-per-gram, --lower-heating-value).</p>\n");

  h.heading("Cycle following");
  const CycleFollowing& c = f.following;
  h.tableStart({"tolerance band", "excursions", "time outside (s)", "share of the cycle", "limit", "worst (km/h)",
                "speed error RMS (km/h)", "result"});
  h.row({"&plusmn;" + num(s.toleranceKmh, "%g") + " km/h, &plusmn;" + num(s.toleranceSeconds, "%g") + " s",
         std::to_string(c.excursions.size()), num(c.excursionSeconds, "%.2f"), num(f.excursionShare * 100.0, "%.2f") + " %",
         num(s.excursionShareLimit * 100.0, "%.2f") + " %", num(c.worstKmh, "%+.2f"), num(f.rmsErrorKmh),
         f.followingPassed ? "passed" : "<b>failed</b>"});
  h.tableEnd();
  if (!c.excursions.empty()) {
    h.tableStart({"excursion", "from (s)", "to (s)", "worst beyond the band (km/h)", "at (s)", "target (km/h)",
                  "vehicle (km/h)"});
    for (std::size_t i = 0; i < c.excursions.size() && i < 30; ++i) {
      const Excursion& e = c.excursions[i];
      h.row({std::to_string(i + 1), num(e.start, "%.2f"), num(e.end, "%.2f"), num(e.worstKmh, "%+.2f"),
             num(e.worstTime, "%.2f"), num(e.targetKmh, "%.2f"), num(e.actualKmh, "%.2f")});
    }
    h.tableEnd();
    if (c.excursions.size() > 30) h.raw("<p>&hellip; and " + std::to_string(c.excursions.size() - 30) + " more.</p>\n");
  }
  if (f.pedals) {
    h.tableStart({"both pedals pressed (beyond the threshold)", "threshold", "share of the run", "limit", "result"});
    h.row({num(f.bothPedalsSeconds, "%.2f") + " s", num(s.pedalPressedPercent, "%g") + " %", num(f.bothPedalsShare * 100.0, "%.2f") + " %",
           num(s.bothPedalsShareLimit * 100.0, "%.2f") + " %", f.pedalsPassed ? "passed" : "<b>failed</b>"});
    h.tableEnd();
  }

  energyTable(h, f.energy);

  h.heading("Gears, battery and bus");
  h.tableStart({"figure", "value"});
  if (f.gears) {
    for (std::size_t g = 0; g < f.timeInGear.size(); ++g) {
      h.row({"time in gear " + std::to_string(g + 1), num(f.timeInGear[g], "%.2f") + " s"});
    }
    h.row({"shifts", std::to_string(f.shifts)});
    h.row({"lock-up engaged", num(f.lockupSeconds, "%.2f") + " s"});
  }
  h.row({"highest engine speed", num(f.maxEngineRpm, "%.0f") + " rpm"});
  if (f.battery) {
    h.row({"state of charge at the start / end", num(f.socStart) + " % / " + num(f.socEnd) + " %"});
    h.row({"state of charge lowest / highest", num(f.socMin) + " % / " + num(f.socMax) + " %"});
    h.row({"charge limits", num(f.socLowerLimit, "%g") + " % to " + num(f.socUpperLimit, "%g") + " %"});
    h.row({"upper limit reached", f.socUpperReachedAt >= 0.0 ? "at t = " + num(f.socUpperReachedAt, "%.2f") + " s" : "no"});
    h.row({"lower limit reached", f.socLowerReachedAt >= 0.0 ? "at t = " + num(f.socLowerReachedAt, "%.2f") + " s" : "no"});
    h.row({"bus voltage after the first step", num(f.busMin) + " V (t = " + num(f.busMinTime, "%.2f") + " s) to " +
                                                   num(f.busMax) + " V (t = " + num(f.busMaxTime, "%.2f") + " s)"});
  }
  h.tableEnd();

  if (!f.notes.empty()) {
    h.heading("Notes");
    for (const std::string& n : f.notes) h.raw("<p class=\"note\">" + escape(n) + "</p>\n");
  }

  if (!plots.empty()) h.heading("Plots");
  if (!f.plotsSkipped.empty()) h.raw("<p>Plots: skipped: " + escape(f.plotsSkipped) + ".</p>\n");
  for (const Plot& p : plots) {
    h.raw("<figure><img alt=\"" + escape(p.title) + "\" src=\"data:image/svg+xml;base64," + base64(readFile(p.file)) +
          "\"><figcaption>" + escape(p.title) + " (" + escape(p.file.filename().string()) + ")</figcaption></figure>\n");
  }
  h.raw("</body></html>\n");
  return h.str();
}

}  // namespace report

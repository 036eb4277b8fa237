#include "app/cli/coupling_check.h"

#include <cmath>
#include <cstdio>

#include "app/summary_conventions.h"

namespace master::cli {

namespace {

std::string line(const CouplingEstimate& c) {
  char text[400];
  std::snprintf(text, sizeof text, "%s against %s (exchanged every %g s): residual %.4g kJ of %.4g kJ that crossed, %.4f %%",
                c.effort.c_str(), c.flow.c_str(), c.exchangeStep, c.residual / 1000.0, c.transferred / 1000.0,
                c.share() * 100.0);
  return text;
}

}  // namespace

double couplingIndicator(const RunRecord& record, double chatterShare) {
  double sum = std::isnan(chatterShare) ? 0.0 : chatterShare;
  for (const CouplingEstimate& c : record.couplingErrors) sum += c.share();
  return sum;
}

std::string couplingText(const RunRecord& record, double limit, double chatterShare) {
  if (record.couplingErrors.empty()) return {};
  char head[160];
  std::snprintf(head, sizeof head, "Coupling error (energy residual of each power bond; limit %g %%)\n", limit * 100.0);
  std::string text = head;
  for (const CouplingEstimate& c : record.couplingErrors) {
    text += "  " + line(c) + (c.share() > limit ? "  EXCEEDED" : "") + "\n";
  }
  char last[200];
  std::snprintf(last, sizeof last, "  indicator %.4f %% (the bonds' shares%s summed: ranks runs by their distance from converged)\n",
                couplingIndicator(record, chatterShare) * 100.0,
                std::isnan(chatterShare) ? "" : " and the share of the run with both pedals pressed");
  return text + last;
}

nlohmann::json couplingJson(const RunRecord& record, double limit, double chatterShare) {
  namespace keys = conventions::summary;
  nlohmann::json bonds = nlohmann::json::array();
  for (const CouplingEstimate& c : record.couplingErrors) {
    bonds.push_back({{keys::bondEffort, c.effort},
                     {"flow", c.flow},
                     {"exchangeStep", c.exchangeStep},
                     {"residualKj", c.residual / 1000.0},
                     {"transferredKj", c.transferred / 1000.0},
                     {keys::share, c.share()},
                     {"passed", !(c.share() > limit)}});
  }
  return {{"limit", limit}, {keys::bonds, bonds}, {keys::couplingIndicator, couplingIndicator(record, chatterShare)}};
}

std::string couplingCheck(const RunRecord& record, double limit) {
  const CouplingEstimate* worst = nullptr;
  for (const CouplingEstimate& c : record.couplingErrors) {
    if (c.share() > limit && (worst == nullptr || c.share() > worst->share())) worst = &c;
  }
  if (worst == nullptr) return {};
  char text[120];
  std::snprintf(text, sizeof text, " exceeds the limit of %g %%: the step is too coarse for converged results", limit * 100.0);
  return "coupling error: " + line(*worst) + text + "; check the step with 'vehicle-sim check-step'";
}

}  // namespace master::cli

// A run's loop over the communication points, and the recording of each point.
#include "engine/run.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "engine/error.h"
#include "engine/progress_bar.h"

namespace master::run {

namespace {

using Clock = std::chrono::steady_clock;

// Detaches the log from the progress bar before the bar goes, however the run ends: the units
// may still write to the log when their instances are freed.
struct DetachLog {
  UnitLog& log;
  ~DetachLog() { log.attach(nullptr); }
};

// A recorded output of a component, as a number.
double recordedValue(const Component& c, Slot slot, int parity) {
  switch (slot.first) {
    case realKind: return c.realOut[parity][slot.second];
    case integerKind: return static_cast<double>(c.intOut[parity][slot.second]);
    default: return c.boolOut[parity][slot.second] != 0 ? 1.0 : 0.0;
  }
}

}  // namespace

RunOutcome Run::run() {
  RunOutcome outcome;
  if (!(options_.step > 0.0) || !std::isfinite(options_.step)) throw MasterError("the communication step must be a positive time");
  build();
  describePlan(outcome);
  h_ = options_.step;
  Timeline line = timeline();
  record_.systemFile = system_.package->path();
  record_.systemName = system_.structure.name;
  record_.startTime = line.start;
  record_.communicationStep = h_;

  instantiate();
  initialize(line, outcome);
  startThreads(outcome);
  for (RunObserver* o : observers_) o->start(record_);

  ProgressBar bar(line.bounded ? line.steps : 0, options_.progress && line.bounded);
  log_.attach(&bar);
  const DetachLog detach{log_};
  const auto begin = Clock::now();
  for (std::int64_t k = 0;; ++k) {
    const bool timed = choice_.timed(k);
    const auto stepBegin = timed ? Clock::now() : Clock::time_point{};
    if (!communicationStep(k, line, outcome)) break;
    parity_ ^= 1;
    const double seconds = timed ? std::chrono::duration<double>(Clock::now() - stepBegin).count() : 0.0;
    // Balanced once from the cost each unit's steps took over the first steps.
    if (choice_.stepDone(k, seconds)) outcome.notes.push_back(balance());
    timing_ = choice_.measuring();
    bar.update(k + 1, t_ + h_);
  }
  finish(outcome, begin);
  bar.clear();
  return outcome;
}

// Point k: the feedthrough evaluated, the point recorded and the units stepped to the next one.
// False when the run ends at this point.
bool Run::communicationStep(std::int64_t k, const Timeline& line, RunOutcome& outcome) {
  t_ = line.start + static_cast<double>(k) * h_;
  point_ = k;
  const bool interrupted = stopRequested != 0 || (options_.keepGoing && !options_.keepGoing());
  const bool parallel = choice_.parallel();
  // The workers start before the feedthrough evaluation, with the components that need nothing
  // of it, whenever it is known before it that the run goes on.
  const bool early = parallel && !interrupted && k != line.steps && !finishedByFeedthrough_ &&
                     !(line.untilFinished && allFinished(parity_));
  if (early) pool_->start(&Run::stepShare, this);
  const auto feedthroughBegin = timing_ ? Clock::now() : Clock::time_point{};
  evaluateFeedthrough();
  if (timing_) feedthroughCosts_.addSince(feedthroughBegin);
  const bool last = k == line.steps || (line.untilFinished && allFinished(parity_));
  const bool goesOn = !last && !interrupted;
  if (goesOn && parallel) {
    if (!early) pool_->start(&Run::stepShare, this);
    pool_->finish();
  } else {
    // Alone, the point is recorded first (timed while the costs are measured), then every
    // share steps.
    const auto serialBegin = timing_ ? Clock::now() : Clock::time_point{};
    recordOnce();
    if (timing_) serialCosts_.addSince(serialBegin);
    if (goesOn) {
      for (unsigned s = 0; s < shares_.size(); ++s) stepShare(this, s);
    }
  }
  if (recordFailure_) std::rethrow_exception(recordFailure_);
  for (Component& c : components_) {
    if (c.failure) std::rethrow_exception(c.failure);
  }
  return !stopsAt(interrupted, outcome) && !last;
}

// Whether the run stops at this point before its end: a health check or a value not finite, or
// an interruption.
bool Run::stopsAt(bool interrupted, RunOutcome& outcome) {
  std::string stopMessage = std::move(recordMessage_);
  recordMessage_.clear();
  if (!stopMessage.empty()) outcome.status = recordStatus_;
  if (interrupted) {
    outcome.status = RunOutcome::Status::interrupted;
    char text[80];
    std::snprintf(text, sizeof text, "interrupted at t = %g s", t_);
    stopMessage = text;
  }
  if (stopMessage.empty()) return false;
  outcome.message = stopMessage;
  return true;
}

void Run::finish(RunOutcome& outcome, Clock::time_point begin) {
  pool_.reset();
  // Every unit is owed its fmi2Terminate, whichever way the run ended; one that failed gets it
  // when its instance goes, if its state allows it.
  for (Component& c : components_) c.instance->terminate();
  record_.wallSeconds = std::chrono::duration<double>(Clock::now() - begin).count();
  for (std::size_t i = 0; i < bonds_.size(); ++i) {
    record_.couplingErrors[i].residual = bonds_[i].residual;
    record_.couplingErrors[i].transferred = bonds_[i].transferred;
  }
  record_.interrupted = outcome.status == RunOutcome::Status::interrupted;
}

// Shares from the costs measured over the first steps.
std::string Run::balance() {
  std::vector<double> costs;
  for (Task& t : tasks_) costs.push_back(t.cost = t.costs.median());
  const double recording = serialCosts_.median();
  const double feedthrough = feedthroughCosts_.median();
  const std::vector<unsigned> share =
      splitByCost(costs, static_cast<unsigned>(shares_.size()), feedthrough, recording);
  for (auto& s : shares_) s.clear();
  for (std::size_t i = 0; i < tasks_.size(); ++i) shares_[share[i]].push_back(i);
  // In each share the components that need nothing of the feedthrough evaluation go first.
  for (auto& s : shares_) {
    std::stable_partition(s.begin(), s.end(), [&](std::size_t i) { return !tasks_[i].awaitsFeedthrough; });
  }
  std::string text = "threads' shares by measured cost (ns per step), the first after the feedthrough evaluation " +
                     std::to_string(static_cast<long>(feedthrough * 1e9)) + ", recording " +
                     std::to_string(static_cast<long>(recording * 1e9)) + " by the first done:";
  for (auto& s : shares_) {
    text += " [";
    for (std::size_t i : s) {
      std::string names;
      for (std::size_t m : tasks_[i].members) names += (names.empty() ? "" : "+") + components_[m].name;
      text += (text.back() == '[' ? "" : ", ") + names + " " + std::to_string(static_cast<long>(tasks_[i].cost * 1e9));
    }
    text += "]";
  }
  return text;
}

bool Run::allFinished(int parity) const {
  if (finishedFlags_.empty()) return false;
  for (const auto& [component, slot] : finishedFlags_) {
    if (components_[component].boolOut[parity][slot] == 0) return false;
  }
  return true;
}

// Records the current point unless another thread has taken it; the point's values are complete
// once its feedthrough evaluation is done.
void Run::recordOnce() noexcept {
  if (!awaitFeedthrough()) return;
  std::int64_t previous = point_ - 1;
  if (!recordClaim_.compare_exchange_strong(previous, point_, std::memory_order_acq_rel)) return;
  try {
    recordMessage_ = recordPoint(t_, static_cast<std::size_t>(point_), recordStatus_);
  } catch (...) {
    recordFailure_ = std::current_exception();
  }
}

std::string Run::recordPoint(double t, std::size_t point, RunOutcome::Status& status) {
  record_.time.push_back(t);
  std::size_t column = 0;
  bool finite = true;
  for (const Component& c : components_) {
    for (const auto& slot : c.recorded) {
      const double v = recordedValue(c, slot, parity_);
      record_.columns[column++].push_back(v);
      finite &= std::isfinite(v);
    }
  }
  if (!finite && !options_.allowNonFinite) {
    status = RunOutcome::Status::nonFinite;
    return firstNonFinite(t);
  }
  sumBonds();
  for (RunObserver* o : observers_) {
    std::string message = o->check(record_, point);
    if (!message.empty()) {
      status = RunOutcome::Status::healthCheckFailed;
      return message;
    }
  }
  return {};
}

// The first column of the point just recorded that is not finite, in the components' order.
std::string Run::firstNonFinite(double t) const {
  std::size_t column = 0;
  while (std::isfinite(record_.columns[column].back())) ++column;
  const double v = record_.columns[column].back();
  char text[64];
  std::snprintf(text, sizeof text, " at t = %.17g s", t);
  return record_.variables[column].component + "." + record_.variables[column].name + " is " +
         (std::isnan(v) ? "NaN" : "infinite") + text + " (--allow-non-finite goes on)";
}

// The coupling error of the bonds that exchange at the points, over the step that ends here.
void Run::sumBonds() {
  for (Bond& b : bonds_) {
    if (b.task >= 0) continue;
    const double e = realValue(b.effort, parity_), f = realValue(b.flow, parity_);
    if (b.started) b.add(b.lastEffort, b.lastFlow, e, f, h_);
    b.started = true;
    b.lastEffort = e;
    b.lastFlow = f;
  }
}

}  // namespace master::run

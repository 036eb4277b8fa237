// Runs the installed vehicle for 5 s through the installed engine and prints its last speed.
#include <cstdio>
#include <filesystem>

#include "engine/engine.h"
#include "engine/error.h"

int main() {
  if (!std::filesystem::exists(DRIVE_CYCLE_FMU)) return 1;
  try {
    master::LoadedSystem system = master::loadSystem(SYSTEM);
    master::EngineOptions options;
    options.stopTime = 5.0;
    options.threads = 1;
    options.progress = false;
    master::RunRecord record;
    const master::RunOutcome outcome = master::runSystem(system, options, record, {});
    const std::size_t speed = record.find("TESSIK", "vehicleSpeedKmh");
    if (outcome.status != master::RunOutcome::Status::ok || speed == master::RunRecord::npos) return 1;
    std::printf("%zu points, %.6f km/h at t = %g s\n", record.points(), record.columns[speed].back(), record.time.back());
    return record.points() == 501 ? 0 : 1;
  } catch (const master::MasterError& e) {
    std::fprintf(stderr, "embed: %s\n", e.what());
    return 1;
  }
}

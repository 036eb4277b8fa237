// The whole-vehicle co-simulation: loads the units a system structure names, couples them, and
// steps them together through a drive cycle. At every communication point the master reads all
// outputs, works out its own signals (the cycle's target speed, the gear and its ratio, the
// lock-up command), sets all inputs and steps every unit from that same point (Jacobi).
#pragma once

#include <csignal>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "master/drive_cycle.h"
#include "master/shift_schedule.h"
#include "master/summary.h"

namespace master {

// The system connectors the master knows: the signals it supplies and those it observes.
namespace signal_names {
inline constexpr const char* targetSpeed = "targetSpeedKmh";
inline constexpr const char* gearRatio = "gearRatio";
inline constexpr const char* lockupCommand = "lockupCommand";
inline constexpr const char* vehicleSpeed = "vehicleSpeedKmh";
inline constexpr const char* engineSpeed = "engineRpm";
inline constexpr const char* accelerator = "acceleratorPedal";
inline constexpr const char* brake = "brakePedal";
inline constexpr const char* stateOfCharge = "stateOfCharge";
inline constexpr const char* busVoltage = "busVoltage";
inline constexpr const char* fuel = "fuelUsed";
}  // namespace signal_names

struct SimulationOptions {
  std::filesystem::path systemFile;
  std::filesystem::path fmuDir;
  std::filesystem::path outDir;
  std::optional<std::filesystem::path> cycleFile;  // the NEDC when empty
  double step = 0.01;
  bool plots = true;
  bool verbose = false;
  bool progress = true;  // on stderr, and only when it is a terminal
  ShiftSettings shift;
};

struct SimulationResult {
  std::filesystem::path csvFile, summaryFile;
  std::vector<std::filesystem::path> plotFiles;
  Summary summary;
};

// Set asynchronously (SIGINT, SIGTERM) to end the run early; the run then cleans up and fails
// with "interrupted".
extern volatile std::sig_atomic_t stopRequested;

// Runs the whole simulation and writes the results; throws MasterError on any failure, after
// freeing the instances and removing the unpacked units.
SimulationResult runSimulation(const SimulationOptions& options);

}  // namespace master

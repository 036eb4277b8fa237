// The names the engine, the command line, the vehicle report, its monitor and the sweep agree
// on, written once. The engine's own conventions (engine.h) are the first two: a run without a
// stop time lasts the largest Real calculated parameter `duration` and ends early once every
// Boolean output `finished` is raised. The others are the vehicle's: the drive cycle unit and
// its String parameter, and the signals the monitor watches.
#pragma once

namespace master::conventions {

// The engine's.
inline constexpr const char* finishedOutput = "finished";     // Boolean output: the component is done
inline constexpr const char* durationParameter = "duration";  // Real calculated parameter, s

// The vehicle's, for --cycle, the report and the monitor.
inline constexpr const char* driveCycleUnit = "DriveCycle";  // model identifier
inline constexpr const char* cycleParameter = "cycle";       // its String parameter: the trace
inline constexpr const char* targetSpeedOutput = "targetSpeedKmh";
inline constexpr const char* chassisUnit = "TESSIK";
inline constexpr const char* vehicleSpeedOutput = "vehicleSpeedKmh";

}  // namespace master::conventions

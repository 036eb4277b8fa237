// The vehicle's names that the command line, the vehicle report, its monitor and the sweep agree
// on, written once: the drive cycle unit and its String parameter, and the signals the monitor
// watches. The engine's own names are in engine/conventions.h.
#pragma once

namespace master::conventions {

inline constexpr const char* driveCycleUnit = "DriveCycle";  // model identifier
inline constexpr const char* cycleParameter = "cycle";       // its String parameter: the trace
inline constexpr const char* targetSpeedOutput = "targetSpeedKmh";
inline constexpr const char* chassisUnit = "TESSIK";
inline constexpr const char* vehicleSpeedOutput = "vehicleSpeedKmh";

}  // namespace master::conventions

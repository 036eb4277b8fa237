// The run summary, summary.json, which the command line and the report write and the sweep (and
// a rerun) read back, named once: renaming a key on one side only would leave a sweep column empty.
#pragma once

namespace master::conventions {

// summary.json in a run's folder.
namespace summary {
inline constexpr const char* fileName = "summary.json";
// How the run ended (the command line's): the exit code, one of the statuses below, and why.
inline constexpr const char* exitCode = "exitCode";
inline constexpr const char* status = "status";
inline constexpr const char* message = "message";
inline constexpr const char* realTimeFactor = "realTimeFactor";
inline constexpr const char* ok = "ok";
inline constexpr const char* healthCheckFailed = "health-check-failed";  // exit code 2
inline constexpr const char* error = "error";
inline constexpr const char* interrupted = "interrupted";
// The vehicle's figures (the report's), of the whole run and of each entry of `phases`, which
// has its `name`.
inline constexpr const char* distanceKm = "distanceKm";
inline constexpr const char* cycleDistanceKm = "cycleDistanceKm";
inline constexpr const char* fuelGrams = "fuelGrams";
inline constexpr const char* fuelLitresPer100Km = "fuelLitresPer100Km";
inline constexpr const char* co2GramsPerKm = "co2GramsPerKm";
inline constexpr const char* phases = "phases";
inline constexpr const char* phaseName = "name";
// How closely the vehicle followed the cycle: an object of these keys.
inline constexpr const char* cycleFollowing = "cycleFollowing";
inline constexpr const char* excursions = "excursions";
inline constexpr const char* excursionSeconds = "excursionSeconds";
inline constexpr const char* worstKmh = "worstKmh";
inline constexpr const char* passed = "passed";
// What the step check (check-step) compares besides: the friction brakes' energy in `energy`,
// the share of the run with both pedals pressed in `bothPedals`, and the coupling error, an
// object of `bonds` (each with the `effort` it is named by and its `share`) and an `indicator`.
inline constexpr const char* energy = "energy";
inline constexpr const char* frictionBrakesKj = "frictionBrakesKj";
inline constexpr const char* bothPedals = "bothPedals";
inline constexpr const char* share = "share";
inline constexpr const char* couplingError = "couplingError";
inline constexpr const char* bonds = "bonds";
inline constexpr const char* bondEffort = "effort";
inline constexpr const char* couplingIndicator = "indicator";
}  // namespace summary

}  // namespace master::conventions

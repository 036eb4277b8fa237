// The names the engine gives a meaning to (engine.h): a run without a stop time lasts the largest
// Real calculated parameter `duration` and ends early once every Boolean output `finished` is
// raised.
#pragma once

namespace master::conventions {

inline constexpr const char* finishedOutput = "finished";     // Boolean output: the component is done
inline constexpr const char* durationParameter = "duration";  // Real calculated parameter, s

}  // namespace master::conventions

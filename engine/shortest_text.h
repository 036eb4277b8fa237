// The shortest text of a double that reads back as the same double, character for character the
// text std::to_chars(first, last, value) writes: the fewest significant digits that round-trip,
// the one nearest the value where several do (ties to an even last digit), in fixed notation
// unless scientific is shorter.
//
// Results files are mostly such numbers, and forming them is the costliest part of a row. Values
// from 1e-10 up to 2^53 in magnitude (nearly every physical signal) are formed here with exact
// 128-bit integer arithmetic, in about a third of the instructions of the general routine; zero,
// subnormal, tiny and large values, infinities and NaN go to std::to_chars itself.
#pragma once

namespace master {

// The longest text: "-1.2345678901234567e-308".
inline constexpr int shortestTextLength = 24;
// The room the text is formed in: the characters after it, up to this many from its start, may
// be overwritten (the digits are moved in copies of fixed size).
inline constexpr int shortestTextRoom = 40;

// Writes the text at `p` (shortestTextRoom characters of room) and returns its end.
char* writeShortest(char* p, double value);

}  // namespace master

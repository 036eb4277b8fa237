// Numeric block routines shared by the models: table lookups with linear interpolation in one,
// two and three dimensions, a power function with defined results for special operands, and the
// library-wide infinity and NaN values with their tests. All arithmetic is in double precision
// and keeps the order of operations that the models' results depend on.
#pragma once

#include <cstddef>
#include <cstdint>

namespace runtime {

// Set by initializeNonFinites; all three hold 0.0 until it first runs.
extern double infValue;
extern double minusInfValue;
extern double nanValue;

// Sets the three non-finite values (NaN with the bit pattern 0xFFF8000000000000). Idempotent.
// The argument is the size of a real, which is not used.
void initializeNonFinites(std::size_t realSize);

bool isNaN(double x);
bool isInf(double x);

// 1-D lookups: breakpoints bp[0..maxIndex] strictly increasing, table with one value each.
// Clip holds the end values outside the range (a NaN input gives table[maxIndex]); Extrap extends
// the first or last segment linearly.
double lookup1DClip(double u, const double* bp, const double* table, uint32_t maxIndex);
double lookup1DExtrap(double u, const double* bp, const double* table, uint32_t maxIndex);

// 2-D lookups over a table with dimension 0 running fastest: element (i0, i1) at i0 + i1 * stride.
double lookup2DClip(double u0, double u1, const double* bp0, const double* bp1, const double* table,
                    const uint32_t* maxIndex, uint32_t stride);
double lookup2DExtrap(double u0, double u1, const double* bp0, const double* bp1,
                      const double* table, const uint32_t* maxIndex, uint32_t stride);

// The extrapolating interval search: returns the index, stores the fraction.
uint32_t findIntervalExtrap(double u, const double* bp, uint32_t maxIndex, double* fraction);

// Trilinear interpolation: element (i0, i1, i2) at i0 + i1 * strides[0] + i2 * strides[1].
double interpolate3D(const uint32_t* index, const double* fraction, const double* table,
                     const uint32_t* strides);

// a to the power b with defined results for NaN, infinite and negative operands.
double powerSafe(double a, double b);

}  // namespace runtime

// Force-included into every source of the unit libraries (cmake/BuildFlags.cmake). The GNU C
// library keeps the old versions of a symbol when it adds a new one, and the link binds to the
// newest: pow, exp and log to GLIBC_2.29, memcpy to GLIBC_2.14, which would keep the units off
// every system with an older library. Each symbol below is bound instead to the oldest version
// the platform offers (GLIBC_2.2.5 on x86-64, GLIBC_2.17 on AArch64), so that the units load on
// glibc 2.17 and later. The old versions compute the same values on a current library (pow and
// the others differ only in how they report errors through errno); memcpy's oldest version is
// memmove. A test reads each unit's dynamic symbol table and fails on any version newer than
// GLIBC_2.17, so a symbol missing here is found.
#pragma once

#if defined(__linux__) && defined(__has_include)
#if __has_include(<features.h>)
#include <features.h>
#endif
#endif

#if defined(__GLIBC__)
#if defined(__x86_64__)
#define VEHICLE_GLIBC_OLDEST "GLIBC_2.2.5"
#elif defined(__aarch64__)
#define VEHICLE_GLIBC_OLDEST "GLIBC_2.17"
#endif
#endif

#ifdef VEHICLE_GLIBC_OLDEST
// A symbol that the unit does not use is left alone.
#define VEHICLE_BIND_OLDEST(symbol) \
  __asm__(".symver " #symbol "," #symbol "@" VEHICLE_GLIBC_OLDEST)
VEHICLE_BIND_OLDEST(memcpy);
VEHICLE_BIND_OLDEST(pow);
VEHICLE_BIND_OLDEST(exp);
VEHICLE_BIND_OLDEST(exp2);
VEHICLE_BIND_OLDEST(log);
VEHICLE_BIND_OLDEST(log2);
VEHICLE_BIND_OLDEST(powf);
VEHICLE_BIND_OLDEST(expf);
VEHICLE_BIND_OLDEST(exp2f);
VEHICLE_BIND_OLDEST(logf);
VEHICLE_BIND_OLDEST(log2f);
#undef VEHICLE_BIND_OLDEST
#endif

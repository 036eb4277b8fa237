# Compile options that every target of the project carries on itself.
#
# Results must be reproducible to the last bit: floating-point contraction into fused
# multiply-add is switched off and no fast-math style option may appear. The flags live on the
# targets (not in a toolchain file or cache variable) so that no configuration can lose them.
#
# An aggregate initialiser that leaves a field out is an error: the stored default parameter
# records name every field, so a field added to a record without a default value does not
# compile.

set(VEHICLE_EXACT_MATH_FLAGS -ffp-contract=off -fno-fast-math -fmath-errno -fno-associative-math
    -fno-reciprocal-math -fsigned-zeros -ftrapping-math)

# The sanitizers VEHICLE_SANITIZE asks for: ON (or "address") for AddressSanitizer with
# UndefinedBehaviorSanitizer, "thread" for ThreadSanitizer (the engine's worker pool).
if(VEHICLE_SANITIZE STREQUAL "thread")
  set(VEHICLE_SANITIZERS thread)
elseif(VEHICLE_SANITIZE STREQUAL "address" OR VEHICLE_SANITIZE)
  set(VEHICLE_SANITIZERS address,undefined)
else()
  set(VEHICLE_SANITIZERS "")
endif()

function(vehicle_sanitize target)
  if(VEHICLE_SANITIZERS)
    target_compile_options(${target} PRIVATE -fsanitize=${VEHICLE_SANITIZERS} -fno-omit-frame-pointer
      -fno-sanitize-recover=all)
    target_link_options(${target} PRIVATE -fsanitize=${VEHICLE_SANITIZERS})
  endif()
endfunction()

# The warnings the units are built with, and the engine and the application over it too.
set(VEHICLE_WARNING_FLAGS -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion
    -Werror=missing-field-initializers)
function(vehicle_warnings target)
  target_compile_options(${target} PRIVATE ${VEHICLE_WARNING_FLAGS})
endfunction()

# Targets that go into the unit libraries. Every source is compiled with units/glibc_baseline.h
# force-included, which binds the C library symbols to their oldest versions so that the units
# load on glibc 2.17 and later.
function(vehicle_target target)
  target_compile_options(${target} PRIVATE
    ${VEHICLE_EXACT_MATH_FLAGS}
    -fvisibility=hidden -fvisibility-inlines-hidden
    -include ${PROJECT_SOURCE_DIR}/units/glibc_baseline.h)
  target_compile_features(${target} PUBLIC cxx_std_20)
  vehicle_warnings(${target})
  vehicle_sanitize(${target})
  # Refuse a configuration that smuggles in value-changing math flags.
  foreach(flags CMAKE_CXX_FLAGS CMAKE_CXX_FLAGS_RELEASE CMAKE_CXX_FLAGS_RELWITHDEBINFO)
    if("${${flags}}" MATCHES "fast-math|Ofast|fp-contract=fast")
      message(FATAL_ERROR "${flags} contains a value-changing math flag: ${${flags}}")
    endif()
  endforeach()
endfunction()

# Test and tool targets: the same exact math, fewer warnings demanded of test macros.
function(vehicle_support_target target)
  target_compile_options(${target} PRIVATE ${VEHICLE_EXACT_MATH_FLAGS} -Wall -Wextra)
  vehicle_sanitize(${target})
endfunction()

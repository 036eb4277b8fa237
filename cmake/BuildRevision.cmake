# Run at every build (cmake -P): writes OUTPUT, a header with the source commit the build is
# made from (`git rev-parse --short=12 HEAD`, with "-dirty" when tracked files differ from it),
# or an empty text outside a git checkout. The file is rewritten only when the text changes, so
# that an unchanged commit rebuilds nothing.
execute_process(COMMAND git -C "${SOURCE}" rev-parse --short=12 HEAD
                OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed ERROR_QUIET)
if(failed)
  set(commit "")
else()
  execute_process(COMMAND git -C "${SOURCE}" status --porcelain --untracked-files=no
                  OUTPUT_VARIABLE changes OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT changes STREQUAL "")
    string(APPEND commit "-dirty")
  endif()
endif()
set(text "#define VEHICLE_SIM_SOURCE_COMMIT \"${commit}\"\n")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUTPUT}" "${text}")
endif()

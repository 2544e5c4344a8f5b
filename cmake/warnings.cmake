# Strict warnings for our own targets only; third-party headers stay quiet.
# Warnings fail the build in CI and developers' builds (scripts/build and the
# scripts that configure for themselves turn this on), never in a packager's:
# another compiler's new or false warnings must not stop a release build.
option(LEVERANS_WERROR "Treat compiler warnings as errors" OFF)

function(leverans_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(LEVERANS_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

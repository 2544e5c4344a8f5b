# Precompiled headers for the sanitizer build, where the same large headers
# (Qt's widgets and test headers, GoogleTest) are parsed in nearly every file.
# Off by default: a file missing an include of its own would still compile.
option(LEVERANS_PCH "Precompile the Qt and GoogleTest headers most files share" OFF)

# leverans_pch(TARGET HEADERS...) or leverans_pch(TARGET REUSE_FROM DONOR)
function(leverans_pch target)
  if(NOT LEVERANS_PCH)
    return()
  endif()
  if(ARGV1 STREQUAL "REUSE_FROM")
    target_precompile_headers(${target} REUSE_FROM ${ARGV2})
  else()
    target_precompile_headers(${target} PRIVATE ${ARGN})
  endif()
endfunction()

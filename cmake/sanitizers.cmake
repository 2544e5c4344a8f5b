# Run-time checks for every target, ours and the tests alike: compile and link
# flags are set before any target is made.
set(LEVERANS_SANITIZER_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer
                             -fno-sanitize-recover=all)

if(LEVERANS_FUZZ)
  # libFuzzer ships with clang only.
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "LEVERANS_FUZZ needs clang: configure with CC=clang CXX=clang++")
  endif()
  # Coverage feedback from everything; libFuzzer's main only in the fuzz targets.
  add_compile_options(-fsanitize=fuzzer-no-link ${LEVERANS_SANITIZER_FLAGS})
  add_link_options(${LEVERANS_SANITIZER_FLAGS})
elseif(LEVERANS_SANITIZE)
  add_compile_options(${LEVERANS_SANITIZER_FLAGS})
  add_link_options(${LEVERANS_SANITIZER_FLAGS})
endif()

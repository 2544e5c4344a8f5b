# Strict warnings for our own targets only; third-party headers stay quiet.
function(leverans_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
endfunction()

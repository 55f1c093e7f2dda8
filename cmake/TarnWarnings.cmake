# Strict warnings on our own targets only; third-party headers come in as SYSTEM.
function(tarn_strict target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

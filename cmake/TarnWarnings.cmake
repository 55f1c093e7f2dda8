# SPDX-License-Identifier: Apache-2.0
# Strict warnings on our own targets only; third-party headers come in as SYSTEM.
# Warnings become errors only where TARN_WERROR asks for it (the presets).
function(tarn_strict target)
  target_compile_options(${target} PRIVATE -Wall -Wextra $<$<BOOL:${TARN_WERROR}>:-Werror>)
endfunction()

# Hardening for optimised builds (what the packages ship): stack protector,
# checked libc calls, read-only relocations and immediate binding.
# _FORTIFY_SOURCE needs optimisation, so Debug (and the sanitizers) go without.
set(tarn_optimised $<CONFIG:RelWithDebInfo,Release,MinSizeRel>)
add_compile_options(-fstack-protector-strong)
add_compile_definitions($<${tarn_optimised}:_FORTIFY_SOURCE=2>)
add_link_options(LINKER:-z,relro LINKER:-z,now)

# SPDX-License-Identifier: Apache-2.0
# Runs PROGRAM with ARGS (a list) and fails unless it exits with EXPECTED.
execute_process(COMMAND ${PROGRAM} ${ARGS} RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
if(NOT status STREQUAL "${EXPECTED}")
  message(FATAL_ERROR "${PROGRAM} ${ARGS}: exit status ${status}, expected ${EXPECTED}")
endif()

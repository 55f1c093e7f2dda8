# SPDX-License-Identifier: Apache-2.0
# The project version as a header every program includes as "tarn/version.h".
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in ${PROJECT_BINARY_DIR}/generated/tarn/version.h @ONLY)
include_directories(${PROJECT_BINARY_DIR}/generated)

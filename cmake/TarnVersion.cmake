# SPDX-License-Identifier: Apache-2.0
# The project version as a header every program includes as "tarn/version.h",
# with where the packages put the documents (so that --help can point to
# them; the packages install under /usr whatever this build's prefix).
set(TARN_DOC_DIR "/usr/${CMAKE_INSTALL_DATADIR}/doc/tarn-multi-downloader")
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in ${PROJECT_BINARY_DIR}/generated/tarn/version.h @ONLY)
include_directories(${PROJECT_BINARY_DIR}/generated)

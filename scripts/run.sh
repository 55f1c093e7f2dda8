#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The main job: installs what is missing, builds, and flashes eight simulated
# phones — in the operator window when a display is present, otherwise with
# tarn-flash on the terminal (then every phone is checked byte for byte).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
  exec bash scripts/demo-window.sh
fi
exec bash scripts/demo.sh

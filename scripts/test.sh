#!/usr/bin/env bash
# Installs what is missing, configures, builds and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --workflow --preset default

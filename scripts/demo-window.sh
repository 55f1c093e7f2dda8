#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The operator window against eight simulated phones: builds what is needed,
# writes sample images, starts keld-sim on a private serial-port map and opens
# tarn-multi-downloader with the images already in its lists. Press START.
#
#   scripts/demo-window.sh       (DEMO_SIZE=<bytes> changes the image size)
#
# The window's settings live in a private folder for the demo, so the
# operator's own saved image paths stay untouched.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$ROOT/build/default
PHONES=8
SIZE=${DEMO_SIZE:-4194304}

cd "$ROOT"
if [ ! -f "$BUILD/build.ninja" ]; then
  cmake --preset default
fi
cmake --build --preset default --target tarn-multi-downloader keld-sim tarn-sample-images

# shellcheck source=scripts/demo-phones.sh
source "$ROOT/scripts/demo-phones.sh"
demo_workspace tarn-window-demo
export XDG_CONFIG_HOME=$WORK/config
IMAGES=$WORK/images

"$BUILD/cli/tools/tarn-sample-images" --out "$IMAGES" --size "$SIZE" >/dev/null
start_demo_phones "$BUILD" "$PHONES" "$WORK/phones"

# The images (and the nation of the sample CSC archive's last member, UK)
# the window shows at start-up, as if chosen in an earlier run.
mkdir -p "$XDG_CONFIG_HOME/Tarn"
cat >"$XDG_CONFIG_HOME/Tarn/tarn-multi-downloader.ini" <<INI
[Settings]
PDA=$IMAGES/test_PDA.tar
CSC=$IMAGES/test_CSC.tar
PHONE=$IMAGES/test_PHONE.bin
Nation=9
INI

echo "Eight simulated phones are attached; press START in the window, close it to end."
"$BUILD/window/tarn-multi-downloader"

#!/usr/bin/env bash
# The operator window against eight simulated phones: builds what is needed,
# writes sample images, starts keld-sim on a private serial-port map and opens
# tarn-multi-downloader with the images already in its lists. Press START.
#
#   window/demo-window.sh        (DEMO_SIZE=<bytes> changes the image size)
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

WORK=$(mktemp -d "${TMPDIR:-/tmp}/tarn-window-demo.XXXXXX")
SIM_PID=
cleanup() {
  if [ -n "$SIM_PID" ]; then kill "$SIM_PID" 2>/dev/null || true; wait "$SIM_PID" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT
export TARN_DEVICEMAP=$WORK/devicemap
export XDG_CONFIG_HOME=$WORK/config
IMAGES=$WORK/images

"$BUILD/cli/tools/tarn-sample-images" --out "$IMAGES" --size "$SIZE" >/dev/null
"$BUILD/sim/keld-sim" --phones "$PHONES" --greeting LAST --loader-version 7 --output "$WORK/phones" \
  >"$WORK/keld-sim.log" 2>&1 &
SIM_PID=$!
count=0
for _ in $(seq 100); do
  count=$(find "$TARN_DEVICEMAP/SERIALCOMM" -maxdepth 1 -type f 2>/dev/null | wc -l)
  [ "$count" -ge "$PHONES" ] && break
  sleep 0.1
done
if [ "$count" -lt "$PHONES" ]; then
  echo "only $count of $PHONES phones appeared"; cat "$WORK/keld-sim.log"; exit 1
fi

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

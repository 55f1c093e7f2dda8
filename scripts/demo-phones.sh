# SPDX-License-Identifier: Apache-2.0
# Shared by the demos (sourced): a private work folder and serial-port map,
# and eight simulated phones registered in it.

# demo_workspace NAME: creates $WORK, points TARN_DEVICEMAP into it and stops
# the phones and removes the folder on exit.
demo_workspace() {
  WORK=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
  SIM_PID=
  trap demo_cleanup EXIT
  export TARN_DEVICEMAP=$WORK/devicemap
}

demo_cleanup() {
  if [ -n "$SIM_PID" ]; then kill "$SIM_PID" 2>/dev/null || true; wait "$SIM_PID" 2>/dev/null || true; fi
  rm -rf "$WORK"
}

# start_demo_phones BUILD PHONES OUTPUT: starts keld-sim and waits until every
# phone is in the map. LAST with loader version 7 is a loader that takes
# file-system members.
start_demo_phones() {
  "$1/sim/keld-sim" --phones "$2" --greeting LAST --loader-version 7 --output "$3" \
    >"$WORK/keld-sim.log" 2>&1 &
  SIM_PID=$!
  local count=0
  for _ in $(seq 100); do
    count=$(find "$TARN_DEVICEMAP/SERIALCOMM" -maxdepth 1 -type f 2>/dev/null | wc -l)
    [ "$count" -ge "$2" ] && return 0
    sleep 0.1
  done
  echo "only $count of $2 phones appeared"; cat "$WORK/keld-sim.log"
  return 1
}

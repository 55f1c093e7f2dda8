# SPDX-License-Identifier: Apache-2.0
# shellcheck shell=bash
# The USB test rig's scenarios beyond plugging and one clean batch: a phone
# unplugged mid-frame, a port held by a batch, a host killed mid-frame, the
# boot format's re-plug, and the figures. Sourced by scripts/usb-rig-guest.sh,
# whose helpers (plug, tty_of, start_phones, flash_command, slot_problems,
# verdict...) these use; each scenario leaves all eight phones plugged.

# seconds_since T: the guest's seconds since uptime T, to a tenth.
seconds_since() { awk -v t="$1" '{ printf "%.1f", $1 - t }' /proc/uptime; }

# has_lines COUNT FILE TEXT: FILE holds at least COUNT lines that are TEXT.
# Bash alone, as pause: a program started while a batch runs is read through
# 9p and may take seconds to start.
has_lines() {
  local line count=0
  [[ -f $2 ]] || return 1
  while IFS= read -r line; do
    [[ $line == "$3" ]] && ((++count >= $1)) && return 0
  done <"$2"
  return 1
}

# running PID: PID runs (kill -0 also finds a child that ended unreaped).
running() {
  local state
  read -r _ _ state _ 2>/dev/null <"/proc/$1/stat" && [[ $state != Z ]]
}

# wait_for_lines COUNT FILE TEXT SECONDS PID: until FILE holds COUNT lines
# that are TEXT; fails after SECONDS or once PID has ended without them.
wait_for_lines() {
  local i
  for ((i = 0; i < $4 * 10; i++)); do
    has_lines "$1" "$2" "$3" && return 0
    running "$5" || break
    pause 0.1
  done
  has_lines "$1" "$2" "$3"
}

# fds_to TTY PID: PID's descriptors that lead to TTY, also once its node is gone.
fds_to() {
  local fd
  for fd in /proc/"$2"/fd/*; do
    case $(readlink "$fd" 2>/dev/null) in
      "$1" | "$1 (deleted)") echo "${fd##*/}" ;;
    esac
  done
}

# still_held TTY PID SECONDS: PID's descriptors of TTY still open after
# SECONDS, or why that cannot be told; nothing when they were all closed.
still_held() {
  local _ fds
  for _ in $(seq $(($3 * 10))); do
    fds=$(fds_to "$1" "$2")
    [[ -n $fds ]] || return 0
    running "$2" || break
    pause 0.1
  done
  if ! running "$2"; then
    echo "the batch ended before its descriptors of $1 were seen closed"
  else
    echo "tarn-flash still holds $1 as descriptor(s) ${fds//$'\n'/ } $3 s after it vanished"
  fi
}

# map_entries_left CABLE TTY SECONDS: the map entries of CABLE's port (once
# on TTY) still there after SECONDS.
map_entries_left() {
  local com=$MAP/dosdevices/com$1 entry=$MAP/SERIALCOMM/qxcdmdm${2#/dev/ttyACM} _
  for _ in $(seq $(($3 * 10))); do
    [[ -L $com || -e $entry ]] || return 0
    pause 0.1
  done
  [[ -L $com ]] && echo "dosdevices/com$1 is still there $3 s after the unplug"
  [[ -e $entry ]] && echo "SERIALCOMM/${entry##*/} is still there $3 s after the unplug"
  return 0
}

# replug CABLE: plugs the cable's gadget again and waits for its map entry.
replug() {
  plug "$1"
  wait_for_map "$PHONES" || echo "cable $1 did not come back into the map"
}

# The phone on cable 3 is unplugged (its gadget unbound) while ZIMAGE's frames
# flow: its slot ends "e - usb is disconnected!!", tarn-flash closes the
# vanished tty while the batch goes on, udev's remove event takes the port out
# of the map, and the other seven pass byte-exact.
scenario_unplug() {
  local cable=3 slot=2 set=/tmp/unplug out=/tmp/unplug/phones log=$LOGS/unplug-flash.log
  local tty flasher cut took=- member status=0 problems=() more=() ports=() others=()
  tty=$(tty_of "$cable") || {
    echo "cable $cable has no ttyACM"
    return 1
  }
  make_images "$set" $((2 * IMAGE_BYTES))
  start_phones "$out" unplug || return 1
  mapfile -t ports < <(all_ports)
  flash_command "$set" "${ports[@]}"
  "${FLASH[@]}" >"$log" 2>&1 &
  flasher=$!
  # The slot's third digest is ZIMAGE's, the largest member: its frames
  # follow (the rig sees the line a little late, maybe at the next member).
  if wait_for_lines 3 "$log" "[  $slot  ] MD5 Checksum Completed.." 120 "$flasher"; then
    [[ -n $(fds_to "$tty" "$flasher") ]] || problems+=("tarn-flash had no descriptor of $tty before the unplug")
    cut=$(uptime_seconds)
    echo "" >"$GADGETS/cable$cable/UDC"
    if wait_for_lines 1 "$log" "ERROR [  Device $slot  ] e - usb is disconnected!!" 30 "$flasher"; then
      took=$(seconds_since "$cut")
      mapfile -t more < <(still_held "$tty" "$flasher" 10)
      problems+=("${more[@]}")
    else
      problems+=("slot $slot did not say 'e - usb is disconnected!!' within 30 s of the unplug")
    fi
    mapfile -t more < <(map_entries_left "$cable" "$tty" 30)
    problems+=("${more[@]}")
  else
    problems+=("slot $slot never reached ZIMAGE's frames")
  fi
  wait "$flasher" || status=$?
  stop_phones
  ((status == 1)) || problems+=("tarn-flash exit status $status, not 1")
  grep -qx "\[  $slot  \] FAIL" "$log" || problems+=("slot $slot did not end FAIL")
  [[ -n $(phone_mismatches "$set" "$out/phone$slot") ]] || problems+=("phone $slot got every member: the unplug came too late")
  member=$(sed -n "s/^\[  $slot  \] Downloading \([^ ]*\)$/\1/p" "$log" | tail -n 1)
  mapfile -t others < <(seq 0 $((PHONES - 1)) | grep -vx "$slot")
  mapfile -t more < <(slot_problems "$log" "$set" "$out" "${others[@]}")
  problems+=("${more[@]}")
  mapfile -t more < <(replug "$cable")
  problems+=("${more[@]}")
  verdict "cable $cable ($tty) unplugged while $member went out: slot $slot said 'e - usb is disconnected!!'" \
    "$took s later and closed $tty while the batch went on, com$cable left the map, the other" \
    "$((PHONES - 1)) slots PASS byte-exact; plugged again as $(tty_of "$cable")" -- "${problems[@]}"
}

# While a batch runs, tarn-flash --list shows the first slot's port "in use",
# and a second tarn-flash on it is refused; the batch stays byte-exact.
scenario_held_port() {
  local cable=1 slot=0 set=/tmp/held out=/tmp/held/phones log=$LOGS/held-port-flash.log
  local second=$LOGS/held-port-second.log tty flasher other list line arg status=0 second_status=0
  local problems=() more=() ports=() factory=() refusal="ERROR [  Device 0  ] e - cannot open the usb serial port1. code: 5"
  tty=$(tty_of "$cable") || {
    echo "cable $cable has no ttyACM"
    return 1
  }
  make_images "$set" "$IMAGE_BYTES"
  start_phones "$out" held-port || return 1
  mapfile -t ports < <(all_ports)
  # In Factory Mode every job holds its port through the completion wait
  # (100 s), long past the second tarn-flash's ten seconds of tries.
  flash_command "$set" "${ports[@]}"
  for arg in "${FLASH[@]}"; do [[ $arg == --no-factory-mode ]] || factory+=("$arg"); done
  "${factory[@]}" >"$log" 2>&1 &
  flasher=$!
  if wait_for_lines 1 "$log" "[  $slot  ] wait for the completion" 120 "$flasher"; then
    flash_command "$set" --port "$cable"
    "${FLASH[@]}" >"$second" 2>&1 &
    other=$!
    list=$("$RIG_BUILD/cli/tarn-flash" --list 2>&1) || problems+=("tarn-flash --list failed: $list")
    echo "$list" >"$LOGS/held-port-list.txt"
    line="COM$cable +$tty +$(usb_device_of "$tty") +$VENDOR:$(product_of "$cable") +in use"
    grep -Eqx "$line" <<<"$list" || problems+=("no --list line '$line' during the batch")
    wait "$other" || second_status=$?
    running "$flasher" || problems+=("the batch ended before the second tarn-flash did")
    ((second_status == 1)) || problems+=("the second tarn-flash's exit status $second_status, not 1")
    grep -qxF "$refusal" "$second" || problems+=("the second tarn-flash did not say '$refusal'")
    # Every phone written, every job in its completion wait: Ctrl-C ends the batch.
    for slot in $(seq 0 $((PHONES - 1))); do
      wait_for_lines 1 "$log" "[  $slot  ] wait for the completion" 120 "$flasher" ||
        problems+=("slot $slot never reached its completion wait")
    done
  else
    problems+=("slot $slot never reached its completion wait")
  fi
  kill -INT "$flasher" 2>/dev/null || true
  wait "$flasher" || status=$?
  stop_phones
  ((status == 130)) || problems+=("the batch's exit status $status, not 130 (stopped by SIGINT)")
  mapfile -t more < <(SLOT_RESULT=STOPPED slot_problems "$log" "$set" "$out" $(seq 0 $((PHONES - 1))))
  problems+=("${more[@]}")
  verdict "during the batch, --list showed COM$cable ($tty) in use and a second tarn-flash on it said" \
    "'${refusal#ERROR *] }'; every phone byte-exact" -- "${problems[@]}"
}

# SIGKILL to tarn-flash while ZIMAGE's frames flow; the phones drop the half
# frame after their receive time-out, and a second run on the same phones
# passes byte-exact: the dead host left no exclusive flag or lock behind.
scenario_killed_host() {
  local set=/tmp/killed out=/tmp/killed/phones log=$LOGS/killed-host-flash.log flasher status=0
  local problems=() more=() ports=() timeouts
  # ZIMAGE's frames take seconds, so the kill that the rig times from a line
  # of the output (which reaches it late under emulation) still lands in them.
  make_images "$set" $((4 * IMAGE_BYTES))
  start_phones "$out" killed-host || return 1
  mapfile -t ports < <(all_ports)
  flash_command "$set" "${ports[@]}"
  TARN_DEBUG_OUTPUT=$LOGS/killed-host-trace-1.txt "${FLASH[@]}" >"$LOGS/killed-host-first.log" 2>&1 &
  flasher=$!
  wait_for_lines 3 "$LOGS/killed-host-first.log" "[  0  ] MD5 Checksum Completed.." 120 "$flasher" ||
    problems+=("slot 0 never reached ZIMAGE's frames")
  kill -KILL "$flasher"
  wait "$flasher" || true
  # Past the phones' receive time-out, so each has dropped its half frame and
  # hunts for the next greeting in whatever the dead host's queue still
  # delivers (the driver keeps draining it after the kill).
  sleep $((RECEIVE_TIMEOUT_MS / 1000 + 4))
  TARN_DEBUG_OUTPUT=$LOGS/killed-host-trace-2.txt "${FLASH[@]}" >"$log" 2>&1 || status=$?
  stop_phones
  ((status == 0)) || problems+=("the second run's exit status $status")
  mapfile -t more < <(slot_problems "$log" "$set" "$out" $(seq 0 $((PHONES - 1))))
  problems+=("${more[@]}")
  timeouts=$(sed -n 's/^qxcdmdm0: .*, \([0-9]*\) receive time-outs$/\1/p' "$LOGS/killed-host-sim.log")
  ((${timeouts:-0} >= 1)) || problems+=("phone 0 timed out no half-received frame: the kill was not mid-frame")
  verdict "tarn-flash killed during slot 0's ZIMAGE frames (phone 0: $timeouts receive time-out(s));" \
    "the next run on the same $PHONES phones PASS byte-exact" -- "${problems[@]}"
}

# cycle_after_format TRACE PID: as each slot's phone says "Format Done!",
# unplugs its cable and plugs it again 300 ms later, as a phone that reboots.
cycle_after_format() {
  local cycled=() slot _
  for _ in $(seq 1200); do
    for slot in $(seq 0 $((PHONES - 1))); do
      [[ -z ${cycled[slot]:-} ]] || continue
      grep -Eq "\[  $slot  \] \([0-9]+\) Format Done!$" "$1" || continue
      echo "$(uptime_seconds) unplug cable $((slot + 1))" >>"$LOGS/boot-format-cycles.log"
      echo "" >"$GADGETS/cable$((slot + 1))/UDC"
      pause 0.3
      plug $((slot + 1))
      echo "$(uptime_seconds) plugged cable $((slot + 1))" >>"$LOGS/boot-format-cycles.log"
      cycled[slot]=1
    done
    ((${#cycled[@]} == PHONES)) && return 0
    running "$2" || break
    pause 0.1
  done
  echo "only ${#cycled[@]} of $PHONES phones said 'Format Done!'"
}

# A batch with --boot-format: each phone, once formatted, is unplugged and
# plugged again (maybe as another ttyACM); the registrar publishes it anew
# and tarn-flash flashes it again without the format step, byte-exact.
scenario_boot_format() {
  local set=/tmp/format out=/tmp/format/phones log=$LOGS/boot-format-flash.log trace=$LOGS/boot-format-trace.txt
  local flasher status=0 slot formats opens problems=() more=() ports=() before after
  before=$(tty_of 1)
  make_images "$set" "$IMAGE_BYTES"
  start_phones "$out" boot-format || return 1
  mapfile -t ports < <(all_ports)
  flash_command "$set" "${ports[@]}" --boot-format
  : >"$trace"
  udevadm monitor --udev --subsystem-match=tty >"$LOGS/boot-format-events.log" 2>&1 &
  local monitor=$!
  TARN_DEBUG_OUTPUT=$trace "${FLASH[@]}" >"$log" 2>&1 &
  flasher=$!
  mapfile -t more < <(cycle_after_format "$trace" "$flasher")
  problems+=("${more[@]}")
  wait "$flasher" || status=$?
  stop_phones
  kill "$monitor"
  after=$(tty_of 1)
  ((status == 0)) || problems+=("tarn-flash exit status $status")
  for slot in $(seq 0 $((PHONES - 1))); do
    formats=$(grep -c "\[  $slot  \] ([0-9]*) \[ cmd \] Format(702)" "$trace" || true)
    opens=$(grep -cx "\[  $slot  \] open COM$((slot + 1))" "$log" || true)
    ((formats == 1)) || problems+=("slot $slot sent Format $formats times")
    ((opens == 2)) || problems+=("slot $slot opened COM$((slot + 1)) $opens times, not twice")
  done
  mapfile -t more < <(slot_problems "$log" "$set" "$out" $(seq 0 $((PHONES - 1))))
  problems+=("${more[@]}")
  wait_for_map "$PHONES" || problems+=("not every phone is back in the map")
  verdict "$PHONES phones formatted, each unplugged and plugged again 300 ms later (cable 1: $before, then" \
    "$after), flashed again without Format: every slot PASS byte-exact" -- "${problems[@]}"
}

# mean_rate REPORT: the slots' mean MiB/s in a tarn-flash --report file.
mean_rate() { jq -r '[.slots[] | .bytes / .seconds / 1048576] | add / length | . * 100 | round / 100' "$1"; }

# The eight-phones batch's rate per phone over dummy_hcd next to the same
# batch over pseudo-terminals in this guest (keld-sim's own, in a scratch map).
scenario_figures() {
  local set=/tmp/eight map=/tmp/pty-map out=/tmp/pty-phones log=$LOGS/figures-pty-flash.log sim status=0
  local problems=() more=() usb pty
  [[ -f $set/report.json ]] || {
    echo "no report of the eight-phones batch"
    return 1
  }
  mkdir -p "$map/SERIALCOMM" "$map/dosdevices"
  TARN_DEVICEMAP=$map "$RIG_BUILD/sim/keld-sim" --phones "$PHONES" --output "$out" >"$LOGS/figures-sim.log" 2>&1 &
  sim=$!
  flash_command "$set" --wait "$PHONES,60" --report "$map/report.json"
  TARN_DEVICEMAP=$map "${FLASH[@]}" >"$log" 2>&1 || status=$?
  kill "$sim"
  wait "$sim" || true
  ((status == 0)) || problems+=("tarn-flash over pseudo-terminals: exit status $status")
  mapfile -t more < <(slot_problems "$log" "$set" "$out" $(seq 0 $((PHONES - 1))))
  problems+=("${more[@]}")
  usb=$(mean_rate "$set/report.json")
  pty=$(mean_rate "$map/report.json" 2>/dev/null || echo -)
  echo "FIGURE $PHONES phones at once, per phone: $usb MiB/s over cdc_acm (dummy_hcd), $pty MiB/s over" \
    "pseudo-terminals, in this guest" >>"$RESULTS"
  verdict "per phone, $PHONES at once: $usb MiB/s over cdc_acm, $pty MiB/s over pseudo-terminals" \
    -- "${problems[@]}"
}

# The same eight phones in the operator window (offscreen, real clock): it
# finds the cables' ports in the map, START flashes them all, every slot ends
# PASS and every phone holds the images byte for byte.
scenario_window() {
  local set=/tmp/window out=/tmp/window/phones log=$LOGS/window-slots.log status=0 n bad problems=()
  make_images "$set" "$IMAGE_BYTES"
  start_phones "$out" window || return 1
  mkdir -p "$set/settings"
  timeout 300 nice -n 10 "$RIG_BUILD/tests/reliability/crash-window-child" "$set/settings" \
    "$set/images/test_PDA.tar" "$set/images/test_CSC.tar" "$set/images/test_PHONE.bin" --until-end \
    >"$log" 2>"$LOGS/window-trace.log" || status=$?
  stop_phones
  ((status == 0)) || problems+=("the window's exit status $status")
  grep -qx "$PHONES ports, batch started" "$log" || problems+=("the window did not start a batch of $PHONES")
  (($(grep -c '^slot [0-7] COM[1-8]: PASS$' "$log") == PHONES)) || problems+=("not every slot PASS: $(tr '\n' ' ' <"$log")")
  for n in $(seq 0 $((PHONES - 1))); do
    bad=$(phone_mismatches "$set" "$out/phone$n" | tr '\n' ' ')
    [[ -z $bad ]] || problems+=("phone $n (cable $((n + 1))) differs in ${bad% }")
  done
  verdict "the window found the $PHONES cables' ports, START flashed them: every slot PASS and every phone" \
    "byte-exact" -- "${problems[@]}"
}

#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Inside the USB test rig's guest (started by scripts/usb-rig.sh, never by
# hand): PID 1 on a writable overlay of the host's root file system, with the
# rig share at /rig. Starts udev with the project's rule and registrar, then
# runs each scenario of SCENARIOS in order and writes one "PASS <name>: ..."
# or "FAIL <name>: ..." line per scenario to /rig/results, then "done". A
# scenario is a function scenario_<name> (dashes as underscores) that prints
# its detail and returns non-zero on failure; each builds on the state the
# earlier ones left (hot-plug plugs the phones the others use). The
# scenarios after eight-phones are in scripts/usb-rig-scenarios.sh.
set -euo pipefail

# shellcheck source=/dev/null # written by usb-rig.sh before each boot
source /rig/rig.env
# shellcheck source=scripts/usb-rig-scenarios.sh
source "$RIG_REPO/scripts/usb-rig-scenarios.sh"
RESULTS=/rig/results
# What the scenarios saw, copied to /rig/logs after each: the rig watches
# these logs while a batch writes them, faster on tmpfs than through 9p.
LOGS=/tmp/logs
SCENARIOS=(hot-plug eight-phones unplug held-port killed-host boot-format window figures)
[[ -z ${RIG_SCENARIOS:-} ]] || read -ra SCENARIOS <<<"$RIG_SCENARIOS"

PHONES=8
VENDOR=1209
GADGETS=/sys/kernel/config/usb_gadget
REGISTRAR=$RIG_BUILD/packaging/tarn-port-registrar
MAP=/run/tarn/devicemap
# The largest PDA member: a few MiB a phone, as software emulation is slow.
IMAGE_BYTES=1048576
# The phones' receive time-out: well above the stalls software emulation has
# under load (a second was seen to end a frame while its host was alive).
RECEIVE_TIMEOUT_MS=4000

power_off() {
  sync
  echo o >/proc/sysrq-trigger
  sleep 10
}
trap power_off EXIT

fatal() { echo "e - usb-rig guest: $*" >/dev/console; }

# pause SECONDS: sleep without starting a program (see has_lines).
pause() { read -rt "$1" -u "$PAUSE_FD" || true; }
uptime_seconds() { cut -d' ' -f1 /proc/uptime; }

# The product id of the phone on cable N (1..8) and the USB port it hangs on.
# Each dummy_hcd controller is a bus with its one port, so the port's path is
# fixed per controller.
product_of() { printf '7a%02x' $(($1 - 1)); }
id_path_of() { echo "platform-dummy_hcd.$(($1 - 1))-usb-0:1:1.0"; }

mount_guest() {
  mount -t tmpfs tmpfs /run
  # /tmp stays the overlay's (written to its tmpfs): the checkout and its
  # build tree may well be under the machine's /tmp, and must stay visible.
  mkdir -p /dev/pts /dev/shm
  mount -t devpts -o gid=5,mode=620,ptmxmode=666 devpts /dev/pts
  mount -t tmpfs tmpfs /dev/shm
  mount -t configfs configfs /sys/kernel/config
  # As an init system would make it; bash's <(...) needs it.
  ln -sfn /proc/self/fd /dev/fd
  # Never written: pause's read on it times out.
  mkfifo /tmp/pause
  exec {PAUSE_FD}<>/tmp/pause
  mkdir -p "$LOGS" /rig/logs "$MAP/SERIALCOMM" "$MAP/dosdevices"
}

# The site's phone ids, the shipped rule naming the build tree's registrar,
# and a station file that gives cable N the number N.
install_station() {
  local n ids=/etc/udev/rules.d/60-tarn-phone-ids.rules
  mkdir -p /etc/udev/rules.d /etc/tarn
  : >"$ids"
  : >/etc/tarn/station.conf
  for n in $(seq "$PHONES"); do
    echo "SUBSYSTEM==\"tty\", KERNEL==\"ttyACM*\", ATTRS{idVendor}==\"$VENDOR\", ATTRS{idProduct}==\"$(product_of "$n")\", ENV{TARN_PHONE}=\"1\"" >>"$ids"
    echo "$n $(id_path_of "$n")" >>/etc/tarn/station.conf
  done
  sed "s|@TARN_REGISTRAR@|$REGISTRAR|g" "$RIG_REPO/packaging/udev/70-tarn-phone-ports.rules.in" \
    >/etc/udev/rules.d/70-tarn-phone-ports.rules
}

start_udev() {
  SYSTEMD_LOG_TARGET=console /lib/systemd/systemd-udevd >"$LOGS/udevd.log" 2>&1 &
  local _
  for _ in $(seq 100); do
    [[ -S /run/udev/control ]] && return 0
    sleep 0.1
  done
  fatal "systemd-udevd did not start within 10 s"
  return 1
}

# One gadget per cable, not yet plugged: vendor:product and serial of its own,
# one ACM function (whose device side is /dev/ttyGS<port_num>).
make_gadgets() {
  local n g
  for n in $(seq "$PHONES"); do
    g=$GADGETS/cable$n
    mkdir "$g"
    echo "0x$VENDOR" >"$g/idVendor"
    echo "0x$(product_of "$n")" >"$g/idProduct"
    mkdir "$g/strings/0x409" "$g/configs/c.1" "$g/functions/acm.cable$n"
    echo "RIG-CABLE-$n" >"$g/strings/0x409/serialnumber"
    echo "Tarn rig" >"$g/strings/0x409/manufacturer"
    echo "rig phone $n" >"$g/strings/0x409/product"
    ln -s "$g/functions/acm.cable$n" "$g/configs/c.1/"
  done
}

# plug N: the gadget of cable N onto its own controller.
plug() { echo "dummy_udc.$(($1 - 1))" >"$GADGETS/cable$1/UDC"; }

# The host-side tty of cable N's phone, found through sysfs, not udev.
tty_of() {
  local dev
  for dev in /sys/class/tty/ttyACM*; do
    [[ -e $dev ]] || continue
    case $(readlink -f "$dev/device") in
      */dummy_hcd.$(($1 - 1))/*) echo "/dev/${dev##*/}" && return 0 ;;
    esac
  done
  return 1
}

# The USB device (bus-port, as sysfs names it) the tty of cable N hangs on.
usb_device_of() { basename "$(dirname "$(readlink -f "/sys/class/tty/${1##*/}/device")")"; }

# wait_for_map COUNT: until the map holds COUNT phone ports (60 s at most).
wait_for_map() {
  local _
  for _ in $(seq 600); do
    (($(find "$MAP/SERIALCOMM" -maxdepth 1 -type f -name 'qxc*' | wc -l) >= $1)) && return 0
    sleep 0.1
  done
  return 1
}

# Plugging the eight phones, in reverse cable order so that the kernel's ACM
# numbers differ from the cables: udev's add events, the registrar's map
# entries, the station file's numbers and tarn-flash --list all agree.
scenario_hot_plug() {
  local n tty entry line problems=() list
  udevadm monitor --udev --subsystem-match=tty >"$LOGS/hot-plug-events.log" 2>&1 &
  local monitor=$!
  for n in $(seq "$PHONES" -1 1); do plug "$n"; done
  udevadm settle --timeout=120 || problems+=("udev did not settle in 120 s")
  wait_for_map "$PHONES" || problems+=("the map holds $(find "$MAP/SERIALCOMM" -type f | wc -l) of $PHONES ports")
  kill "$monitor"
  list=$("$RIG_BUILD/cli/tarn-flash" --list 2>&1) || problems+=("tarn-flash --list failed: $list")
  echo "$list" >"$LOGS/hot-plug-list.txt"
  for n in $(seq "$PHONES"); do
    if ! tty=$(tty_of "$n"); then
      problems+=("cable $n: no ttyACM")
      continue
    fi
    entry=$(udevadm info -q property -n "$tty" | sed -n 's/^ID_PATH=//p')
    [[ $entry == "$(id_path_of "$n")" ]] || problems+=("cable $n: $tty has ID_PATH '$entry'")
    [[ $(readlink "$MAP/dosdevices/com$n") == "$tty" ]] ||
      problems+=("cable $n: com$n leads to '$(readlink "$MAP/dosdevices/com$n")', not $tty")
    [[ $(cat "$MAP/SERIALCOMM/qxcdmdm${tty#/dev/ttyACM}" 2>/dev/null) == "COM$n" ]] ||
      problems+=("cable $n: no SERIALCOMM entry COM$n for $tty")
    line="COM$n +$tty +$(usb_device_of "$tty") +$VENDOR:$(product_of "$n") +opens"
    grep -Eqx "$line" <<<"$list" || problems+=("cable $n: no --list line '$line'")
  done
  verdict "$PHONES phones plugged last cable first (cable 1 is $(tty_of 1), cable $PHONES $(tty_of "$PHONES")):" \
    "udev's ID_PATHs, the map and tarn-flash --list give cable N COM N with its USB device and $VENDOR:$(product_of 1)+N-1" \
    -- "${problems[@]}"
}

# The device side of cable N's ACM function.
gadget_tty_of() { echo "/dev/ttyGS$(cat "$GADGETS/cable$1/functions/acm.cable$1/port_num")"; }

# Where a phone keeps a PDA member: part<NN>.bin by the member's partition.
declare -A PARTITION_OF=([BOOT]=00 [SBL]=01 [PARAM]=02 [ZIMAGE]=03 [INITRD]=04 [FACTORYFS]=05 [DATAFS]=06
  [STRATINE]=20)

# make_images SET BYTES: the sample images (largest PDA member BYTES) in
# SET/images, their members unpacked in SET/unpacked for comparing.
make_images() {
  "$RIG_BUILD/cli/tools/tarn-sample-images" --out "$1/images" --size "$2" >/dev/null
  mkdir -p "$1/unpacked/pda" "$1/unpacked/csc"
  tar -xf "$1/images/test_PDA.tar" -C "$1/unpacked/pda"
  tar -xf "$1/images/test_CSC.tar" -C "$1/unpacked/csc"
}

# phone_mismatches SET PHONE_DIR: the members of SET's images the phone does
# not hold byte for byte (tarn-flash sends the CSC archive's last nation member).
phone_mismatches() {
  local images=$1/images unpacked=$1/unpacked dir=$2 member part nation compared=0
  for member in $(tar -tf "$images/test_PDA.tar"); do
    part=${PARTITION_OF[${member%%.*}]:-}
    [[ -n $part ]] || continue
    compared=$((compared + 1))
    cmp -s "$unpacked/pda/$member" "$dir/part$part.bin" || echo "$member"
  done
  ((compared > 0)) || echo "(no PDA member with a partition)"
  nation=$(tar -tf "$images/test_CSC.tar" | grep -i 'csc$' | tail -n 1)
  cmp -s "$unpacked/csc/$nation" "$dir/part23.bin" || echo "$nation"
  cmp -s "$images/test_PHONE.bin" "$dir/phone.bin" || echo test_PHONE.bin
}

# slot_problems LOG SET OUT SLOT...: a line for each listed slot that did not
# end PASS in tarn-flash's LOG or whose phone (phone<slot> under OUT) does not
# hold SET's images byte for byte.
slot_problems() {
  local log=$1 set=$2 out=$3 slot bad result=${SLOT_RESULT:-PASS}
  shift 3
  for slot in "$@"; do
    grep -qx "\[  $slot  \] $result" "$log" || echo "slot $slot did not end $result"
    bad=$(phone_mismatches "$set" "$out/phone$slot" | tr '\n' ' ')
    [[ -z $bad ]] || echo "phone $slot (cable $((slot + 1))) differs in ${bad% }"
  done
}

# start_phones OUTPUT NAME [KELD-SIM OPTION...]: keld-sim serving every
# cable's device side, phone i on cable i+1, its output in $LOGS/NAME-sim.log;
# waits until all have said they are up.
start_phones() {
  local out=$1 log=$LOGS/$2-sim.log n ttys=() _
  shift 2
  for n in $(seq "$PHONES"); do ttys+=(--tty "$(gadget_tty_of "$n")"); done
  # Niced with tarn-flash, so that the rig's watching keeps up with the batch.
  nice -n 10 "$RIG_BUILD/sim/keld-sim" "${ttys[@]}" --greeting LAST --loader-version 7 \
    --receive-timeout "$RECEIVE_TIMEOUT_MS" --output "$out" "$@" >"$log" 2>&1 &
  SIM_PID=$!
  for _ in $(seq 300); do
    (($(grep -c '^phone [0-9]*: on ' "$log") >= PHONES)) && return 0
    kill -0 "$SIM_PID" 2>/dev/null || break
    sleep 0.1
  done
  echo "keld-sim did not serve all $PHONES ttys: $(tr '\n' ' ' <"$log")"
  return 1
}

stop_phones() {
  kill "$SIM_PID" 2>/dev/null || true
  wait "$SIM_PID" || true
}

# flash_command SET [TARN-FLASH OPTION...]: FLASH, the tarn-flash command
# line for SET's images; run as "${FLASH[@]}" & its $! is tarn-flash itself
# (nice execs it). A phone that never answers fails its slot in 30 s, not 300.
flash_command() {
  local images=$1/images
  shift
  FLASH=(nice -n 10 "$RIG_BUILD/cli/tarn-flash" --pda "$images/test_PDA.tar" --csc "$images/test_CSC.tar"
    --phone "$images/test_PHONE.bin" --no-factory-mode --answer-timeout 30 "$@")
}

# The --port options of cables 1..8, slot i on cable i+1.
all_ports() {
  local n
  for n in $(seq "$PHONES"); do printf -- '--port\n%s\n' "$n"; done
}

# Eight simulated phones on the gadgets' device sides, flashed at once by
# tarn-flash through the real cdc_acm ports, cable N as COM N; every phone
# must pass and hold the images byte for byte.
scenario_eight_phones() {
  local set=/tmp/eight out=/tmp/eight/phones log=$LOGS/eight-phones-flash.log status=0 problems=() more=() ports=()
  make_images "$set" "$IMAGE_BYTES"
  start_phones "$out" eight-phones || return 1
  mapfile -t ports < <(all_ports)
  flash_command "$set" "${ports[@]}" --report "$set/report.json"
  local started=$SECONDS
  "${FLASH[@]}" >"$log" 2>&1 || status=$?
  local took=$((SECONDS - started))
  stop_phones
  ((status == 0)) || problems+=("tarn-flash exit status $status")
  mapfile -t more < <(slot_problems "$log" "$set" "$out" $(seq 0 $((PHONES - 1))))
  problems+=("${more[@]}")
  verdict "$PHONES phones flashed through cdc_acm in $took s ($(cat "$set"/images/* | wc -c) image bytes each)," \
    "every slot PASS and every partition byte-exact" -- "${problems[@]}"
}

# verdict SUMMARY... -- PROBLEM...: a scenario's detail line and status. With
# no problem, the summary; else the problems, separated by semicolons.
verdict() {
  local summary=()
  while (($#)) && [[ $1 != -- ]]; do
    summary+=("$1")
    shift
  done
  shift
  if (($# == 0)); then
    echo "${summary[*]}"
    return 0
  fi
  local text
  text=$(printf '%s; ' "$@")
  echo "${text%; }"
  return 1
}

run_scenarios() {
  local scenario detail status kept
  for scenario in "${SCENARIOS[@]}"; do
    status=0
    # A scenario run again must not watch the logs of its earlier run.
    rm -f "$LOGS/$scenario"-*
    detail=$("scenario_${scenario//-/_}" 2>&1) || status=$?
    detail=${detail//$'\n'/; }
    if ((status == 0)); then
      echo "PASS $scenario: $detail" >>"$RESULTS"
    else
      echo "FAIL $scenario: $detail" >>"$RESULTS"
      # A later run of the same scenario would overwrite what this one saw.
      kept=/rig/failed/$scenario-$(uptime_seconds)
      mkdir -p "$kept"
      cp -a "$LOGS/." "$kept/"
    fi
    echo "TIME $scenario $(uptime_seconds)" >>"$RESULTS"
    cp -a "$LOGS/." /rig/logs/
  done
}

main() {
  : >"$RESULTS"
  mount_guest
  echo "TIME boot $(uptime_seconds)" >>"$RESULTS"
  install_station
  start_udev
  make_gadgets
  run_scenarios
  # For comparing the real driver with pseudo-terminals by hand.
  dmesg >/rig/logs/dmesg.txt
  { stty -a -F "$(tty_of 1)" && stty -a -F "$(gadget_tty_of 1)"; } >/rig/logs/termios.txt 2>&1 || true
  echo "done" >>"$RESULTS"
}

main

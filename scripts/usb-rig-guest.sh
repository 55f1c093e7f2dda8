#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Inside the USB test rig's guest (started by scripts/usb-rig.sh, never by
# hand): PID 1 on a writable overlay of the host's root file system, with the
# rig share at /rig. Starts udev with the project's rule and registrar, then
# runs each scenario of SCENARIOS in order and writes one "PASS <name>: ..."
# or "FAIL <name>: ..." line per scenario to /rig/results, then "done".
# A scenario is a function scenario_<name> (dashes as underscores) that
# prints its detail and returns non-zero on failure.
set -euo pipefail

# shellcheck source=/dev/null # written by usb-rig.sh before each boot
source /rig/rig.env
RESULTS=/rig/results
LOGS=/rig/logs
SCENARIOS=(hot-plug)

PHONES=8
VENDOR=1209
GADGETS=/sys/kernel/config/usb_gadget
REGISTRAR=$RIG_BUILD/packaging/tarn-port-registrar
MAP=/run/tarn/devicemap

power_off() {
  sync
  echo o >/proc/sysrq-trigger
  sleep 10
}
trap power_off EXIT

log() { echo "rig: $*" >/dev/console; }
uptime_seconds() { cut -d' ' -f1 /proc/uptime; }

# The product id of the phone on cable N (1..8) and the USB port it hangs on.
# Each dummy_hcd controller is a bus with its one port, so the port's path is
# fixed per controller.
product_of() { printf '7a%02x' $(($1 - 1)); }
id_path_of() { echo "platform-dummy_hcd.$(($1 - 1))-usb-0:1:1.0"; }

mount_guest() {
  mount -t tmpfs tmpfs /run
  mount -t tmpfs tmpfs /tmp
  mkdir -p /dev/pts /dev/shm
  mount -t devpts -o gid=5,mode=620,ptmxmode=666 devpts /dev/pts
  mount -t tmpfs tmpfs /dev/shm
  mount -t configfs configfs /sys/kernel/config
  mkdir -p "$LOGS" "$MAP/SERIALCOMM" "$MAP/dosdevices"
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
  log "e - systemd-udevd did not start"
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
  if ((${#problems[@]})); then
    report_problems "${problems[@]}"
    return 1
  fi
  echo "$PHONES phones plugged last cable first (cable 1 is $(tty_of 1), cable $PHONES $(tty_of "$PHONES")):" \
    "udev's ID_PATHs, the map and tarn-flash --list give cable N COM N with its USB device and $VENDOR:$(product_of 1)+N-1"
}

# One line for the results file: the problems, separated by semicolons.
report_problems() {
  local text
  text=$(printf '%s; ' "$@")
  echo "${text%; }"
}

run_scenarios() {
  local scenario detail status
  for scenario in "${SCENARIOS[@]}"; do
    status=0
    detail=$("scenario_${scenario//-/_}" 2>&1) || status=$?
    if ((status == 0)); then
      echo "PASS $scenario: $detail" >>"$RESULTS"
    else
      echo "FAIL $scenario: $detail" >>"$RESULTS"
    fi
    echo "TIME $scenario $(uptime_seconds)" >>"$RESULTS"
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
  echo "done" >>"$RESULTS"
}

main

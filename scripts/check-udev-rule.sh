#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The packaged udev rule under `udevadm test`, for made-up USB phone ports,
# with the example ids uncommented as a site would. It runs in a private
# mount namespace whose /sys and /run are empty and whose rule folders hold
# only these two files, so nothing of the machine is read or changed.
# Usage: check-udev-rule.sh <root the packages were unpacked in>
set -euo pipefail
root=$1

if [[ ${2:-} != --inside ]]; then
  reason=
  if ! command -v udevadm >/dev/null; then
    reason="udevadm is not installed"
  elif [[ $(id -u) -ne 0 ]]; then
    reason="not root, no private mount namespace"
  elif ! unshare -m true 2>/dev/null; then
    reason="no private mount namespace here"
  fi
  if [[ -n $reason ]]; then
    echo "skip  udevadm test: $reason (the rule text test of link_tests covers the rule)"
    exit 0
  fi
  exec unshare -m --propagation private bash "$0" "$root" --inside
fi

mount -t tmpfs tmpfs /sys
mount -t tmpfs tmpfs /run
# Under the private /run, so they go with the namespace.
rules=/run/rules
empty=/run/empty
mkdir -p "$rules" "$empty"
cp "$root/usr/lib/udev/rules.d/70-tarn-phone-ports.rules" "$rules/"
sed 's/^#SUBSYSTEM/SUBSYSTEM/' "$root/usr/share/doc/tarn-multi-downloader/examples/60-tarn-phone-ids.rules" \
  >"$rules/60-tarn-phone-ids.rules"
for dir in /etc/udev/rules.d /lib/udev/rules.d /usr/local/lib/udev/rules.d; do
  if [[ -d $dir ]]; then mount --bind "$empty" "$dir"; fi
done
mount --bind "$rules" /usr/lib/udev/rules.d

# ttyACM<k> on its own USB device with the given vendor id; no device number,
# so udev has no node to make.
make_port() {
  local k=$1 vendor=$2 usb=/sys/devices/pci0000:00/0000:00:14.0/usb1/1-$1
  mkdir -p "$usb/1-$k:1.0/tty/ttyACM$k" /sys/class/tty /sys/bus/usb
  printf 'DEVTYPE=usb_device\n' >"$usb/uevent"
  echo "$vendor" >"$usb/idVendor"
  echo abcd >"$usb/idProduct"
  ln -s /sys/bus/usb "$usb/subsystem"
  printf 'DEVTYPE=usb_interface\n' >"$usb/1-$k:1.0/uevent"
  ln -s /sys/bus/usb "$usb/1-$k:1.0/subsystem"
  printf 'DEVNAME=ttyACM%s\n' "$k" >"$usb/1-$k:1.0/tty/ttyACM$k/uevent"
  ln -s /sys/class/tty "$usb/1-$k:1.0/tty/ttyACM$k/subsystem"
  ln -s "$usb/1-$k:1.0/tty/ttyACM$k" "/sys/class/tty/ttyACM$k"
}
make_port 0 1234
make_port 1 4321

failed=0
expect() {  # expect <what> <action> <port> <grep -E pattern>... ('!pattern': must not show)
  local what=$1 action=$2 port=$3 out pattern; shift 3
  # udev refuses a /sys that is not sysfs unless told this is a test.
  out=$(SYSTEMD_DEVICE_VERIFY_SYSFS=0 udevadm test --action="$action" "/sys/class/tty/$port" 2>&1)
  for pattern in "$@"; do
    if [[ $pattern == !* ]]; then
      ! grep -Eq -- "${pattern#!}" <<<"$out" && continue
    else
      grep -Eq -- "$pattern" <<<"$out" && continue
    fi
    echo "FAIL  udevadm test: $what: '$pattern'"
    grep -E '^(run:|TAGS|ID_MM|TARN_)' <<<"$out" | sed 's/^/      /'
    failed=1
    return
  done
  echo "ok    udevadm test: $what"
}
registrar="run: '/usr/libexec/tarn/tarn-port-registrar"
for action in add change bind; do
  expect "$action of a phone port: seat access, no ModemManager, registered" "$action" ttyACM0 \
    '^ID_MM_DEVICE_IGNORE=1$' '^TAGS=.*:uaccess:' "^$registrar add'\$"
done
expect "remove of a phone port: unregistered" remove ttyACM0 "^$registrar remove'\$" "!$registrar add"
expect "add of another ACM device: left alone" add ttyACM1 '!ID_MM_DEVICE_IGNORE' '!uaccess' "!$registrar"
exit "$failed"

#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# PID 1 of the USB test rig's initramfs (busybox sh; scripts/usb-rig.sh packs
# it as /init). Loads the USB and 9p modules, puts a writable overlay over the
# machine's root file system (shared read-only by the host) and switches into
# it to run the guest script named in the rig share's rig.env. Any failure
# powers the guest off at once, so the host sees no results, not a hang.
export PATH=/bin

fail() {
  echo "e - usb-rig guest: $*" >/dev/console
  echo o >/proc/sysrq-trigger
  sleep 10
  exit 1
}

mount -t proc proc /proc || fail "cannot mount /proc"
mount -t sysfs sysfs /sys || fail "cannot mount /sys"
mount -t devtmpfs devtmpfs /dev || fail "cannot mount /dev"

# One module a line, dependencies first, with its parameters.
while read -r module params; do
  # shellcheck disable=SC2086 # the parameters are separate words
  insmod "/modules/$module" $params || fail "cannot load $module"
done </modules.list

mkdir -p /host /share /upper /newroot
# A large message size: the guest reads the programs and images through it.
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000,ro host /host || fail "cannot mount the host root"
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000 rig /share || fail "cannot mount the rig share"
mount -t tmpfs -o size=512m tmpfs /upper || fail "cannot mount the overlay's tmpfs"
mkdir -p /upper/data /upper/work
mount -t overlay overlay -o lowerdir=/host,upperdir=/upper/data,workdir=/upper/work /newroot ||
  fail "cannot put an overlay over the host root"
mkdir -p /newroot/rig
for dir in /dev /proc /sys /share; do
  target=$dir
  [ "$dir" = /share ] && target=/rig
  mount --move "$dir" "/newroot$target" || fail "cannot move $dir into the new root"
done

[ -r /newroot/rig/rig.env ] || fail "no rig.env in the rig share"
# shellcheck disable=SC1091 # written by usb-rig.sh before each boot
. /newroot/rig/rig.env
exec switch_root /newroot /bin/bash "$RIG_GUEST"

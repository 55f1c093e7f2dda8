#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The USB test rig: real cdc_acm ports, real udev events, our udev rule and
# registrar. It boots Debian's own kernel in qemu (software emulation) with
# eight virtual USB host controllers (dummy_hcd), plugs one USB gadget with an
# ACM function into each, and runs the scenarios of scripts/usb-rig-guest.sh
# inside against the build tree's programs, which the guest reads from this
# machine's root file system (shared read-only over 9p).
#
#   scripts/usb-rig.sh [BUILD_DIR]     (default build/default)
#
# Build the tree first (cmake --preset default && cmake --build --preset
# default). Needs the Debian packages qemu-system-x86, busybox-static and cpio,
# and apt to fetch the kernel package once; the kernel is unpacked under
# build/usb-rig/ and never installed. Runs as root (qemu reads the whole root
# file system for the guest). RIG_CPUS sets the guest's processors (1);
# RIG_SCENARIOS names the scenarios to run, in order (hot-plug first: it
# plugs the phones), e.g. RIG_SCENARIOS="hot-plug unplug unplug".
# Prints one "PASS <scenario>: ..." or "FAIL <scenario>: ..." line per
# scenario and "N passed, M failed"; exits non-zero on a failure or when the
# guest does not come up. build/usb-rig/console.log holds the guest's
# console, build/usb-rig/share/logs what the scenarios saw.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
RIG=$ROOT/build/usb-rig
SHARE=$RIG/share
# Software emulation is slow; a guest still running after this is stuck.
GUEST_SECONDS=900

usage() {
  sed -n '3,20s/^# \{0,1\}//p' "$0"
}

# Modules the guest loads, dependencies first, with their parameters.
# dummy_hcd's num: one controller (and one gadget) per phone slot.
MODULES=(
  virtio_ring virtio virtio_pci_legacy_dev virtio_pci_modern_dev virtio_pci
  netfs fscache 9pnet 9pnet_virtio 9p overlay configfs
  usb-common usbcore udc-core "dummy_hcd num=8" libcomposite u_serial usb_f_acm cdc-acm
)

die() {
  echo "e - usb-rig: $*" >&2
  exit 1
}

check_tools() {
  local tool missing=()
  for tool in qemu-system-x86_64 cpio dpkg-deb apt-get; do
    command -v "$tool" >/dev/null || missing+=("$tool")
  done
  # Not grep -q: it would leave the list half read, and under pipefail the
  # writer's SIGPIPE would count as busybox missing.
  [[ -x /bin/busybox ]] && /bin/busybox --list | grep -x switch_root >/dev/null || missing+=(busybox-static)
  ((${#missing[@]} == 0)) || die "missing ${missing[*]} (apt-get install qemu-system-x86 busybox-static cpio)"
  [[ $(id -u) -eq 0 ]] || die "run as root: the guest reads the whole root file system"
  local program
  for program in cli/tarn-flash packaging/tarn-port-registrar sim/keld-sim cli/tools/tarn-sample-images; do
    [[ -x $BUILD/$program ]] || die "$BUILD/$program is not built (cmake --build --preset default)"
  done
}

# Sets KVER and KDIR: Debian's current kernel, fetched and unpacked once.
fetch_kernel() {
  KVER=$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/.*Depends: linux-image-\(.*\)$/\1/p' | head -n 1)
  if [[ -z $KVER ]]; then
    # No package lists: whatever was unpacked before will do.
    KVER=$(find "$RIG/kernel" -mindepth 1 -maxdepth 1 -printf '%f\n' 2>/dev/null | sort | tail -n 1)
  fi
  [[ -n $KVER ]] || die "cannot tell which kernel package linux-image-amd64 wants (apt-get update?)"
  KDIR=$RIG/kernel/$KVER
  [[ -f $KDIR/boot/vmlinuz-$KVER ]] && return
  mkdir -p "$RIG/deb" "$RIG/kernel"
  (cd "$RIG/deb" && apt-get download "linux-image-$KVER" >/dev/null 2>&1) ||
    die "cannot download linux-image-$KVER"
  rm -rf "$KDIR.tmp"
  dpkg-deb -x "$RIG/deb/linux-image-${KVER}_"*.deb "$KDIR.tmp"
  mv "$KDIR.tmp" "$KDIR"
}

# The module file of a module name; file names may spell '_' as '-'.
module_file() {
  local name=${1//-/_} file
  file=$(find "$KDIR/lib/modules/$KVER/kernel" \( -name "$name.ko*" -o -name "${name//_/-}.ko*" \) | head -n 1)
  [[ -n $file ]] || die "no module $1 in linux-image-$KVER"
  echo "$file"
}

# Debian may ship modules compressed; busybox's insmod reads plain ones only.
decompressed() {
  case $1 in
    *.xz) xz -dc "$1" ;;
    *.zst) zstd -qdc "$1" ;;
    *) cat "$1" ;;
  esac
}

# The modules a module file needs, as its .modinfo section lists them.
modinfo_depends() {
  decompressed "$1" | tr '\0' '\n' | sed -n 's/^depends=//p' | tr ',' ' '
}

# Packs busybox, the init script and the modules into $RIG/initrd.gz.
make_initramfs() {
  local dir=$RIG/initramfs entry name params file dep
  rm -rf "$dir"
  mkdir -p "$dir/bin" "$dir/modules" "$dir/proc" "$dir/sys" "$dir/dev"
  cp /bin/busybox "$dir/bin/"
  for name in sh mount mkdir insmod switch_root sleep; do ln -s busybox "$dir/bin/$name"; done
  cp "$ROOT/scripts/usb-rig-init.sh" "$dir/init"
  chmod 755 "$dir/init"
  : >"$dir/modules.list"
  for entry in "${MODULES[@]}"; do
    read -r name params <<<"$entry"
    file=$(module_file "$name")
    for dep in $(modinfo_depends "$file"); do
      grep -q "^${dep//-/_}\.ko " "$dir/modules.list" || die "module $name needs $dep listed before it"
    done
    name=${name//-/_}
    decompressed "$file" >"$dir/modules/$name.ko"
    echo "$name.ko $params" >>"$dir/modules.list"
  done
  (cd "$dir" && find . | cpio -o -H newc --quiet | gzip -1) >"$RIG/initrd.gz"
}

boot_guest() {
  rm -rf "$SHARE"
  mkdir -p "$SHARE"
  cat >"$SHARE/rig.env" <<EOF
RIG_GUEST='$ROOT/scripts/usb-rig-guest.sh'
RIG_REPO='$ROOT'
RIG_BUILD='$BUILD'
RIG_SCENARIOS='${RIG_SCENARIOS:-}'
EOF
  local status=0
  timeout "$GUEST_SECONDS" nice -n 10 qemu-system-x86_64 -accel tcg -nographic -no-reboot \
    -m 1024 -smp "${RIG_CPUS:-1}" \
    -kernel "$KDIR/boot/vmlinuz-$KVER" -initrd "$RIG/initrd.gz" \
    -append "console=ttyS0 quiet panic=-1" \
    -virtfs local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap \
    -virtfs "local,path=$SHARE,mount_tag=rig,security_model=none,multidevs=remap" \
    </dev/null >"$RIG/console.log" 2>&1 || status=$?
  ((status != 124)) || echo "e - usb-rig: the guest was still running after $GUEST_SECONDS s, stopped" >&2
}

# The guest writes one PASS or FAIL line per scenario, then "done".
report() {
  local results=$SHARE/results passed failed
  if [[ ! -f $results ]] || ! grep -qx "done" "$results"; then
    if [[ -f $results ]]; then grep -E '^(PASS|FAIL) ' "$results" || true; fi
    echo "e - usb-rig: the guest did not finish its scenarios, see $RIG/console.log" >&2
    tail -n 20 "$RIG/console.log" >&2
    return 1
  fi
  grep -E '^(PASS|FAIL) ' "$results"
  grep '^FIGURE ' "$results" | cut -d' ' -f2- || true
  # The guest's clock: seconds since its kernel started.
  echo "guest: root file system ready $(sed -n 's/^TIME boot //p' "$results") s after boot," \
    "last scenario done at $(grep '^TIME ' "$results" | tail -n 1 | cut -d' ' -f3) s"
  passed=$(grep -c '^PASS ' "$results" || true)
  failed=$(grep -c '^FAIL ' "$results" || true)
  echo "$passed passed, $failed failed"
  ((failed == 0 && passed > 0))
}

case ${1:-} in
  -h | --help)
    usage
    exit 0
    ;;
esac
BUILD=$(cd "${1:-$ROOT/build/default}" && pwd) || die "no build folder ${1:-$ROOT/build/default}"
mkdir -p "$RIG"
check_tools
fetch_kernel
make_initramfs
boot_guest
report

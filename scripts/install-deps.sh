#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs the Debian packages the build and tests need, skipping those present.
set -euo pipefail

packages=(g++ cmake ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          qt6-base-dev libcli11-dev nlohmann-json3-dev locales
          # the sleep inhibitor's D-Bus client; its test runs a private bus
          libsystemd-dev dbus-daemon
          # the images' SHA-256 (--image-digests, inspect)
          nettle-dev
          # the format check of the test command
          clang-format
          # the JSON schema check of the tarn-flash tests
          python3-jsonschema
          # promtool, which checks the metrics file the way the collector reads it
          prometheus
          # manual pages, the Debian packages and their checks
          scdoc dpkg-dev lintian man-db appstream desktop-file-utils udev
          # the USB rig's virtual machine (scripts/usb-rig.sh)
          qemu-system-x86 busybox-static cpio)
if [[ "${TARN_WITH_CLANG:-0}" == 1 ]]; then
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}" >&2
  sudo_cmd=()
  [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi

#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs what is missing, checks the C++ layout, then configures, builds and
# runs the whole test suite:
#   1. every tracked .cpp/.h as clang-format leaves it (scripts/check-format.sh),
#      includes pointing one way between the folders and no source over 400
#      lines (scripts/check-layout.sh);
#   2. every test (ctest, default preset, window included, offscreen);
#   3. the Debian packages: built from the default preset, then their control
#      fields, contents, manuals, completion, desktop data, lintian and the
#      udev rule checked (scripts/check-packages.sh);
#   4. the USB rig (scripts/usb-rig.sh): real cdc_acm ports, udev and the
#      registrar in a virtual machine, against the default build; it needs
#      root, and is skipped with that reason without it unless
#      TARN_REQUIRE_USB_RIG=1 (as in CI);
#   5. every test, the window's included, under AddressSanitizer + UBSan (with
#      tests/sanitizers/lsan.supp for third-party libraries' leaks), and the
#      tests without the window under ThreadSanitizer (it cannot see the
#      futex-based locks inside the toolkit's own threads);
#   6. every libFuzzer target for a short bounded time on its seed corpus.
# TARN_QUICK=1 runs steps 1 to 3 only.
set -euo pipefail
cd "$(dirname "$0")/.."
TARN_WITH_CLANG=1 bash scripts/install-deps.sh
start=$SECONDS
stamp() { echo "== $1 ($((SECONDS - start)) s)"; }

stamp "format and layout checks"
bash scripts/check-format.sh
bash scripts/check-layout.sh

stamp "default preset: build and all tests"
cmake --workflow --preset default

stamp "Debian packages: build and checks"
cmake --build --preset default --target package
bash scripts/check-packages.sh build/default
[[ "${TARN_QUICK:-0}" == 1 ]] && exit 0

if [[ $(id -u) -eq 0 || "${TARN_REQUIRE_USB_RIG:-0}" == 1 ]]; then
  stamp "USB rig: real cdc_acm ports, udev and the registrar in a virtual machine"
  bash scripts/usb-rig.sh build/default
else
  stamp "USB rig skipped: it needs root (the guest reads the whole root file system)"
fi

for preset in asan tsan; do
  window=ON
  [[ $preset == tsan ]] && window=OFF
  stamp "$preset preset: build and tests (window $window)"
  cmake --preset "$preset" -DTARN_BUILD_WINDOW=$window >/dev/null
  cmake --build --preset "$preset"
  # One test at a time: sanitized jobs are slow, and the engine's real serial
  # time-outs must not be outrun by a starved simulated phone.
  ctest --preset "$preset" -j 1
done

stamp "fuzz targets"
bash scripts/fuzz.sh "${TARN_FUZZ_SECONDS:-15}"
stamp "done"

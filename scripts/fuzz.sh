#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds the libFuzzer targets and runs each for a bounded time on a copy of
# its seed corpus. Usage: scripts/fuzz.sh [seconds-per-target]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
TARN_WITH_CLANG=1 bash scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for target in tar_index size_walk answers names devicemap settings; do
  mkdir -p "$work/$target" "$work/artifacts"
  cp -r tests/fuzz/corpus/$target/. "$work/$target/"
  log="$work/$target.log"
  if ! build/fuzz/tests/fuzz/fuzz_$target -max_total_time="$seconds" -rss_limit_mb=2048 \
       -artifact_prefix="$work/artifacts/$target-" "$work/$target" >"$log" 2>&1; then
    status=1
    echo "fuzz_$target: FAILED"; tail -40 "$log"
    mkdir -p build/fuzz-artifacts && cp "$work"/artifacts/* build/fuzz-artifacts/ 2>/dev/null || true
    continue
  fi
  runs=$(grep -Eo 'Done [0-9]+ runs' "$log" | tail -1 | grep -Eo '[0-9]+' || echo '?')
  echo "fuzz_$target: $runs executions in ${seconds}s, no crash"
done
exit $status

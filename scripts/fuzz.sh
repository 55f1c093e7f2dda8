#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds the libFuzzer targets and runs them.
#   scripts/fuzz.sh [SECONDS]               each target for SECONDS (30) on a
#                                           copy of its seed corpus
#   scripts/fuzz.sh --campaign MINUTES [TARGET...]
#                                           each target (or those named) for
#                                           MINUTES with -fork on every core
#                                           (TARN_FUZZ_JOBS to use fewer), then
#                                           merges what it found into the seed
#                                           corpus, minimised (run it under
#                                           nice on a machine others share)
# Crashing inputs are kept under build/fuzz-artifacts and make the script fail.
set -euo pipefail
cd "$(dirname "$0")/.."
targets=(tar_index tar_records size_walk answers names devicemap settings station_file json_report)
campaign=0
if [[ "${1:-}" == --campaign ]]; then
  campaign=1
  minutes=${2:?usage: scripts/fuzz.sh --campaign MINUTES [TARGET...]}
  shift 2
  if (($# > 0)); then targets=("$@"); fi
else
  seconds=${1:-30}
fi
TARN_WITH_CLANG=1 bash scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
# The build lets UndefinedBehaviorSanitizer go on after a report; here every
# report is a crash, kept like any other.
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
artifacts=build/fuzz-artifacts
mkdir -p "$artifacts"
status=0

# The dictionary of tokens for the targets that read tar archives.
dictionary() {
  if [[ $1 == tar_* ]]; then echo "-dict=tests/fuzz/tar.dict"; fi
}

short_run() {
  local target=$1 log="$work/$1.log"
  mkdir -p "$work/$target" "$work/artifacts"
  cp -r tests/fuzz/corpus/$target/. "$work/$target/"
  # shellcheck disable=SC2046
  if ! build/fuzz/tests/fuzz/fuzz_$target -max_total_time="$seconds" -rss_limit_mb=2048 $(dictionary "$target") \
       -artifact_prefix="$work/artifacts/$target-" "$work/$target" >"$log" 2>&1; then
    status=1
    echo "fuzz_$target: FAILED"; tail -40 "$log"
    cp "$work"/artifacts/* "$artifacts/" 2>/dev/null || true
    return
  fi
  local runs
  runs=$(grep -Eo 'Done [0-9]+ runs' "$log" | tail -1 | grep -Eo '[0-9]+' || echo '?')
  echo "fuzz_$target: $runs executions in ${seconds}s, no crash"
}

# Runs the target with -fork for the campaign's time on a copy of its corpus,
# then merges the copy (seeds and what the run added) into a fresh folder
# that replaces the kept corpus. Inputs named regression-* always stay.
campaign_run() {
  local target=$1 log="$work/$1.log" kept=tests/fuzz/corpus/$1
  local fuzzer=build/fuzz/tests/fuzz/fuzz_$target
  mkdir -p "$work/$target" "$work/$target.merged"
  cp -r "$kept/." "$work/$target/"
  local started=$SECONDS
  # shellcheck disable=SC2046
  if ! "$fuzzer" -fork="${TARN_FUZZ_JOBS:-$(nproc)}" -max_total_time=$((minutes * 60)) \
       -rss_limit_mb=2048 $(dictionary "$target") -artifact_prefix="$artifacts/$target-" \
       "$work/$target" >"$log" 2>&1; then
    status=1
    echo "fuzz_$target: FAILED (inputs under $artifacts)"; tail -40 "$log"
  fi
  # A crash ends the run early: the figures are for the time it really ran.
  local seconds=$((SECONDS - started > 0 ? SECONDS - started : 1))
  local last
  last=$(grep -E '^#[0-9]+: cov: ' "$log" | tail -1 || true)
  find "$kept" -maxdepth 1 -name 'regression-*' -exec cp {} "$work/$target.merged/" \;
  if ! "$fuzzer" -merge=1 -rss_limit_mb=2048 "$work/$target.merged" "$work/$target" \
       >"$work/$target.merge.log" 2>&1; then
    status=1
    echo "fuzz_$target: merge FAILED"; tail -20 "$work/$target.merge.log"
    return
  fi
  rm -rf "$kept" && cp -r "$work/$target.merged" "$kept"
  local execs cov ft
  execs=$(sed -E 's/^#([0-9]+):.*/\1/' <<<"$last")
  cov=$(grep -Eo 'cov: [0-9]+' <<<"$last" | grep -Eo '[0-9]+' || echo '?')
  ft=$(grep -Eo 'ft: [0-9]+' <<<"$last" | grep -Eo '[0-9]+' || echo '?')
  printf 'fuzz_%s: %s executions in %s min %s s, %s exec/s, cov %s, ft %s, corpus %s files %s\n' "$target" \
    "${execs:-?}" "$((seconds / 60))" "$((seconds % 60))" "$((${execs:-0} / seconds))" "$cov" "$ft" \
    "$(find "$kept" -type f | wc -l)" "$(du -sh "$kept" | cut -f1)"
}

for target in "${targets[@]}"; do
  if ((campaign)); then campaign_run "$target"; else short_run "$target"; fi
done
exit $status

#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Fails, naming them, when tracked C++ sources differ from what clang-format
# makes of them under the top-level .clang-format. `clang-format -i FILE...`
# puts them right.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang-format >/dev/null; then
  echo "check-format: clang-format is not installed (Debian package clang-format)" >&2
  exit 1
fi
if ! git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  echo "check-format: needs a git checkout to list the sources" >&2
  exit 1
fi

mapfile -d '' files < <(git ls-files -z -- '*.cpp' '*.h')
# One run over all files: it reports every place that would change as
# "FILE:LINE:COLUMN: error: code should be clang-formatted".
status=0
report=$(clang-format --dry-run --Werror "${files[@]}" 2>&1) || status=$?
if ((status != 0)); then
  mapfile -t unformatted < <(sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' <<<"$report" | sort -u)
  if ((${#unformatted[@]} == 0)); then
    echo "$report" >&2  # clang-format failed for another reason
    exit "$status"
  fi
  echo "check-format: ${#unformatted[@]} of ${#files[@]} files are not formatted:" >&2
  printf '  %s\n' "${unformatted[@]}" >&2
  exit 1
fi
echo "check-format: all ${#files[@]} files formatted"

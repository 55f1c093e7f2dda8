#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Checks the source layout: no C++ source over 400 lines, and includes that
# point one way between the source folders:
#   platform <- support <- wire <- link <- engine <- host <- window, cli
# (sim stands on platform and support alone, tools also on wire), and that the hosts
# reach the engine only through its public headers. Prints every include
# that breaks the order and fails; prints the folder graph when all hold.
set -euo pipefail
cd "$(dirname "$0")/.."

# Folders each folder may include from (besides itself).
declare -A allowed=(
  [platform]=""
  [support]="platform"
  [wire]="platform support"
  [link]="platform support wire"
  [engine]="platform support wire link"
  [host]="platform support wire engine-public"
  [controls]="platform"
  [window]="platform support engine-public host controls tarn"
  [cli]="platform support engine-public host tarn"
  [sim]="platform support tarn"
  [tools]="platform support wire"
)
# What a host may see of the engine: the slot interface, its messages and
# options, and the name tables.
engine_public='engine/(pell_linux_np|events|options|tables)\.h'

status=0
max_lines=400
while IFS= read -r -d '' file; do
  lines=$(wc -l <"$file")
  if ((lines > max_lines)); then
    echo "layout: $file has $lines lines (at most $max_lines)"
    status=1
  fi
done < <(git ls-files -z -- '*.cpp' '*.h')

for folder in "${!allowed[@]}"; do
  [[ -d $folder ]] || continue
  while IFS=: read -r file line text; do
    target=$(sed -E 's/.*#include "([a-z_]+)\/.*/\1/' <<<"$text")
    header=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"$text")
    [[ $target == "$folder" ]] && continue
    ok=0
    for dep in ${allowed[$folder]}; do
      if [[ $dep == engine-public ]]; then
        [[ $header =~ ^${engine_public}$ ]] && ok=1
      elif [[ $dep == "$target" ]]; then
        ok=1
      fi
    done
    if ((!ok)); then
      echo "layout: $file:$line includes $header (${folder}/ may use: ${allowed[$folder]:-nothing})"
      status=1
    fi
  done < <(grep -rnE '^#include "[a-z_]+/' "$folder" --include='*.cpp' --include='*.h' || true)
done

if ((status == 0)); then
  echo "layout holds: no source over $max_lines lines; folders and what they include:"
  for folder in platform support wire link engine host controls window cli sim tools; do
    [[ -d $folder ]] || continue
    used=$(grep -rhoE '^#include "[a-z_]+/' "$folder" --include='*.cpp' --include='*.h' |
      sed -E 's/#include "([a-z_]+)\//\1/' | sort -u | grep -vx "$folder" | tr '\n' ' ' || true)
    echo "  $folder <- ${used:-(none)}"
  done
fi
exit $status

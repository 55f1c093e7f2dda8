#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The main job end to end: build, write sample images, start eight simulated
# phones, flash all of them at once with tarn-flash, then compare every
# phone's written partitions byte for byte with the images.
#
#   scripts/demo.sh            (DEMO_SIZE=<bytes> changes the image size)
#
# Exit status: 0 when every phone passed and matches, non-zero otherwise.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$ROOT/build/default
PHONES=8
SIZE=${DEMO_SIZE:-4194304}

say() { printf '\n== %s\n' "$*"; }

say "Building"
cd "$ROOT"
if [ ! -f "$BUILD/build.ninja" ]; then
  cmake --preset default
fi
cmake --build --preset default --target tarn-flash keld-sim tarn-sample-images

# shellcheck source=scripts/demo-phones.sh
source "$ROOT/scripts/demo-phones.sh"
demo_workspace tarn-demo
IMAGES=$WORK/images
OUT=$WORK/phones

say "Writing sample images ($SIZE-byte members) into $IMAGES"
"$BUILD/cli/tools/tarn-sample-images" --out "$IMAGES" --size "$SIZE"
ls -l "$IMAGES"

say "Starting $PHONES simulated phones (serial-port map $TARN_DEVICEMAP)"
start_demo_phones "$BUILD" "$PHONES" "$OUT"

say "Flashing all phones with tarn-flash (no completion wait)"
status=0
"$BUILD/cli/tarn-flash" --pda "$IMAGES/test_PDA.tar" --csc "$IMAGES/test_CSC.tar" \
  --phone "$IMAGES/test_PHONE.bin" --no-factory-mode || status=$?
echo "tarn-flash exit status: $status"

say "Comparing every phone's partitions with the images"
EXPECT=$WORK/expected
mkdir -p "$EXPECT/pda" "$EXPECT/csc"
tar -xf "$IMAGES/test_PDA.tar" -C "$EXPECT/pda"
tar -xf "$IMAGES/test_CSC.tar" -C "$EXPECT/csc"
# tarn-flash picks the nation of the archive's last per-nation member.
NATION_MEMBER=$(tar -tf "$IMAGES/test_CSC.tar" | grep -i 'csc$' | tail -n 1)

# Where the phone keeps each member: partNN.bin by partition code.
partition_file() {
  case "${1%%.*}" in
    BOOT) echo part00.bin ;; SBL) echo part01.bin ;; PARAM) echo part02.bin ;;
    ZIMAGE) echo part03.bin ;; INITRD) echo part04.bin ;; FACTORYFS) echo part05.bin ;;
    DATAFS) echo part06.bin ;; STRATINE) echo part20.bin ;; *) echo "" ;;
  esac
}

mismatches=0
for i in $(seq 0 $((PHONES - 1))); do
  dir=$OUT/phone$i
  checked=0
  bad=()
  while IFS= read -r member; do
    file=$(partition_file "$member")
    [ -n "$file" ] || continue
    checked=$((checked + 1))
    cmp -s "$EXPECT/pda/$member" "$dir/$file" || bad+=("$member")
  done < <(tar -tf "$IMAGES/test_PDA.tar")
  checked=$((checked + 2))
  cmp -s "$EXPECT/csc/$NATION_MEMBER" "$dir/part23.bin" || bad+=("$NATION_MEMBER")
  cmp -s "$IMAGES/test_PHONE.bin" "$dir/phone.bin" || bad+=("test_PHONE.bin")
  if [ ${#bad[@]} -eq 0 ]; then
    echo "phone $i: all $checked partitions match the images byte for byte"
  else
    echo "phone $i: MISMATCH in ${bad[*]}"
    mismatches=$((mismatches + 1))
  fi
done

if [ "$status" -eq 0 ] && [ "$mismatches" -eq 0 ]; then
  say "All $PHONES phones flashed and verified."
  exit 0
fi
say "FAILED: tarn-flash status $status, $mismatches phone(s) with mismatches."
exit 1

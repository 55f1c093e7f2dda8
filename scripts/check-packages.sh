#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Checks the Debian packages that `cmake --build --preset default --target
# package` made in the build folder ($1, default build/default): control
# fields, contents, the programs and manual pages unpacked into a scratch
# root, shell completion, desktop entry and AppStream data, lintian, and the
# udev rule under `udevadm test`. Exit status 1 when a check failed.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
version=$(sed -n 's/^#define TARN_VERSION "\(.*\)"$/\1/p' "$build/generated/tarn/version.h")
arch=$(dpkg --print-architecture)
operator=$build/tarn-multi-downloader_${version}-1_${arch}.deb
sim=$build/keld-sim_${version}-1_${arch}.deb
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
failed=0

pass() { echo "ok    $*"; }
fail() { echo "FAIL  $*"; failed=1; }
check() {  # check <what> <command...>
  local what=$1; shift
  if "$@" >"$root/.out" 2>&1; then pass "$what"; else fail "$what"; sed 's/^/      /' "$root/.out"; fi
}

# The field is read whole before it is matched: `grep -q` in a pipe can quit
# before dpkg-deb has written, and under pipefail its broken pipe fails the check.
control_has() {  # control_has <deb> <field> <pattern>: a line of the field matches
  local value
  value=$(dpkg-deb -f "$1" "$2") || return 1
  grep -Eq -- "$3" <<<"$value"
}
long_description() {  # long_description <deb>: the Description has a text below its summary
  local value
  value=$(dpkg-deb -f "$1" Description) || return 1
  grep -Eq '^ [^ ]' <<<"$(sed -n '2,$p' <<<"$value")"
}
for deb in "$operator" "$sim"; do
  [[ -f $deb ]] || { fail "package $deb exists"; exit 1; }
  name=$(basename "$deb")
  check "$name: Version $version-1" control_has "$deb" Version "^$version-1\$"
  check "$name: Maintainer" control_has "$deb" Maintainer '^[^<]+ <[^@>]+@[^>]+>$'
  check "$name: Section" control_has "$deb" Section '^[a-z]+$'
  check "$name: Homepage" control_has "$deb" Homepage '^https://'
  check "$name: Description with a long text" long_description "$deb"
  check "$name: Depends from the binaries" control_has "$deb" Depends 'libc6 \(>= [0-9.]+\).*libstdc\+\+6'
done
check "tarn-multi-downloader: Depends on Qt" control_has "$operator" Depends 'libqt6widgets6'
check "keld-sim: no Qt" bash -c "! dpkg-deb -f '$sim' Depends | grep -q qt"
check "tarn-multi-downloader: maintainer scripts" bash -c "dpkg-deb -I '$operator' postinst && dpkg-deb -I '$operator' postrm"

contents() { dpkg-deb -c "$1" | awk '{print $6}' | sed 's|^\./|/|'; }
holds() {  # holds <deb> <path>...
  local deb=$1 list; shift
  list=$(contents "$deb")
  for path in "$@"; do grep -qx -- "$path" <<<"$list" || { echo "missing $path"; return 1; }; done
}
lacks() {  # lacks <deb> <pattern>
  ! contents "$1" | grep -E -- "$2"
}
check "tarn-multi-downloader: contents" holds "$operator" \
  /usr/bin/tarn-multi-downloader /usr/bin/tarn-flash /usr/libexec/tarn/tarn-port-registrar \
  /usr/lib/udev/rules.d/70-tarn-phone-ports.rules /usr/lib/tmpfiles.d/tarn-devicemap.conf \
  /usr/share/applications/tarn-multi-downloader.desktop \
  /usr/share/icons/hicolor/scalable/apps/tarn-multi-downloader.svg \
  /usr/share/metainfo/example.tarn.MultiDownloader.metainfo.xml \
  /usr/share/man/man1/tarn-flash.1.gz /usr/share/man/man1/tarn-multi-downloader.1.gz \
  /usr/share/man/man8/tarn-port-registrar.8.gz /usr/share/bash-completion/completions/tarn-flash \
  /usr/share/doc/tarn-multi-downloader/copyright /usr/share/doc/tarn-multi-downloader/changelog.Debian.gz \
  /usr/share/doc/tarn-multi-downloader/examples/60-tarn-phone-ids.rules
check "keld-sim: contents" holds "$sim" \
  /usr/bin/keld-sim /usr/share/man/man1/keld-sim.1.gz /usr/share/bash-completion/completions/keld-sim \
  /usr/bin/tarn-sample-images /usr/share/man/man1/tarn-sample-images.1.gz \
  /usr/share/doc/keld-sim/copyright /usr/share/doc/keld-sim/changelog.Debian.gz
check "tarn-multi-downloader: no simulator, nothing in /etc or /usr/local" \
  lacks "$operator" 'keld-sim|tarn-sample-images|^/etc/.|^/usr/local/'
check "keld-sim: nothing of the operator's" lacks "$sim" 'tarn-(flash|multi|port)|^/etc/.|^/usr/local/'

dpkg -x "$operator" "$root"
dpkg -x "$sim" "$root"
check "unpacked tarn-flash --version" bash -c "[[ \$('$root/usr/bin/tarn-flash' --version) == 'tarn-flash $version' ]]"
check "unpacked keld-sim --version" bash -c "[[ \$('$root/usr/bin/keld-sim' --version) == 'keld-sim $version' ]]"
check "unpacked tarn-sample-images --version" \
  bash -c "[[ \$('$root/usr/bin/tarn-sample-images' --version) == 'tarn-sample-images $version' ]]"
check "unpacked tarn-port-registrar --version" \
  bash -c "[[ \$('$root/usr/libexec/tarn/tarn-port-registrar' --version) == 'tarn-port-registrar $version' ]]"
check "udev rule runs the installed registrar" \
  grep -q 'RUN+="/usr/libexec/tarn/tarn-port-registrar add"' "$root/usr/lib/udev/rules.d/70-tarn-phone-ports.rules"
for page in "$root"/usr/share/man/man*/*.gz; do
  # man's own warnings (lintian runs the same); the page must name its version.
  check "manual $(basename "$page") renders" bash -c \
    "out=\$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l '$page' 2>&1 >/dev/null); [[ -z \$out ]] || { echo \"\$out\"; false; }
     LC_ALL=C.UTF-8 MANWIDTH=80 man -l '$page' 2>/dev/null | grep -q 'Tarn Multi Downloader $version'"
done

# Completion: the Stratine parts, and only tar files (and folders) for --pda.
completes() {  # completes <script> <function> <expected> <words...>
  local script=$1 function=$2 expected=$3; shift 3
  local got
  got=$(cd "$root/pick" && source "$script" && COMP_WORDS=("$@") && COMP_CWORD=$(($# - 1)) && "$function" &&
        printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd ' ')
  [[ $got == "$expected" ]] || { echo "expected '$expected', got '$got'"; return 1; }
}
mkdir -p "$root/pick/sub"
touch "$root/pick/PDA.tar" "$root/pick/CSC.TAR" "$root/pick/phone.bin"
completions=$root/usr/share/bash-completion/completions
check "completion: inspect" completes "$completions/tarn-flash" _tarn_flash "inspect" tarn-flash ins
check "completion: inspect takes any file" completes "$completions/tarn-flash" _tarn_flash "CSC.TAR PDA.tar phone.bin sub" \
  tarn-flash inspect ""
check "completion: --stratine" completes "$completions/tarn-flash" _tarn_flash "ums" tarn-flash --stratine u
check "completion: --pda takes tar files" completes "$completions/tarn-flash" _tarn_flash "CSC.TAR PDA.tar sub" \
  tarn-flash --pda ""
check "completion: --phone takes bin files" completes "$completions/tarn-flash" _tarn_flash "phone.bin sub" \
  tarn-flash --phone ""
check "completion: --nation" completes "$completions/tarn-flash" _tarn_flash "Zudarida_SPAIN" tarn-flash --nation Zudarida_S
check "completion: keld-sim --kind" completes "$completions/keld-sim" _keld_sim "dm em" keld-sim --kind ""

check "desktop entry valid" desktop-file-validate "$root/usr/share/applications/tarn-multi-downloader.desktop"
check "desktop entry has Keywords" grep -q '^Keywords=' "$root/usr/share/applications/tarn-multi-downloader.desktop"
check "AppStream metainfo valid" appstreamcli validate --no-net "$root/usr/share/metainfo/example.tarn.MultiDownloader.metainfo.xml"
check "AppStream release is $version" grep -q "<release version=\"$version\"" \
  "$root/usr/share/metainfo/example.tarn.MultiDownloader.metainfo.xml"

# cmake --install without packages: the rule lands where udev reads it with
# either prefix, naming the registrar under that prefix.
installs_rule() {  # installs_rule <prefix or ""> <registrar's folder>
  local dest=$root/install$1
  DESTDIR=$dest cmake --install "$build" ${1:+--prefix "$1"} >/dev/null &&
    grep -q "RUN+=\"$2/tarn-port-registrar add\"" "$dest/usr/lib/udev/rules.d/70-tarn-phone-ports.rules" &&
    [[ -x $dest$2/tarn-port-registrar ]]
}
check "cmake --install, default prefix: rule in /usr/lib/udev/rules.d" installs_rule "" /usr/local/libexec/tarn
check "cmake --install --prefix /usr: rule in /usr/lib/udev/rules.d" installs_rule /usr /usr/libexec/tarn

# lintian: no errors (it may warn; README lists the warnings left and why).
check "lintian: no errors" lintian --fail-on error "$operator" "$sim"

bash scripts/check-udev-rule.sh "$root" || failed=1

((failed == 0)) && echo "packages: all checks passed" || echo "packages: some checks FAILED"
exit "$failed"

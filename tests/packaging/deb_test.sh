#!/usr/bin/env bash
# Builds the Debian package of a Linux build, checks it with lintian and its
# contents, then (as root) installs it, runs the installed ldt-report against
# the simulated machine, checks the udev rule and manual page, removes it and
# checks that nothing of it is left.
#   deb_test.sh [BUILD_DIR]        (default: build/linux)
# Without root it stops after the checks of the package file: exit 77.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build/linux}"
pkg=laser-diagnostic-tool
fail() { echo "FAIL: $*"; exit 1; }

log="$build/deb_test-package.log"
cmake --build "$build" --target package >"$log" 2>&1 || { cat "$log"; fail "building the package"; }
debs=("$build"/${pkg}_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one package in $build: ${debs[*]}"
deb="${debs[0]}"

# lintian: no errors and no warnings.
lintian --fail-on error,warning "$deb" 2> >(grep -v 'root privileges' >&2) || fail "lintian found errors or warnings"
echo "PASS: lintian"

contents="$(dpkg-deb -c "$deb" | awk '{print $NF}')"
for f in usr/bin/laser-diagnostic-tool usr/bin/ldt-report \
         usr/lib/udev/rules.d/70-laser-diagnostic-tool.rules \
         usr/share/applications/laser-diagnostic-tool.desktop \
         usr/share/icons/hicolor/scalable/apps/laser-diagnostic-tool.svg \
         usr/share/man/man1/ldt-report.1.gz \
         usr/share/doc/$pkg/copyright usr/share/doc/$pkg/changelog.Debian.gz; do
  grep -qx "\./$f" <<<"$contents" || fail "$f is not in the package"
done
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "Depends misses the Qt libraries"
dpkg-deb -f "$deb" Depends | grep -q 'libusb-1.0-0' || fail "Depends misses libusb (the raw USB route)"
echo "PASS: package contents and dependencies"

[ "$(id -u)" = 0 ] || { echo "SKIP: installing the package needs root"; exit 77; }
if dpkg-query -W -f='${db:Status-Status}' $pkg 2>/dev/null | grep -qv not-installed; then
  echo "SKIP: $pkg is already installed on this machine; left alone"; exit 77
fi

# Everything under the folders the package installs into, and dpkg's own
# records of it; caches that the triggers rebuild are left out.
dirs=(/usr/bin /usr/lib/udev/rules.d /usr/share/applications /usr/share/icons/hicolor
      /usr/share/man/man1 /usr/share/doc /usr/share/lintian/overrides /var/lib/dpkg/info)
snapshot() {
  find "${dirs[@]}" 2>/dev/null | grep -Ev '/(icon-theme|mimeinfo)\.cache$' | sort
}
before="$(snapshot)"

trap 'dpkg -r $pkg >/dev/null 2>&1 || true' EXIT
dpkg -i "$deb" >/dev/null || fail "dpkg -i"
installed="$(dpkg -L $pkg)"
echo "PASS: installed"

status=0
out="$("$root/scripts/usblp-namespace.sh" --sim "$build/tools/ldt-machine-sim" -- /usr/bin/ldt-report)" || status=$?
if [ $status -eq 77 ]; then
  echo "SKIP: no mount namespace here; the installed ldt-report was not run against the simulator"
else
  [ $status -eq 0 ] || fail "the installed ldt-report exited $status"
  [ "$(printf '%s\n' "$out" | wc -l)" -eq 16 ] || fail "the installed ldt-report printed: $out"
  grep -q '^Firmware_Ver' <<<"$out" || fail "no Firmware_Ver line: $out"
  echo "PASS: the installed ldt-report read the simulated machine"
fi
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
[ "$(/usr/bin/ldt-report --version)" = "ldt-report $version" ] || fail "ldt-report --version is not $version"

rule=/usr/lib/udev/rules.d/70-laser-diagnostic-tool.rules
cmp -s "$rule" "$root/packaging/linux/70-laser-diagnostic-tool.rules" || fail "$rule is not the packaged rule"
grep -Eq '^SUBSYSTEM=="usbmisc", KERNEL=="lp\[0-9\]\*",.*GROUP="lp".*TAG\+="uaccess"' "$rule" ||
  fail "$rule does not give the seat user and lp access"
[[ "${rule##*/}" < 73-seat-late.rules ]] || fail "the rule runs after uaccess is applied"
[ "$(man -w ldt-report)" = /usr/share/man/man1/ldt-report.1.gz ] || fail "man does not find ldt-report(1)"
page="$(MANWIDTH=80 man ldt-report 2>/dev/null)"
grep -q 'EXIT STATUS' <<<"$page" || fail "ldt-report(1) does not render"
grep -q "ldt-report $version" <<<"$page" || fail "ldt-report(1) does not name version $version"
echo "PASS: udev rule and manual page installed"

dpkg -r $pkg >/dev/null || fail "dpkg -r"
trap - EXIT
after="$(snapshot)"
left="$(diff <(echo "$before") <(echo "$after") || true)"
[ -z "$left" ] || fail "removing the package changed the file lists:"$'\n'"$left"
while read -r f; do
  [ -d "$f" ] || [ ! -e "$f" ] || fail "$f is still there"
done <<<"$installed"
echo "PASS: removed without leftovers"

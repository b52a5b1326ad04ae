#!/usr/bin/env bash
# Builds the Windows installer of a win32 build, checks its tables and the
# programs' version resource, then in a fresh Wine prefix: silent install,
# the installed ldt-report against the simulator, an upgrade to the next
# four-part version (same programs, changed README.txt), refusal of the
# older one over it, and a silent uninstall that leaves nothing of ours.
#   msi_test.sh [BUILD_DIR]        (default: build/win32)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build/win32}" && pwd)"
fail() { echo "FAIL: $*"; exit 1; }
cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
version="$(cache CMAKE_PROJECT_VERSION)" sim="$(cache LDT_MACHINE_SIM)"
publisher="The Laser Diagnostic Tool developers" upgrade_code='{E5739668-032C-4C62-A4F4-066D8C0FE672}'
IFS=. read -r major minor patch tweak <<<"$version"
next="$major.$minor.$patch.$((tweak + 1))" key="$(printf '%03d.%03d.%05d.%05d' "$major" "$minor" "$patch" "$tweak")"

cmake --build "$build" --target msi >"$build/msi_test.log" 2>&1 || { cat "$build/msi_test.log"; fail "building the installer"; }
msi="$build/LaserDiagnosticTool-$version-win32.msi" stage="$build/packaging/msi/files"
table() { msiinfo export "$msi" "$1" | tr -d '\r' | tail -n +4; }
for row in "ProductVersion	$version" "Manufacturer	$publisher" "UpgradeCode	$upgrade_code" "ARPPRODUCTICON	app.ico"; do
  grep -qxF "$row" <<<"$(table Property)" || fail "no property $row"
done
# Every version of ours is replaced, up to below Wine's overflow; the
# launch condition compares the fourth field; the old product goes first.
[ "$(table Upgrade)" = "$upgrade_code	0.0.0	100.0.0		256		LDT_RELATED_PRODUCTS" ] || fail "Upgrade: $(table Upgrade)"
grep -qF "<= \"$key\"	A newer version of Laser Diagnostic Tool is already installed." <<<"$(table LaunchCondition)" ||
  fail "LaunchCondition: $(table LaunchCondition)"
grep -qF "VersionKey	$key	" <<<"$(table Registry)" || fail "the product key does not hold $key"
order="$(table InstallExecuteSequence | sort -t$'\t' -k3n | cut -f1 | grep -xE 'InstallInitialize|RemoveExistingProducts|InstallFiles')"
[ "$(echo $order)" = "InstallInitialize RemoveExistingProducts InstallFiles" ] || fail "sequence: $(echo $order)"
python3 - "$stage/LaserDiagnosticTool.exe" "$version" <<'EOF' || fail "the version resource is not $version"
import struct, sys
data, version = open(sys.argv[1], "rb").read(), sys.argv[2]
file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<4I", data, data.find(b"\xbd\x04\xef\xfe") + 8)
assert (file_ms >> 16, file_ms & 0xFFFF, file_ls >> 16, file_ls & 0xFFFF) == tuple(map(int, version.split(".")))
assert (product_ms, product_ls) == (file_ms, file_ls) and data.count(version.encode("utf-16-le")) == 2
EOF
echo "PASS: msiinfo shows $version, the manufacturer, the upgrade code and the tables; so does the version resource"

tmp="$(mktemp -d)"
cp -r "$stage" "$tmp/files"
printf 'Built for the upgrade test.\r\n' >>"$tmp/files/README.txt"
cmake -DLDT_STAGE="$tmp/files" -DLDT_MSI="$tmp/next.msi" -DLDT_VERSION="$next" \
      -P "$root/packaging/windows/make-msi.cmake" >"$tmp/next.log" 2>&1 || { cat "$tmp/next.log"; fail "building $next"; }

# A fresh prefix and home; no menu files written; no display needed.
export WINEDEBUG=-all WINEPREFIX="$tmp/prefix" HOME="$tmp/home" WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY
mkdir -p "$HOME"
trap 'bash "$root/scripts/wine-prefix.sh" stop "$WINEPREFIX"; rm -rf "$tmp"' EXIT
bash "$root/scripts/wine-prefix.sh" init "$WINEPREFIX"
bash "$root/scripts/wine-prefix.sh" start "$WINEPREFIX"
c="$WINEPREFIX/drive_c" dir="$WINEPREFIX/drive_c/Program Files/Laser Diagnostic Tool"
msiexec() { wine msiexec "$1" "Z:${2//\//\\}" /qn </dev/null >/dev/null 2>&1; }
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
# The installer's own folder and keys stay once made (as on Windows): of
# those only files and values count.
snapshot() {
  (cd "$c" && find "Program Files" */Microsoft/Windows/"Start Menu" users/*/AppData/Roaming/Microsoft/Windows/"Start Menu"
   find windows -path 'windows/Installer/*' -type f) | sort
  wine reg query 'HKLM\Software' | tr -d '\r'
  wine reg query "$uninstall" /s | tr -d '\r'
  for key in 'HKLM\Software\Classes\Installer' 'HKLM\Software\Microsoft\Windows\CurrentVersion\Installer\UserData'; do
    wine reg query "$key" /s 2>/dev/null | tr -d '\r' | awk '/^HKEY/ { key = $0 } /^    / { print key ":" $0 }' || true
  done
}
entries() {  # our uninstall entries: version|publisher
  wine reg query "$uninstall" /s | tr -d '\r' | awk -F'    ' '
    function flush() { if (name == "Laser Diagnostic Tool") print version "|" publisher; name = "" }
    /^HKEY/ { flush() } END { flush() }
    $2 == "DisplayName" { name = $4 } $2 == "DisplayVersion" { version = $4 } $2 == "Publisher" { publisher = $4 }'
}
installed() {  # installed VERSION README: one entry, the files, one shortcut
  [ "$(entries)" = "$1|$publisher" ] || fail "uninstall entries: $(entries)"
  [ "$(ls "$dir" | LC_ALL=C sort | tr '\n' ' ')" = "LaserDiagnosticTool.exe README.txt ldt-report.exe " ] || fail "installed: $(ls "$dir")"
  cmp -s "$2" "$dir/README.txt" && cmp -s "$stage/ldt-report.exe" "$dir/ldt-report.exe" || fail "not the files of $1"
  local links; links="$(find "$c" -path '*/Start Menu/Programs/Laser Diagnostic Tool.lnk')"
  [ "$(wc -l <<<"$links")" -eq 1 ] && strings -el "$links" | grep -q 'Installer\\{.*}\\app\.ico$' ||
    fail "no one shortcut with the icon: $links"
}
before="$(snapshot)"

msiexec /i "$msi" || fail "msiexec /i exited $?"
installed "$version" "$stage/README.txt"
out="$("$root/tests/platform/win32/with-sim.sh" "$sim" --mode normal -- \
       wine 'C:\Program Files\Laser Diagnostic Tool\ldt-report.exe' 2>/dev/null | tr -d '\r')" || fail "ldt-report exited $?: $out"
[ "$(wc -l <<<"$out")" -eq 16 ] && grep -q '^Firmware_Ver: ' <<<"$out" || fail "the installed ldt-report printed: $out"
echo "PASS: silent install: files, shortcut, one uninstall entry; the installed ldt-report read the simulator"

msiexec /i "$tmp/next.msi" || fail "installing $next exited $?"
installed "$next" "$tmp/files/README.txt"
echo "PASS: $next over $version: one entry, the new files"
status=0
msiexec /i "$msi" || status=$?
[ $status -eq 67 ] || fail "installing $version over $next exited $status, not 1603 (67 in Wine's 8 bits)"
installed "$next" "$tmp/files/README.txt"
echo "PASS: $version over $next refused, $next left as it was"

msiexec /x "$tmp/next.msi" || fail "msiexec /x exited $?"
left="$(diff <(echo "$before") <(echo "$(snapshot)"))" || fail "uninstalling left:"$'\n'"$left"
echo "PASS: silent uninstall left nothing of ours"

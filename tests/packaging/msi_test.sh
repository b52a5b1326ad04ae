#!/usr/bin/env bash
# Builds the Windows installer of a win32 build and checks its tables, then,
# in a fresh Wine prefix of its own: a silent install (files, shortcut,
# uninstall entry, version resource, the installed ldt-report against the
# simulated machine), an upgrade to the next four-part version built from
# the same files with a changed README.txt, the refusal of the older
# version over it, and a silent uninstall that leaves the prefix's program
# folders, Start menu and installer registry as they were.
#   msi_test.sh [BUILD_DIR]        (default: build/win32)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build/win32}" && pwd)"
fail() { echo "FAIL: $*"; exit 1; }
cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
version="$(cache CMAKE_PROJECT_VERSION)"
sim="$(cache LDT_MACHINE_SIM)"
upgrade_code='{E5739668-032C-4C62-A4F4-066D8C0FE672}'

log="$build/msi_test-build.log"
cmake --build "$build" --target msi >"$log" 2>&1 || { cat "$log"; fail "building the installer"; }
msi="$build/LaserDiagnosticTool-$version-win32.msi"
stage="$build/packaging/msi/files"
[ -f "$msi" ] || fail "no $msi"

# The tables: properties, the upgrade row over every earlier and later
# version, the launch condition that compares the fourth field, removal of
# the old product before the new files, the shortcut and the icon.
prop() { msiinfo export "$msi" Property | tr -d '\r' | awk -F'\t' -v p="$1" '$1 == p { print $2 }'; }
[ "$(prop ProductVersion)" = "$version" ] || fail "ProductVersion is '$(prop ProductVersion)', not $version"
[ "$(prop Manufacturer)" = "The Laser Diagnostic Tool developers" ] || fail "Manufacturer"
[ "$(prop UpgradeCode)" = "$upgrade_code" ] || fail "UpgradeCode is '$(prop UpgradeCode)'"
[ "$(prop ARPPRODUCTICON)" = app.ico ] || fail "no Add/Remove Programs icon"
table() { msiinfo export "$msi" "$1" | tr -d '\r' | tail -n +4; }
tables="$(msiinfo tables "$msi")"
for t in Upgrade LaunchCondition AppSearch RegLocator Registry Shortcut Icon File InstallExecuteSequence; do
  grep -qx "$t" <<<"$tables" || fail "no $t table"
done
[ "$(table Upgrade)" = "$upgrade_code	0.0.0	100.0.0		256		LDT_RELATED_PRODUCTS" ] ||
  fail "Upgrade: $(table Upgrade)"
IFS=. read -r major minor patch tweak <<<"$version"
key="$(printf '%03d.%03d.%05d.%05d' "$major" "$minor" "$patch" "$tweak")"
grep -qF "LDT_INSTALLED_VERSION_KEY <= \"$key\"	A newer version of Laser Diagnostic Tool is already installed." <<<"$(table LaunchCondition)" ||
  fail "LaunchCondition: $(table LaunchCondition)"
table Registry | grep -qP '\tVersionKey\t\Q'"$key"'\E\t' || fail "the product key does not hold $key"
seq_of() { table InstallExecuteSequence | awk -F'\t' -v a="$1" '$1 == a { print $3 }'; }
[ "$(seq_of RemoveExistingProducts)" -gt "$(seq_of InstallInitialize)" ] &&
  [ "$(seq_of RemoveExistingProducts)" -lt "$(seq_of InstallFiles)" ] || fail "RemoveExistingProducts is not before the new files"
table Shortcut | grep -qP '^WindowShortcut\tProgramMenuFolder\tLaser Diagnostic Tool\t.*\tapp\.ico\t' || fail "Shortcut: $(table Shortcut)"
[ "$(table File | cut -f3 | LC_ALL=C sort | tr '\n' ' ')" = "LaserDiagnosticTool.exe README.txt ldt-report.exe " ] || fail "File: $(table File)"
echo "PASS: msiinfo shows version $version, the manufacturer, the upgrade code and the tables"

# The version resource of the program says the same version.
python3 - "$stage/LaserDiagnosticTool.exe" "$version" <<'EOF' || fail "the version resource is not $version"
import struct, sys
data, version = open(sys.argv[1], "rb").read(), sys.argv[2]
at = data.find(struct.pack("<I", 0xFEEF04BD))
file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<4I", data, at + 8)
fields = (file_ms >> 16, file_ms & 0xFFFF, file_ls >> 16, file_ls & 0xFFFF)
assert at > 0 and fields == tuple(map(int, version.split("."))), fields
assert (product_ms, product_ls) == (file_ms, file_ls)
assert data.count(version.encode("utf-16-le")) == 2  # FileVersion, ProductVersion
EOF

# The next four-part version, from the same programs and a changed README.
IFS=. read -r major minor patch tweak <<<"$version"
next="$major.$minor.$patch.$((tweak + 1))"
tmp="$(mktemp -d)"
stage2="$tmp/files"
cp -r "$stage" "$stage2"
printf 'Built for the upgrade test.\r\n' >>"$stage2/README.txt"
cmake -DLDT_STAGE="$stage2" -DLDT_MSI="$tmp/next.msi" -DLDT_VERSION="$next" \
      -P "$root/packaging/windows/make-msi.cmake" >"$tmp/next.log" 2>&1 || { cat "$tmp/next.log"; fail "building $next"; }

# A fresh prefix and home, no menu files written into the real home, no
# display needed.
export WINEPREFIX="$tmp/prefix" HOME="$tmp/home" WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY
mkdir -p "$HOME"
trap 'bash "$root/scripts/wine-prefix.sh" stop "$WINEPREFIX"; rm -rf "$tmp"' EXIT
bash "$root/scripts/wine-prefix.sh" init "$WINEPREFIX"
bash "$root/scripts/wine-prefix.sh" start "$WINEPREFIX"
c="$WINEPREFIX/drive_c"
winpath() { echo "Z:${1//\//\\}"; }
msiexec() { wine msiexec "$@" </dev/null >/dev/null 2>&1; }
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
# The places an install touches. The installer's own bookkeeping folder and
# keys stay behind once made (as on Windows): of those, only files and
# values count.
snapshot() {
  (cd "$c" && for d in "Program Files" ProgramData/Microsoft/Windows/"Start Menu" \
                       users/*/AppData/Roaming/Microsoft/Windows/"Start Menu"; do find "$d"; done
   find windows -path 'windows/Installer/*' -type f) | sort
  wine reg query 'HKLM\Software' | tr -d '\r'
  wine reg query "$uninstall" /s | tr -d '\r'
  for key in 'HKLM\Software\Classes\Installer' 'HKLM\Software\Microsoft\Windows\CurrentVersion\Installer\UserData'; do
    wine reg query "$key" /s 2>/dev/null | tr -d '\r' | awk '/^HKEY/ { key = $0 } /^    / { print key ":" $0 }' || true
  done
}
# Our uninstall entries, one line each: version|publisher
entries() {
  wine reg query "$uninstall" /s 2>/dev/null | tr -d '\r' | awk -F'    ' '
    function flush() { if (name == "Laser Diagnostic Tool") print version "|" publisher; name = version = publisher = "" }
    /^HKEY/ { flush() }
    $2 == "DisplayName" { name = $4 } $2 == "DisplayVersion" { version = $4 } $2 == "Publisher" { publisher = $4 }
    END { flush() }'
}
dir="$c/Program Files/Laser Diagnostic Tool"
shortcuts() { find "$c" -path '*/Start Menu/Programs/Laser Diagnostic Tool.lnk'; }
before="$(snapshot)"
grep -q '^HKEY_LOCAL_MACHINE\\Software\\Microsoft$' <<<"$before" || fail "the prefix's registry could not be read: $before"

msiexec /i "$(winpath "$msi")" /qn || fail "msiexec /i exited $?"
[ "$(entries)" = "$version|The Laser Diagnostic Tool developers" ] || fail "uninstall entries after install: $(entries)"
[ "$(ls "$dir" | LC_ALL=C sort | tr '\n' ' ')" = "LaserDiagnosticTool.exe README.txt ldt-report.exe " ] || fail "installed: $(ls "$dir")"
for f in LaserDiagnosticTool.exe README.txt ldt-report.exe; do cmp -s "$stage/$f" "$dir/$f" || fail "$f differs from the build"; done
[ "$(shortcuts | wc -l)" -eq 1 ] || fail "shortcuts: $(shortcuts)"
link="$(strings -el "$(shortcuts)")"
grep -qx 'LaserDiagnosticTool.exe' <<<"$link" && grep -q 'Installer\\{.*}\\app\.ico$' <<<"$link" ||
  fail "the shortcut does not name the program and its icon: $link"
echo "PASS: silent install: the files, the Start-menu shortcut, one uninstall entry $version"

# The installed console program against the simulated machine.
[ -x "$sim" ] || fail "no simulator at '$sim' (cmake --build --preset linux --target ldt-machine-sim)"
out="$("$root/tests/platform/win32/with-sim.sh" "$sim" --mode normal -- \
       wine 'C:\Program Files\Laser Diagnostic Tool\ldt-report.exe' 2>/dev/null | tr -d '\r')" ||
  fail "the installed ldt-report exited $?: $out"
[ "$(wc -l <<<"$out")" -eq 16 ] && grep -q '^Firmware_Ver: ' <<<"$out" || fail "the installed ldt-report printed: $out"
echo "PASS: the installed ldt-report printed the 16 lines of the simulated machine"

msiexec /i "$(winpath "$tmp/next.msi")" /qn || fail "installing $next exited $?"
[ "$(entries)" = "$next|The Laser Diagnostic Tool developers" ] || fail "uninstall entries after the upgrade: $(entries)"
cmp -s "$stage2/README.txt" "$dir/README.txt" || fail "the upgrade left the old README.txt"
[ "$(ls "$dir" | wc -l)" -eq 3 ] && [ "$(shortcuts | wc -l)" -eq 1 ] || fail "after the upgrade: $(ls "$dir"; shortcuts)"
echo "PASS: $next over $version: one entry, the new files"

status=0
msiexec /i "$(winpath "$msi")" /qn || status=$?
# 1603, a fatal error, which Wine's msiexec cuts to 8 bits.
[ $status -eq 1603 ] || [ $status -eq 67 ] || fail "installing $version over $next exited $status"
[ "$(entries)" = "$next|The Laser Diagnostic Tool developers" ] && cmp -s "$stage2/README.txt" "$dir/README.txt" ||
  fail "refusing $version changed the installed product: $(entries)"
echo "PASS: $version over $next refused (exit $status), $next left as it was"

msiexec /x "$(winpath "$tmp/next.msi")" /qn || fail "msiexec /x exited $?"
after="$(snapshot)"
left="$(diff <(echo "$before") <(echo "$after") || true)"
[ -z "$left" ] || fail "uninstalling left:"$'\n'"$left"
echo "PASS: silent uninstall left nothing of ours"

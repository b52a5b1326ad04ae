#!/usr/bin/env bash
# Checks the Windows zip of a win32 build (its files, SHA256SUMS, no build
# paths inside), then builds the zip once more from scratch in a second
# build tree, under another time zone and umask, and checks that both zips
# are the same bytes.
#   zip_repro_test.sh [BUILD_DIR [SECOND_BUILD_DIR]]
#       (default: build/win32 and build/win32-repro)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
first="${1:-$root/build/win32}"
second="${2:-$root/build/win32-repro}"
fail() { echo "FAIL: $*"; exit 1; }
package() {  # package BUILD_DIR: builds the zip, prints its path
  cmake --build "$1" --target package >"$1/zip_repro_test.log" 2>&1 ||
    { cat "$1/zip_repro_test.log" >&2; fail "packaging in $1"; }
  local zips=("$1"/LaserDiagnosticTool-*-win32.zip)
  [ ${#zips[@]} -eq 1 ] && [ -f "${zips[0]}" ] || fail "expected one zip in $1: ${zips[*]}"
  echo "${zips[0]}"
}

# Configured again, so that both builds date the zip from the same commit.
cmake "$first" >/dev/null || fail "configuring $first"
zip1="$(package "$first")"
top="$(basename "$zip1" .zip)"
names="$(unzip -Z1 "$zip1")"
expected="$(printf "$top/%s\n" LaserDiagnosticTool.exe README.txt SHA256SUMS ldt-report.exe)"
[ "$names" = "$expected" ] || fail "the zip holds, in this order:"$'\n'"$names"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
unzip -q "$zip1" -d "$tmp/1"
(cd "$tmp/1/$top" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the files"
if grep -aqF -e "$root" -e "$first" "$tmp/1/$top"/*.exe; then fail "a build path is inside the programs"; fi
echo "PASS: zip contents, checksums, no build paths"

rm -rf "$second"
( umask 0027
  export TZ=Asia/Kolkata
  cmake --preset win32 -B "$second" -DLDT_BUILD_TESTS=OFF -DLDT_BUILD_BENCHMARKS=OFF \
    >"$tmp/configure.log" 2>&1 || { cat "$tmp/configure.log"; fail "configuring $second"; }
  package "$second" >"$tmp/zip2" )
zip2="$(cat "$tmp/zip2")"
sum1="$(sha256sum <"$zip1")" sum2="$(sha256sum <"$zip2")"
echo "${sum1%% *}  $zip1"
echo "${sum2%% *}  $zip2"
if [ "$sum1" != "$sum2" ]; then
  unzip -q "$zip2" -d "$tmp/2"
  diff -r "$tmp/1" "$tmp/2" || true
  zipinfo -v "$zip1" >"$tmp/1.info"; zipinfo -v "$zip2" >"$tmp/2.info"
  diff "$tmp/1.info" "$tmp/2.info" || true
  fail "two builds of the same sources gave different zips"
fi
echo "PASS: a second, separate build gave the same zip"

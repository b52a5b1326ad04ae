#!/usr/bin/env bash
# Installs what is missing, builds both presets and runs every test:
# the native core and Linux backend tests, a short fuzz run, and the
# Windows build's tests and end-to-end window tests under Wine in Xvfb.
#   scripts/test.sh [--native-only]
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

native_only=0
[ "${1:-}" = "--native-only" ] && native_only=1

if [ $native_only = 1 ]; then bash scripts/install-deps.sh native; else bash scripts/install-deps.sh all; fi || {
  echo "installing the build dependencies failed" >&2; exit 1; }

passed=0; failed=0; failures=()
step() {  # step NAME COMMAND...
  local name="$1"; shift
  echo "=== $name"
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); failures+=("$name"); fi
}

set -e
cmake --preset linux >/dev/null
cmake --build --preset linux
set +e
step "native tests (ctest)" ctest --preset linux
step "fuzz (15 s)" bash scripts/fuzz.sh 15

if [ $native_only = 0 ]; then
  set -e
  cmake --preset win32 >/dev/null
  cmake --build --preset win32
  set +e
  prefix="$root/build/win32/wineprefix"
  bash scripts/wine-prefix.sh init "$prefix"
  bash scripts/wine-prefix.sh start "$prefix"
  WINEPREFIX="$prefix" step "windows tests under wine (ctest)" ctest --preset win32
  bash scripts/wine-prefix.sh stop "$prefix"
fi

echo
[ ${#failures[@]} -gt 0 ] && printf 'failed: %s\n' "${failures[@]}"
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]

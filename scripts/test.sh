#!/usr/bin/env bash
# Installs what is missing, builds the presets and runs every test:
# the native core and Linux backend tests, the core, backend and tool tests
# again under AddressSanitizer + UndefinedBehaviorSanitizer (preset
# linux-asan, without the Qt pieces), a short run of every fuzz target, and
# the Linux programs on a real kernel in a VM (qemu), the Windows build's
# tests and end-to-end window tests under Wine in Xvfb.
#   scripts/test.sh [--native-only]
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

native_only=0
[ "${1:-}" = "--native-only" ] && native_only=1

if [ $native_only = 1 ]; then bash scripts/install-deps.sh native; else bash scripts/install-deps.sh all; fi || {
  echo "installing the build dependencies failed" >&2; exit 1; }

passed=0; failed=0; skipped=0; failures=()
step() {  # step NAME COMMAND...   (exit status 77: skipped)
  local name="$1" status=0 start=$SECONDS; shift
  echo "=== $name"
  "$@" || status=$?
  echo "=== $name: status $status after $((SECONDS - start)) s"
  if [ $status -eq 0 ]; then passed=$((passed + 1))
  elif [ $status -eq 77 ]; then skipped=$((skipped + 1))
  else failed=$((failed + 1)); failures+=("$name"); fi
}

# The project's own code builds without a warning here (gcc and mingw).
werror=-DLDT_WARNINGS_AS_ERRORS=ON

set -e
cmake --preset linux $werror >/dev/null
cmake --build --preset linux
set +e
# Two at a time: the window tests spend most of their time waiting for
# the program, each on a display and simulator of its own.
step "native tests (ctest)" ctest --preset linux -LE kernel -j2
# The Linux programs on the real kernel's USB stack, booted under qemu.
kernel_vm() { bash scripts/install-deps.sh kernel && ctest --preset linux -L '^kernel$'; }
step "real kernel in a VM (ctest -L ^kernel$)" kernel_vm
asan() { cmake --preset linux-asan $werror >/dev/null && cmake --build --preset linux-asan && ctest --preset linux-asan -j2; }
step "native tests under ASan+UBSan (ctest)" asan
step "fuzz (10 s per target)" bash scripts/fuzz.sh 10
step "debian package (lintian, install, run, remove)" bash tests/packaging/deb_test.sh "$root/build/linux"

if [ $native_only = 0 ]; then
  set -e
  cmake --preset win32 $werror >/dev/null
  cmake --build --preset win32
  set +e
  # One X display for the whole Wine run: Wine's desktop lives on the
  # display of whoever starts it, so it is started here, before ctest.
  prefix="$root/build/win32/wineprefix"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$root/build/win32/test-display" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$root/build/win32/test-display" ] && break; sleep 0.05; done
  export DISPLAY=":$(cat "$root/build/win32/test-display")"
  bash scripts/wine-prefix.sh init "$prefix"
  bash scripts/wine-prefix.sh start "$prefix"
  export WINEPREFIX="$prefix"
  step "windows tests under wine (ctest)" ctest --preset win32
  bash scripts/wine-prefix.sh stop "$prefix"
  kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null
  step "windows zip (contents, reproducible)" bash tests/packaging/zip_repro_test.sh "$root/build/win32" "$root/build/win32-repro"
  step "windows installer (msi: install, upgrade, uninstall under wine)" bash tests/packaging/msi_test.sh "$root/build/win32"
  step "windows signing (osslsigncode, local time stamps)" bash tests/packaging/sign_test.sh "$root/build/win32"
fi

echo
echo "all steps: $SECONDS s"
[ ${#failures[@]} -gt 0 ] && printf 'failed: %s\n' "${failures[@]}"
echo "$passed passed, $failed failed, $skipped skipped"
[ $failed -eq 0 ]

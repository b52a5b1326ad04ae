#!/usr/bin/env bash
# Builds and runs the benchmarks; prints figures, never fails on timing.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/install-deps.sh all
dpkg-query -W -f='${Status}' libx11-dev 2>/dev/null | grep -q "ok installed" ||
  { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends libx11-dev >/dev/null; }
cmake --preset linux >/dev/null && cmake --build --preset linux >/dev/null
cmake --preset win32 >/dev/null && cmake --build --preset win32 >/dev/null
build/linux/bench/refresh_bench
bash bench/startup.sh
bash bench/win32/startup-dpi.sh
bash bench/startup-qt.sh
bash bench/kernel-vm.sh
# The raw USB route against the usblp node on the real kernel, in the VM.
bash scripts/kernel-vm.sh --env LDT_BUILD="$root/build/linux" bench/kernel-raw-usb.sh 2>&1 | grep "benchmark:" || true

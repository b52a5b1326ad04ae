#!/usr/bin/env bash
# Builds and runs the benchmarks; prints figures, never fails on timing.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
cmake --preset linux >/dev/null && cmake --build --preset linux --target refresh_bench >/dev/null
build/linux/bench/refresh_bench
for b in bench/*.sh; do [ -f "$b" ] && bash "$b"; done

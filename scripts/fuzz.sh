#!/usr/bin/env bash
# Builds the reply fuzz target with clang's libFuzzer (plus address and
# undefined-behaviour sanitizers) and runs it for a while.
#   scripts/fuzz.sh [seconds]      (default 30)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-30}"
out="$root/build/fuzz"
mkdir -p "$out/corpus"
cp -n "$root"/fuzz/corpus/* "$out/corpus/" 2>/dev/null || true
clang++ -std=c++17 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -I"$root/src" \
    "$root/fuzz/reply_fuzzer.cpp" \
    "$root/src/machine/MachineData.cpp" "$root/src/machine/Report.cpp" \
    "$root/src/link/PortDiscovery.cpp" "$root/src/link/Refresh.cpp" \
    "$root/src/ui/DataPanel.cpp" "$root/src/ui/WindowGeometry.cpp" \
    "$root/src/platform/linux/Utf8CodePage.cpp" \
    -o "$out/reply_fuzzer"
"$out/reply_fuzzer" -max_total_time="$seconds" -max_len=600 -print_final_stats=1 "$out/corpus" 2>&1 |
    grep -E 'stat::number_of_executed_units|Done|ERROR|SUMMARY|crash' || true
test "${PIPESTATUS[0]}" -eq 0

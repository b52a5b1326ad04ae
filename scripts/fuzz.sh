#!/usr/bin/env bash
# Builds the `fuzz` preset (clang, libFuzzer, address and undefined-behaviour
# sanitizers) and runs every fuzz target for a while, each from its seed
# corpus in fuzz/corpus/<target>/, printing executions, edges and findings.
#   scripts/fuzz.sh [seconds per target] [target...]      (default 30, all)
#   scripts/fuzz.sh --runs N [target...]                   (N executions each)
# Working corpora grow in build/fuzz/corpus/<target>/; a finding is saved as
# build/fuzz/findings/<target>-crash-* (reproduce: build/fuzz/fuzz/<target>_fuzzer FILE).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
limit=() runs=""
if [ "${1:-}" = "--runs" ]; then
  runs="${2:?--runs needs a number}"
  shift 2
  limit=(-runs="$runs")
  seconds="-"
else
  seconds="${1:-30}"
  shift || true
  limit=(-max_total_time="$seconds")
fi
out="$root/build/fuzz"
cd "$root"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 >/dev/null

export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
failed=0
while read -r name options; do
  [ -n "$name" ] || continue
  if [ $# -gt 0 ] && ! printf '%s\n' "$@" | grep -qx "$name"; then continue; fi
  corpus="$out/corpus/$name"
  mkdir -p "$corpus" "$out/findings" "$out/logs"
  cp -n "$root/fuzz/corpus/$name"/* "$corpus/" 2>/dev/null || true
  log="$out/logs/$name.log"
  rc=0
  # shellcheck disable=SC2086  # options are separate flags
  "$out/fuzz/${name}_fuzzer" "${limit[@]}" -print_final_stats=1 \
      -artifact_prefix="$out/findings/$name-" $options "$corpus" >"$log" 2>&1 || rc=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$( (grep -o 'cov: [0-9]*' "$log" || true) | tail -1 | cut -d' ' -f2)
  ft=$( (grep -o 'ft: [0-9]*' "$log" || true) | tail -1 | cut -d' ' -f2)
  if [ "$rc" -eq 0 ]; then
    finding="no finding"
  else
    failed=1
    finding="FINDING (exit $rc), see $log"
    grep -E '^(==[0-9]+==ERROR|SUMMARY|.*check failed|.*runtime error|artifact_prefix|Test unit written)' "$log" | head -8 || true
  fi
  [ -z "$runs" ] || seconds=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
  printf '%-12s %s s: %s executions (%s/s), cov %s edges, ft %s features, corpus %s files; %s\n' \
      "$name" "$seconds" "${execs:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}" "$(ls "$corpus" | wc -l)" "$finding"
done <"$out/fuzz/targets.txt"
exit $failed

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
# One target: its run, then its line (and any finding) in logs/<target>.summary.
fuzz_one() {
  local name="$1" options="$2" corpus="$out/corpus/$1" log="$out/logs/$1.log" rc=0 took="$seconds"
  mkdir -p "$corpus" "$out/findings" "$out/logs"
  cp -n "$root/fuzz/corpus/$name"/* "$corpus/" 2>/dev/null || true
  # shellcheck disable=SC2086  # options are separate flags
  "$out/fuzz/${name}_fuzzer" "${limit[@]}" -print_final_stats=1 \
      -artifact_prefix="$out/findings/$name-" $options "$corpus" >"$log" 2>&1 || rc=$?
  local execs rate cov ft finding
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$( (grep -o 'cov: [0-9]*' "$log" || true) | tail -1 | cut -d' ' -f2)
  ft=$( (grep -o 'ft: [0-9]*' "$log" || true) | tail -1 | cut -d' ' -f2)
  [ -z "$runs" ] || took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
  {
    if [ "$rc" -ne 0 ]; then
      grep -E '^(==[0-9]+==ERROR|SUMMARY|.*check failed|.*runtime error|artifact_prefix|Test unit written)' "$log" | head -8 || true
    fi
    [ "$rc" -eq 0 ] && finding="no finding" || finding="FINDING (exit $rc), see $log"
    printf '%-12s %s s: %s executions (%s/s), cov %s edges, ft %s features, corpus %s files; %s\n' \
        "$name" "$took" "${execs:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}" "$(ls "$corpus" | wc -l)" "$finding"
  } >"$out/logs/$name.summary"
  return "$rc"
}

# Two targets at a time, one per core; the lines come out in the targets' order.
names=()
pids=()
while read -r name options; do
  [ -n "$name" ] || continue
  if [ $# -gt 0 ] && ! printf '%s\n' "$@" | grep -qx "$name"; then continue; fi
  while [ "$(jobs -rp | wc -l)" -ge 2 ]; do wait -n || true; done
  fuzz_one "$name" "$options" &
  names+=("$name")
  pids+=($!)
done <"$out/fuzz/targets.txt"
failed=0
for k in "${!names[@]}"; do
  wait "${pids[$k]}" || failed=1
  cat "$out/logs/${names[$k]}.summary"
done
exit $failed

#!/usr/bin/env bash
# Benchmarks on the real kernel (scripts/kernel-vm.sh, TCG): the boot time,
# and the refresh time of ldt-report through the real usblp driver for 1 and
# 4 machines (the most printer gadgets one kernel makes) against its floor (the 50 ms pause plus one round trip).
# Prints figures only.
#   bench/kernel-vm.sh [ROUNDS]
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
rounds="${1:-5}"
build="${LDT_BUILD:-$root/build/linux}"
[ -x "$build/src/app/ldt-report" ] && [ -x "$build/tools/ldt-machine-sim" ] ||
  { echo "kernel benchmark: build the linux preset first"; exit 0; }
results="$root/build/kernel-vm/bench"
rm -rf "$results"
start=$(date +%s%3N)
bash "$root/scripts/kernel-vm.sh" -q --timeout 400 --results "$results" --env LDT_BUILD="$build" \
  --env ROUNDS="$rounds" "$root/bench/kernel-vm/guest-refresh.sh" ||
  { echo "kernel benchmark: the guest failed; see $results/console.log"; exit 0; }
total=$(( $(date +%s%3N) - start ))
echo "kernel VM: whole run $total ms (boot, modules, gadgets, $rounds rounds x 2)"
grep -a '^bench: ' "$results/console.log" | sed 's/^bench: /kernel VM: /'

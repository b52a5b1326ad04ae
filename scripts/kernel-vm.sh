#!/usr/bin/env bash
# Boots Debian's packaged Linux kernel under qemu (TCG) with this machine's
# root file system, read-only over 9p with a tmpfs overlay on top, runs one
# script in it as root and exits with that script's status.
#
#   scripts/kernel-vm.sh [OPTION]... SCRIPT [ARG]...
#
# SCRIPT is a path on this machine; the guest sees every file at the same
# path, except under /run and /tmp, which are the guest's own (but for the
# top folder under /tmp that holds the results folder, e.g. a clone there). The kernel package is fetched with `apt-get download` (nothing is
# installed on this machine), unpacked, indexed with depmod and given a small
# busybox initramfs, all cached in DIR/KVER; a second run reuses them.
#
# In the guest: the unpacked modules are /lib/modules/KVER, /tmp and /run are
# empty tmpfs, the results folder is writable at its own path (as
# $LDT_VM_RESULTS), and $LDT_VM_LIB names the guest helper library
# (scripts/kernel-vm/guest-lib.sh: printer gadgets, plug and unplug, the
# simulator, udevd). Devices come and go without udev unless the script
# starts it.
#
# Options:
#   --results DIR   the writable results folder (default: a new folder under
#                   DIR/runs); the serial console log is kept there as
#                   console.log
#   --timeout S     the guest is killed after S seconds, the end of its log is
#                   shown and the status is 124 (default 240)
#   --append ARGS   more kernel command line, e.g. modprobe.blacklist=usblp
#   --env NAME=VAL  an environment variable for SCRIPT; repeatable
#   --kvm           use KVM instead of TCG (not reliable on every host)
#   --mem MB        guest memory (default 1536)
#   --dir DIR       the cache (default: build/kernel-vm in the repository,
#                   or $LDT_KERNEL_VM_DIR)
#   --kernel PKG    the kernel package (default: what linux-image-amd64
#                   depends on)
#   --prepare       fetch and prepare the kernel only, print its folder
#   -q, --quiet     do not copy the console to standard output
#
# Exit status: SCRIPT's; 124 on time-out; 125 when the rig itself failed;
# 77 on a machine that cannot run the guest.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/.." && pwd)"

results="" timeout_s=240 append="" accel=tcg mem=1536 prepare=0 quiet=0 pkg=""
dir="${LDT_KERNEL_VM_DIR:-$repo/build/kernel-vm}"
envs=()
die() { echo "kernel-vm: $*" >&2; exit 125; }
while [ $# -gt 0 ]; do
  case "$1" in
    --results) results="$2"; shift 2 ;;
    --timeout) timeout_s="$2"; shift 2 ;;
    --append) append="$append $2"; shift 2 ;;
    --env) envs+=("$2"); shift 2 ;;
    --kvm) accel=kvm; shift ;;
    --mem) mem="$2"; shift 2 ;;
    --dir) dir="$2"; shift 2 ;;
    --kernel) pkg="$2"; shift 2 ;;
    --prepare) prepare=1; shift ;;
    -q|--quiet) quiet=1; shift ;;
    --) shift; break ;;
    -*) die "unknown option $1" ;;
    *) break ;;
  esac
done
[ $prepare = 1 ] || [ $# -ge 1 ] || die "usage: $0 [OPTION]... SCRIPT [ARG]..."
# The kernel package and the emulator are x86-64 ones.
[ "$(uname -m)" = x86_64 ] || { echo "kernel-vm: needs an x86-64 machine" >&2; exit 77; }
for tool in qemu-system-x86_64 busybox depmod dpkg-deb apt-get gzip; do
  command -v "$tool" >/dev/null || die "$tool is missing (scripts/install-deps.sh kernel)"
done

# --- the kernel, cached per version ------------------------------------------
if [ -z "$pkg" ]; then
  pkg="$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[0-9].*\)$/\1/p' | head -n1)"
  [ -n "$pkg" ] || pkg="$(ls -d "$dir"/*/ready 2>/dev/null | head -n1 | xargs -r dirname | xargs -r basename | sed 's/^/linux-image-/')"
  [ -n "$pkg" ] || die "cannot tell the kernel package (apt-cache depends linux-image-amd64)"
fi
kver="${pkg#linux-image-}"
kdir="$dir/$kver"
modules=(virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci netfs fscache 9pnet 9pnet_virtio 9p overlay)

prepare_kernel() {
  local tmp="$kdir.tmp.$$"
  rm -rf "$tmp"; mkdir -p "$tmp/root" "$tmp/initramfs"
  echo "kernel-vm: fetching $pkg" >&2
  (cd "$tmp" && apt-get download "$pkg" >/dev/null 2>&1) || {
    # apt's sandbox user may not write here: fetch into a folder it can.
    local dl; dl="$(mktemp -d)"; chmod 777 "$dl"
    (cd "$dl" && apt-get download "$pkg" >/dev/null) || { rm -rf "$dl" "$tmp"; die "apt-get download $pkg failed"; }
    mv "$dl"/*.deb "$tmp/"; rm -rf "$dl"; }
  dpkg-deb -x "$tmp"/*.deb "$tmp/root"
  rm -f "$tmp"/*.deb
  depmod -b "$tmp/root" "$kver"
  local ird="$tmp/initramfs" m path
  mkdir -p "$ird"/{bin,dev,proc,sys,host,newroot,rw,mod}
  cp "$(command -v busybox)" "$ird/bin/busybox"
  for m in "${modules[@]}"; do
    path="$(grep -E "(^|/)$m\.ko(\.[a-z]+)?:" "$tmp/root/lib/modules/$kver/modules.dep" | head -n1 | cut -d: -f1)"
    [ -n "$path" ] || { rm -rf "$tmp"; die "module $m not found in $pkg"; }
    cp "$tmp/root/lib/modules/$kver/$path" "$ird/mod/$m.ko"
  done
  printf '%s\n' "${modules[@]}" > "$ird/mod/order"
  cp "$here/kernel-vm/initramfs-init" "$ird/init"
  chmod 755 "$ird/init" "$ird/bin/busybox"
  (cd "$ird" && find . | busybox cpio -o -H newc 2>/dev/null | gzip -1) > "$tmp/initrd.gz"
  rm -rf "$ird"
  touch "$tmp/ready"
  rm -rf "$kdir"; mv "$tmp" "$kdir"
}
# The initramfs is rebuilt when its init script changes.
if [ ! -e "$kdir/ready" ] || [ "$here/kernel-vm/initramfs-init" -nt "$kdir/ready" ]; then
  mkdir -p "$dir"
  exec 9>"$dir/.lock"; flock 9
  if [ ! -e "$kdir/ready" ] || [ "$here/kernel-vm/initramfs-init" -nt "$kdir/ready" ]; then prepare_kernel; fi
  flock -u 9
fi
if [ $prepare = 1 ]; then echo "$kdir"; exit 0; fi

# --- the run ------------------------------------------------------------------
script="$(realpath "$1")"; shift
[ -r "$script" ] || die "cannot read $script"
case "$script" in /run/*) die "the guest has its own /run: put $script elsewhere" ;; esac
if [ -z "$results" ]; then mkdir -p "$dir/runs"; results="$(mktemp -d "$dir/runs/$(basename "$script" .sh).XXXX")"; fi
mkdir -p "$results"; results="$(realpath "$results")"
rm -f "$results/exit-status" "$results/console.log"
{
  printf 'export LDT_VM_RESULTS=%q LDT_VM_LIB=%q LDT_KVER=%q LDT_REPO=%q\n' \
    "$results" "$here/kernel-vm/guest-lib.sh" "$kver" "$repo"
  for e in "${envs[@]}"; do printf 'export %q\n' "$e"; done
  printf 'exec %q' "$script"; [ $# -gt 0 ] && printf ' %q' "$@"; echo
} > "$results/.run"

kvm_opts=(-accel tcg -cpu max)
[ $accel = kvm ] && kvm_opts=(-accel kvm -cpu max)
cmd=(qemu-system-x86_64 "${kvm_opts[@]}" -m "$mem" -smp 1 -nographic -no-reboot -nodefaults
     -serial "file:$results/console.log" -monitor none
     -kernel "$kdir/root/boot/vmlinuz-$kver" -initrd "$kdir/initrd.gz"
     -append "console=ttyS0 quiet panic=-1 LDT_MODULES=$kdir/root/lib/modules/$kver LDT_RUN=$results/.run LDT_INIT=$here/kernel-vm/guest-init$append"
     -fsdev local,id=r,path=/,security_model=none,readonly=on,multidevs=remap
     -device virtio-9p-pci,fsdev=r,mount_tag=hostroot
     -fsdev "local,id=w,path=$results,security_model=none,multidevs=remap"
     -device virtio-9p-pci,fsdev=w,mount_tag=results)
case "$results$kdir" in *' '*) die "paths with blanks are not supported: $results" ;; esac

start=$(date +%s%3N)
tailpid=""
if [ $quiet = 0 ]; then : > "$results/console.log"; tail -n +1 -f "$results/console.log" & tailpid=$!; fi
status=0
timeout --kill-after=5 "$timeout_s" "${cmd[@]}" </dev/null || status=$?
[ -n "$tailpid" ] && { sleep 0.2; kill "$tailpid" 2>/dev/null; wait "$tailpid" 2>/dev/null || true; }
ms=$(( $(date +%s%3N) - start )); elapsed="$((ms / 1000)).$(printf %03d $((ms % 1000)))"
if [ $status -eq 124 ] || [ $status -eq 137 ]; then
  echo "kernel-vm: the guest did not finish within ${timeout_s} s; killed. End of $results/console.log:" >&2
  tail -n 40 "$results/console.log" >&2
  exit 124
fi
if [ ! -s "$results/exit-status" ]; then
  echo "kernel-vm: the guest ended without a status (qemu $status). End of $results/console.log:" >&2
  tail -n 40 "$results/console.log" >&2
  exit 125
fi
rc="$(cat "$results/exit-status")"
echo "kernel-vm: $(basename "$script") exited $rc after ${elapsed} s; log: $results/console.log" >&2
exit "$rc"

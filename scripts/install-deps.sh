#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Safe to run repeatedly; does nothing when everything is present.
set -euo pipefail

want_native="cmake ninja-build g++ googletest libgtest-dev clang libclang-rt-14-dev qt6-base-dev fonts-liberation dpkg-dev lintian man-db inotify-tools acl attr python3-pyatspi at-spi2-core dbus libusb-1.0-0-dev libkmod-dev pkg-config kmod python3-fuse fuse3"
want_win="g++-mingw-w64-i686 mingw-w64-tools zip unzip wixl msitools osslsigncode openssl"
want_wine="wine wine32:i386"
want_gui="xvfb xdotool xclip imagemagick fonts-liberation fonts-wqy-microhei x11-utils libxfixes3 librsvg2-bin python3"
# The real-kernel VM rig (scripts/kernel-vm.sh) and what its checks run.
want_kernel="qemu-system-x86 busybox-static kmod udev cups acl xvfb xdotool xclip imagemagick python3"

pkgs="$want_native $want_win $want_wine $want_gui $want_kernel"
case "${1:-all}" in
  native) pkgs="$want_native" ;;
  kernel) pkgs="$want_kernel" ;;
  all) ;;
  *) echo "usage: $0 [native|kernel|all]" >&2; exit 2 ;;
esac

missing=""
for p in $pkgs; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null

#!/usr/bin/env bash
# Packs a win32 build (`package`: zip and installer) without a certificate,
# then with a throwaway self-signed one from the environment and time
# stamps from a local RFC 3161 server: the zip's programs, the installer
# and its programs verify against that certificate, SHA-256, time-stamped;
# a file changed after signing does not. Packed again unsigned, the zip is
# the same bytes as the first time.
#   sign_test.sh [BUILD_DIR]        (default: build/win32)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build/win32}" && pwd)"
fail() { echo "FAIL: $*"; exit 1; }
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
grep -q '^LDT_SIGN_CERT:FILEPATH=$' "$build/CMakeCache.txt" || { echo "SKIP: this build is configured to sign"; exit 77; }
unset LDT_SIGN_CERT LDT_SIGN_KEY LDT_SIGN_PASSWORD_FILE LDT_SIGN_TIMESTAMP_URL
zip="$build/LaserDiagnosticTool-$version-win32.zip" msi="$build/LaserDiagnosticTool-$version-win32.msi"
tmp="$(mktemp -d)" tsa_pid=""
trap '[ -z "$tsa_pid" ] || kill "$tsa_pid"; rm -rf "$tmp"' EXIT
cd "$tmp"
package() {  # package NAME [VAR=VALUE...]: packs; the zip's files in NAME/, the installer's in NAME.msi/
  env "${@:2}" cmake --build "$build" --target package >"$1.log" 2>&1 || { cat "$1.log"; fail "packaging ($1)"; }
  unzip -q -j "$zip" -d "$1"
  cp "$msi" "$1.msi" && msiextract -C "$1.msi.d" "$msi" >/dev/null
}

package unsigned
unsigned_zip="$(sha256sum <"$zip")"
for f in unsigned/*.exe unsigned.msi; do
  if osslsigncode verify -in "$f" >/dev/null 2>&1; then fail "the unsigned $f has a signature"; fi
done

mkcert() {  # mkcert NAME EXTENDED-KEY-USAGE: a self-signed certificate and key
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -keyout "$1.key" -out "$1.crt" -subj "/CN=Throwaway $1" \
    -addext "extendedKeyUsage=$2" 2>/dev/null || fail "openssl req ($1)"
}
mkcert signer codeSigning
mkcert tsa critical,timeStamping
echo 01 >tsa.serial
printf '[tsa]\ndefault_tsa = local\n[local]\nserial = %s\nsigner_cert = %s\nsigner_key = %s\n%s\n' \
  "$tmp/tsa.serial" "$tmp/tsa.crt" "$tmp/tsa.key" \
  'signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256
ess_cert_id_alg = sha256' >tsa.cnf
python3 "$root/tests/packaging/local_tsa.py" tsa.cnf tsa.port &
tsa_pid=$!
for _ in $(seq 100); do [ -s tsa.port ] && break; sleep 0.05; done
signing=(LDT_SIGN_CERT="$tmp/signer.crt" LDT_SIGN_KEY="$tmp/signer.key" LDT_SIGN_TIMESTAMP_URL="http://127.0.0.1:$(cat tsa.port)/")
package signed "${signing[@]}"
# The installer alone (target msi) signs its programs on their way in.
env "${signing[@]}" cmake --build "$build" --target msi >msi.log 2>&1 || { cat msi.log; fail "target msi, signed"; }
msiextract -C alone.msi.d "$msi" >/dev/null
verify() { osslsigncode verify -CAfile signer.crt -TSA-CAfile tsa.crt -in "$1" >verify.log 2>&1; }
for f in signed/*.exe signed.msi signed.msi.d/*/*/*.exe "$msi" alone.msi.d/*/*/*.exe; do
  verify "$f" && grep -Eq '^Message digest algorithm *: SHA256' verify.log &&
    grep -q '^Timestamp Server Signature verification: ok' verify.log || { cat verify.log; fail "$f: no time-stamped SHA-256 signature"; }
done
(cd signed && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not list the signed programs"
echo "PASS: the zip's programs, the installers and their programs verify against the throwaway certificate"

for f in signed/ldt-report.exe signed.msi; do  # one byte changed after signing, mid-file
  python3 -c 'import os, sys
with open(sys.argv[1], "r+b") as f: f.seek(os.path.getsize(sys.argv[1]) // 2); b = f.read(1); f.seek(-1, 1); f.write(bytes([b[0] ^ 0xFF]))' "$f"
  if verify "$f"; then fail "$f verifies after a change"; fi
  grep -q MISMATCH verify.log || { cat verify.log; fail "$f failed for another reason than its digest"; }
done
echo "PASS: a file changed after signing fails verification"

package unsigned-again
[ "$(sha256sum <"$zip")" = "$unsigned_zip" ] || fail "the unsigned zip changed after a signed build"
echo "PASS: unsigned, the programs carry no signature and the zip is the same bytes before and after a signed build"

#!/usr/bin/env bash
# Packs a win32 build (`package`: the zip and the installer) without a
# certificate, then with a throwaway self-signed one given through the
# environment and time stamps from a local RFC 3161 server (local_tsa.py):
# the programs in the zip, the installer and the programs inside it verify
# against that certificate, SHA-256 and time-stamped; a file changed after
# signing does not verify. Packs once more without the certificate: the zip
# is the same bytes as the first time.
#   sign_test.sh [BUILD_DIR]        (default: build/win32)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build/win32}" && pwd)"
fail() { echo "FAIL: $*"; exit 1; }
cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
version="$(cache CMAKE_PROJECT_VERSION)"
if [ -n "$(cache LDT_SIGN_CERT)" ]; then echo "SKIP: this build is configured to sign"; exit 77; fi
unset LDT_SIGN_CERT LDT_SIGN_KEY LDT_SIGN_PASSWORD_FILE LDT_SIGN_TIMESTAMP_URL
zip="$build/LaserDiagnosticTool-$version-win32.zip"
msi="$build/LaserDiagnosticTool-$version-win32.msi"
programs="LaserDiagnosticTool.exe ldt-report.exe"

tmp="$(mktemp -d)"
tsa_pid=""
trap '[ -z "$tsa_pid" ] || kill "$tsa_pid"; rm -rf "$tmp"' EXIT
package() {  # package NAME [VAR=VALUE...]: packs, then unpacks both packages into $tmp/NAME
  local name="$1"; shift
  env "$@" cmake --build "$build" --target package >"$tmp/$name.log" 2>&1 ||
    { cat "$tmp/$name.log"; fail "packaging ($name)"; }
  unzip -q "$zip" -d "$tmp/$name"
  mv "$tmp/$name/LaserDiagnosticTool-$version-win32" "$tmp/$name/zip"
  msiextract -C "$tmp/$name/msi" "$msi" >/dev/null
  mv "$tmp/$name/msi/Program Files/Laser Diagnostic Tool"/* "$tmp/$name/msi/"
}

package unsigned
unsigned_zip="$(sha256sum <"$zip")"
for f in $programs; do
  if osslsigncode verify -in "$tmp/unsigned/zip/$f" >/dev/null 2>&1; then fail "the unsigned $f has a signature"; fi
  cmp -s "$tmp/unsigned/zip/$f" "$tmp/unsigned/msi/$f" || fail "the installer's $f is not the zip's"
done
echo "PASS: without a certificate: unsigned programs, the same in the zip and the installer"

# A self-signed code-signing certificate and a time-stamp authority.
cd "$tmp"
mkcert() {  # mkcert NAME SUBJECT EXTENDED-KEY-USAGE
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -keyout "$1.key" -out "$1.crt" \
    -subj "/CN=$2" -addext "extendedKeyUsage=$3" 2>/dev/null || fail "openssl req ($1)"
}
mkcert signer "Throwaway code signer" codeSigning
mkcert tsa "Throwaway time-stamp authority" critical,timeStamping
echo 01 >tsa.serial
cat >tsa.cnf <<EOF
[tsa]
default_tsa = local
[local]
serial = $tmp/tsa.serial
signer_cert = $tmp/tsa.crt
signer_key = $tmp/tsa.key
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256
ess_cert_id_alg = sha256
EOF
python3 "$root/tests/packaging/local_tsa.py" tsa.cnf tsa.port &
tsa_pid=$!
for _ in $(seq 100); do [ -s tsa.port ] && break; sleep 0.05; done
[ -s tsa.port ] || fail "the time-stamp server did not start"

signing=(LDT_SIGN_CERT="$tmp/signer.crt" LDT_SIGN_KEY="$tmp/signer.key"
         LDT_SIGN_TIMESTAMP_URL="http://127.0.0.1:$(cat tsa.port)/")
package signed "${signing[@]}"
cp "$msi" signed.msi
# The installer alone (target msi) signs the programs on their way in.
env "${signing[@]}" cmake --build "$build" --target msi >msi.log 2>&1 || { cat msi.log; fail "building the installer alone"; }
msiextract -C alone "$msi" >/dev/null
verify() { osslsigncode verify -CAfile signer.crt -TSA-CAfile tsa.crt -in "$1" >verify.log 2>&1; }
for f in signed/zip/LaserDiagnosticTool.exe signed/zip/ldt-report.exe signed.msi \
         signed/msi/LaserDiagnosticTool.exe signed/msi/ldt-report.exe "$msi" alone/*/*/ldt-report.exe; do
  verify "$f" || { cat verify.log; fail "$f does not verify"; }
  grep -Eq '^Message digest algorithm *: SHA256' verify.log && grep -q '^Timestamp Server Signature verification: ok' verify.log ||
    { cat verify.log; fail "$f is not SHA-256 and time-stamped"; }
done
(cd signed/zip && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not list the signed programs"
echo "PASS: the zip's programs, the installers and their programs verify against the throwaway certificate"

# One byte changed after signing, in the middle of the file.
for f in signed/zip/ldt-report.exe signed.msi; do
  cp "$f" changed
  python3 -c 'import os, sys
f = open(sys.argv[1], "r+b"); f.seek(os.path.getsize(sys.argv[1]) // 2); b = f.read(1)
f.seek(-1, 1); f.write(bytes([b[0] ^ 0xFF]))' changed
  if verify changed; then fail "$f verifies after a change"; fi
  grep -q 'MISMATCH' verify.log || { cat verify.log; fail "$f failed for another reason than its digest"; }
done
echo "PASS: a file changed after signing fails verification"

cd "$root"
package unsigned-again
[ "$(sha256sum <"$zip")" = "$unsigned_zip" ] || fail "the unsigned zip changed after a signed build"
echo "PASS: without the certificate the zip is again the same bytes"

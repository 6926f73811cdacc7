#!/usr/bin/env bash
# Installs the Windows build twice into throwaway prefixes: with a throwaway code-signing
# certificate, tool.exe and Quorlin.dll carry a signature that verifies against it; without one,
# the install says they ship unsigned and they carry none.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Companions test signing" \
  -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=digitalSignature" \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.pfx" \
  -passout pass:throwaway

failed=0
COMPANIONS_SIGNING_PFX="$work/cert.pfx" COMPANIONS_SIGNING_PASSWORD=throwaway \
  cmake --install "$build" --prefix "$work/signed" --component runtime >"$work/signed.log"
for f in tool.exe Quorlin.dll; do
  if ! osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed/bin/$f" >"$work/verify.log" 2>&1; then
    echo "FAIL: $f does not verify against the signing certificate"; cat "$work/verify.log"; failed=1
  fi
done

env -u COMPANIONS_SIGNING_PFX cmake --install "$build" --prefix "$work/unsigned" --component runtime \
  >"$work/unsigned.log"
if ! grep -q "Not signing tool.exe and Quorlin.dll: COMPANIONS_SIGNING_PFX is not set, so they ship unsigned" \
     "$work/unsigned.log"; then
  echo "FAIL: an unsigned install does not say so"; cat "$work/unsigned.log"; failed=1
fi
for f in tool.exe Quorlin.dll; do
  if osslsigncode verify -CAfile "$work/cert.pem" -in "$work/unsigned/bin/$f" >/dev/null 2>&1; then
    echo "FAIL: $f carries a signature without a certificate"; failed=1
  fi
  # the unsigned file is the shipped, stripped build output, byte for byte
  cmp -s "$work/unsigned/bin/$f" "$build/dist/bin/$f" || { echo "FAIL: unsigned $f differs from dist/bin"; failed=1; }
done
exit $failed

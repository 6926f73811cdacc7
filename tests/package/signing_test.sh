#!/usr/bin/env bash
# Installs the Windows build into throwaway prefixes: with a throwaway code-signing certificate,
# every shipped PE carries a signature that verifies against it; without one, the install says they
# ship unsigned and they carry none, unless it is a release build, which then installs nothing. A named timestamp server reaches osslsigncode: none is
# reachable here, so a server that refuses the connection must fail the signing, with its name in
# the error, rather than leave a signature without its timestamp.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Companions test signing" \
  -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=digitalSignature" \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.pfx" \
  -passout pass:throwaway
shipped=(tool.exe Quorlin.dll QuorlinC.dll libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll)

failed=0
# every PE of the install is one of those above, and each is signed
COMPANIONS_SIGNING_PFX="$work/cert.pfx" COMPANIONS_SIGNING_PASSWORD=throwaway \
  cmake --install "$build" --prefix "$work/signed" --component runtime >"$work/signed.log"
installed=$(cd "$work/signed/bin" && ls -- *.exe *.dll | sort)
if [ "$installed" != "$(printf '%s\n' "${shipped[@]}" | sort)" ]; then
  echo "FAIL: the install ships other PEs than the test knows:"; echo "$installed"; failed=1
fi
for f in "${shipped[@]}"; do
  if ! osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed/bin/$f" >"$work/verify.log" 2>&1; then
    echo "FAIL: $f does not verify against the signing certificate"; cat "$work/verify.log"; failed=1
  fi
  grep -q -x -- "-- Signed $f without a timestamp" "$work/signed.log" || { echo "FAIL: the install does not say $f is signed"; failed=1; }
done

env -u COMPANIONS_SIGNING_PFX cmake --install "$build" --prefix "$work/unsigned" --component runtime \
  >"$work/unsigned.log"
if ! grep -q -x -- "-- Not signing tool.exe, Quorlin.dll, QuorlinC.dll, libstdc++-6.dll, libgcc_s_seh-1.dll and libwinpthread-1.dll: COMPANIONS_SIGNING_PFX is not set, so they ship unsigned" \
     "$work/unsigned.log"; then
  echo "FAIL: an unsigned install does not say so"; cat "$work/unsigned.log"; failed=1
fi
for f in "${shipped[@]}"; do
  if osslsigncode verify -CAfile "$work/cert.pem" -in "$work/unsigned/bin/$f" >/dev/null 2>&1; then
    echo "FAIL: $f carries a signature without a certificate"; failed=1
  fi
  # the unsigned file is the shipped, stripped build output, byte for byte
  cmp -s "$work/unsigned/bin/$f" "$build/dist/bin/$f" || { echo "FAIL: unsigned $f differs from dist/bin"; failed=1; }
done

# a release build without a certificate stops before it installs anything
if COMPANIONS_RELEASE=1 env -u COMPANIONS_SIGNING_PFX \
   cmake --install "$build" --prefix "$work/release" --component runtime >"$work/release.log" 2>&1; then
  echo "FAIL: a release build without a certificate was installed"; failed=1
elif ! grep -q "COMPANIONS_RELEASE is set and COMPANIONS_SIGNING_PFX is not:" "$work/release.log" ||
     [ -e "$work/release" ]; then
  echo "FAIL: a release build without a certificate does not stop at once:"; cat "$work/release.log"; failed=1
fi

# port 9 (discard) on this machine's loopback: nothing listens there
if COMPANIONS_SIGNING_PFX="$work/cert.pfx" COMPANIONS_SIGNING_PASSWORD=throwaway \
   COMPANIONS_SIGNING_TIMESTAMP_URL=http://127.0.0.1:9 TMPDIR="$work" \
   cmake --install "$build" --prefix "$work/timestamped" --component runtime >"$work/ts.log" 2>&1; then
  echo "FAIL: signing with an unreachable timestamp server succeeded"; failed=1
elif ! grep -q -x "  Signing tool.exe timestamped by http://127.0.0.1:9 failed:" "$work/ts.log"; then
  echo "FAIL: a failed timestamp does not say so:"; cat "$work/ts.log"; failed=1
fi
if ls "$work"/companions-signing-* >/dev/null 2>&1; then echo "FAIL: a password folder is left"; failed=1; fi
exit $failed

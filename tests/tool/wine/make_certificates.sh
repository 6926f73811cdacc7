#!/usr/bin/env bash
# Makes the certificate files of the Wine tests in <out dir>: certificates valid now, expired and
# not yet valid (dates relative to the day they are made, signed by a throw-away CA), the same in
# DER, a CRL and PKCS #7 files, PEM files holding the private key before or after the certificate,
# or only the key, and chains.
set -euo pipefail
out=$1
rm -rf "$out.work"
mkdir -p "$out" "$out.work"
cd "$out.work"

openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 36500 \
    -subj "/CN=Test CA" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout host.key -out host.csr \
    -subj "/CN=localhost.brevant.io" 2>/dev/null

touch index.txt
echo 1000 > serial
echo 1000 > crlnumber
cat > ca.cnf <<CNF
[ ca ]
default_ca = test_ca
[ test_ca ]
dir = .
database = index.txt
serial = serial
crlnumber = crlnumber
new_certs_dir = .
certificate = ca.pem
private_key = ca.key
default_md = sha256
default_crl_days = 30
policy = any
unique_subject = no
[ any ]
commonName = supplied
CNF

sign() {  # name start end
    openssl ca -batch -config ca.cnf -in host.csr -out "$1.pem" -notext \
        -startdate "$2" -enddate "$3" 2>/dev/null
}
# a time relative to now, as openssl ca takes it
at() { date -u -d "$1" +%Y%m%d%H%M%SZ; }
# valid for years after a build, so a kept build folder stays right
sign valid "$(at '-1 year')" "$(at '+10 years')"
sign expired "$(at '-3 years')" "$(at '-2 years')"
sign future "$(at '+10 years')" "$(at '+11 years')"

cp valid.pem expired.pem future.pem "$out/"
openssl x509 -in valid.pem -outform DER -out "$out/valid.der"
openssl x509 -in expired.pem -outform DER -out "$out/expired.der"
# a chain file: the host certificate first, then its CA
cat valid.pem ca.pem > "$out/chain.pem"
cat host.key valid.pem > "$out/key_then_certificate.pem"
cat valid.pem host.key > "$out/certificate_then_key.pem"
cp host.key "$out/key_only.pem"
cat valid.pem expired.pem > "$out/chain_valid_expired.pem"
cat host.key expired.pem valid.pem > "$out/key_chain_expired_valid.pem"
openssl ca -gencrl -config ca.cnf -out "$out/crl.pem" 2>/dev/null
openssl crl2pkcs7 -nocrl -certfile expired.pem -outform DER -out "$out/pkcs7_expired.p7b"
openssl crl2pkcs7 -in "$out/crl.pem" -outform DER -out "$out/pkcs7_no_certificate.p7b"
rm -rf "$out.work"

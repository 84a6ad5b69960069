#!/bin/sh
# Certificates for the TLS tests, made fresh in the folder given:
#   ca.pem            a test CA (not in any system store)
#   server.pem/.key   signed by it for localhost, 127.0.0.1 and ::1
#   other.pem/.key    signed by it for another name only (host name mismatch)
#   self.pem/.key     self-signed for localhost and 127.0.0.1 (a pin)
set -eu
dir=$1
mkdir -p "$dir"
cd "$dir"
key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:prime256v1 -out "$1" 2>/dev/null; }

key ca.key
openssl req -x509 -new -key ca.key -subj "/CN=Vornetta Test CA" -days 30 -out ca.pem \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null

signed() {  # name, subjectAltName
  key "$1.key"
  openssl req -new -key "$1.key" -subj "/CN=$1" -out "$1.csr" 2>/dev/null
  printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' "$2" > "$1.ext"
  openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -days 30 \
    -extfile "$1.ext" -out "$1.pem" 2>/dev/null
}
signed server "DNS:localhost,IP:127.0.0.1,IP:::1"
signed other "DNS:other.example"

key self.key
openssl req -x509 -new -key self.key -subj "/CN=localhost" -days 30 -out self.pem \
  -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" 2>/dev/null

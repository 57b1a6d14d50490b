#!/bin/bash
# The delivery tests' certificates, made in the current folder: an authority of the tests' own
# (ca.pem, and ca.der for the Windows side to trust), a server certificate it issued for
# "localhost" (server.pem, server.key), and a self-signed one for the same name (self.pem,
# self.key). They are valid for two days.
set -euo pipefail
ssl() { openssl "$@" 2>/dev/null; }
ssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj "/CN=Lumigate Test Authority" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"
ssl x509 -in ca.pem -outform der -out ca.der
ssl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj "/CN=localhost"
printf 'subjectAltName=DNS:localhost\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n' >server.ext
ssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile server.ext -out server.pem
ssl req -x509 -newkey rsa:2048 -nodes -keyout self.key -out self.pem -days 2 -subj "/CN=localhost" \
    -addext "subjectAltName=DNS:localhost"

#!/usr/bin/env bash
# Builds the library, runs the demo program, then a short session of the
# qorjwt tool: make an own key store, issue an assertion ticket, look at it
# without verifying, verify it, and show the signer certificate.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target qorjwt_demo qorjwt_installables
(cd build/default && ./qorjwt_demo)
echo "(full trace: QOR_EXT_TRL=3 build/default/qorjwt_demo writes every call and byte to build/default/qorjwt-demo.trc)"

q=$PWD/build/default/tools/qorjwt/qorjwt
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
echo demo-pin > pin
run() { echo; echo "\$ qorjwt $*"; "$q" "$@"; }
run keystore create own.p12 --pin-file pin --subject /CN=DMO/O=Demo --key-type ec
run ticket issue --keystore own.p12 --pin-file pin --sysid RCP --client 001 --user JDOE -o ticket.txt
# The ticket text is a bearer credential: it stays in ticket.txt, off the terminal.
run ticket inspect ticket.txt
openssl pkcs12 -in own.p12 -passin file:pin -nokeys -out own.pem 2>/dev/null
run ticket verify --cert own.pem --assertion --sysid RCP --client 001 ticket.txt
run cert show own.pem SUBJECT

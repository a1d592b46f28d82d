#!/usr/bin/env bash
# Makes the signing fixtures of FileCheckTest beside this script: a tiny program built,
# stripped and given its symbol table and stamp as `make dist` does, then signed with a
# throwaway certificate, signed a second time (a nested signature), and unsigned again.
# Run it again after a change of the stamp or the table format, and commit the results.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../../../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
i686-w64-mingw32-gcc -g -O1 -nostdlib -Wl,-e,_Start -Wl,--no-insert-timestamp \
  -ffile-prefix-map="$here"=. -o linked.exe "$here/tiny.c"
i686-w64-mingw32-strip -o tiny.exe linked.exe
python3 "$root/crashreport/capture/postlink.py" --nm i686-w64-mingw32-nm --objdump i686-w64-mingw32-objdump \
  tiny.exe --symbols-from linked.exe
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 1 \
  -subj "/CN=Veilmark fixture signer (for tests only)" 2>/dev/null
osslsigncode sign -h sha256 -certs cert.pem -key key.pem -in tiny.exe -out signed.exe >/dev/null
osslsigncode sign -nest -h sha256 -certs cert.pem -key key.pem -in signed.exe -out signed-twice.exe >/dev/null
osslsigncode remove-signature -in signed-twice.exe -out unsigned-again.exe >/dev/null
cp tiny.exe signed.exe signed-twice.exe unsigned-again.exe "$here/"
ls -l "$here"/*.exe

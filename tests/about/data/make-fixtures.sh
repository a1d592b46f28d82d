#!/usr/bin/env bash
# Rebuilds the checked-in fixture DLLs of the version reader from their .rc files with the
# MinGW toolchain: resource-only DLLs, no entry point, no time stamp, so that the bytes are
# the same on every run. versions32.dll is PE32 (i686), everything else PE32+ (x86_64).
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
build() {  # build ARCH RC DLL
  "$1-w64-mingw32-windres" "$2" -o "$tmp/res.o"
  "$1-w64-mingw32-gcc" -shared -nostdlib -s -Wl,-e,0 -Wl,--no-insert-timestamp -o "$3" "$tmp/res.o"
}
build i686 versions.rc versions32.dll
build x86_64 versions.rc versions64.dll
build x86_64 languages.rc languages.dll
build x86_64 other.rc other.dll

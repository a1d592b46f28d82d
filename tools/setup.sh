#!/usr/bin/env bash
# Installs what the build and the tests need, and nothing when all is there.
# Idempotent: a second run only asks dpkg and returns within a second.
set -euo pipefail

packages=(
  cmake ninja-build python3 clang libclang-rt-14-dev clang-format-14
  googletest libgtest-dev libbenchmark-dev zlib1g-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
  wine wine64 wine32:i386 fonts-wine fonts-liberation
  libgnutls30 libgnutls30:i386 openssl
  xvfb x11-utils xdotool imagemagick
  libpng-dev libpcre2-dev libre2-dev libimagequant-dev
  libcpp-httplib-dev libssl-dev libsqlite3-dev libcrypt-dev pkg-config chromium
  nginx osslsigncode postgresql libpq-dev
)

as_root() {
  if [ "$(id -u)" = 0 ]; then "$@"
  elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then sudo "$@"
  else
    echo "setup: need root to run: $*" >&2
    echo "setup: run it yourself, then run make again." >&2
    exit 1
  fi
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
as_root apt-get update -q
as_root apt-get install -y -q --no-install-recommends "${missing[@]}"

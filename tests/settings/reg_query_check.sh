#!/usr/bin/env bash
# Checks from outside, with Wine's `reg query`, that the settings manager stored a string
# list and a form's placement in the registry, and that it reads them back.
# Usage: reg_query_check.sh <wine-run> <reg_query_probe.exe>
set -euo pipefail
wine_run=$1
probe=$2
app="VeilmarkRegQuery-$$"
key="HKCU\\Software\\Quembrix Limited\\$app"
cleanup() { "$wine_run" reg delete "$key" /f >/dev/null 2>&1 || true; }
trap cleanup EXIT

"$wine_run" "$probe" save "$app"

actual=$("$wine_run" reg query "$key" /s | tr -d '\r')
expected="
HKEY_CURRENT_USER\\Software\\Quembrix Limited\\$app
    IDBackup    REG_MULTI_SZ    11111111-2222-3333-4444-555555555555\\00F1E2D3C-0000-4000-8000-00000000ABCD

HKEY_CURRENT_USER\\Software\\Quembrix Limited\\$app\\UI

HKEY_CURRENT_USER\\Software\\Quembrix Limited\\$app\\UI\\Forms

HKEY_CURRENT_USER\\Software\\Quembrix Limited\\$app\\UI\\Forms\\formProbe
    Height    REG_DWORD    0xbd
    Left    REG_DWORD    0xc
    Top    REG_DWORD    0x22
    Width    REG_DWORD    0x237
    WindowState    REG_DWORD    0x2"
if [ "$actual" != "$expected" ]; then
  echo "reg query shows:"; echo "$actual"; echo "expected:"; echo "$expected"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi

restored=$("$wine_run" "$probe" restore "$app" | tr -d '\r')
expected_restore="IDBackup 1 11111111-2222-3333-4444-555555555555|0F1E2D3C-0000-4000-8000-00000000ABCD
formProbe 1 12,34,567,189,2"
if [ "$restored" != "$expected_restore" ]; then
  echo "restored:"; echo "$restored"; echo "expected:"; echo "$expected_restore"
  exit 1
fi
echo "reg query and restore agree"

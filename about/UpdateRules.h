// What the update check may believe, download and start. The update information and the
// release come over plain HTTP, so everything here treats them as hostile: the file is
// believed only when a built-in key signed it as a whole, for this product, and it is not
// older than the newest one accepted before; a release is kept only when its size and
// SHA-256 are the signed ones. Portable, so that every rule is tested on the host; the
// cryptography itself comes from the caller (CryptoAPI on Windows, UpdateCrypto_win32).
// Tests: tests/about/UpdateRulesTest.cpp, tests/e2e/test_update.py.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/StringList.h"

namespace vm {

// ---- Versions

// <0, 0 or >0, like a collation. Used only for versions that are not dotted numbers.
using TTextOrder = std::function<int(const std::string& a, const std::string& b)>;

// "1", "0.10.0.0": runs of digits joined by single dots.
bool IsDottedNumber(const std::string& version);

// Dotted numbers compare part by part as numbers ("0.10" after "0.9"; a missing part counts
// as 0, so "1.0" equals "1.0.0.0"); any other pair compares with `textOrder`.
int CompareVersions(const std::string& a, const std::string& b, const TTextOrder& textOrder);

// ---- The signed update file

// The key of the last line, which signs every byte before it.
inline constexpr const char* kFileSignatureKey = "FileSignature";

struct TSignedText {
  std::string Body;          // every byte before the signature line
  std::string SignatureHex;  // the value of that line
};

// The last line must be "FileSignature=<hex>", followed by at most one line break.
bool SplitSignedText(const std::string& file, TSignedText& parts);

// Hexadecimal digits, two per byte, either case; false for anything else or nothing.
bool HexToBytes(const std::string& hex, std::string& bytes);

// The newest update information accepted so far, kept in the program's settings.
struct TUpdateMark {
  std::string Version;    // the highest CurrentVersion
  std::string Published;  // the latest Published
};

// Why a file was not believed. The user hears one message for all of them; the reason is
// for the tests and for whoever reads the code.
enum class TUpdateTrust { Trusted, NoKey, Unsigned, BadSignature, OtherProduct, Undated, Older, NoReleaseFacts };

// True when `signatureHex` signs `data` under `key` (a public key as the platform takes it).
using TSignatureCheck =
    std::function<bool(const std::string& data, const std::string& signatureHex, const std::string& key)>;

struct TUpdateJudge {
  std::vector<std::string> Keys;  // the current and the next key; empty ones are skipped
  TSignatureCheck Verify;
  std::string Product;  // the program's product name
  TUpdateMark Mark;
  TTextOrder TextOrder;
};

// True when any of the keys signs `data`.
bool SignedByAnyKey(const TUpdateJudge& judge, const std::string& data, const std::string& signatureHex);

// Judges the update file's bytes. `info` receives the signed lines, and only when the file
// is trusted.
TUpdateTrust JudgeUpdateFile(const std::string& file, const TUpdateJudge& judge, TStringList& info);

// The mark after accepting `info`: the higher version and the later date of the two.
TUpdateMark RaiseMark(const TUpdateMark& mark, const TStringList& info, const TTextOrder& textOrder);

// The mark as the settings keep it: "CurrentVersion=..." and "Published=..." lines.
TStringList MarkToStrings(const TUpdateMark& mark);
TUpdateMark MarkFromStrings(const TStringList& lines);

// ---- The release file

struct TReleaseFacts {
  std::uint64_t Size = 0;
  std::string Sha256;  // 64 hexadecimal digits
};

// The signed "Size=" and "SHA256=" of the release; false when either is missing or malformed.
bool ReadReleaseFacts(const TStringList& info, TReleaseFacts& facts);

// True when a file of `size` bytes with the digest `sha256` is the signed release.
bool IsSignedRelease(const TReleaseFacts& facts, std::uint64_t size, const std::string& sha256);

// The URL's last part, after its last "/".
std::string ReleaseFileName(const std::string& url);

// A name that stays on the desktop: not empty, no folder, drive or stream in it, and not a
// name the system would change (trailing dots or blanks).
bool IsPlainFileName(const std::string& name);

// True for every name the shell would run as code when opened, whatever the case of its
// extension: .exe, .msi, .bat, .cmd, .com, .scr, .ps1 and their kin.
bool IsProgramName(const std::string& fileName);

}  // namespace vm

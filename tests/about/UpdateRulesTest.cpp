// Covers about/UpdateRules: what the update check believes, keeps and starts. The signature
// here is a stand-in (a checksum over key and bytes) so that the rules are tested on the
// host; the real RSA check runs under Wine in tests/about/UpdateCryptoTest_win32.cpp and
// tests/e2e/test_update.py.
#include <gtest/gtest.h>

#include <cstdio>

#include "about/UpdateRules.h"

namespace {

using vm::TUpdateTrust;

std::string StandInSignature(const std::string& data, const std::string& key) {
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char c : key + '\0' + data) h = (h ^ c) * 1099511628211ull;
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
  return hex;
}

int PlainOrder(const std::string& a, const std::string& b) { return a < b ? -1 : a > b ? 1 : 0; }

vm::TUpdateJudge Judge(vm::TUpdateMark mark = {}) {
  auto verify = [](const std::string& data, const std::string& sig, const std::string& key) {
    return sig == StandInSignature(data, key);
  };
  return {{"current", "next"}, verify, "Update Demo", mark, PlainOrder};
}

std::string Signed(const std::string& body, const std::string& key = "current", const std::string& end = "\r\n") {
  return body + "FileSignature=" + StandInSignature(body, key) + end;
}

const std::string kSha = std::string(64, 'a');
const std::string kBody =
    "CurrentVersion=1.0.0.0\r\nProduct=Update Demo\r\nPublished=2026-05-01\r\n"
    "URL=http://host/setup.exe\r\nSize=42\r\nSHA256=" +
    kSha + "\r\n";

TEST(UpdateRules, VersionsCompareAsNumbersWhenBothAreDottedNumbers) {
  struct Row {
    const char* a;
    const char* b;
    int order;
  } rows[] = {
      {"0.10.0.0", "0.9.0.0", 1},  // compared as texts this was the other way round
      {"1.2", "1.10", -1},
      {"1.0", "1.0.0.0", 0},  // missing parts count as 0
      {"1.0.0.1", "1.0", 1},
      {"010", "9", 1},
      {"123456789012345678901234567890.1", "123456789012345678901234567890.0", 1},  // no overflow
      {"2.0", "2.0", 0},
      // Not dotted numbers on one side: the text order decides.
      {"1.0b", "1.0a", 1},
      {"0.9", "", 1},  // a program without version information takes any version as newer
      {"", "", 0},
      {"1..0", "1.0", -1},
      {"0.10-beta", "0.9", -1},
  };
  for (const Row& r : rows) {
    const int order = vm::CompareVersions(r.a, r.b, PlainOrder);
    EXPECT_EQ((order > 0) - (order < 0), r.order) << r.a << " vs " << r.b;
  }
  EXPECT_TRUE(vm::IsDottedNumber("7"));
  for (const char* text : {"", ".1", "1.", "1..2", "1.2a", " 1.2", "-1"})
    EXPECT_FALSE(vm::IsDottedNumber(text)) << text;
}

TEST(UpdateRules, TheSignatureLineSignsEveryByteBeforeIt) {
  using namespace std::string_literals;
  struct Row {
    std::string file;
    bool ok;
    std::string body;
  } rows[] = {
      {"a=1\r\nFileSignature=ab12\r\n", true, "a=1\r\n"},
      {"a=1\nFileSignature=ab12\n", true, "a=1\n"},
      {"a=1\rFileSignature=ab12", true, "a=1\r"},
      {"a=1\r\nfilesignature=ab12", true, "a=1\r\n"},  // keys are matched without regard to case
      {"FileSignature=ab12\r\n", true, ""},
      {"a=1\0b\r\nFileSignature=ab12"s, true, "a=1\0b\r\n"s},  // a NUL is signed like any byte
      {"a=1\r\nFileSignature=ab12\r\n\r\n", false, ""},        // more than one line break after it
      {"a=1\r\nFileSignature=ab12\r\nb=2\r\n", false, ""},     // a line after it would be unsigned
      {"FileSignature=ab12\r\na=1\r\n", false, ""},
      {"a=1\r\nSignature=ab12\r\n", false, ""},  // that key signs the release, not this file
      {"a=1\r\n", false, ""},
      {"", false, ""},
  };
  for (const Row& r : rows) {
    vm::TSignedText parts;
    ASSERT_EQ(vm::SplitSignedText(r.file, parts), r.ok) << r.file;
    if (!r.ok) continue;
    EXPECT_EQ(parts.SignatureHex, "ab12") << r.file;
    EXPECT_EQ(parts.Body, r.body) << r.file;
  }
}

TEST(UpdateRules, JudgesTheUpdateFile) {
  const vm::TUpdateMark seen{"1.0.0.0", "2026-05-01"};
  auto body = [](const std::string& from, const std::string& to) {
    std::string b = kBody;
    return b.replace(b.find(from), from.size(), to);
  };
  struct Row {
    const char* why;
    std::string file;
    vm::TUpdateMark mark;
    TUpdateTrust trust;
  } rows[] = {
      {"genuine", Signed(kBody), {}, TUpdateTrust::Trusted},
      {"signed with the next key", Signed(kBody, "next"), {}, TUpdateTrust::Trusted},
      {"seen before, the same file", Signed(kBody), seen, TUpdateTrust::Trusted},
      {"LF line breaks",
       Signed("Product=Update Demo\nPublished=2026-05-01T10:00:00Z\n", "current", "\n"),
       {},
       TUpdateTrust::Trusted},
      {"no URL needs no release facts", Signed(body("URL=", "Link=")), {}, TUpdateTrust::Trusted},
      {"product in other letter case", Signed(body("Update Demo", "UPDATE DEMO")), {}, TUpdateTrust::Trusted},
      {"unsigned", kBody, {}, TUpdateTrust::Unsigned},
      {"signature not last", Signed(kBody) + "NotifyText=Call us\r\n", {}, TUpdateTrust::Unsigned},
      {"forged: a byte changed",
       body("1.0.0.0", "9.0.0.0") + Signed(kBody).substr(kBody.size()),
       {},
       TUpdateTrust::BadSignature},
      {"forged: a line added", "NotifyText=Call us\r\n" + Signed(kBody), {}, TUpdateTrust::BadSignature},
      {"signed with another key", Signed(kBody, "attacker"), {}, TUpdateTrust::BadSignature},
      {"signature not hexadecimal", kBody + "FileSignature=\r\n", {}, TUpdateTrust::BadSignature},
      {"another product", Signed(body("Update Demo", "Other Tool")), {}, TUpdateTrust::OtherProduct},
      {"no product", Signed(body("Product=", "Name=")), {}, TUpdateTrust::OtherProduct},
      {"no date", Signed(body("Published=", "Date=")), {}, TUpdateTrust::Undated},
      {"a date in another form", Signed(body("2026-05-01", "1.5.2026")), {}, TUpdateTrust::Undated},
      {"replayed: an older version", Signed(body("1.0.0.0", "0.95")), seen, TUpdateTrust::Older},
      {"replayed: an older date", Signed(body("2026-05-01", "2026-04-30")), seen, TUpdateTrust::Older},
      {"replayed: compared as numbers", Signed(kBody), {"1.0.0.10", ""}, TUpdateTrust::Older},
      {"URL without a digest", Signed(body("SHA256=", "Hash=")), {}, TUpdateTrust::NoReleaseFacts},
      {"digest too short", Signed(body(kSha, kSha.substr(1))), {}, TUpdateTrust::NoReleaseFacts},
      {"digest not hexadecimal", Signed(body(kSha, "g" + kSha.substr(1))), {}, TUpdateTrust::NoReleaseFacts},
      {"size not a number", Signed(body("Size=42", "Size=42 bytes")), {}, TUpdateTrust::NoReleaseFacts},
      {"size negative", Signed(body("Size=42", "Size=-42")), {}, TUpdateTrust::NoReleaseFacts},
  };
  for (const Row& r : rows) {
    vm::TStringList info{"left=as it was"};
    EXPECT_EQ(vm::JudgeUpdateFile(r.file, Judge(r.mark), info), r.trust) << r.why;
    if (r.trust == TUpdateTrust::Trusted)
      EXPECT_EQ(info.Values("Product"), r.file.find("UPDATE") != std::string::npos ? "UPDATE DEMO" : "Update Demo")
          << r.why;
    else
      EXPECT_EQ(info.Values("left"), "as it was") << r.why << ": nothing unsigned may be read";
  }
}

TEST(UpdateRules, WithoutAKeyNothingIsBelieved) {
  vm::TUpdateJudge judge = Judge();
  judge.Keys = {"", ""};
  vm::TStringList info;
  EXPECT_EQ(vm::JudgeUpdateFile(Signed(kBody, ""), judge, info), TUpdateTrust::NoKey);
  judge.Keys = {"", "next"};  // the current key may be left out once the next one has taken over
  EXPECT_EQ(vm::JudgeUpdateFile(Signed(kBody, "next"), judge, info), TUpdateTrust::Trusted);
}

TEST(UpdateRules, TheMarkOnlyRises) {
  vm::TStringList info{"CurrentVersion=0.10", "Published=2026-05-01"};
  vm::TUpdateMark mark = vm::RaiseMark({}, info, PlainOrder);
  EXPECT_EQ(mark.Version, "0.10");
  EXPECT_EQ(mark.Published, "2026-05-01");
  mark = vm::RaiseMark({"0.9", "2026-06-01"}, info, PlainOrder);
  EXPECT_EQ(mark.Version, "0.10") << "0.10 is after 0.9";
  EXPECT_EQ(mark.Published, "2026-06-01");
  mark = vm::RaiseMark({"1.0", "2026-04-01"}, info, PlainOrder);
  EXPECT_EQ(mark.Version, "1.0");
  EXPECT_EQ(mark.Published, "2026-05-01");
  const vm::TUpdateMark back = vm::MarkFromStrings(vm::MarkToStrings(mark));
  EXPECT_EQ(back.Version, "1.0");
  EXPECT_EQ(back.Published, "2026-05-01");
}

TEST(UpdateRules, TheReleaseMustBeTheSignedOne) {
  vm::TStringList info;
  info.SetText(kBody);
  vm::TReleaseFacts facts;
  ASSERT_TRUE(vm::ReadReleaseFacts(info, facts));
  EXPECT_EQ(facts.Size, 42u);
  EXPECT_TRUE(vm::IsSignedRelease(facts, 42, kSha));
  EXPECT_TRUE(vm::IsSignedRelease(facts, 42, std::string(64, 'A'))) << "hexadecimal digits in either case";
  EXPECT_FALSE(vm::IsSignedRelease(facts, 41, kSha)) << "wrong size";
  EXPECT_FALSE(vm::IsSignedRelease(facts, 42, std::string(63, 'a') + "b")) << "wrong hash";
  EXPECT_FALSE(vm::IsSignedRelease(facts, 42, "")) << "no hash";
  EXPECT_FALSE(vm::IsSignedRelease(vm::TReleaseFacts{}, 0, "")) << "facts never read";
}

TEST(UpdateRules, WhatCountsAsAProgram) {
  for (const char* name : {"setup.exe", "SETUP.EXE", "Setup.Exe", "setup.msi", "update.bat", "update.CMD", "tool.com",
                           "screen.scr", "run.ps1", "x.vbs", "x.js", "x.hta", "a.b.exe"})
    EXPECT_TRUE(vm::IsProgramName(name)) << name;
  for (const char* name : {"notes.zip", "readme.txt", "setup.exe.txt", "exe", "setup", "setup.ex", ".zip", ""})
    EXPECT_FALSE(vm::IsProgramName(name)) << name;
}

TEST(UpdateRules, ReleaseNamesStayOnTheDesktop) {
  EXPECT_EQ(vm::ReleaseFileName("http://host/files/setup.exe"), "setup.exe");
  EXPECT_EQ(vm::ReleaseFileName("http://host/files/"), "");
  for (const char* name : {"setup.exe", "notes.zip", "console.txt", "com10.txt", "Update 2.0.msi"})
    EXPECT_TRUE(vm::IsPlainFileName(name)) << name;
  for (const char* name : {"", "..\\escaped.zip", "a/b.zip", "c:x.exe", "notes.txt:x.exe", "setup.exe.", "setup.exe ",
                           "a?.zip", "tab\t.zip", "CON", "nul.txt", "con.tents.txt", "COM1.exe", "lpt9"})
    EXPECT_FALSE(vm::IsPlainFileName(name)) << name;
}

TEST(UpdateRules, HexDigits) {
  std::string bytes = "kept";
  EXPECT_TRUE(vm::HexToBytes("00fFa0", bytes));
  EXPECT_EQ(bytes, std::string("\x00\xff\xa0", 3));
  for (const char* bad : {"", "0", "0g", "0 0"}) {
    bytes = "kept";
    EXPECT_FALSE(vm::HexToBytes(bad, bytes)) << bad;
    EXPECT_EQ(bytes, "kept");
  }
}

}  // namespace

// The exception record's report: the golden report of the fixture, header fields added
// later, sections before their stacks, the cache and the callbacks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "crashreport/report/BugReportReader.h"
#include "crashreport/report/CrashException.h"
#include "crashreport/settings/CrashSettingsStream.h"
#include "tests/crashreport/common/FakeCrashSystem.h"
#include "tests/crashreport/common/ReportFixtures.h"

namespace vm {
namespace {

using namespace vm::test;
constexpr TModuleHandle kExe = 0x400000;

std::string ReadData(const std::string& name) {
  std::ifstream in(std::string(VM_TEST_DATA) + "/" + name, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class CrashExceptionTest : public ::testing::Test {
protected:
  void UseRecord(const TSettingsStreamWriter& w) { system.Modules[kExe].Resource = w.Finish(); }
  std::unique_ptr<TICrashException> Record(TExceptionFacts facts = FixtureExceptionFacts()) {
    TICrashSettings settings(kExe);
    return std::make_unique<TICrashException>(settings, std::move(facts));
  }
  // The fixture's whole report, as the capture side would fill it.
  void Fill(TICrashException& r) {
    r.BuildHeader(FixtureHeaderFacts());
    r.BuildSections(FixtureThreads());
    ASSERT_EQ(r.ReportedThreads().size(), 3u);
    r.SetThreadStack(1, FixtureWorkerStack());  // the completion order does not matter
    r.SetThreadNotAccessible(2);
    r.SetThreadStack(0, FixtureMainStack());
    r.Complete();
  }

  TFakeCrashSystem system;
};

TEST_F(CrashExceptionTest, FixtureRecordGivesTheGoldenReport) {
  system.Modules[kExe] = {"C:\\Programs\\Veilmark\\veilmark.exe", std::nullopt, "1.0.0.0", {}};
  UseRecord(TSettingsStreamWriter().Bool("Enabled", true));
  auto r = Record();
  Fill(*r);
  std::string text = r->BugReport();
  std::string number = HeaderValue(ParseReportHeader(text), "exception number");
  ASSERT_FALSE(number.empty());
  // The counter belongs to the process, so the golden text holds a marker in its place.
  std::string golden = ReadData("golden_report.txt");
  size_t marker = golden.find("@NUMBER@");
  ASSERT_NE(marker, std::string::npos);
  golden.replace(marker, 8, number);
  if (std::getenv("VM_WRITE_GOLDEN")) {
    std::string out = text;
    out.replace(out.find(": " + number + "\r\n") + 2, number.size(), "@NUMBER@");
    std::ofstream(std::string(VM_TEST_DATA) + "/golden_report.txt", std::ios::binary) << out;
  }
  EXPECT_EQ(text, golden);
  EXPECT_TRUE(r->Completed());
  EXPECT_EQ(r->BugReport(), text) << "the cached text";
}

TEST_F(CrashExceptionTest, ExceptionNumbersCountUpAndFreezesCarryTheFrozenMessage) {
  auto a = Record(), b = Record();
  a->BuildHeader(FixtureHeaderFacts());
  b->BuildHeader(FixtureHeaderFacts());
  long na = std::atol(a->HeaderFields().Values("exception number").c_str());
  long nb = std::atol(b->HeaderFields().Values("exception number").c_str());
  EXPECT_GE(na, 1);
  EXPECT_EQ(nb, na + 1);

  TExceptionFacts freeze = FixtureExceptionFacts();
  freeze.Type = TExceptionType::Freeze;
  freeze.CrashedThreadId = 0;
  auto f = Record(freeze);
  f->BuildHeader(FixtureHeaderFacts());
  TICrashFields h = f->HeaderFields();
  EXPECT_FALSE(h.Contains("exception class"));
  EXPECT_EQ(h.Values("exception message"), "The application seems to be frozen.");
  f->BuildSections(FixtureThreads());
  ASSERT_FALSE(f->ReportedThreads().empty());
  EXPECT_EQ(f->ReportedThreads()[0].Id, kMainThread) << "a freeze reports the main thread first";

  TExceptionFacts same = FixtureExceptionFacts();
  same.Message = same.ClassName;
  auto s = Record(same);
  THeaderFacts facts = FixtureHeaderFacts();
  facts.RegisteredOwner = "";  // what Wine answers
  facts.ComputerName.reset();
  s->BuildHeader(facts);
  EXPECT_FALSE(s->HeaderFields().Contains("exception message")) << "a message equal to the class is left out";
  EXPECT_FALSE(s->HeaderFields().Contains("registered owner")) << "an empty answer leaves the row out";
  EXPECT_FALSE(s->HeaderFields().Contains("computer name"));
  EXPECT_TRUE(s->HeaderFields().Contains("user name"));
}

TEST_F(CrashExceptionTest, FieldsAddedLaterGoInFrontOfTheReportersVersion) {
  UseRecord(TSettingsStreamWriter().Bool("Enabled", true).Text("AddFields", "ticket = T-7 |empty="));
  auto r = Record();
  r->BuildHeader(FixtureHeaderFacts());
  r->SetHeaderField("contact name", "  Jane  ");
  TICrashFields h = r->HeaderFields();
  int version = h.IndexOf("Zentrapix version");
  ASSERT_GE(version, 2);
  EXPECT_EQ(h.Name(version - 2), "ticket");
  EXPECT_EQ(h.Value(version - 2), "T-7");
  EXPECT_EQ(h.Name(version - 1), "contact name") << "in the order they were added";
  EXPECT_EQ(h.Value(version - 1), "Jane") << "trimmed";
  EXPECT_FALSE(h.Contains("empty")) << "an empty value adds nothing";
  EXPECT_EQ(h.Name(version + 1), "callstack crc");

  r->SetHeaderField("ticket", "T-8");
  EXPECT_EQ(r->HeaderFields().IndexOf("ticket"), version - 2) << "replaced in place";
  EXPECT_EQ(r->HeaderFields().Values("ticket"), "T-8");
  r->SetHeaderField("ticket", " ");
  EXPECT_FALSE(r->HeaderFields().Contains("ticket")) << "an empty value removes the field";
  r->SetHeaderField("user name", "");
  EXPECT_FALSE(r->HeaderFields().Contains("user name")) << "built rows can be removed too";
}

TEST_F(CrashExceptionTest, SectionsWaitForTheirStacksAndTheChecksumsFollowTheStacks) {
  auto r = Record();
  r->BuildHeader(FixtureHeaderFacts());
  r->BuildSections(FixtureThreads());
  std::string before = r->BugReport();
  EXPECT_NE(before.find("callstack crc     : will be calculated soon"), std::string::npos) << before;
  EXPECT_NE(before.find("main thread ($1a2c):\r\n00401234 +14 veilmark.exe FormVeilmark  210 +12 TFormVeilmark.ChangeID"
                        "\r\n>> stack will be calculated soon"),
            std::string::npos)
      << before;
  EXPECT_EQ(before.find("$4000"), std::string::npos) << "the reporter's own threads are not listed";
  EXPECT_FALSE(r->Completed());

  r->SetThreadStack(0, FixtureMainStack());
  r->SetThreadStack(1, FixtureWorkerStack());
  r->SetThreadNotAccessible(2);
  r->Complete();
  TCallstackChecksums sums = r->CallstackChecksums();
  std::vector<TStackItem> mainKept = FixtureMainStack();
  mainKept.erase(mainKept.begin() + 2);
  TCallstackChecksums expected = ComputeCallstackChecksums(mainKept, {FixtureWorkerStack(), {}});
  for (int i = 0; i < 3; ++i) EXPECT_EQ(sums.Crc[i], expected.Crc[i]) << i;
  EXPECT_EQ(r->HeaderFields().Values("callstack crc"), CallstackCrcText(sums));
  EXPECT_NE(sums.Crc[1], sums.Crc[2]) << "the worker's stack joins the third checksum";
}

TEST_F(CrashExceptionTest, OnlyTheListedThreadsWithoutListThreads) {
  UseRecord(TSettingsStreamWriter().Bool("Enabled", true).Bool("ListThreads", false));
  TExceptionFacts inWorker = FixtureExceptionFacts();
  inWorker.CrashedThreadId = kWorkerThread;
  auto r = Record(inWorker);
  r->BuildSections(FixtureThreads());
  ASSERT_EQ(r->ReportedThreads().size(), 2u);
  EXPECT_EQ(r->ReportedThreads()[0].Id, kWorkerThread);
  EXPECT_EQ(r->ReportedThreads()[1].Id, kMainThread);
  r->SetThreadNotAccessible(1);
  EXPECT_EQ(r->Sections().Value(1), ">> stack not accessible") << "only the crashed thread names the location";
  r->SetThreadNotAccessible(0);
  EXPECT_EQ(r->Sections().Value(0),
            ">> stack not accessible, exception location: \r\n"
            "00401234 +14 veilmark.exe FormVeilmark  210 +12 TFormVeilmark.ChangeID");
}

TEST_F(CrashExceptionTest, TheCacheFollowsChangesAndCallbacksRunOutsideTheLock) {
  auto r = Record();
  int changes = 0, completions = 0;
  std::string seenAtCompletion;
  int changed = r->RegisterCallback(TICrashException::TCallbackKind::Changed, [&](TICrashException&) { ++changes; });
  r->RegisterCallback(TICrashException::TCallbackKind::Completed, [&](TICrashException& x) {
    ++completions;
    seenAtCompletion = x.BugReport();  // would deadlock if run under the lock
  });
  r->BuildHeader(FixtureHeaderFacts());
  EXPECT_EQ(changes, 1) << "the header's rows come as one change";
  r->BuildSections(FixtureThreads());
  EXPECT_EQ(changes, 2);
  std::string text = r->BugReport();
  std::uint64_t count = r->ChangeCount();
  EXPECT_EQ(r->BugReport(), text);
  EXPECT_EQ(r->ChangeCount(), count) << "reading changes nothing";
  r->SetSection("cpu registers", "EAX = 00000000");
  EXPECT_NE(r->BugReport(), text);
  EXPECT_NE(r->BugReport().find("\r\n\r\ncpu registers:\r\nEAX = 00000000"), std::string::npos);
  r->UnregisterCallback(changed);
  r->SetBugReport("edited by the user");
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(r->BugReport(), "edited by the user");
  r->Complete();
  EXPECT_EQ(completions, 1);
  EXPECT_NE(seenAtCompletion.find("callstack crc"), std::string::npos);
}

}  // namespace
}  // namespace vm

namespace vm {
namespace {

// The capture side's runner: each item is its own; one that fails (here the third header
// row and every thread's section lines) is left out or falls back, the rest still comes.
int gItemsRun = 0;
bool FailSome(const char* step, void (*item)(void*), void* context) {
  ++gItemsRun;
  if (std::string_view(step) == "section" || (std::string_view(step) == "header row" && gItemsRun == 3)) return false;
  item(context);
  return true;
}

TEST_F(CrashExceptionTest, EachItemRunsUnderTheRunnerAndAFailedOneIsLeftOut) {
  auto r = Record();
  SetReportItemRunner(FailSome);
  gItemsRun = 0;
  r->BuildHeader(FixtureHeaderFacts());
  r->BuildSections(FixtureThreads());
  SetReportItemRunner(nullptr);
  TICrashFields header = r->HeaderFields();
  EXPECT_EQ(header.Name(0), "date/time");
  EXPECT_EQ(header.Name(1), "computer name");
  EXPECT_FALSE(header.Contains("wts client name")) << "the third row failed";
  EXPECT_TRUE(header.Contains("user name"));
  EXPECT_TRUE(header.Contains("exception class"));
  // A section whose first lines failed gets its thread's plain title and waits for its stack.
  EXPECT_EQ(r->Sections().Name(0), "thread $1a2c:");
  EXPECT_EQ(r->Sections().Value(0), ">> stack will be calculated soon");
}

TEST_F(CrashExceptionTest, AThreadWhoseWalkFailedShowsTheInternalErrorLine) {
  auto r = Record();
  Fill(*r);
  TStackItem own;
  own.Address = 0x7c801234;
  own.Module = "ntdll.dll";
  own.Function = "RtlVirtualUnwind";
  r->SetThreadInternalError(1, "stack walk", {own});
  std::string content = r->Sections().Value(1);
  EXPECT_EQ(content.substr(0, 55), ">> internal error in stack walk:\r\n7c801234 +0 ntdll.dll") << content;
  EXPECT_NE(content.find(">> original exception location: \r\n00401234"), std::string::npos) << content;
}

}  // namespace
}  // namespace vm

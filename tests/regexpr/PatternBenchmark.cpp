// bench-regex: the pattern engine beside PCRE2 (interpreter and JIT), RE2 and std::regex
// in the same run. Cases: the client-ID search over Chrome-like files, compiling the
// client-ID pattern, searches over English-like text, and a backtracking blow-up. Ends
// with one line per case: "bench <case>: veilmark <us> pcre2 <us> pcre2jit <us> re2 <us> std <us>".
#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>
#include <map>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "regexpr/PatternEngine.h"

#ifdef VM_HAVE_PCRE2
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>
#endif
#ifdef VM_HAVE_RE2
#include <re2/re2.h>
#endif

namespace {

const char kClientId[] = "\"client_id\": \"([0-9A-Z]{8}-[0-9A-Z]{4}-[0-9A-Z]{4}-[0-9A-Z]{4}-[0-9A-Z]{12})\"";

// A pretty-printed Local State of about `size` bytes; the client-ID entry near its end.
std::string LocalState(std::size_t size, bool withEntry) {
  std::mt19937 random(42);
  const char* keys[] = {"enabled", "last_active_time", "profile_info_cache", "variations_seed", "hardware_acceleration",
                        "browser", "window_placement", "was_restarted",      "install_date",    "low_entropy_source"};
  std::string text = "{\n   \"browser\": {\n";
  int n = 0;
  while (text.size() + 200 < size) {
    const char* key = keys[random() % 10];
    text += "      \"" + std::string(key) + "_" + std::to_string(n++) + "\": ";
    switch (random() % 3) {
      case 0:
        text += "\"" + std::to_string(random()) + "-" + std::to_string(random()) + "\",\n";
        break;
      case 1:
        text += std::to_string(random() % 100000) + ",\n";
        break;
      default:
        text += "{ \"id\": \"x" + std::to_string(random() % 1000) + "\", \"on\": true },\n";
    }
  }
  text += "      \"last\": 0\n   },\n   \"user_experience_metrics\": {\n";
  if (withEntry) text += "      \"client_id\": \"2d1a3b4c-5e6f-4a8b-9c0d-1e2f3a4b5c6d\",\n";
  text += "      \"session_id\": 17\n   }\n}\n";
  return text;
}

std::string EnglishText(std::size_t size) {
  std::mt19937 random(7);
  const char* words[] = {"the",     "of",     "and",    "to",      "in",    "a",       "is",    "that",     "for",
                         "it",      "as",     "was",    "with",    "be",    "by",      "on",    "not",      "he",
                         "this",    "are",    "or",     "his",     "from",  "at",      "which", "running",  "morning",
                         "nothing", "king",   "being",  "house",   "water", "people",  "river", "Sherlock", "Holmes",
                         "Watson",  "letter", "window", "evening", "quiet", "stranger"};
  const int count = sizeof words / sizeof *words;
  std::string text;
  while (text.size() < size) {
    if (random() % 500 == 0)
      text += "mail" + std::to_string(random() % 100) + "@host" + std::to_string(random() % 10) + ".org ";
    text += words[random() % count];
    text += (random() % 12 == 0) ? ".\n" : " ";
  }
  return text;
}

struct TCase {
  std::string name, pattern, subject;
  bool caseless = false;
  bool all = false;      // count every match, not just the first
  bool compile = false;  // time compiling only
};

// Each engine runs a case once and returns the number of matches (or 0 for compile).
using TRunner = std::function<long(const TCase&)>;

long RunVeilmark(const TCase& c) {
  vm::TPatternEngine re;
  if (c.caseless) re.SetModifier(vm::TPatternEngine::kModI, true);
  re.SetExpression(c.pattern);
  if (c.compile) {
    re.CompilePattern();
    return 0;
  }
  long matches = 0;
  if (!re.Exec(c.subject)) return 0;
  do {
    ++matches;
    if (!c.all) break;
  } while (re.ExecAt(re.MatchPos(0) + std::max(re.MatchLen(0), 1)));
  return matches;
}

#ifdef VM_HAVE_PCRE2
long RunPcre2(const TCase& c, bool jit) {
  int error = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(c.pattern.c_str()), c.pattern.size(),
                                   c.caseless ? PCRE2_CASELESS : 0, &error, &offset, nullptr);
  if (jit && pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) != 0) {
    pcre2_code_free(code);
    return -1;
  }
  long matches = 0;
  if (!c.compile) {
    pcre2_match_data* md = pcre2_match_data_create_from_pattern(code, nullptr);
    PCRE2_SIZE start = 0;
    const auto* subject = reinterpret_cast<PCRE2_SPTR>(c.subject.data());
    while (pcre2_match(code, subject, c.subject.size(), start, 0, md, nullptr) > 0) {
      ++matches;
      PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md);
      start = ov[1] > ov[0] ? ov[1] : ov[0] + 1;
      if (!c.all || start > c.subject.size()) break;
    }
    pcre2_match_data_free(md);
  }
  pcre2_code_free(code);
  return matches;
}
#endif

#ifdef VM_HAVE_RE2
long RunRe2(const TCase& c) {
  RE2::Options options;
  options.set_case_sensitive(!c.caseless);
  options.set_log_errors(false);
  RE2 re(c.pattern, options);
  if (c.compile || !re.ok()) return 0;
  re2::StringPiece input(c.subject);
  re2::StringPiece match;
  long matches = 0;
  std::size_t pos = 0;
  while (pos <= input.size() && re.Match(input, pos, input.size(), RE2::UNANCHORED, &match, 1)) {
    ++matches;
    std::size_t end = std::size_t(match.data() - input.data()) + match.size();
    pos = match.empty() ? end + 1 : end;
    if (!c.all) break;
  }
  return matches;
}
#endif

long RunStd(const TCase& c) {
  auto flags = std::regex::ECMAScript | (c.caseless ? std::regex::icase : std::regex::ECMAScript);
  std::regex re(c.pattern, flags);
  if (c.compile) return 0;
  if (!c.all) return std::regex_search(c.subject, re) ? 1 : 0;
  return long(std::distance(std::sregex_iterator(c.subject.begin(), c.subject.end(), re), std::sregex_iterator()));
}

std::vector<TCase> Cases() {
  std::vector<TCase> cases;
  cases.push_back({"clientid-64k", kClientId, LocalState(64 << 10, true), true});
  cases.push_back({"clientid-4m-absent", kClientId, LocalState(4 << 20, false), true});
  cases.push_back({"compile-clientid", kClientId, "", true, false, true});
  const std::string text = EnglishText(1 << 20);
  cases.push_back({"text-literal", "Sherlock", text, false, true});
  cases.push_back({"text-alt5", "Sherlock|Holmes|Watson|river|window", text, false, true});
  cases.push_back({"text-ing", "[a-z]+ing", text, false, true});
  cases.push_back({"text-email", "\\b\\w+@\\w+\\.\\w+\\b", text, false, true});
  // The 'b' at the end keeps every engine from ruling the subject out at once; the 'c'
  // before it makes every way of splitting the a's fail first.
  for (int n : {25, 28, 30})
    cases.push_back({"backtrack-" + std::to_string(n), "(a|aa)*b", std::string(std::size_t(n), 'a') + "cb"});
  return cases;
}

const char* const kEngines[] = {"veilmark", "pcre2", "pcre2jit", "re2", "std"};

std::map<std::string, TRunner> Runners() {
  std::map<std::string, TRunner> runners;
  runners["veilmark"] = RunVeilmark;
#ifdef VM_HAVE_PCRE2
  runners["pcre2"] = [](const TCase& c) { return RunPcre2(c, false); };
  runners["pcre2jit"] = [](const TCase& c) { return RunPcre2(c, true); };
#endif
#ifdef VM_HAVE_RE2
  runners["re2"] = RunRe2;
#endif
  runners["std"] = RunStd;
  return runners;
}

// Keeps each benchmark's time per iteration (its median when repeated) for the summary.
class TSummaryReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      std::string name = run.run_name.function_name;
      double us = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e6;
      if (run.run_type == Run::RT_Aggregate || !Times.count(name)) Times[name] = us;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> Times;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const std::vector<TCase> cases = Cases();
  const auto runners = Runners();
  for (const TCase& c : cases) {
    long expected = RunVeilmark(c);
    for (const char* engine : kEngines) {
      auto runner = runners.find(engine);
      if (runner == runners.end()) continue;
      if (engine == std::string("std") && c.name.rfind("clientid-4m", 0) == 0) continue;  // minutes per run
      long got = runner->second(c);
      if (got < 0) continue;  // JIT not available here
      if (got != expected)
        std::printf("note: %s finds %ld matches in %s, veilmark %ld\n", engine, got, c.name.c_str(), expected);
      benchmark::RegisterBenchmark((c.name + "/" + engine).c_str(), [&c, runner](benchmark::State& state) {
        for (auto _ : state) benchmark::DoNotOptimize(runner->second(c));
      })->Unit(benchmark::kMicrosecond);
    }
  }
  TSummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  for (const TCase& c : cases) {
    std::string line = "bench " + c.name + ":";
    for (const char* engine : kEngines) {
      auto t = reporter.Times.find(c.name + "/" + engine);
      char figure[32];
      if (t == reporter.Times.end())
        std::snprintf(figure, sizeof figure, "-");
      else
        std::snprintf(figure, sizeof figure, "%.2f", t->second);
      line += std::string(" ") + engine + " " + figure;
    }
    std::printf("%s\n", line.c_str());
  }
  benchmark::Shutdown();
  return 0;
}

// The findings of a lint run and the report the renderers read.
//
// Plain owned values: rules build `Violation`s through the helpers in
// rules/rule_helpers, the engine assembles the `ComplianceReport`, and the
// renderers only read it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kvt {

struct CoverageDirectiveData;

enum class Severity : std::uint8_t { Error = 0, Warning = 1, Info = 2 };

std::string_view severity_text(Severity severity);
std::optional<Severity> parse_severity(std::string_view text);

// A machine-applicable edit: replace [start, end) of the source the rule read.
struct Fix {
  std::string replacement;
  std::string description;
  std::uint64_t start = 0;
  std::uint64_t end = 0;
};

struct Violation {
  std::string file;
  std::uint32_t line = 0;
  std::optional<std::uint32_t> column;  // 1-based, in characters
  std::string rule_id;
  Severity severity = Severity::Warning;
  std::string message;  // the catalogue title, or the front-end's text for parse problems
  std::optional<std::string> suggestion;
  std::optional<Fix> fix;
};

inline constexpr std::string_view kParseRuleId = "KVT-PARSE-000";

enum class CategoryStatus : std::uint8_t { Pass = 0, Fail = 1, Skipped = 2 };

std::string_view status_text(CategoryStatus status);
std::optional<CategoryStatus> parse_status(std::string_view text);

struct RecallStat {
  std::uint32_t tp = 0;
  std::uint32_t fn = 0;
  // "unmeasured", "limited (n=N)" or "P%".
  std::string label(std::uint32_t min_n) const;
  // 100 * tp / n rounded half up; only meaningful when n > 0.
  std::uint32_t percent() const;
};

struct CategorySummary {
  std::string category_id;
  std::string title;
  std::vector<Violation> violations;
  std::optional<RecallStat> recall;
  std::uint32_t rules_applied = 0;
  std::uint32_t rules_passed = 0;
  CategoryStatus status = CategoryStatus::Skipped;
};

struct SkippedRule {
  std::string rule_id;
  std::string reason;
};

struct RecallRun {
  std::string run_timestamp;
  std::string corpus_hash;
  std::uint32_t min_plants = 0;
  std::uint32_t papers = 0;
  std::uint32_t tp = 0;
  std::uint32_t fn = 0;
};

struct RuleSetInfo {
  std::optional<std::string> version;
  std::optional<std::string> fingerprint;
  std::optional<std::string> guide;
  std::optional<std::string> guide_date;
  std::optional<RecallRun> recall;

  std::optional<std::string> guide_source() const;
  // The recall threshold the renderers use: the run's min_plants, or 0 without a run.
  std::uint32_t min_plants() const { return recall ? recall->min_plants : 0; }
};

struct BaselineSummary {
  std::string path;
  std::optional<std::string> ruleset_version;
  std::uint32_t matched = 0;
  std::uint32_t stale = 0;
  std::uint32_t unevaluated = 0;
};

struct ComplianceReport {
  std::optional<double> compliance_percentage;
  std::string tool_version;
  std::string journal_id;
  std::vector<Violation> violations;
  std::vector<CategorySummary> categories;
  std::vector<SkippedRule> skipped_rules;
  std::optional<BaselineSummary> baseline;
  RuleSetInfo rule_set;
  std::span<const CoverageDirectiveData> coverage;
};

// The findings of each file, files in byte order, each file's findings in
// their order in `violations` (the author layouts print one table per file).
std::vector<std::vector<const Violation*>> violations_by_file(
    const std::vector<Violation>& violations);

// Stable sort by (file byte-wise, line, column with absent first, rule id byte-wise).
void sort_violations(std::vector<Violation>& violations);
bool violation_less(const Violation& a, const Violation& b);

}  // namespace kvt

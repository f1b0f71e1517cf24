// Hand-built reports for the renderer tests, and golden-file comparison.
//
// `no_input_report` is what a run without any input yields: sixteen skipped
// categories over the shipped rule set and coverage table. `sample_report`
// has two files, a fix, an insertion fix, a parse problem, a medium-confidence
// rule, a finding without column, an info severity, and non-ASCII and
// HTML-special characters in its texts.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "catalogue.hpp"
#include "coverage.hpp"
#include "engine.hpp"
#include "report.hpp"
#include "version.hpp"

namespace kvt::test {

inline RecallStat category_recall(const std::string& key) {
  RecallStat sum;
  for (const RuleMeta& rule : catalogue()) {
    if (rule.category != key) continue;
    const RecallStat one = recall(rule.id);
    sum.tp += one.tp;
    sum.fn += one.fn;
  }
  return sum;
}

inline ComplianceReport no_input_report() {
  ComplianceReport report;
  report.tool_version = std::string(kToolVersion);
  report.journal_id = "kvt";
  for (const CategoryInfo& category : categories()) {
    CategorySummary summary;
    summary.category_id = std::string(category.key);
    summary.title = std::string(category.title);
    summary.recall = category_recall(std::string(category.key));
    summary.status = CategoryStatus::Skipped;
    report.categories.push_back(summary);
  }
  const std::string reason = "format mismatch (rule formats=['rnw', 'tex']; inputs=[])";
  report.skipped_rules = {{"KVT-PRE-001", reason}, {"KVT-MARKUP-001", reason}};
  report.rule_set = rule_set();
  report.coverage = coverage::table();
  return report;
}

inline Violation finding(std::string file, std::uint32_t line, std::optional<std::uint32_t> column,
                         std::string rule_id, std::optional<std::string> suggestion) {
  Violation v;
  v.file = std::move(file);
  v.line = line;
  v.column = column;
  v.rule_id = std::move(rule_id);
  if (const RuleMeta* meta = lookup(v.rule_id)) {
    v.message = std::string(meta->title);
    v.severity = meta->severity;
  }
  v.suggestion = std::move(suggestion);
  return v;
}

inline ComplianceReport sample_report() {
  ComplianceReport report = no_input_report();
  report.skipped_rules.clear();

  Violation markup = finding("paper.tex", 3, 14, "KVT-MARKUP-001", "Wrap 'R' in \\proglang{R}.");
  markup.fix = Fix{"\\proglang{R}", "wrap 'R' in \\proglang{}", 40, 41};
  Violation parse = finding("paper.tex", 7, std::nullopt, std::string(kParseRuleId), std::nullopt);
  parse.severity = Severity::Error;
  parse.message = "Unclosed environment \u2018figure\u2019 \u2014 runs to end of file";
  Violation cap = finding("paper.tex", 9, 1, "KVT-CAP-002",
                          "Write 'Résumé Of Results & <More>' in sentence style.");
  Violation name = finding("refs.bib", 4, 11, "KVT-NAME-001", "use canonical form \"CRAN\"");
  name.severity = Severity::Info;
  name.fix = Fix{"CRAN", "use canonical form 'CRAN'", 100, 100};
  Violation key =
      finding("refs.bib", 12, std::nullopt, "KVT-BIBTEX-002", "Key 'smith2020' is used twice.");
  report.violations = {markup, parse, cap, name, key};

  struct Counts {
    CategoryStatus status;
    std::uint32_t applied, passed;
  };
  const Counts counts[] = {
      {CategoryStatus::Pass, 8, 8},   {CategoryStatus::Pass, 6, 6},    {CategoryStatus::Fail, 4, 3},
      {CategoryStatus::Pass, 4, 4},   {CategoryStatus::Skipped, 0, 0}, {CategoryStatus::Fail, 5, 4},
      {CategoryStatus::Fail, 2, 1},   {CategoryStatus::Fail, 4, 3},    {CategoryStatus::Pass, 4, 4},
      {CategoryStatus::Pass, 1, 1},   {CategoryStatus::Pass, 3, 3},    {CategoryStatus::Pass, 1, 1},
      {CategoryStatus::Pass, 4, 4},   {CategoryStatus::Pass, 7, 7},    {CategoryStatus::Pass, 3, 3},
      {CategoryStatus::Skipped, 0, 0}};
  for (std::size_t i = 0; i < 16; ++i) {
    report.categories[i].status = counts[i].status;
    report.categories[i].rules_applied = counts[i].applied;
    report.categories[i].rules_passed = counts[i].passed;
  }
  report.categories[2].violations = {markup};
  report.categories[5].violations = {key};
  report.categories[6].violations = {name};
  report.categories[7].violations = {cap};
  CategorySummary problems;
  problems.category_id = "parse";
  problems.title = "Parse errors";
  problems.violations = {parse};
  problems.recall = RecallStat{0, 0};
  problems.status = CategoryStatus::Fail;
  report.categories.push_back(problems);
  report.compliance_percentage = 71.4;  // 10 of 14 qualifying categories pass
  return report;
}

// Compares `actual` with tests/golden/`name`. With KVT_UPDATE_GOLDEN=1 in the
// environment the file is rewritten from `actual` instead, for review in the diff.
inline void expect_golden(const std::string& name, const std::string& actual) {
  const std::string path = std::string(KVT_SOURCE_DIR) + "/kvtlint-core/tests/golden/" + name;
  if (const char* update = std::getenv("KVT_UPDATE_GOLDEN"); update && std::string(update) == "1") {
    std::ofstream(path, std::ios::binary) << actual;
    GTEST_SKIP() << "rewrote " << path;
  }
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in) << "missing golden file " << path;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  const std::string expected = buffer.str();
  if (actual == expected) return;
  // Point at the first differing line; a whole-document diff would drown it.
  std::istringstream a(actual), e(expected);
  std::string actual_line, expected_line;
  for (int number = 1;; ++number) {
    const bool more_a = static_cast<bool>(std::getline(a, actual_line));
    const bool more_e = static_cast<bool>(std::getline(e, expected_line));
    if (!more_a && !more_e) break;
    if (more_a != more_e || actual_line != expected_line) {
      ADD_FAILURE() << path << ":" << number << " differs\n  expected: " << expected_line
                    << "\n  actual:   " << actual_line;
      return;
    }
  }
  ADD_FAILURE() << path << " differs in its final line feed";
}

}  // namespace kvt::test

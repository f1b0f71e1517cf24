// Times every report renderer on one report of 100,000 findings spread over
// 40 files, with wrapped multi-line table cells, fixes and parse problems.
#include <chrono>
#include <cstdio>
#include <string>

#include "catalogue.hpp"
#include "config.hpp"
#include "coverage.hpp"
#include "html_output.hpp"
#include "json_output.hpp"
#include "report.hpp"
#include "sarif.hpp"
#include "terminal.hpp"
#include "version.hpp"

namespace {

kvt::ComplianceReport big_report(std::size_t findings) {
  kvt::ComplianceReport report;
  report.tool_version = std::string(kvt::kToolVersion);
  report.journal_id = "kvt";
  report.rule_set = kvt::rule_set();
  report.coverage = kvt::coverage::table();
  const auto rules = kvt::catalogue();
  report.violations.reserve(findings);
  for (std::size_t i = 0; i < findings; ++i) {
    kvt::Violation v;
    v.file = "chapters/section-" + std::to_string(i % 40) + ".tex";
    v.line = static_cast<std::uint32_t>(i / 40 + 1);
    if (i % 7 == 0) {
      v.rule_id = std::string(kvt::kParseRuleId);
      v.severity = kvt::Severity::Error;
      v.message = "Unclosed group \u2014 runs to end of file";
    } else {
      const kvt::RuleMeta& rule = rules[i % rules.size()];
      v.rule_id = std::string(rule.id);
      v.severity = rule.severity;
      v.message = std::string(rule.title);
      v.column = static_cast<std::uint32_t>(i % 80 + 1);
      v.suggestion =
          "Replace 'na\u00efve estimat\u00e9' with the form the guide asks for, "
          "keeping the surrounding sentence as it is.";
      if (i % 3 == 0) v.fix = kvt::Fix{"\\proglang{R}", "wrap in \\proglang{}", i, i + 1};
    }
    report.violations.push_back(std::move(v));
  }
  kvt::sort_violations(report.violations);
  return report;
}

template <typename Render>
void time_one(const char* name, Render render) {
  const auto start = std::chrono::steady_clock::now();
  const std::string out = render();
  const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
  std::printf("%-24s %8.3f s  %10zu bytes\n", name, spent.count(), out.size());
}

}  // namespace

void run_render_bench() {
  const kvt::ComplianceReport report = big_report(100000);
  kvt::ToolConfig author;
  kvt::ToolConfig reviewer;
  reviewer.mode = kvt::ReportMode::Reviewer;
  time_one("terminal (author)", [&] { return kvt::terminal::render(report, author); });
  time_one("terminal (reviewer)", [&] { return kvt::terminal::render(report, reviewer); });
  time_one("json", [&] { return kvt::json_output::render(report); });
  time_one("sarif", [&] { return kvt::sarif::render(report, author); });
  time_one("html (author)", [&] { return kvt::html_output::render(report, false); });
  time_one("html (reviewer)", [&] { return kvt::html_output::render(report, true); });
}

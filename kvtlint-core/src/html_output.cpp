#include "html_output.hpp"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "catalogue.hpp"
#include "coverage.hpp"
#include "terminal.hpp"

namespace kvt::html_output {

namespace {

constexpr std::string_view kAuthorStyle =
    "  body { font-family: -apple-system, Segoe UI, Roboto, sans-serif; margin: 2rem; color: "
    "#222; }\n"
    "  h1 { margin-top: 0; }\n"
    "  h2 { border-bottom: 1px solid #ccc; padding-bottom: 0.25rem; margin-top: 2rem; }\n"
    "  table { border-collapse: collapse; width: 100%; margin-top: 0.5rem; }\n"
    "  th, td { border: 1px solid #ddd; padding: 0.4rem 0.6rem; text-align: left; "
    "vertical-align: top; font-size: 0.9rem; }\n"
    "  th { background: #f5f5f5; }\n"
    "  .sev-error { color: #b00020; font-weight: 600; }\n"
    "  .sev-warning { color: #b8860b; font-weight: 600; }\n"
    "  .loc { font-family: ui-monospace, SFMono-Regular, Menlo, monospace; white-space: nowrap; "
    "}\n"
    "  .rid { font-family: ui-monospace, SFMono-Regular, Menlo, monospace; }\n"
    "  .none { color: #888; font-style: italic; }\n"
    "  .ok { color: #2a7a2a; font-weight: 600; }\n";

constexpr std::string_view kReviewerStyle =
    "  body { font-family: -apple-system, Segoe UI, Roboto, sans-serif; margin: 2rem; color: "
    "#222; }\n"
    "  h1 { margin-top: 0; }\n"
    "  table { border-collapse: collapse; width: 100%; margin-top: 0.5rem; }\n"
    "  th, td { border: 1px solid #ddd; padding: 0.5rem 0.75rem; font-size: 0.95rem; }\n"
    "  th { background: #f5f5f5; text-align: left; }\n"
    "  .num { text-align: right; font-variant-numeric: tabular-nums; }\n"
    "  .status-PASS { color: #2a7a2a; font-weight: 600; }\n"
    "  .status-FAIL { color: #b00020; font-weight: 600; }\n"
    "  .status-SKIPPED { color: #777; font-weight: 600; }\n"
    "  .overall { font-size: 1.6rem; margin-top: 1rem; }\n"
    "  .overall.none { color: #777; }\n";

void append_escaped(std::string& out, std::string_view text) {
  while (!text.empty()) {
    const std::size_t special = text.find_first_of("&<>\"'");
    out.append(text.substr(0, special));
    if (special == std::string_view::npos) return;
    const char c = text[special];
    text.remove_prefix(special + 1);
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&#34;";
        break;
      default:
        out += "&#39;";
    }
  }
}

void append_section_cell(std::string& out, std::string_view rule_id) {
  const RuleMeta* meta = lookup(rule_id);
  if (meta && meta->url && !meta->section.empty() && meta->section != "internal") {
    out += "<a href=\"";
    append_escaped(out, *meta->url);
    out += "\">";
    append_escaped(out, meta->section);
    out += "</a>";
    return;
  }
  out += "<span class=\"none\">internal</span>";
}

void append_row(std::string& out, const Violation& v) {
  out += "\n    \n    <tr>\n      <td class=\"loc\">";
  out += std::to_string(v.line);
  if (v.column) {
    out += ':';
    out += std::to_string(*v.column);
  }
  const std::string_view severity = severity_text(v.severity);
  out += "</td>\n      <td class=\"sev-";
  out += severity;
  out += "\">";
  out += severity;
  out += "</td>\n      <td class=\"rid\">";
  append_escaped(out, v.rule_id);
  out += "</td>\n      <td>";
  append_escaped(out, v.message);
  out += "</td>\n      <td>";
  append_section_cell(out, v.rule_id);
  out += "</td>\n      <td>";
  if (v.suggestion && !v.suggestion->empty()) {
    append_escaped(out, *v.suggestion);
  } else {
    out += "<span class=\"none\">—</span>";
  }
  out += "</td>\n    </tr>\n  ";
}

// Lines of `text` as a line-oriented reader sees them: a final line feed ends
// the last line instead of starting an empty one, and a carriage return that
// ends a line belongs to the line break.
std::vector<std::string_view> text_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = next;
  }
  return lines;
}

void append_head(std::string& out, std::string_view title, std::string_view journal,
                 std::string_view style) {
  out += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>";
  out += title;
  append_escaped(out, journal);
  out += "</title>\n<style>\n";
  out += style;
  out += "</style>\n</head>\n<body>\n";
}

}  // namespace

std::string escape_html(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  append_escaped(out, text);
  return out;
}

std::string baseline_note(const ComplianceReport& report) {
  if (!report.baseline) return std::string();
  const BaselineSummary& baseline = *report.baseline;
  std::string out =
      "<p class=\"note\">Baseline: " + std::to_string(baseline.matched) + " findings hidden by ";
  append_escaped(out, baseline.path);
  out += " (" + std::to_string(baseline.stale) + " stale, " + std::to_string(baseline.unevaluated) +
         " unevaluated)";
  const auto& current = report.rule_set.version;
  if (baseline.ruleset_version && current && *baseline.ruleset_version != *current) {
    out += " — written for rule set " + *baseline.ruleset_version + ", current " + *current +
           "; run --update-baseline";
  }
  out += "</p>\n";
  return out;
}

std::string render_author(const ComplianceReport& report) {
  std::string out;
  out.reserve(4096 + report.violations.size() * 400);
  append_head(out, "kvt-lint report — ", report.journal_id, kAuthorStyle);
  out += "<h1>kvt-lint report</h1>\n<p>Journal: <strong>";
  append_escaped(out, report.journal_id);
  out += "</strong> · Tool version: <code>";
  append_escaped(out, report.tool_version);
  out += "</code></p>\n";

  const auto& all = report.violations;
  if (all.empty()) {
    out += "\n<p class=\"ok\">No violations found.</p>\n\n";
  } else {
    out += "\n";
    for (const auto& group : violations_by_file(all)) {
      out += "\n<h2>";
      append_escaped(out, group.front()->file);
      out +=
          "</h2>\n<table>\n  <thead>\n    "
          "<tr><th>Line:Col</th><th>Severity</th><th>Rule</th><th>Message</th><th>Section</"
          "th><th>Suggestion</th></tr>\n  </thead>\n  <tbody>\n  ";
      for (const Violation* v : group)
        append_row(out, *v);
      out += "\n  </tbody>\n</table>\n";
    }
    out += "\n\n";
  }

  out += "<p class=\"note\">";
  const std::string footer = terminal::author_footer_text(report);
  bool first_line = true;
  for (std::string_view line : text_lines(footer)) {
    if (!first_line) out += "<br>";
    append_escaped(out, line);
    first_line = false;
  }
  out += "</p>\n";
  out += baseline_note(report);
  out += "</body>\n</html>\n";
  return out;
}

std::string render_reviewer(const ComplianceReport& report) {
  std::string out;
  out.reserve(16384);
  append_head(out, "kvt-lint compliance — ", report.journal_id, kReviewerStyle);
  out += "<h1>Journal compliance — ";
  append_escaped(out, report.journal_id);
  out += "</h1>\n<p>Tool version: <code>";
  append_escaped(out, report.tool_version);
  out +=
      "</code></p>\n<table>\n  <thead>\n    <tr><th>Category</th><th>Status</th><th "
      "class=\"num\">Applied</th><th class=\"num\">Passed</th><th>Recall</th></tr>\n  "
      "</thead>\n  <tbody>\n  ";

  const std::uint32_t threshold = report.rule_set.min_plants();
  for (const CategorySummary& category : report.categories) {
    const std::string_view status = status_text(category.status);
    out += "\n    <tr>\n      <td>";
    append_escaped(out, category.title);
    out += "</td>\n      <td class=\"status-";
    out += status;
    out += "\">";
    out += status;
    out += "</td>\n      <td class=\"num\">";
    out += std::to_string(category.rules_applied);
    out += "</td>\n      <td class=\"num\">";
    out += std::to_string(category.rules_passed);
    out += "</td>\n      <td>";
    append_escaped(out, category.recall ? category.recall->label(threshold) : "n/a");
    out += "</td>\n    </tr>\n  ";
  }
  out += "\n  </tbody>\n</table>\n\n";

  if (report.compliance_percentage) {
    out += "<p class=\"overall\">Overall: <strong>";
    out += terminal::percent_one_decimal(*report.compliance_percentage);
    out += "%</strong></p>\n";
  } else {
    out += "<p class=\"overall none\">Overall: n/a</p>\n";
  }
  out += "\n";

  if (const auto line = terminal::measured_recall_line(report)) {
    out += "<p class=\"note\">";
    append_escaped(out, *line);
    out += "</p>\n";
  }

  if (!report.coverage.empty()) {
    out += "<h2>Not checked by kvt-lint</h2>\n";
    const auto gaps = coverage::gaps(report.coverage);
    if (!gaps.empty()) {
      out +=
          "<table class=\"coverage\">\n  <thead>\n    "
          "<tr><th>Directive</th><th>Status</th><th>Provision</th></tr>\n  </thead>\n  <tbody>\n  ";
      for (const CoverageDirectiveData* gap : gaps) {
        out += "\n    <tr>\n      <td>";
        append_escaped(out, gap->id);
        out += "</td>\n      <td>";
        out += gap->status == "partial" ? "partial" : "not checked";
        out += "</td>\n      <td>";
        append_escaped(out, gap->text);
        out += "</td>\n    </tr>\n  ";
      }
      out += "\n  </tbody>\n</table>\n";
    }
    out += "<p class=\"note\">";
    append_escaped(out, "Run kvt-lint coverage for the full matrix (" +
                            coverage::counts_line(report.coverage) + ").");
    out += "</p>\n";
  }

  out += baseline_note(report);
  out += "</body>\n</html>\n";
  return out;
}

std::string render(const ComplianceReport& report, bool reviewer) {
  return reviewer ? render_reviewer(report) : render_author(report);
}

}  // namespace kvt::html_output

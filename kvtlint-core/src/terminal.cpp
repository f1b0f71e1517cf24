#include "terminal.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "catalogue.hpp"
#include "coverage.hpp"
#include "text.hpp"

namespace kvt::terminal {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kConsoleWidth = 120;

constexpr std::string_view kLight = "─";        // U+2500
constexpr std::string_view kHeavy = "━";        // U+2501
constexpr std::string_view kLightV = "│";       // U+2502
constexpr std::string_view kHeavyV = "┃";       // U+2503
constexpr std::string_view kTopLeft = "┏";      // U+250F
constexpr std::string_view kTopRight = "┓";     // U+2513
constexpr std::string_view kBottomLeft = "└";   // U+2514
constexpr std::string_view kBottomRight = "┘";  // U+2518
constexpr std::string_view kHeadLeft = "┡";     // U+2521
constexpr std::string_view kHeadRight = "┩";    // U+2529
constexpr std::string_view kTopTee = "┳";       // U+2533
constexpr std::string_view kBottomTee = "┴";    // U+2534
constexpr std::string_view kHeadCross = "╇";    // U+2547
constexpr std::string_view kEllipsis = "…";     // U+2026

void append_repeat(std::string& out, std::string_view piece, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i)
    out += piece;
}

void append_spaces(std::string& out, std::size_t count) {
  out.append(count, ' ');
}

// `justify`, written straight into the output.
void append_justified(std::string& out, std::string_view text, std::size_t width, bool right) {
  const std::size_t count = char_count(text);
  const std::size_t pad = count < width ? width - count : 0;
  if (right) out.append(pad, ' ');
  out += text;
  if (!right) out.append(pad, ' ');
}

// Splits at line feeds; a trailing line feed gives a final empty piece and the
// empty text gives one empty piece.
std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (true) {
    const std::size_t nl = text.find('\n', start);
    if (nl == std::string_view::npos) {
      lines.push_back(text.substr(start));
      return lines;
    }
    lines.push_back(text.substr(start, nl - start));
    start = nl + 1;
  }
}

// `n` / `d` rounded to the nearest whole number, halves to even.
std::size_t div_round_half_even(std::size_t n, std::size_t d) {
  const std::size_t q = n / d;
  const std::size_t r = n % d;
  if (2 * r > d || (2 * r == d && q % 2 == 1)) return q + 1;
  return q;
}

// Shrinks the wrappable columns, widest first, until the table fits the console.
void fit_widths(std::vector<std::size_t>& widths, std::span<const Column> columns) {
  const std::size_t n = columns.size();
  const std::size_t limit = kConsoleWidth - 1 - n;
  const bool any_shrinkable =
      std::any_of(columns.begin(), columns.end(), [](const Column& c) { return !c.no_wrap; });
  if (!any_shrinkable) return;
  auto total = [&] {
    std::size_t sum = 0;
    for (std::size_t w : widths)
      sum += w;
    return sum;
  };
  std::size_t sum = total();
  while (sum > limit) {
    const std::size_t excess = sum - limit;
    std::size_t widest = 0;
    for (std::size_t i = 0; i < n; ++i)
      if (!columns[i].no_wrap) widest = std::max(widest, widths[i]);
    std::size_t second = 0;
    for (std::size_t i = 0; i < n; ++i)
      if (!columns[i].no_wrap && widths[i] != widest) second = std::max(second, widths[i]);
    if (widest == second) return;
    std::vector<std::size_t> targets;
    for (std::size_t i = 0; i < n; ++i)
      if (!columns[i].no_wrap && widths[i] == widest) targets.push_back(i);
    const std::size_t k = targets.size();
    std::size_t remaining = excess;
    const std::size_t step = std::min(widest - second, excess);
    for (std::size_t j = 0; j < k; ++j) {
      const std::size_t d = std::min(step, div_round_half_even(remaining, k - j));
      std::size_t& width = widths[targets[j]];
      width = width > d ? width - d : 0;
      remaining -= d;
    }
    sum = total();
  }
}

void append_border(std::string& out, const std::vector<std::size_t>& widths, std::string_view left,
                   std::string_view fill, std::string_view tee, std::string_view right) {
  out += left;
  for (std::size_t i = 0; i < widths.size(); ++i) {
    append_repeat(out, fill, widths[i]);
    out += i + 1 < widths.size() ? tee : right;
  }
  out += '\n';
}

// The text width inside a column's two padding spaces.
std::size_t inner_width(std::size_t width) {
  return width > 2 ? width - 2 : 0;
}

void append_table(std::string& out, const std::optional<std::string>& title,
                  std::span<const Column> columns, std::span<const Row> rows) {
  const std::size_t n = columns.size();
  std::vector<std::size_t> widths(n);
  for (std::size_t i = 0; i < n; ++i) {
    std::size_t width = measure_cell(columns[i].header);
    for (const Row& row : rows)
      if (i < row.size()) width = std::max(width, measure_cell(row[i]));
    widths[i] = width + 2;
  }
  fit_widths(widths, columns);

  if (title) {
    std::size_t table_width = n + 1;
    for (std::size_t w : widths)
      table_width += w;
    const std::size_t title_width = char_count(*title);
    if (title_width < table_width) {
      const std::size_t pad = table_width - title_width;
      append_spaces(out, pad / 2);
      out += *title;
      append_spaces(out, pad - pad / 2);
    } else {
      out += *title;
    }
    out += '\n';
  }

  append_border(out, widths, kTopLeft, kHeavy, kTopTee, kTopRight);
  out += kHeavyV;
  for (std::size_t i = 0; i < n; ++i) {
    out += ' ';
    append_justified(out, columns[i].header, inner_width(widths[i]), false);
    out += ' ';
    out += kHeavyV;
  }
  out += '\n';
  append_border(out, widths, kHeadLeft, kHeavy, kHeadCross, kHeadRight);

  std::vector<std::vector<std::string>> cells(n);
  for (const Row& row : rows) {
    std::size_t height = 0;
    for (std::size_t i = 0; i < n; ++i) {
      cells[i] = wrap_cell(i < row.size() ? std::string_view(row[i]) : std::string_view(),
                           inner_width(widths[i]));
      height = std::max(height, cells[i].size());
    }
    for (std::size_t line = 0; line < height; ++line) {
      out += kLightV;
      for (std::size_t i = 0; i < n; ++i) {
        out += ' ';
        const std::string_view text =
            line < cells[i].size() ? std::string_view(cells[i][line]) : std::string_view();
        append_justified(out, text, inner_width(widths[i]), columns[i].justify_right);
        out += ' ';
        out += kLightV;
      }
      out += '\n';
    }
  }
  append_border(out, widths, kBottomLeft, kLight, kBottomTee, kBottomRight);
}

// Cuts one line (no line feeds) into pieces of at most `width` characters.
void wrap_line(std::string_view line, std::size_t width, std::vector<std::string>& out) {
  const std::u32string chars = decode_utf8(line);
  const std::size_t len = chars.size();
  std::vector<std::size_t> breaks;
  // Words are a run of non-blanks with the blanks after it; the first word also
  // carries the blanks before it.
  std::size_t i = 0;
  while (i < len && is_unicode_whitespace(chars[i]))
    ++i;
  std::size_t start = 0;
  std::int64_t column = 0;
  const auto limit = static_cast<std::int64_t>(width);
  while (i < len) {
    while (i < len && !is_unicode_whitespace(chars[i]))
      ++i;
    const auto bare = static_cast<std::int64_t>(i - start);
    while (i < len && is_unicode_whitespace(chars[i]))
      ++i;
    const auto full = static_cast<std::int64_t>(i - start);
    if (limit - column >= bare) {
      column += full;
    } else if (bare <= limit) {
      breaks.push_back(start);
      column = full;
    } else {
      if (start != 0) breaks.push_back(start);
      column = bare;
    }
    start = i;
  }
  breaks.push_back(len);
  std::size_t from = 0;
  for (std::size_t to : breaks) {
    std::size_t end = to;
    while (end > from && is_unicode_whitespace(chars[end - 1]))
      --end;
    const std::string piece = encode_utf8(std::u32string_view(chars).substr(from, end - from));
    out.push_back(truncate_ellipsis(piece, width));
    from = to;
  }
}

std::string findings_location(const Violation& v) {
  std::string text = std::to_string(v.line);
  if (v.column) {
    text += ':';
    text += std::to_string(*v.column);
  }
  return text;
}

Row findings_row(const Violation& v) {
  const RuleMeta* meta = lookup(v.rule_id);
  std::string rule = v.rule_id;
  std::string message = v.message;
  if (meta) {
    if (meta->confidence != Confidence::High) {
      rule += "\n(";
      rule += confidence_text(meta->confidence);
      rule += " conf.)";
    }
    if (!meta->section.empty() && meta->section != "internal") {
      message += " (see ";
      message += meta->section;
      message += ')';
    }
  }
  return Row{findings_location(v), std::string(severity_text(v.severity)), std::move(rule),
             std::move(message), v.suggestion.value_or(std::string())};
}

const std::vector<Column>& findings_columns() {
  static const std::vector<Column> columns = {{"Line:Col", true, false},
                                              {"Severity", true, false},
                                              {"Rule", true, false},
                                              {"Message", false, false},
                                              {"Suggestion", false, false}};
  return columns;
}

void append_author(std::string& out, const ComplianceReport& report) {
  std::vector<Row> rows;
  for (const auto& group : violations_by_file(report.violations)) {
    rows.clear();
    for (const Violation* v : group)
      rows.push_back(findings_row(*v));
    out += rule_line(display_path(group.front()->file));
    out += '\n';
    append_table(out, std::nullopt, findings_columns(), rows);
  }
  out += author_footer_text(report);
  out += '\n';
}

void append_reviewer(std::string& out, const ComplianceReport& report) {
  static const std::vector<Column> compliance = {{"Category", true, false},
                                                 {"Status", true, false},
                                                 {"Applied", false, true},
                                                 {"Passed", false, true},
                                                 {"Recall", true, false}};
  const std::uint32_t min_n = report.rule_set.min_plants();
  std::vector<Row> rows;
  rows.reserve(report.categories.size());
  for (const CategorySummary& category : report.categories) {
    rows.push_back(Row{category.title, std::string(status_text(category.status)),
                       std::to_string(category.rules_applied),
                       std::to_string(category.rules_passed),
                       category.recall ? category.recall->label(min_n) : std::string("n/a")});
  }
  append_table(out, "Journal compliance — " + report.journal_id, compliance, rows);

  out += "Overall: ";
  out += report.compliance_percentage ? percent_one_decimal(*report.compliance_percentage) + "%"
                                      : std::string("n/a");
  out += '\n';
  if (const auto recall_line = measured_recall_line(report)) {
    out += *recall_line;
    out += '\n';
  }

  if (!report.coverage.empty()) {
    out += rule_line("Not checked by kvt-lint");
    out += '\n';
    const auto gaps = coverage::gaps(report.coverage);
    if (!gaps.empty()) {
      static const std::vector<Column> not_checked = {
          {"Directive", true, false}, {"Status", true, false}, {"Provision", false, false}};
      std::vector<Row> gap_rows;
      for (const CoverageDirectiveData* gap : gaps) {
        gap_rows.push_back(Row{std::string(gap->id),
                               gap->status == "partial" ? "partial" : "not checked",
                               std::string(gap->text)});
      }
      append_table(out, std::nullopt, not_checked, gap_rows);
    }
    out += "Run kvt-lint coverage for the full matrix (";
    out += coverage::counts_line(report.coverage);
    out += ").\n";
  }
}

void append_tail(std::string& out, const ComplianceReport& report, bool verbose) {
  if (const auto& baseline = report.baseline) {
    out += "Baseline: " + std::to_string(baseline->matched) + " findings hidden by " +
           baseline->path + " (" + std::to_string(baseline->stale) + " stale, " +
           std::to_string(baseline->unevaluated) + " unevaluated)";
    const auto& current = report.rule_set.version;
    if (baseline->ruleset_version && current && *baseline->ruleset_version != *current) {
      out += " — written for rule set " + *baseline->ruleset_version + ", current " + *current +
             "; run --update-baseline";
    }
    out += '\n';
  }
  if (verbose && !report.skipped_rules.empty()) {
    static const std::vector<Column> skipped = {{"Rule", true, false}, {"Reason", false, false}};
    out += rule_line("Skipped rules");
    out += '\n';
    std::vector<Row> rows;
    rows.reserve(report.skipped_rules.size());
    for (const SkippedRule& rule : report.skipped_rules)
      rows.push_back(Row{rule.rule_id, rule.reason});
    append_table(out, std::nullopt, skipped, rows);
  }
}

// Components of `path` that carry a name: "." and the empty piece a trailing
// separator leaves are dropped so that "cwd/./a" and "cwd/a" compare alike.
std::vector<fs::path> meaningful_components(const fs::path& path) {
  std::vector<fs::path> parts;
  for (const fs::path& part : path) {
    if (part.empty() || part == ".") continue;
    parts.push_back(part);
  }
  return parts;
}

}  // namespace

std::string render(const ComplianceReport& report, const ToolConfig& config) {
  std::string out;
  out.reserve(4096 + report.violations.size() * 256);
  if (config.mode == ReportMode::Reviewer) {
    append_reviewer(out, report);
  } else {
    append_author(out, report);
  }
  append_tail(out, report, config.verbose);
  return out;
}

std::string render_table(const std::optional<std::string>& title, std::span<const Column> columns,
                         std::span<const Row> rows) {
  std::string out;
  append_table(out, title, columns, rows);
  return out;
}

std::size_t measure_cell(std::string_view text) {
  std::size_t widest = 0;
  for (std::string_view line : split_lines(text))
    widest = std::max(widest, char_count(line));
  return widest;
}

std::vector<std::string> wrap_cell(std::string_view text, std::size_t width) {
  std::vector<std::string> lines;
  for (std::string_view line : split_lines(text)) {
    if (width == 0) {
      lines.emplace_back(line);
    } else if (char_count(line) <= width) {
      // Every word fits, so there is no break; only the trailing blanks go.
      lines.emplace_back(trim_end_unicode_ws(line));
    } else {
      wrap_line(line, width, lines);
    }
  }
  return lines;
}

std::string justify(std::string_view text, std::size_t width, bool right) {
  const std::size_t count = char_count(text);
  std::string out;
  if (count >= width) {
    out = text;
    return out;
  }
  out.reserve(text.size() + (width - count));
  if (right) append_spaces(out, width - count);
  out += text;
  if (!right) append_spaces(out, width - count);
  return out;
}

std::string truncate_ellipsis(std::string_view text, std::size_t width) {
  if (width == 0) return std::string();
  if (char_count(text) <= width) return std::string(text);
  std::string out(text.substr(0, byte_offset_of_char(text, width - 1)));
  out += kEllipsis;
  return out;
}

std::string rule_line(std::string_view title) {
  std::string out;
  if (title.empty()) {
    append_repeat(out, kLight, kConsoleWidth);
    return out;
  }
  std::string flat(title);
  std::replace(flat.begin(), flat.end(), '\n', ' ');
  const std::string shown = truncate_ellipsis(flat, kConsoleWidth - 4);
  const std::size_t b = char_count(shown);
  const std::size_t half = b > kConsoleWidth ? 0 : (kConsoleWidth - b) / 2;
  const std::size_t lead = half == 0 ? 0 : half - 1;
  append_repeat(out, kLight, lead);
  out += ' ';
  out += shown;
  out += ' ';
  const std::size_t used = lead + b + 2;
  if (used < kConsoleWidth) {
    append_repeat(out, kLight, kConsoleWidth - used);
  } else if (used > kConsoleWidth) {
    // Cannot happen with the 116-character cut above; keep the line exact anyway.
    out = truncate_ellipsis(out, kConsoleWidth);
  }
  return out;
}

std::string author_footer_text(const ComplianceReport& report) {
  const auto& run = report.rule_set.recall;
  if (!run) return "kvt-lint has no recall or coverage data for journal " + report.journal_id + ".";
  const RecallStat stat{run->tp, run->fn};
  const std::uint64_t annotated = static_cast<std::uint64_t>(run->tp) + run->fn;
  std::string text =
      "No findings does not mean compliant. Measured recall: " + stat.label(run->min_plants) +
      " (" + std::to_string(annotated) + " annotated instances, " + std::to_string(run->papers) +
      " papers).";
  if (!report.coverage.empty()) {
    text += '\n';
    text += coverage::footer_sentence(report.coverage);
  }
  return text;
}

std::optional<std::string> measured_recall_line(const ComplianceReport& report) {
  const auto& run = report.rule_set.recall;
  if (!run) return std::nullopt;
  const RecallStat stat{run->tp, run->fn};
  const std::uint64_t annotated = static_cast<std::uint64_t>(run->tp) + run->fn;
  const std::string_view stamp = run->run_timestamp;
  const std::string_view date = stamp.substr(0, stamp.find('T'));
  return "Measured recall: " + stat.label(run->min_plants) + " (" + std::to_string(annotated) +
         " annotated instances, " + std::to_string(run->papers) + " papers, run " +
         std::string(date) + ")";
}

std::string percent_one_decimal(double value) {
  char buffer[64];
  const int written = std::snprintf(buffer, sizeof buffer, "%.1f", value);
  if (written < 0) return std::string();
  return std::string(buffer,
                     std::min<std::size_t>(static_cast<std::size_t>(written), sizeof buffer - 1));
}

std::string display_path(const std::string& file) {
  std::error_code ec;
  const fs::path cwd = fs::current_path(ec);
  if (ec || cwd.empty()) return file;
  const fs::path given(file);
  fs::path resolved = fs::canonical(given, ec);
  if (ec) resolved = given.is_absolute() ? given : cwd / given;

  const auto base = meaningful_components(cwd);
  const auto parts = meaningful_components(resolved);
  if (parts.size() < base.size() || !std::equal(base.begin(), base.end(), parts.begin()))
    return file;
  std::string shown;
  for (std::size_t i = base.size(); i < parts.size(); ++i) {
    if (!shown.empty()) shown += '/';
    shown += parts[i].string();
  }
  return sanitize_utf8(shown);
}

}  // namespace kvt::terminal

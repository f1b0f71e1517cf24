// The plain-text report for a 120-column console.
//
// Author mode prints one boxed table of findings per input file; reviewer mode
// prints the compliance summary by category and the guide provisions no rule
// checks. Tables are sized to their content, shrunk to fit 120 characters and
// word-wrapped; widths count characters (Unicode scalar values). The output
// never contains terminal escape sequences.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "config.hpp"
#include "report.hpp"

namespace kvt::terminal {

// One table column. Headers are always left-aligned; `justify_right` applies to
// body cells. A `no_wrap` column is never shrunk by the fitting step.
struct Column {
  std::string header;
  bool no_wrap = false;
  bool justify_right = false;
};

// One cell per column; a cell's text may contain line feeds.
using Row = std::vector<std::string>;

// The whole report: the author or reviewer layout chosen by `config.mode`,
// followed by the baseline line and, when `config.verbose`, the skipped rules.
std::string render(const ComplianceReport& report, const ToolConfig& config);

// A boxed table, optionally preceded by a centred title line. Every line,
// including the last, ends with a line feed.
std::string render_table(const std::optional<std::string>& title, std::span<const Column> columns,
                         std::span<const Row> rows);

// The longest line of `text` in characters (0 for the empty text).
std::size_t measure_cell(std::string_view text);
// Word-wraps each line of `text` to `width` characters; words longer than the
// width are cut with an ellipsis. Width 0 leaves the lines unchanged.
std::vector<std::string> wrap_cell(std::string_view text, std::size_t width);
// Pads `text` with spaces to `width` characters (on the left when `right`).
std::string justify(std::string_view text, std::size_t width, bool right);
// `text` cut to `width` characters, the last one replaced by "…" when cut.
std::string truncate_ellipsis(std::string_view text, std::size_t width);
// A 120-character horizontal rule with `title` centred in it.
std::string rule_line(std::string_view title);

// The closing sentence(s) of the author layout, also used by the HTML page.
std::string author_footer_text(const ComplianceReport& report);
// "Measured recall: ..." for the reviewer layouts; absent without a recall run.
std::optional<std::string> measured_recall_line(const ComplianceReport& report);

// `value` with exactly one decimal, as "%.1f" writes it ("66.7", "100.0").
std::string percent_one_decimal(double value);

// How a finding's file is shown: relative to the current working directory
// when it lies under it, otherwise exactly as the caller passed it.
std::string display_path(const std::string& file);

}  // namespace kvt::terminal

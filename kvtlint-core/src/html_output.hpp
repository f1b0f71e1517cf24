// The self-contained HTML report pages.
//
// The author page lists every finding grouped by file, with its guide section
// and suggestion; the reviewer page shows the compliance table by category,
// the overall score, the measured recall and the guide provisions no rule
// checks. Each page carries its own style sheet and loads nothing. Inserted
// texts are escaped; the footer and recall sentences are the terminal ones.
#pragma once

#include <string>
#include <string_view>

#include "report.hpp"

namespace kvt::html_output {

// The reviewer page when `reviewer`, else the author page.
std::string render(const ComplianceReport& report, bool reviewer);
std::string render_author(const ComplianceReport& report);
std::string render_reviewer(const ComplianceReport& report);

// Replaces & < > " ' by entities; every other character is kept.
std::string escape_html(std::string_view text);
// The baseline paragraph; empty when the report has no baseline summary.
std::string baseline_note(const ComplianceReport& report);

}  // namespace kvt::html_output

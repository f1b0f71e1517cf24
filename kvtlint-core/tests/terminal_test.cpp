#include "terminal.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "report_fixture.hpp"
#include "text.hpp"

namespace kvt::terminal {
namespace {

using test::no_input_report;
using test::sample_report;

ToolConfig config_for(ReportMode mode, bool verbose = false) {
  ToolConfig config;
  config.mode = mode;
  config.verbose = verbose;
  return config;
}

std::string repeat(std::string_view piece, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i)
    out += piece;
  return out;
}

constexpr const char* kSampleAuthor =
    R"EOF(────────────────────────────────────────────────────── paper.tex ───────────────────────────────────────────────────────
┏━━━━━━━━━━┳━━━━━━━━━━┳━━━━━━━━━━━━━━━━┳━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━┳━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━┓
┃ Line:Col ┃ Severity ┃ Rule           ┃ Message                               ┃ Suggestion                            ┃
┡━━━━━━━━━━╇━━━━━━━━━━╇━━━━━━━━━━━━━━━━╇━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━╇━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━┩
│ 3:14     │ warning  │ KVT-MARKUP-001 │ Programming-language names in prose   │ Wrap 'R' in \proglang{R}.             │
│          │          │ (medium conf.) │ are wrapped in \proglang{} (see §4.1  │                                       │
│          │          │                │ Markup)                               │                                       │
│ 7        │ error    │ KVT-PARSE-000  │ Unclosed environment ‘figure’ — runs  │                                       │
│          │          │                │ to end of file                        │                                       │
│ 9:1      │ warning  │ KVT-CAP-002    │ Section titles are in sentence style  │ Write 'Résumé Of Results & <More>' in │
│          │          │ (medium conf.) │ (first word capitalised; others       │ sentence style.                       │
│          │          │                │ lowercase except proper names) (see   │                                       │
│          │          │                │ §6.2 Capitalisation)                  │                                       │
└──────────┴──────────┴────────────────┴───────────────────────────────────────┴───────────────────────────────────────┘
─────────────────────────────────────────────────────── refs.bib ───────────────────────────────────────────────────────
┏━━━━━━━━━━┳━━━━━━━━━━┳━━━━━━━━━━━━━━━━┳━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━┳━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━┓
┃ Line:Col ┃ Severity ┃ Rule           ┃ Message                                      ┃ Suggestion                     ┃
┡━━━━━━━━━━╇━━━━━━━━━━╇━━━━━━━━━━━━━━━━╇━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━╇━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━┩
│ 4:11     │ info     │ KVT-NAME-001   │ Programming-language names use their         │ use canonical form "CRAN"      │
│          │          │                │ canonical capitalisation (see §6.1 Naming)   │                                │
│ 12       │ error    │ KVT-BIBTEX-002 │ BibTeX citation keys are unique within the   │ Key 'smith2020' is used twice. │
│          │          │                │ database (see §5.1 Bibliography)             │                                │
└──────────┴──────────┴────────────────┴──────────────────────────────────────────────┴────────────────────────────────┘
No findings does not mean compliant. Measured recall: 81% (1967 annotated instances, 17 papers).
kvt-lint checks 80 of 85 guide directives (5 not checked, 4 partial). Run kvt-lint coverage for the list.
)EOF";

constexpr const char* kSampleReviewer =
    R"EOF(                    Journal compliance — kvt                     
┏━━━━━━━━━━━━━━━━━━┳━━━━━━━━━┳━━━━━━━━━┳━━━━━━━━┳━━━━━━━━━━━━━━━┓
┃ Category         ┃ Status  ┃ Applied ┃ Passed ┃ Recall        ┃
┡━━━━━━━━━━━━━━━━━━╇━━━━━━━━━╇━━━━━━━━━╇━━━━━━━━╇━━━━━━━━━━━━━━━┩
│ Preamble         │ PASS    │       8 │      8 │ limited (n=8) │
│ Structure        │ PASS    │       6 │      6 │ 86%           │
│ Markup           │ FAIL    │       4 │      3 │ 63%           │
│ Citations        │ PASS    │       4 │      4 │ 93%           │
│ References       │ SKIPPED │       0 │      0 │ 79%           │
│ BibTeX           │ FAIL    │       5 │      4 │ 88%           │
│ Naming           │ FAIL    │       2 │      1 │ 92%           │
│ Capitalization   │ FAIL    │       4 │      3 │ 80%           │
│ Typography       │ PASS    │       4 │      4 │ 91%           │
│ Abbreviations    │ PASS    │       1 │      1 │ limited (n=4) │
│ Code style       │ PASS    │       3 │      3 │ 92%           │
│ Code width       │ PASS    │       1 │      1 │ 68%           │
│ Operators        │ PASS    │       4 │      4 │ 68%           │
│ Cross-references │ PASS    │       7 │      7 │ 100%          │
│ House style      │ PASS    │       3 │      3 │ 63%           │
│ Project          │ SKIPPED │       0 │      0 │ unmeasured    │
│ Parse errors     │ FAIL    │       0 │      0 │ unmeasured    │
└──────────────────┴─────────┴─────────┴────────┴───────────────┘
Overall: 71.4%
Measured recall: 81% (1967 annotated instances, 17 papers, run 2026-09-09)
─────────────────────────────────────────────── Not checked by kvt-lint ────────────────────────────────────────────────
┏━━━━━━━━━━━┳━━━━━━━━━━━━━┳━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━┓
┃ Directive ┃ Status      ┃ Provision                                                                                  ┃
┡━━━━━━━━━━━╇━━━━━━━━━━━━━╇━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━┩
│ SG-008    │ partial     │ MUST: All titles in the BibTeX file are in title style                                     │
│ SG-013    │ partial     │ MUST: In sentence style, capitalise only the first word and the first word after           │
│           │             │ colon/hyphen; proper names remain uppercase                                                │
│ SG-017    │ partial     │ MUST: BibTeX is valid, title is in title style, `\proglang`/`\pkg`/`\code` markup used     │
│           │             │ appropriately                                                                              │
│ SG-022    │ partial     │ MUST: Captions are in sentence style and end with a period                                 │
│ SG-010    │ not checked │ MUST: Figure/table captions (annotations) are in sentence style                            │
│ SG-024    │ not checked │ MUST: All table row/column headers are in sentence style                                   │
│ SG-041    │ not checked │ SHOULD: Use `\documentclass[nokvt]{kvt}` to turn off KVT header/footer in the vignette     │
│ SG-043    │ not checked │ SHOULD (advisory): Set `options(prompt = "R> ", continue = "+  ", width = 70,              │
│           │             │ useFancyQuotes = FALSE)` invisibly at the start of the vignette                            │
│ TEX-023   │ not checked │ R code inputs use `R> ` as the prompt and `+  ` as the continuation prompt                 │
└───────────┴─────────────┴────────────────────────────────────────────────────────────────────────────────────────────┘
Run kvt-lint coverage for the full matrix (76 checked, 4 partial, 5 not checked, 64 out of scope).
)EOF";

constexpr const char* kNoInputReviewer =
    R"EOF(                    Journal compliance — kvt                     
┏━━━━━━━━━━━━━━━━━━┳━━━━━━━━━┳━━━━━━━━━┳━━━━━━━━┳━━━━━━━━━━━━━━━┓
┃ Category         ┃ Status  ┃ Applied ┃ Passed ┃ Recall        ┃
┡━━━━━━━━━━━━━━━━━━╇━━━━━━━━━╇━━━━━━━━━╇━━━━━━━━╇━━━━━━━━━━━━━━━┩
│ Preamble         │ SKIPPED │       0 │      0 │ limited (n=8) │
│ Structure        │ SKIPPED │       0 │      0 │ 86%           │
│ Markup           │ SKIPPED │       0 │      0 │ 63%           │
│ Citations        │ SKIPPED │       0 │      0 │ 93%           │
│ References       │ SKIPPED │       0 │      0 │ 79%           │
│ BibTeX           │ SKIPPED │       0 │      0 │ 88%           │
│ Naming           │ SKIPPED │       0 │      0 │ 92%           │
│ Capitalization   │ SKIPPED │       0 │      0 │ 80%           │
│ Typography       │ SKIPPED │       0 │      0 │ 91%           │
│ Abbreviations    │ SKIPPED │       0 │      0 │ limited (n=4) │
│ Code style       │ SKIPPED │       0 │      0 │ 92%           │
│ Code width       │ SKIPPED │       0 │      0 │ 68%           │
│ Operators        │ SKIPPED │       0 │      0 │ 68%           │
│ Cross-references │ SKIPPED │       0 │      0 │ 100%          │
│ House style      │ SKIPPED │       0 │      0 │ 63%           │
│ Project          │ SKIPPED │       0 │      0 │ unmeasured    │
└──────────────────┴─────────┴─────────┴────────┴───────────────┘
Overall: n/a
Measured recall: 81% (1967 annotated instances, 17 papers, run 2026-09-09)
─────────────────────────────────────────────── Not checked by kvt-lint ────────────────────────────────────────────────
┏━━━━━━━━━━━┳━━━━━━━━━━━━━┳━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━┓
┃ Directive ┃ Status      ┃ Provision                                                                                  ┃
┡━━━━━━━━━━━╇━━━━━━━━━━━━━╇━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━┩
│ SG-008    │ partial     │ MUST: All titles in the BibTeX file are in title style                                     │
│ SG-013    │ partial     │ MUST: In sentence style, capitalise only the first word and the first word after           │
│           │             │ colon/hyphen; proper names remain uppercase                                                │
│ SG-017    │ partial     │ MUST: BibTeX is valid, title is in title style, `\proglang`/`\pkg`/`\code` markup used     │
│           │             │ appropriately                                                                              │
│ SG-022    │ partial     │ MUST: Captions are in sentence style and end with a period                                 │
│ SG-010    │ not checked │ MUST: Figure/table captions (annotations) are in sentence style                            │
│ SG-024    │ not checked │ MUST: All table row/column headers are in sentence style                                   │
│ SG-041    │ not checked │ SHOULD: Use `\documentclass[nokvt]{kvt}` to turn off KVT header/footer in the vignette     │
│ SG-043    │ not checked │ SHOULD (advisory): Set `options(prompt = "R> ", continue = "+  ", width = 70,              │
│           │             │ useFancyQuotes = FALSE)` invisibly at the start of the vignette                            │
│ TEX-023   │ not checked │ R code inputs use `R> ` as the prompt and `+  ` as the continuation prompt                 │
└───────────┴─────────────┴────────────────────────────────────────────────────────────────────────────────────────────┘
Run kvt-lint coverage for the full matrix (76 checked, 4 partial, 5 not checked, 64 out of scope).
)EOF";

constexpr const char* kNoInputAuthorVerbose =
    R"EOF(No findings does not mean compliant. Measured recall: 81% (1967 annotated instances, 17 papers).
kvt-lint checks 80 of 85 guide directives (5 not checked, 4 partial). Run kvt-lint coverage for the list.
──────────────────────────────────────────────────── Skipped rules ─────────────────────────────────────────────────────
┏━━━━━━━━━━━━━━━━┳━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━┓
┃ Rule           ┃ Reason                                                   ┃
┡━━━━━━━━━━━━━━━━╇━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━┩
│ KVT-PRE-001    │ format mismatch (rule formats=['rnw', 'tex']; inputs=[]) │
│ KVT-MARKUP-001 │ format mismatch (rule formats=['rnw', 'tex']; inputs=[]) │
└────────────────┴──────────────────────────────────────────────────────────┘
)EOF";

constexpr const char* kShrunkTable =
    R"EOF(┏━━━━━━━━━━┳━━━━━━━━━━┳━━━━━━━━━━━━━━━━┳━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━┳━━━━━━━━━━━━━━━━━━━━━━━━━━━┓
┃ Line:Col ┃ Severity ┃ Rule           ┃ Message                                           ┃ Suggestion                ┃
┡━━━━━━━━━━╇━━━━━━━━━━╇━━━━━━━━━━━━━━━━╇━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━╇━━━━━━━━━━━━━━━━━━━━━━━━━━━┩
│ 1:1      │ warning  │ KVT-MARKUP-001 │ abcd abcd abcd abcd abcd abcd abcd abcd abcd abcd │ Wrap 'R' in \proglang{R}. │
│          │          │                │ abcd abcd abcd abcd abcd abcd abcd abcd abcd abcd │                           │
│          │          │                │ abcd abcd abcd abcd abcd abcd abcd abcd abcd abcd │                           │
│          │          │                │ abcd abcd abcd abcd abcd abcd abcd abcd abcd abcd │                           │
│          │          │                │ abcd abcd abcd abcd abcd abcd abcd abcd abcd abcd │                           │
│          │          │                │ abcd abcd abcd abcd abcd abcd abcd abcd abcd      │                           │
│          │          │                │ abcde                                             │                           │
│ 2:1      │ warning  │ KVT-MARKUP-001 │ xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx… │ ok                        │
│          │          │                │ tail                                              │                           │
└──────────┴──────────┴────────────────┴───────────────────────────────────────────────────┴───────────────────────────┘
)EOF";

constexpr const char* kNoInputFooter =
    "No findings does not mean compliant. Measured recall: 81% (1967 annotated instances, 17 "
    "papers).\nkvt-lint checks 80 of 85 guide directives (5 not checked, 4 partial). Run kvt-lint "
    "coverage for the list.\n";

TEST(TerminalRender, AuthorLayoutGroupsFindingsByFile) {
  EXPECT_EQ(render(sample_report(), config_for(ReportMode::Author)), kSampleAuthor);
}

TEST(TerminalRender, AuthorLayoutFollowsFileByteOrderNotReportOrder) {
  ComplianceReport report = sample_report();
  std::swap(report.violations[0], report.violations[4]);  // a refs.bib finding first
  const std::string out = render(report, config_for(ReportMode::Author));
  EXPECT_LT(out.find(" paper.tex "), out.find(" refs.bib "));
}

TEST(TerminalRender, ReviewerLayoutRightAlignsCountsAndListsGaps) {
  EXPECT_EQ(render(sample_report(), config_for(ReportMode::Reviewer)), kSampleReviewer);
  EXPECT_EQ(render(no_input_report(), config_for(ReportMode::Reviewer)), kNoInputReviewer);
}

TEST(TerminalRender, NoInputAuthorIsTheFooterAndVerboseAddsSkippedRules) {
  EXPECT_EQ(render(no_input_report(), config_for(ReportMode::Author)), kNoInputFooter);
  EXPECT_EQ(render(no_input_report(), config_for(ReportMode::Author, true)), kNoInputAuthorVerbose);
  ComplianceReport none_skipped = no_input_report();
  none_skipped.skipped_rules.clear();
  EXPECT_EQ(render(none_skipped, config_for(ReportMode::Author, true)), kNoInputFooter);
}

TEST(TerminalRender, BaselineLineNamesAStaleRuleSet) {
  ComplianceReport report = no_input_report();
  report.baseline = BaselineSummary{".kvt-baseline.json", "2026-09-07", 3, 1, 0};
  const std::string same = render(report, config_for(ReportMode::Author));
  EXPECT_EQ(same,
            std::string(kNoInputFooter) +
                "Baseline: 3 findings hidden by .kvt-baseline.json (1 stale, 0 unevaluated)\n");
  report.baseline->ruleset_version = "2026-01-01";
  EXPECT_EQ(render(report, config_for(ReportMode::Reviewer)).substr(std::strlen(kNoInputReviewer)),
            "Baseline: 3 findings hidden by .kvt-baseline.json (1 stale, 0 unevaluated) — written "
            "for rule set 2026-01-01, current 2026-09-07; run --update-baseline\n");
  report.rule_set.version.reset();
  EXPECT_EQ(render(report, config_for(ReportMode::Author)), same);
}

TEST(TerminalRender, ReportWithoutRuleSetDataOrCategories) {
  ComplianceReport bare;
  bare.journal_id = "jss";
  EXPECT_EQ(render(bare, config_for(ReportMode::Author)),
            "kvt-lint has no recall or coverage data for journal jss.\n");
  EXPECT_EQ(render(bare, config_for(ReportMode::Reviewer)),
            "            Journal compliance — jss             \n"
            "┏━━━━━━━━━━┳━━━━━━━━┳━━━━━━━━━┳━━━━━━━━┳━━━━━━━━┓\n"
            "┃ Category ┃ Status ┃ Applied ┃ Passed ┃ Recall ┃\n"
            "┡━━━━━━━━━━╇━━━━━━━━╇━━━━━━━━━╇━━━━━━━━╇━━━━━━━━┩\n"
            "└──────────┴────────┴─────────┴────────┴────────┘\n"
            "Overall: n/a\n");
  // A category without recall shows n/a; with a run present the labels use its threshold.
  bare.categories.push_back({"markup", "Markup", {}, std::nullopt, 1, 1, CategoryStatus::Pass});
  bare.compliance_percentage = 100.0;
  const std::string out = render(bare, config_for(ReportMode::Reviewer));
  EXPECT_NE(out.find("│ Markup   │ PASS   │       1 │      1 │ n/a    │\n"), std::string::npos)
      << out;
  EXPECT_NE(out.find("Overall: 100.0%\n"), std::string::npos);
}

TEST(TerminalRender, OverallScoreHasOneDecimal) {
  for (const auto& [value, text] : std::vector<std::pair<double, std::string>>{
           {66.66, "66.7"}, {87.5, "87.5"}, {100.0, "100.0"}, {0.0, "0.0"}, {12.5, "12.5"}}) {
    EXPECT_EQ(percent_one_decimal(value), text) << value;
  }
}

TEST(TerminalTable, ShrinksWrappableColumnsToFitTheConsole) {
  std::string message;
  for (int i = 0; i < 59; ++i)
    message += "abcd ";
  message += "abcde";
  ASSERT_EQ(message.size(), 300u);
  const std::vector<Column> columns = {{"Line:Col", true, false},
                                       {"Severity", true, false},
                                       {"Rule", true, false},
                                       {"Message", false, false},
                                       {"Suggestion", false, false}};
  const std::vector<Row> rows = {
      {"1:1", "warning", "KVT-MARKUP-001", message, "Wrap 'R' in \\proglang{R}."},
      {"2:1", "warning", "KVT-MARKUP-001", std::string(60, 'x') + " tail", "ok"}};
  const std::string table = render_table(std::nullopt, columns, rows);
  EXPECT_EQ(table, kShrunkTable);
  for (std::size_t start = 0; start < table.size();) {
    const std::size_t end = table.find('\n', start);
    EXPECT_EQ(char_count(std::string_view(table).substr(start, end - start)), 120u);
    start = end + 1;
  }
}

TEST(TerminalTable, EqualWidestColumnsShareTheExcess) {
  // Two wrappable columns of 100 (98 + 2) must lose 83 between them: 83 / 2 = 41.5
  // rounds to the even 42 for the first, the remaining 41 go to the second.
  const std::vector<Column> columns = {{"a", false, false}, {"b", false, false}};
  const std::vector<Row> rows = {{std::string(98, 'x'), std::string(98, 'y')}};
  const std::string table = render_table(std::nullopt, columns, rows);
  const std::string top = table.substr(0, table.find('\n'));
  EXPECT_EQ(top, "┏" + repeat("━", 58) + "┳" + repeat("━", 59) + "┓");
}

TEST(TerminalTable, NoWrapColumnsWiderThanTheConsoleLeaveZeroWidthColumns) {
  const std::vector<Column> columns = {{"A", true, false}, {"B", false, false}};
  const std::vector<Row> rows = {{std::string(120, 'x'), "abc def"}};
  EXPECT_EQ(render_table(std::nullopt, columns, rows),
            "┏" + repeat("━", 122) + "┳┓\n" +                      //
                "┃ A" + std::string(119, ' ') + " ┃ B ┃\n" +       //
                "┡" + repeat("━", 122) + "╇┩\n" +                  //
                "│ " + std::string(120, 'x') + " │ abc def │\n" +  //
                "└" + repeat("─", 122) + "┴┘\n");
}

TEST(TerminalTable, TitleIsCentredOverTheTable) {
  const std::vector<Column> columns = {{"Col", true, false}};
  const std::vector<Row> rows = {{"x"}};
  EXPECT_EQ(render_table(std::string("Ab"), columns, rows),
            "  Ab   \n┏━━━━━┓\n┃ Col ┃\n┡━━━━━┩\n│ x   │\n└─────┘\n");
  EXPECT_EQ(render_table(std::string("Too wide"), columns, rows).substr(0, 9), "Too wide\n");
}

TEST(TerminalText, RuleLine) {
  EXPECT_EQ(rule_line(""), repeat("─", 120));
  EXPECT_EQ(rule_line("0123456789"), repeat("─", 54) + " 0123456789 " + repeat("─", 54));
  EXPECT_EQ(rule_line("a\nb"), repeat("─", 57) + " a b " + repeat("─", 58));
  const std::string long_title(130, 'T');
  EXPECT_EQ(rule_line(long_title), "─ " + std::string(115, 'T') + "… ─");
  for (std::size_t length = 1; length <= 130; ++length)
    EXPECT_EQ(char_count(rule_line(std::string(length, 'e'))), 120u) << length;
  EXPECT_EQ(char_count(rule_line(repeat("é", 116))), 120u);
}

TEST(TerminalText, TruncateEllipsis) {
  struct Case {
    const char* text;
    std::size_t width;
    const char* expected;
  };
  for (const Case& c :
       {Case{"abcdef", 4, "abc…"}, Case{"abcdef", 6, "abcdef"}, Case{"abcdef", 1, "…"},
        Case{"abcdef", 0, ""}, Case{"", 0, ""}, Case{"ééééé", 3, "éé…"}, Case{"😀😀", 2, "😀😀"}}) {
    EXPECT_EQ(truncate_ellipsis(c.text, c.width), c.expected) << c.text << " " << c.width;
  }
}

TEST(TerminalText, WrapCell) {
  struct Case {
    const char* text;
    std::size_t width;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"", 5, {""}},
      {"a\n", 5, {"a", ""}},
      {"hello world", 5, {"hello", "world"}},
      {"hello world", 11, {"hello world"}},
      {"hello world", 0, {"hello world"}},
      {"aaaaaaaaaa bbb", 5, {"aaaa…", "bbb"}},
      {"ab cdefghij k", 4, {"ab", "cde…", "k"}},
      {"  ab cd", 4, {"  ab", "cd"}},
      {"a    b", 3, {"a", "b"}},
      {"   ", 2, {""}},
      {"ééé ààà", 3, {"ééé", "ààà"}},
      {"one\u00a0two three", 5, {"one", "two", "three"}},
      {"KVT-CAP-002\n(medium conf.)", 14, {"KVT-CAP-002", "(medium conf.)"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(wrap_cell(c.text, c.width), c.expected) << c.text;
}

TEST(TerminalText, MeasureAndJustify) {
  EXPECT_EQ(measure_cell(""), 0u);
  EXPECT_EQ(measure_cell("ab\ncdé\n"), 3u);
  EXPECT_EQ(justify("7", 4, true), "   7");
  EXPECT_EQ(justify("é", 3, false), "é  ");
  EXPECT_EQ(justify("toolong", 3, false), "toolong");
}

TEST(TerminalText, FooterAndRecallLineWithoutCoverageOrTimestampT) {
  ComplianceReport report = no_input_report();
  report.coverage = {};
  report.rule_set.recall->run_timestamp = "2026-09-09";
  EXPECT_EQ(author_footer_text(report),
            "No findings does not mean compliant. Measured recall: 81% (1967 annotated instances, "
            "17 papers).");
  EXPECT_EQ(measured_recall_line(report),
            "Measured recall: 81% (1967 annotated instances, 17 papers, run 2026-09-09)");
  report.rule_set.recall.reset();
  EXPECT_FALSE(measured_recall_line(report));
}

TEST(TerminalDisplayPath, RelativeUnderTheWorkingDirectoryElseAsGiven) {
  std::error_code ec;
  const std::filesystem::path cwd = std::filesystem::current_path(ec);
  ASSERT_FALSE(ec);
  EXPECT_EQ(display_path("paper.tex"), "paper.tex");
  EXPECT_EQ(display_path("./chapters/intro.tex"), "chapters/intro.tex");
  EXPECT_EQ(display_path((cwd / "sub" / "x.tex").string()), "sub/x.tex");
  EXPECT_EQ(display_path("/nonexistent-kvt-dir/x.tex"), "/nonexistent-kvt-dir/x.tex");
  EXPECT_EQ(display_path("../elsewhere-kvt/x.tex"), "../elsewhere-kvt/x.tex");
}

}  // namespace
}  // namespace kvt::terminal

#include "html_output.hpp"

#include <gtest/gtest.h>

#include "report_fixture.hpp"

namespace kvt::html_output {
namespace {

TEST(HtmlRender, AuthorPages) {
  test::expect_golden("sample_author.html", render(test::sample_report(), false));
  test::expect_golden("no_input_author.html", render(test::no_input_report(), false));
}

TEST(HtmlRender, ReviewerPages) {
  test::expect_golden("sample_reviewer.html", render(test::sample_report(), true));
  test::expect_golden("no_input_reviewer.html", render(test::no_input_report(), true));
}

TEST(HtmlRender, SectionsFollowFileByteOrder) {
  ComplianceReport report = test::no_input_report();
  report.violations = {test::finding("a.tex", 1, 1, "KVT-XREF-002", std::nullopt),
                       test::finding("B.tex", 2, std::nullopt, "KVT-PROJECT-001", "")};
  const std::string page = render_author(report);
  const std::size_t upper = page.find("<h2>B.tex</h2>");
  const std::size_t lower = page.find("<h2>a.tex</h2>");
  ASSERT_NE(upper, std::string::npos);
  ASSERT_NE(lower, std::string::npos);
  EXPECT_LT(upper, lower);
  // A project finding has no guide link; an empty suggestion shows the dash.
  EXPECT_NE(page.find("<td class=\"loc\">2</td>\n      <td class=\"sev-error\">error</td>\n      "
                      "<td class=\"rid\">KVT-PROJECT-001</td>"),
            std::string::npos);
  EXPECT_NE(page.find("<td><span class=\"none\">internal</span></td>\n      <td><span "
                      "class=\"none\">—</span></td>"),
            std::string::npos);
}

TEST(HtmlRender, FooterWithoutRecallRunAndEscapedJournal) {
  ComplianceReport report;
  report.journal_id = "<j&'s>";
  report.tool_version = "1.2.0";
  const std::string page = render_author(report);
  EXPECT_NE(page.find("<title>kvt-lint report — &lt;j&amp;&#39;s&gt;</title>"), std::string::npos);
  EXPECT_NE(page.find("<p class=\"note\">kvt-lint has no recall or coverage data for journal "
                      "&lt;j&amp;&#39;s&gt;.</p>\n</body>\n</html>\n"),
            std::string::npos);
}

TEST(HtmlRender, ReviewerWithoutGapsOrRecallRun) {
  static const CoverageDirectiveData rows[] = {
      {"X-001", "style_guide", "#a", "text", "checked", {"KVT-ABBR-001"}, ""},
      {"X-002", "style_guide", "#b", "text", "out_of_scope", {}, "why"}};
  ComplianceReport report;
  report.journal_id = "kvt";
  report.coverage = rows;
  report.compliance_percentage = 100.0;
  const std::string page = render_reviewer(report);
  EXPECT_NE(page.find("\n  </tbody>\n</table>\n\n<p class=\"overall\">Overall: "
                      "<strong>100.0%</strong></p>\n\n<h2>Not checked by kvt-lint</h2>\n<p "
                      "class=\"note\">Run kvt-lint coverage for the full matrix (1 checked, 0 "
                      "partial, 0 not checked, 1 out of scope).</p>\n</body>\n</html>\n"),
            std::string::npos)
      << page;
  EXPECT_EQ(page.find("class=\"coverage\""), std::string::npos);
}

TEST(HtmlText, EscapeHtml) {
  EXPECT_EQ(escape_html("<tt>R&D</tt> \"q\" 'a' é —"),
            "&lt;tt&gt;R&amp;D&lt;/tt&gt; &#34;q&#34; &#39;a&#39; é —");
  EXPECT_EQ(escape_html(""), "");
}

TEST(HtmlText, BaselineNote) {
  ComplianceReport report = test::no_input_report();
  EXPECT_EQ(baseline_note(report), "");
  report.baseline = BaselineSummary{"a&b.json", "<old>", 4, 2, 1};
  EXPECT_EQ(baseline_note(report),
            "<p class=\"note\">Baseline: 4 findings hidden by a&amp;b.json (2 stale, 1 "
            "unevaluated) — written for rule set <old>, current 2026-09-07; run "
            "--update-baseline</p>\n");
  report.baseline->ruleset_version = "2026-09-07";
  EXPECT_EQ(baseline_note(report),
            "<p class=\"note\">Baseline: 4 findings hidden by a&amp;b.json (2 stale, 1 "
            "unevaluated)</p>\n");
  EXPECT_TRUE(render_author(report).ends_with(baseline_note(report) + "</body>\n</html>\n"));
  EXPECT_TRUE(render_reviewer(report).ends_with(baseline_note(report) + "</body>\n</html>\n"));
}

}  // namespace
}  // namespace kvt::html_output

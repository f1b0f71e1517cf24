#include "catalogue.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "coverage.hpp"

namespace kvt {
namespace {

TEST(Catalogue, SixtyTwoRulesInIdOrder) {
  const auto rules = catalogue();
  ASSERT_EQ(rules.size(), 62u);
  for (std::size_t i = 1; i < rules.size(); ++i)
    EXPECT_LT(rules[i - 1].id, rules[i].id);
  EXPECT_EQ(rules.front().id, "KVT-ABBR-001");
  EXPECT_EQ(rules.back().id, "KVT-XREF-007");
  const std::set<std::string_view> categories = {
      "preamble",  "structure",      "markup",      "citations",     "references", "bibtex",
      "naming",    "capitalization", "typography",  "abbreviations", "code_style", "code_width",
      "operators", "crossrefs",      "house_style", "project"};
  for (const RuleMeta& rule : rules) {
    EXPECT_TRUE(categories.count(rule.category)) << rule.id;
    EXPECT_NE(rule.confidence, Confidence::Low) << rule.id;
  }
}

TEST(Catalogue, DescriptionsFollowTitlesExceptTenRules) {
  const std::set<std::string_view> special = {
      "KVT-CAP-001",     "KVT-CAP-002",  "KVT-CITE-002", "KVT-MARKUP-003", "KVT-PROJECT-001",
      "KVT-PROJECT-002", "KVT-XREF-001", "KVT-XREF-002", "KVT-XREF-006",   "KVT-XREF-007"};
  for (const RuleMeta& rule : catalogue()) {
    const bool plain = rule.description == std::string(rule.title) + ".";
    EXPECT_EQ(plain, special.count(rule.id) == 0) << rule.id;
    EXPECT_NE(rule.title.back(), '.') << rule.id;
  }
}

TEST(Catalogue, LookupAndRecordFields) {
  EXPECT_EQ(lookup("KVT-PARSE-000"), nullptr);
  EXPECT_EQ(lookup("kvt-markup-001"), nullptr);
  const RuleMeta* markup = lookup("KVT-MARKUP-001");
  ASSERT_NE(markup, nullptr);
  EXPECT_EQ(markup->title, "Programming-language names in prose are wrapped in \\proglang{}");
  EXPECT_EQ(markup->confidence, Confidence::Medium);
  EXPECT_EQ(markup->severity, Severity::Warning);
  EXPECT_EQ(markup->section, "§4.1 Markup");
  ASSERT_TRUE(markup->url);
  EXPECT_TRUE(markup->url->ends_with("/about/submissions#markup"));
  const RuleMeta* project = lookup("KVT-PROJECT-002");
  ASSERT_NE(project, nullptr);
  EXPECT_FALSE(project->url);
  EXPECT_EQ(project->section, "internal");
  EXPECT_EQ(project->format_list(), (std::vector<std::string_view>{"tex_files", "bib_files"}));
  EXPECT_EQ(lookup("KVT-WIDTH-001")->format_list(), (std::vector<std::string_view>{"raw_source"}));
  EXPECT_EQ(lookup("KVT-HOUSE-003")->severity, Severity::Info);
}

TEST(Catalogue, RecallTable) {
  EXPECT_EQ(recall_by_id().size(), 53u);
  std::uint32_t tp = 0, fn = 0;
  for (const RecallEntry& e : recall_by_id()) {
    tp += e.tp;
    fn += e.fn;
    EXPECT_NE(lookup(e.rule_id), nullptr) << e.rule_id;
  }
  EXPECT_EQ(tp, 1587u);
  EXPECT_EQ(fn, 380u);
  EXPECT_EQ(recall("KVT-BIBTEX-001").tp + recall("KVT-BIBTEX-001").fn, 0u);
  // The capitalization category: 6 + 70 + 2 detected, 20 missed.
  std::uint32_t cap_tp = 0, cap_fn = 0;
  for (const RuleMeta& rule : catalogue()) {
    if (rule.category != "capitalization") continue;
    cap_tp += recall(rule.id).tp;
    cap_fn += recall(rule.id).fn;
  }
  EXPECT_EQ(cap_tp, 78u);
  EXPECT_EQ(cap_fn, 20u);
}

TEST(Catalogue, RuleSet) {
  const RuleSetInfo info = rule_set();
  EXPECT_EQ(info.version, "2026-09-07");
  EXPECT_EQ(info.guide_source(), "kvt.cls 3.3 (2021-05-23)");
  ASSERT_TRUE(info.recall);
  EXPECT_EQ(info.recall->tp, 1587u);
  EXPECT_EQ(info.recall->fn, 380u);
  EXPECT_EQ(info.recall->min_plants, 10u);
  EXPECT_EQ(info.recall->papers, 17u);
  EXPECT_EQ(RecallStat({info.recall->tp, info.recall->fn}).percent(), 81u);
}

TEST(Coverage, CountsFooterAndGaps) {
  const auto table = coverage::table();
  ASSERT_EQ(table.size(), 149u);
  EXPECT_EQ(coverage::counts_line(table), "76 checked, 4 partial, 5 not checked, 64 out of scope");
  EXPECT_EQ(coverage::counts_line({}), "0 checked, 0 partial, 0 not checked, 0 out of scope");
  EXPECT_EQ(coverage::footer_sentence(table),
            "kvt-lint checks 80 of 85 guide directives (5 not checked, 4 partial). Run kvt-lint "
            "coverage for the list.");
  std::vector<std::string_view> gap_ids;
  for (const auto* d : coverage::gaps(table))
    gap_ids.push_back(d->id);
  EXPECT_EQ(gap_ids,
            (std::vector<std::string_view>{"SG-008", "SG-013", "SG-017", "SG-022", "SG-010",
                                           "SG-024", "SG-041", "SG-043", "TEX-023"}));
}

TEST(Coverage, RowsAreOrderedAndReferToCatalogueRules) {
  const auto table = coverage::table();
  const char* prefixes[] = {"CLS-", "TEX-", "SG-", "AI-"};
  const std::size_t sizes[] = {38, 26, 61, 24};
  std::size_t row = 0;
  for (std::size_t p = 0; p < 4; ++p) {
    for (std::size_t n = 1; n <= sizes[p]; ++n, ++row) {
      char expected[32];
      std::snprintf(expected, sizeof expected, "%s%03zu", prefixes[p], n);
      EXPECT_EQ(table[row].id, expected);
    }
  }
  for (const auto& d : table) {
    const bool has_rules = !d.rules().empty();
    EXPECT_EQ(has_rules, d.status == "checked" || d.status == "partial") << d.id;
    for (auto id : d.rules())
      EXPECT_NE(lookup(id), nullptr) << d.id << " " << id;
  }
}

}  // namespace
}  // namespace kvt

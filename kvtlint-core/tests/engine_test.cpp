#include "engine.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "errors.hpp"
#include "rules/rule_helpers.hpp"

namespace kvt {
namespace {

// Stand-in rules with real catalogue ids, so the engine's selection logic can
// be exercised with every registry shape. Each finds one thing per document
// whose text contains "FIND" and records which documents it was called on.
std::map<std::string, std::vector<std::string>>& calls() {
  static std::map<std::string, std::vector<std::string>> log;
  return log;
}

template <const char* kId>
std::vector<Violation> tex_rule(const std::string& path, const ParsedTex& tex, std::uint32_t) {
  calls()[kId].push_back(path);
  if (tex.source.find("FIND") == std::string::npos) return {};
  if (!lookup(kId)) {
    Violation v;  // the builders refuse ids outside the catalogue
    v.file = path;
    v.line = 1;
    v.rule_id = kId;
    return {v};
  }
  return {make_violation(path, tex.line_offset + 1, 1, kId, "found", std::nullopt)};
}

template <const char* kId>
std::vector<Violation> bib_rule(const std::string& path, const std::u32string&, const Library& lib,
                                const TexNodeLists&, const TexLineIndexes&, const DoiLookup&) {
  calls()[kId].push_back(path);
  std::vector<Violation> out;
  for (const Entry& entry : lib.entries) {
    if (entry.key == "FIND")
      out.push_back(make_violation(path, entry.line + 1, std::nullopt, kId, "found", std::nullopt));
  }
  return out;
}

template <const char* kId>
std::vector<Violation> cross_rule(const TexDocuments& documents) {
  calls()[kId].push_back(std::to_string(documents.size()) + " documents");
  return {};
}

constexpr char kPre001[] = "KVT-PRE-001";
constexpr char kOper003[] = "KVT-OPER-003";
constexpr char kStruct001[] = "KVT-STRUCT-001";
constexpr char kMarkup001[] = "KVT-MARKUP-001";
constexpr char kXref002[] = "KVT-XREF-002";
constexpr char kBibtex002[] = "KVT-BIBTEX-002";
constexpr char kCap001[] = "KVT-CAP-001";
constexpr char kNotInCatalogue[] = "KVT-NOPE-001";

const TexRuleEntry kTex[] = {
    {kPre001, tex_rule<kPre001>, true, false},
    {kOper003, tex_rule<kOper003>, true, false},
    {kStruct001, tex_rule<kStruct001>, false, false},
    {kMarkup001, tex_rule<kMarkup001>, false, true},
    {kXref002, tex_rule<kXref002>, false, true},
    {kNotInCatalogue, tex_rule<kNotInCatalogue>, false, true},
};
const BibRuleEntry kBib[] = {{kBibtex002, bib_rule<kBibtex002>}};
const CrossDocumentRuleEntry kCross[] = {{kCap001, cross_rule<kCap001>}};

std::vector<engine::OrderedRule> rules() {
  // Execution order: by category, then id; the unknown id last.
  return {
      {kPre001, {RuleAction::Kind::Tex, &kTex[0]}},
      {kStruct001, {RuleAction::Kind::Tex, &kTex[2]}},
      {kMarkup001, {RuleAction::Kind::Tex, &kTex[3]}},
      {kBibtex002, {RuleAction::Kind::Bib, nullptr, &kBib[0]}},
      {kCap001, {RuleAction::Kind::CrossDocument, nullptr, nullptr, &kCross[0]}},
      {kOper003, {RuleAction::Kind::Tex, &kTex[1]}},
      {kXref002, {RuleAction::Kind::Tex, &kTex[4]}},
      {kNotInCatalogue, {RuleAction::Kind::Tex, &kTex[5]}},
  };
}

ComplianceReport run(const std::vector<SourceFile>& files, const ToolConfig& config = {},
                     const engine::ProjectFindings* project = nullptr,
                     const engine::ViolationFilter* filter = nullptr) {
  calls().clear();
  auto parsed = ParsedDocument::from_sources(files);
  const auto list = rules();
  return engine::run_with_rules(config, std::get<ParsedDocument>(parsed), list, project, filter);
}

const CategorySummary& category(const ComplianceReport& report, std::string_view id) {
  return *std::find_if(report.categories.begin(), report.categories.end(),
                       [&](const CategorySummary& c) { return c.category_id == id; });
}

std::vector<std::string> skipped(const ComplianceReport& report) {
  std::vector<std::string> out;
  for (const SkippedRule& s : report.skipped_rules)
    out.push_back(s.rule_id + ": " + s.reason);
  return out;
}

TEST(Engine, NoInputsSkipsTexRulesAndRunsNothingElse) {
  const ComplianceReport report = run({});
  const std::string reason = "format mismatch (rule formats=['rnw', 'tex']; inputs=[])";
  EXPECT_EQ(skipped(report),
            (std::vector<std::string>{"KVT-PRE-001: " + reason, "KVT-STRUCT-001: " + reason,
                                      "KVT-MARKUP-001: " + reason, "KVT-OPER-003: " + reason,
                                      "KVT-XREF-002: " + reason, "KVT-NOPE-001: " + reason}));
  EXPECT_TRUE(calls().empty());
  ASSERT_EQ(report.categories.size(), 16u);
  for (const CategorySummary& c : report.categories)
    EXPECT_EQ(c.status, CategoryStatus::Skipped);
  EXPECT_FALSE(report.compliance_percentage);
}

TEST(Engine, OnlyABibFile) {
  const ComplianceReport report = run({{"refs.bib", "@misc{FIND, title={T}}"}});
  const std::string reason = "format mismatch (rule formats=['rnw', 'tex']; inputs=['bib'])";
  EXPECT_EQ(skipped(report),
            (std::vector<std::string>{"KVT-PRE-001: " + reason, "KVT-OPER-003: " + reason}));
  // Other TeX rules count as applied and passed without being called on anything.
  EXPECT_FALSE(calls().count(kStruct001));
  EXPECT_EQ(category(report, "structure").rules_applied, 1u);
  EXPECT_EQ(category(report, "structure").status, CategoryStatus::Pass);
  EXPECT_EQ(calls()[kBibtex002], std::vector<std::string>{"refs.bib"});
  EXPECT_EQ(category(report, "bibtex").status, CategoryStatus::Fail);
  EXPECT_EQ(calls()[kCap001], std::vector<std::string>{"0 documents"});
  EXPECT_EQ(category(report, "project").rules_applied, 2u);
}

TEST(Engine, OnlyRMarkdown) {
  const ComplianceReport report = run({{"a.Rmd", "Para FIND one.\n\nPara two.\n"}});
  const std::string reason = "format mismatch (rule formats=['rnw', 'tex']; inputs=['rmd'])";
  EXPECT_EQ(skipped(report),
            (std::vector<std::string>{"KVT-PRE-001: " + reason, "KVT-OPER-003: " + reason}));
  EXPECT_EQ(calls()[kMarkup001], (std::vector<std::string>{"a.Rmd", "a.Rmd"}));
  EXPECT_FALSE(calls().count(kStruct001));
  EXPECT_EQ(category(report, "structure").rules_passed, 1u);
  EXPECT_EQ(calls()[kCap001], std::vector<std::string>{"2 documents"});
  EXPECT_EQ(category(report, "bibtex").rules_applied, 1u);  // finishes with no findings
  EXPECT_FALSE(calls().count(kBibtex002));
  ASSERT_EQ(report.violations.size(), 2u);  // KVT-MARKUP-001 and KVT-XREF-002, paragraph one
  EXPECT_EQ(report.violations[0].line, 1u);
  EXPECT_EQ(report.violations[1].line, 1u);
}

TEST(Engine, BibAndRMarkdownButNoTex) {
  const ComplianceReport report = run({{"a.Rmd", "Text.\n"}, {"r.bib", ""}});
  EXPECT_EQ(report.skipped_rules.size(), 2u);
  EXPECT_EQ(report.skipped_rules[0].reason,
            "format mismatch (rule formats=['rnw', 'tex']; inputs=['bib', 'rmd'])");
  // With a .bib present, R Markdown-only rules run on the fragments and the rest on tex_files.
  EXPECT_EQ(calls()[kMarkup001], std::vector<std::string>{"a.Rmd"});
  EXPECT_TRUE(calls()[kStruct001].empty());
}

TEST(Engine, TexAndSweaveRunEverything) {
  const ComplianceReport report =
      run({{"a.tex", "FIND"}, {"b.Rnw", "Text.\n"}, {"c.Rmd", "FIND here.\n"}});
  EXPECT_TRUE(report.skipped_rules.empty());
  EXPECT_EQ(calls()[kPre001], (std::vector<std::string>{"a.tex", "b.Rnw"}));
  EXPECT_EQ(calls()[kMarkup001], (std::vector<std::string>{"a.tex", "b.Rnw", "c.Rmd"}));
  // A rule without a catalogue record runs but its findings are dropped and nothing is counted.
  EXPECT_EQ(calls()[kNotInCatalogue].size(), 3u);
  for (const Violation& v : report.violations)
    EXPECT_NE(v.rule_id, kNotInCatalogue);
  EXPECT_EQ(category(report, "preamble").status, CategoryStatus::Fail);
}

TEST(Engine, ConfidenceIgnoreSuppressionAndOverrides) {
  ToolConfig config;
  config.min_confidence = Confidence::High;
  config.ignore_rules = {"KVT-PRE-001", "KVT-STRUCT-001"};
  config.severity_overrides = {{"KVT-XREF-002", Severity::Error}};
  const ComplianceReport report =
      run({{"a.tex", "FIND % kvt-lint: ignore KVT-OPER-003\n"}}, config);
  EXPECT_EQ(skipped(report), std::vector<std::string>{
                                 "KVT-MARKUP-001: confidence medium below min_confidence=high"});
  EXPECT_EQ(category(report, "preamble").status, CategoryStatus::Skipped);
  EXPECT_EQ(category(report, "structure").status, CategoryStatus::Skipped);
  // Suppressed findings make the rule pass.
  EXPECT_EQ(category(report, "operators").status, CategoryStatus::Pass);
  ASSERT_EQ(report.violations.size(), 1u);
  EXPECT_EQ(report.violations[0].rule_id, "KVT-XREF-002");
  EXPECT_EQ(report.violations[0].severity, Severity::Error);
  EXPECT_EQ(category(report, "crossrefs").violations[0].severity, Severity::Error);
}

TEST(Engine, ProjectFindingsFilterAndParseLine) {
  engine::ProjectFindings project;
  project.second.push_back(
      make_violation("a.tex", 3, std::nullopt, "KVT-PROJECT-002", "missing", std::nullopt));
  const engine::ViolationFilter drop_xref = [](const Violation& v) {
    return v.rule_id == "KVT-XREF-002";
  };
  const ComplianceReport report =
      run({{"a.tex", "FIND"}, {"b.Rmd", "```\nopen"}}, {}, &project, &drop_xref);
  EXPECT_EQ(category(report, "project").rules_applied, 2u);
  EXPECT_EQ(category(report, "project").rules_passed, 1u);
  EXPECT_EQ(category(report, "crossrefs").status, CategoryStatus::Pass);
  const CategorySummary& parse = report.categories.back();
  EXPECT_EQ(parse.category_id, "parse");
  EXPECT_EQ(parse.title, "Parse errors");
  EXPECT_EQ(parse.status, CategoryStatus::Fail);
  EXPECT_EQ(parse.rules_applied, 0u);
  // The parse line does not count towards compliance.
  std::size_t qualifying = 0, passing = 0;
  for (const CategorySummary& c : report.categories) {
    if (c.category_id == "parse" || c.status == CategoryStatus::Skipped) continue;
    ++qualifying;
    passing += c.status == CategoryStatus::Pass;
  }
  EXPECT_EQ(*report.compliance_percentage,
            engine::round_to_one_decimal(100.0 * passing / qualifying));
}

TEST(Engine, CompliancePercentageRounding) {
  EXPECT_EQ(engine::round_to_one_decimal(100.0 * 2 / 3), 66.7);
  EXPECT_EQ(engine::round_to_one_decimal(100.0 * 1 / 16), 6.2);  // 6.25, half to even
  EXPECT_EQ(engine::round_to_one_decimal(100.0 * 3 / 16), 18.8);
  EXPECT_EQ(engine::round_to_one_decimal(100.0 * 1 / 8), 12.5);
  EXPECT_EQ(engine::round_to_one_decimal(100.0), 100.0);
}

TEST(Engine, RegistryOrderAndListRepr) {
  const auto& ordered = engine::ordered_rules();
  ASSERT_FALSE(ordered.empty());
  std::size_t last_category = 0;
  for (const auto& [id, action] : ordered) {
    const RuleMeta* meta = lookup(id);
    ASSERT_NE(meta, nullptr) << id;
    const auto cats = categories();
    const std::size_t index = static_cast<std::size_t>(
        std::find_if(cats.begin(), cats.end(),
                     [&](const CategoryInfo& c) { return c.key == meta->category; }) -
        cats.begin());
    EXPECT_GE(index, last_category) << id;
    last_category = index;
  }
  EXPECT_EQ(engine::python_list_repr({}), "[]");
  EXPECT_EQ(engine::python_list_repr({"bib", "rmd"}), "['bib', 'rmd']");
  EXPECT_THROW(category_title("nope"), InternalError);
  EXPECT_EQ(category_title("crossrefs"), "Cross-references");
}

TEST(Intake, ExtensionsByteOrderMarkAndOrder) {
  auto parsed = ParsedDocument::from_sources(
      {{"refs.bib", ""}, {"a.TEX", "\xEF\xBB\xBF"}, {".tex", "x"}, {"b.Ltx", "\xEF\xBB"}});
  const auto& doc = std::get<ParsedDocument>(parsed);
  ASSERT_EQ(doc.tex_files.size(), 3u);
  EXPECT_EQ(doc.bib_files.size(), 1u);
  EXPECT_EQ(doc.tex_files[0].path, "a.TEX");
  EXPECT_TRUE(doc.tex_files[0].tex.nodes.empty());
  EXPECT_EQ(doc.tex_files[2].tex.chars.size(), 2u);  // two bytes of a mark are kept (as U+FFFD)
  for (const char* bad : {"tex", "notes", "chapter/notes.txt"}) {
    const auto failed = ParsedDocument::from_sources({{"ok.tex", ""}, {bad, ""}});
    ASSERT_TRUE(std::holds_alternative<EngineError>(failed)) << bad;
  }
  EXPECT_EQ(
      std::get<EngineError>(ParsedDocument::from_sources({{"chapter/notes.txt", ""}})).message,
      "unsupported file extension: 'notes.txt'. Supported: .tex, .ltx, .bib, .Rnw, .Rmd "
      "(case-insensitive).");
}

}  // namespace
}  // namespace kvt

#include "config.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace kvt {
namespace {

ToolConfig from_text(const std::string& text, RawOverrides caller = {}) {
  ToolConfig config;
  if (auto layer = config::parse_config_text(text)) apply_overrides(config, layer->overrides);
  apply_overrides(config, caller);
  return config;
}

TEST(Config, DefaultsAndUnknownWords) {
  const ToolConfig config = from_text(R"(
mode = "Reviewer"
output = "JSON"
min_confidence = "HIGH"
fail_on = "fatal"
color = "sometimes"
)");
  EXPECT_EQ(config.journal, "kvt");
  EXPECT_EQ(config.source_root, ".");
  EXPECT_EQ(config.mode, ReportMode::Author);
  EXPECT_EQ(config.output, OutputKind::Terminal);
  EXPECT_EQ(config.min_confidence, Confidence::Low);
  EXPECT_EQ(config.fail_on, Severity::Warning);
  EXPECT_EQ(config.color, ColorChoice::Auto);
  EXPECT_EQ(config.code_width, 80u);
  EXPECT_FALSE(config.verbose);
}

TEST(Config, IgnoreRulesAsStringOrArrayGiveTheSameSet) {
  const std::set<std::string> expected = {"KVT-TYPO-001", "KVT-XREF-002"};
  EXPECT_EQ(from_text(R"(ignore_rules = "KVT-TYPO-001, KVT-XREF-002")").ignore_rules, expected);
  EXPECT_EQ(from_text(R"(ignore_rules = [" KVT-TYPO-001", "KVT-XREF-002", "", 7])").ignore_rules,
            expected);
  // Any other type clears the list.
  RawOverrides caller;
  ToolConfig config;
  config.ignore_rules = {"KVT-A-001"};
  auto layer = config::parse_config_text("ignore_rules = 5");
  ASSERT_TRUE(layer);
  apply_overrides(config, layer->overrides);
  EXPECT_TRUE(config.ignore_rules.empty());
}

TEST(Config, TypesAndCodeWidth) {
  EXPECT_EQ(from_text("code_width = -5").code_width, 0u);
  EXPECT_EQ(from_text("code_width = \"100\"").code_width, 80u);
  EXPECT_EQ(from_text("code_width = 72").code_width, 72u);
  EXPECT_EQ(from_text("code_width = 99999999999").code_width, 4294967295u);
  EXPECT_EQ(from_text("verbose = \"yes\"").verbose, false);
  EXPECT_EQ(from_text("journal = 3").journal, "kvt");
  EXPECT_EQ(from_text("output = \"sarif\"").output, OutputKind::Sarif);
}

TEST(Config, CallerLayerWinsOverFile) {
  RawOverrides caller;
  caller.output = "json";
  caller.ignore_rules = std::vector<std::string>{};
  const ToolConfig config = from_text("output = \"sarif\"\nignore_rules = [\"KVT-A-001\"]", caller);
  EXPECT_EQ(config.output, OutputKind::Json);
  EXPECT_TRUE(config.ignore_rules.empty());
}

TEST(Config, SeverityOverridesAreNormalisedAndBadWordsDropped) {
  const ToolConfig config = from_text(R"(
[severity_overrides]
kvt-xref-002 = "  Error "
KVT-TYPO-001 = "fatal"
KVT-CODE-003 = "info"
KVT-CODE-001 = 3
)");
  EXPECT_EQ(config.severity_overrides,
            (std::map<std::string, Severity>{{"KVT-XREF-002", Severity::Error},
                                             {"KVT-CODE-003", Severity::Info}}));
}

TEST(Config, UnknownKeysAreSortedAndInvalidTextIsNoLayer) {
  const auto layer = config::parse_config_text("zeta = 1\njornal = \"x\"\njournal = \"jok\"");
  ASSERT_TRUE(layer);
  EXPECT_EQ(layer->unknown_keys, (std::vector<std::string>{"jornal", "zeta"}));
  EXPECT_EQ(layer->overrides.journal, "jok");
  EXPECT_FALSE(config::parse_config_text("journal = "));
  EXPECT_FALSE(config::parse_config_text("journal = \"\xff\""));
}

TEST(Config, SplitRuleList) {
  EXPECT_EQ(config::split_rule_list(" KVT-A-001 ,, KVT-B-002 ,"),
            (std::vector<std::string>{"KVT-A-001", "KVT-B-002"}));
  EXPECT_TRUE(config::split_rule_list("").empty());
  EXPECT_TRUE(config::split_rule_list(" , ").empty());
}

TEST(Config, LoadReadsTheFileOfTheGivenDirectoryOnly) {
  const auto dir = std::filesystem::temp_directory_path() / "kvtlint-config-test";
  std::filesystem::create_directories(dir);
  { std::ofstream(dir / ".kvt-lint.toml") << "journal = \"jok\"\nmode = \"reviewer\"\n"; }
  RawOverrides caller;
  caller.mode = "author";
  const ToolConfig config = config::load(dir, caller);
  EXPECT_EQ(config.journal, "jok");
  EXPECT_EQ(config.mode, ReportMode::Author);
  EXPECT_EQ(config::load(dir / "missing", {}).journal, "kvt");
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kvt

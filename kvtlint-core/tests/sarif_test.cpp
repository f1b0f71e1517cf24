#include "sarif.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <system_error>

#include <nlohmann/json.hpp>

#include "json_output.hpp"
#include "report_fixture.hpp"

namespace kvt::sarif {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string written(const json& value) {
  std::string out;
  json_output::write_value(value, 0, out);
  return out;
}

TEST(SarifRender, WholeLogs) {
  const ToolConfig config;
  test::expect_golden("no_input.sarif", render(test::no_input_report(), config));
  test::expect_golden("sample.sarif", render(test::sample_report(), config));
}

TEST(SarifRender, ParseProblemsAreNotificationsOnly) {
  const json log = to_payload(test::sample_report(), ToolConfig{});
  const json& run = log["runs"][0];
  for (const json& result : run["results"])
    EXPECT_NE(result["ruleId"], "KVT-PARSE-000");
  ASSERT_EQ(run["invocations"][0]["toolExecutionNotifications"].size(), 1u);
  EXPECT_EQ(run["results"].size(), 4u);
}

TEST(SarifRender, ResultsAreSortedWithAbsentColumnAsZero) {
  ComplianceReport report;
  report.violations = {test::finding("b.tex", 2, 1, "KVT-XREF-002", std::nullopt),
                       test::finding("b.tex", 2, std::nullopt, "KVT-XREF-001", std::nullopt),
                       test::finding("B.tex", 9, 9, "KVT-XREF-001", std::nullopt)};
  const json results = to_payload(report, ToolConfig{})["runs"][0]["results"];
  ASSERT_EQ(results.size(), 3u);
  EXPECT_EQ(results[0]["locations"][0]["physicalLocation"]["artifactLocation"]["uri"], "B.tex");
  EXPECT_EQ(results[1]["ruleId"], "KVT-XREF-001");
  EXPECT_EQ(results[2]["ruleId"], "KVT-XREF-002");
}

TEST(SarifResult, InsertionAndReversedFixSpansDeleteNothing) {
  Violation v = test::finding("a.tex", 1, std::nullopt, "KVT-NAME-001", std::nullopt);
  v.severity = Severity::Info;
  v.fix = Fix{"x", "insert x", 7, 7};
  json result = result_value(v, ".");
  EXPECT_EQ(result["level"], "note");
  EXPECT_EQ(written(result["fixes"][0]["artifactChanges"][0]["replacements"][0]["deletedRegion"]),
            "{\n  \"charLength\": 0,\n  \"charOffset\": 7\n}");
  EXPECT_EQ(written(result["locations"][0]["physicalLocation"]["region"]),
            "{\n  \"startLine\": 1\n}");
  v.fix = Fix{"x", "broken", 9, 3};
  result = result_value(v, ".");
  EXPECT_EQ(
      result["fixes"][0]["artifactChanges"][0]["replacements"][0]["deletedRegion"]["charLength"],
      0);
}

TEST(SarifRules, DescriptorsCoverTheCatalogueInIdOrder) {
  const json rules = catalogue_rules();
  ASSERT_EQ(rules.size(), 63u);
  std::size_t parse_at = 0;
  for (std::size_t i = 0; i < rules.size(); ++i) {
    if (rules[i]["id"] == "KVT-PARSE-000") parse_at = i;
    if (i > 0) {
      EXPECT_LT(rules[i - 1]["id"].get<std::string>(), rules[i]["id"].get<std::string>());
    }
  }
  EXPECT_EQ(rules[parse_at - 1]["id"], "KVT-OPER-004");
  EXPECT_EQ(rules[parse_at + 1]["id"], "KVT-PRE-001");

  const json markup = rule_descriptor(*lookup("KVT-MARKUP-004"));
  EXPECT_EQ(markup["shortDescription"]["text"],
            std::string(lookup("KVT-MARKUP-004")->title) + " (§4.1 Markup)");
  const json project = rule_descriptor(*lookup("KVT-PROJECT-001"));
  EXPECT_EQ(project["shortDescription"]["text"], lookup("KVT-PROJECT-001")->title);
  EXPECT_FALSE(project.contains("helpUri"));
  EXPECT_EQ(project["properties"]["recall"],
            json::parse(R"({"fn": 0, "percent": null, "state": "unmeasured", "tp": 0})"));
  // 5 + 4 = 9 seeded instances is below the threshold of 10.
  EXPECT_EQ(rule_descriptor(*lookup("KVT-OPER-001"))["properties"]["recall"]["state"], "limited");
}

// A scratch directory tree, removed afterwards:
//   <tmp>/root/chapters/   <tmp>/other/   <tmp>/link -> root
class SarifPaths : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device seed;
    tmp_ = fs::canonical(fs::temp_directory_path()) /
           ("kvt-sarif-" + std::to_string(seed()) + "-" + std::to_string(seed()));
    fs::create_directories(tmp_ / "root" / "chapters");
    fs::create_directories(tmp_ / "other");
    std::error_code ec;
    fs::create_directory_symlink(tmp_ / "root", tmp_ / "link", ec);
    has_link_ = !ec;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(tmp_, ec);
  }
  std::string at(const std::string& relative) const { return (tmp_ / relative).string(); }

  fs::path tmp_;
  bool has_link_ = false;
};

TEST_F(SarifPaths, RelativeAndAbsoluteSpellingsGiveTheSameUri) {
  const std::string root = at("root");
  EXPECT_EQ(relativise("chapters/intro.tex", root), "chapters/intro.tex");
  EXPECT_EQ(relativise(at("root/chapters/intro.tex"), root), "chapters/intro.tex");
  EXPECT_EQ(relativise(at("root/./chapters/../chapters/intro.tex"), root), "chapters/intro.tex");
  EXPECT_EQ(relativise(at("other/x.tex"), root), "../other/x.tex");
  EXPECT_EQ(relativise("../other/x.tex", root), "../other/x.tex");
  EXPECT_EQ(relativise("", root), ".");
  EXPECT_EQ(relativise(root, root), ".");
  if (has_link_) {
    EXPECT_EQ(relativise(at("link/chapters/intro.tex"), root), "chapters/intro.tex");
    EXPECT_EQ(relativise("chapters/intro.tex", at("link")), "chapters/intro.tex");
  }
}

TEST_F(SarifPaths, MissingSourceRootFallsBackToLexicalForm) {
  const std::string root = at("missing/deeper");
  EXPECT_EQ(relativise("a/b.tex", root), "a/b.tex");
  EXPECT_EQ(relativise(at("missing/deeper/a/b.tex"), root), "a/b.tex");
  EXPECT_EQ(relativise(at("x.tex"), root), "../../x.tex");
  // ".." under a directory that does not exist is resolved lexically.
  EXPECT_EQ(resolve_path(at("missing/../root/y.tex")), tmp_ / "root" / "y.tex");
  EXPECT_EQ(resolve_path(at("root/chapters/new/file.tex")), tmp_ / "root/chapters/new/file.tex");
}

TEST(SarifPathText, AsPosix) {
  EXPECT_EQ(as_posix("a/b/c.tex"), "a/b/c.tex");
  EXPECT_EQ(as_posix("../x.tex"), "../x.tex");
  EXPECT_EQ(as_posix("/abs/x.tex"), "/abs/x.tex");
  EXPECT_EQ(as_posix("a/./b/"), "a/b");
  EXPECT_EQ(as_posix("caf\xc3\xa9/\xff.tex"), "café/\uFFFD.tex");
}

}  // namespace
}  // namespace kvt::sarif

#include "json_output.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <nlohmann/json.hpp>

#include "report_fixture.hpp"

namespace kvt::json_output {
namespace {

using nlohmann::json;

std::string py_string(std::string_view text) {
  std::string out;
  write_py_string(text, out);
  return out;
}

std::string py_float(double value) {
  std::string out;
  write_py_float(value, out);
  return out;
}

std::string written(const json& value) {
  std::string out;
  write_value(value, 0, out);
  return out;
}

TEST(JsonRender, WholeDocuments) {
  test::expect_golden("no_input.json", render(test::no_input_report()));
  test::expect_golden("sample.json", render(test::sample_report()));
}

TEST(JsonRender, BareReportWithNothingInIt) {
  EXPECT_EQ(render(ComplianceReport{}), R"({
  "baseline": null,
  "categories": [],
  "compliance_percentage": null,
  "coverage": {
    "counts": {
      "checked": 0,
      "not_checked": 0,
      "out_of_scope": 0,
      "partial": 0
    },
    "items": []
  },
  "journal_id": "",
  "rule_set": {
    "fingerprint": null,
    "guide_source": null,
    "recall": null,
    "version": null
  },
  "skipped_rules": [],
  "tool_version": "",
  "violations": []
}
)");
}

TEST(JsonRender, BaselineAndCategoryWithoutRecall) {
  ComplianceReport report;
  report.baseline = BaselineSummary{"base.json", std::nullopt, 2, 1, 0};
  report.compliance_percentage = 100.0;
  report.categories.push_back({"markup", "Markup", {}, std::nullopt, 1, 1, CategoryStatus::Pass});
  const json payload = json::parse(render(report));
  EXPECT_EQ(payload["baseline"], json::parse(R"({"matched": 2, "path": "base.json",
      "ruleset_version": null, "stale": 1, "unevaluated": 0})"));
  EXPECT_EQ(payload["categories"][0]["recall"], json::parse(R"({"state": "unmeasured"})"));
  const std::string text = render(report);
  EXPECT_NE(text.find("\"compliance_percentage\": 100.0,"), std::string::npos);
}

TEST(JsonRender, ParseProblemFallsBackWithoutCatalogueRecord) {
  Violation problem;
  problem.file = "a.tex";
  problem.line = 4;
  problem.rule_id = "KVT-PARSE-000";
  problem.severity = Severity::Error;
  problem.message = "bad";
  EXPECT_EQ(written(violation_value(problem)), R"({
  "column": null,
  "confidence": "high",
  "file": "a.tex",
  "fix": null,
  "guide_section": "",
  "guide_url": null,
  "line": 4,
  "message": "bad",
  "rule_id": "KVT-PARSE-000",
  "severity": "error",
  "suggestion": null
})");
}

TEST(JsonWriter, StringEscapesMatchPythonAsciiOutput) {
  struct Case {
    std::string text;
    const char* expected;
  };
  const Case cases[] = {
      {"plain / text", R"("plain / text")"},
      {"quote \" and back\\slash", R"("quote \" and back\\slash")"},
      {"\b\t\n\f\r", R"("\b\t\n\f\r")"},
      {std::string("nul\0x", 5), R"("nul\u0000x")"},
      {"\x01\x1f\x7f", R"("\u0001\u001f\u007f")"},
      {"é", R"("\u00e9")"},
      {"\u2014\u2026", R"("\u2014\u2026")"},
      {"\U0001F600", R"("\ud83d\ude00")"},
      {"\U0010FFFF", R"("\udbff\udfff")"},
      {"bad \xff byte", R"("bad \ufffd byte")"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(py_string(c.text), c.expected) << c.text;
}

TEST(JsonWriter, FloatsInPythonReprForm) {
  struct Case {
    double value;
    const char* expected;
  };
  const Case cases[] = {
      {100.0, "100.0"},
      {66.7, "66.7"},
      {0.0, "0.0"},
      {-0.0, "-0.0"},
      {0.1, "0.1"},
      {0.30000000000000004, "0.30000000000000004"},
      {-2.5, "-2.5"},
      {0.0001, "0.0001"},
      {0.00001, "1e-05"},
      {1.5e-7, "1.5e-07"},
      {9999999999999998.0, "9999999999999998.0"},
      {1e16, "1e+16"},
      {1.2345678901234568e17, "1.2345678901234568e+17"},
      {1e100, "1e+100"},
      {5e-324, "5e-324"},
      {1.7976931348623157e308, "1.7976931348623157e+308"},
      {std::numeric_limits<double>::quiet_NaN(), "null"},
      {std::numeric_limits<double>::infinity(), "null"},
      {-std::numeric_limits<double>::infinity(), "null"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(py_float(c.value), c.expected) << c.expected;
}

TEST(JsonWriter, NestingSortedKeysAndNumberKinds) {
  json value = json::object();
  value["b"] = json::array({1, -2, 3.0, true, nullptr, json::array(), json::object()});
  value["a"] = json{{"é", json{{"x", "y"}}}};
  value["B"] = std::uint64_t{18446744073709551615u};
  EXPECT_EQ(written(value), R"({
  "B": 18446744073709551615,
  "a": {
    "\u00e9": {
      "x": "y"
    }
  },
  "b": [
    1,
    -2,
    3.0,
    true,
    null,
    [],
    {}
  ]
})");
}

TEST(JsonWriter, ViolationObjectsSitSixSpacesDeep) {
  const std::string text = render(test::sample_report());
  EXPECT_NE(text.find("\n  \"violations\": [\n    {\n      \"column\": 14,"), std::string::npos);
  ASSERT_GE(text.size(), 2u);
  EXPECT_EQ(text.substr(text.size() - 2), "}\n");
}

}  // namespace
}  // namespace kvt::json_output

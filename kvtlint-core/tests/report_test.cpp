#include "report.hpp"

#include <gtest/gtest.h>

namespace kvt {
namespace {

TEST(RecallStat, Labels) {
  struct Case {
    std::uint32_t tp, fn, min_n;
    const char* label;
  };
  for (const Case& c :
       {Case{0, 0, 0, "unmeasured"}, Case{0, 0, 10, "unmeasured"}, Case{3, 4, 10, "limited (n=7)"},
        Case{70, 20, 10, "78%"}, Case{1, 1, 2, "50%"}, Case{1, 2, 3, "33%"}, Case{2, 1, 3, "67%"},
        Case{1, 0, 0, "100%"}}) {
    EXPECT_EQ((RecallStat{c.tp, c.fn}.label(c.min_n)), c.label) << c.tp << "/" << c.fn;
  }
}

TEST(RuleSetInfo, GuideSource) {
  RuleSetInfo info;
  EXPECT_FALSE(info.guide_source());
  info.guide = "kvt.cls 3.3";
  EXPECT_EQ(info.guide_source(), "kvt.cls 3.3");
  info.guide_date = "2021-05-23";
  EXPECT_EQ(info.guide_source(), "kvt.cls 3.3 (2021-05-23)");
}

Violation make(std::string file, std::uint32_t line, std::optional<std::uint32_t> column,
               std::string rule, std::string tag = "") {
  Violation v;
  v.file = std::move(file);
  v.line = line;
  v.column = column;
  v.rule_id = std::move(rule);
  v.message = std::move(tag);
  return v;
}

TEST(SortViolations, OrdersByFileLineColumnRuleAndIsStable) {
  std::vector<Violation> list = {
      make("a.tex", 2, 1, "KVT-B", "x"), make("a.tex", 2, std::nullopt, "KVT-Z"),
      make("B.tex", 9, 9, "KVT-A"),      make("a.tex", 1, 5, "KVT-A"),
      make("a.tex", 2, 1, "KVT-A"),      make("a.tex", 2, 1, "KVT-B", "y"),
  };
  sort_violations(list);
  std::vector<std::string> got;
  for (const auto& v : list) {
    got.push_back(v.file + ":" + std::to_string(v.line) + ":" +
                  (v.column ? std::to_string(*v.column) : "-") + ":" + v.rule_id + v.message);
  }
  EXPECT_EQ(got,
            (std::vector<std::string>{"B.tex:9:9:KVT-A", "a.tex:1:5:KVT-A", "a.tex:2:-:KVT-Z",
                                      "a.tex:2:1:KVT-A", "a.tex:2:1:KVT-Bx", "a.tex:2:1:KVT-By"}));
}

TEST(SortViolations, PathsCompareAsBytes) {
  std::vector<Violation> list = {make("é.tex", 1, 1, "R"), make("z.tex", 1, 1, "R")};
  sort_violations(list);
  EXPECT_EQ(list[0].file, "z.tex");  // 0x7A < 0xC3
}

TEST(Texts, SeverityAndStatusRoundTrip) {
  for (Severity s : {Severity::Error, Severity::Warning, Severity::Info}) {
    EXPECT_EQ(parse_severity(severity_text(s)), s);
  }
  EXPECT_FALSE(parse_severity("Error"));
  for (CategoryStatus s : {CategoryStatus::Pass, CategoryStatus::Fail, CategoryStatus::Skipped}) {
    EXPECT_EQ(parse_status(status_text(s)), s);
  }
  EXPECT_FALSE(parse_status("pass"));
}

}  // namespace
}  // namespace kvt

#include "suppress.hpp"

#include <gtest/gtest.h>

namespace kvt {
namespace {

using Ids = std::set<std::string>;

TEST(Suppress, DirectiveLines) {
  struct Case {
    const char* text;
    DirectiveLines expected;
  };
  const Case cases[] = {
      // Trailing comment: that line only.
      {"x <- 1 % kvt-lint: ignore KVT-CODE-003\ny", {{1, {"KVT-CODE-003"}}}},
      // Standalone comment: its line and the next.
      {"  % kvt-lint: ignore KVT-CODE-003\nx", {{1, {"KVT-CODE-003"}}, {2, {"KVT-CODE-003"}}}},
      // Case-insensitive keyword, ids upper-cased.
      {"a %% KVT-LINT: IGNORE kvt-xref-002, kvt-xref-007", {{1, {"KVT-XREF-002", "KVT-XREF-007"}}}},
      // Nothing, or only words without a hyphen, after ignore: every rule.
      {"text % kvt-lint: ignore", {{1, {"*"}}}},
      {"% kvt-lint: ignore all\n", {{1, {"*"}}, {2, {"*"}}}},
      // Escaped percent and a longer word are not directives.
      {"\\% kvt-lint: ignore KVT-A-001", {}},
      {"% kvt-lint: ignored KVT-A-001", {}},
      // Sets on the same line merge.
      {"% kvt-lint: ignore KVT-A-001\nx % kvt-lint: ignore KVT-B-002",
       {{1, {"KVT-A-001"}}, {2, {"KVT-A-001", "KVT-B-002"}}}},
      // A carriage return stays part of the line.
      {"x % kvt-lint: ignore KVT-A-001\r\ny", {{1, {"KVT-A-001"}}}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(directive_lines(c.text), c.expected) << c.text;
}

TEST(Suppress, IsSuppressedMatchesFileLineAndRule) {
  SuppressionIndex index;
  index["a.tex"][3] = {"KVT-XREF-002"};
  index["b.bib"][7] = {"*"};
  Violation v;
  v.file = "a.tex";
  v.line = 3;
  v.rule_id = "KVT-XREF-002";
  EXPECT_TRUE(is_suppressed(index, v));
  v.column = 12;
  EXPECT_TRUE(is_suppressed(index, v));
  v.rule_id = "KVT-XREF-007";
  EXPECT_FALSE(is_suppressed(index, v));
  v.file = "c.tex";
  EXPECT_FALSE(is_suppressed(index, v));
  v.file = "b.bib";
  v.line = 7;
  v.column.reset();
  EXPECT_TRUE(is_suppressed(index, v));
}

}  // namespace
}  // namespace kvt

// The fixture manuscripts of tests/fixtures parse into well-formed trees, and
// the constructs they were written to exercise come out as expected.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "bib/parser.hpp"
#include "tex/extract.hpp"
#include "tex/parser.hpp"
#include "tex/prose.hpp"
#include "tex/walk.hpp"
#include "tex_invariants.hpp"

namespace kvt {
namespace {

std::string read_fixture(const std::string& name) {
  const std::string path = std::string(KVT_SOURCE_DIR) + "/tests/fixtures/" + name;
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << path;
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

struct Census {
  std::multiset<std::string> environments;
  std::multiset<std::string> macros;
  std::size_t math = 0;
  std::size_t comments = 0;
  std::string prose;  // all prose Chars text
};

Census census(const ParsedTex& parsed) {
  Census c;
  walk(parsed.nodes, [&](const Node& node, const Ancestors& ancestors) {
    if (node.is_environment()) c.environments.insert(node.name());
    if (node.is_macro()) c.macros.insert(node.name());
    if (node.is_math()) ++c.math;
    if (node.is_comment()) ++c.comments;
    if (node.is_chars() && is_in_prose_context(ancestors)) c.prose += node.text;
  });
  return c;
}

void expect_well_formed(const std::string& name, const ParsedTex& parsed,
                        const std::string& input) {
  EXPECT_EQ(parsed.source.size(), input.size()) << name;
  testing::TreeChecker checker(parsed.chars);
  const auto problems = checker.check(parsed.nodes);
  EXPECT_TRUE(problems.empty()) << name << "\n" << testing::join_problems(problems);
}

TEST(Fixtures, PaperBasic) {
  const std::string input = read_fixture("paper_basic.tex");
  const ParsedTex parsed = parse_tex_source(input);
  expect_well_formed("paper_basic.tex", parsed, input);
  const Census c = census(parsed);
  EXPECT_EQ(c.environments.count("document"), 1u);
  EXPECT_EQ(c.environments.count("CodeInput"), 1u);
  EXPECT_EQ(c.environments.count("figure"), 1u);
  EXPECT_EQ(c.environments.count("table"), 1u);
  EXPECT_EQ(c.environments.count("equation"), 1u);
  EXPECT_EQ(c.environments.count("align"), 1u);
  EXPECT_EQ(c.macros.count("section"), 8u);  // five numbered, two starred, one in the appendix
  EXPECT_EQ(c.macros.count("caption"), 2u);
  EXPECT_GE(c.macros.count("citep"), 3u);
  EXPECT_GE(c.math, 10u);
  EXPECT_GE(c.comments, 10u);
  // Code and titles are not prose; running text is.
  EXPECT_EQ(c.prose.find("library("), std::string::npos);
  EXPECT_EQ(c.prose.find("Ordinal transition models"), std::string::npos);
  EXPECT_NE(c.prose.find("Many longitudinal studies"), std::string::npos);
  // The \newcommand bodies did not swallow the document.
  ASSERT_FALSE(parsed.nodes.empty());
  std::size_t top_envs = 0;
  for (const Node& node : parsed.nodes)
    top_envs += node.is_environment("document");
  EXPECT_EQ(top_envs, 1u);
}

TEST(Fixtures, PaperCode) {
  const std::string input = read_fixture("paper_code.tex");
  const ParsedTex parsed = parse_tex_source(input);
  expect_well_formed("paper_code.tex", parsed, input);
  const Census c = census(parsed);
  // The environment definition's \begin{center} / \end{center} are neutralized.
  EXPECT_EQ(c.environments.count("center"), 0u);
  EXPECT_EQ(c.environments.count("shaded"), 1u);
  EXPECT_EQ(c.environments.count("Sinput"), 1u);
  EXPECT_EQ(c.environments.count("verbatim"), 1u);
  EXPECT_EQ(c.environments.count("lstlisting"), 1u);
  EXPECT_EQ(c.environments.count("alltt"), 1u);
  EXPECT_EQ(c.macros.count("verb"), 2u);
  // `$` in \code{sims$data} and in the Sinput body opens no math; the two
  // inline formulas and the display are the only math in the document.
  EXPECT_EQ(c.math, 3u);  // $T(w) = ...$, $w$ and the \[...\] display
  // `%` in the lstlisting body is masked, so the body holds no comment.
  walk(parsed.nodes, [&](const Node& node, const Ancestors& ancestors) {
    if (node.is_comment()) {
      EXPECT_FALSE(is_inside_verbatim(ancestors)) << node.text;
    }
  });
}

TEST(Fixtures, RefsBib) {
  const std::string input = read_fixture("refs.bib");
  const Library lib = parse_bibtex(input);
  EXPECT_EQ(lib.entries.size(), 17u);
  EXPECT_TRUE(lib.duplicate_block_keys.empty());
  EXPECT_TRUE(lib.duplicate_field_keys.empty());
  std::set<std::string> keys;
  for (const Entry& e : lib.entries) {
    keys.insert(e.key);
    EXPECT_NE(e.field("year"), nullptr) << e.key;
  }
  EXPECT_EQ(keys.size(), lib.entries.size());
  const auto find = [&](const std::string& key) -> const Entry& {
    for (const Entry& e : lib.entries)
      if (e.key == key) return e;
    ADD_FAILURE() << key;
    return lib.entries.front();
  };
  EXPECT_EQ(find("Jackson2011").field("journal")->value, "Journal of Statistical Software");
  EXPECT_EQ(find("Satten1996").field("journal")->value,
            "Journal of the Royal Statistical Society C");
  EXPECT_EQ(find("Higham2005").field("journal")->value,
            "SIAM Journal on Matrix Analysis and Applications");
  EXPECT_EQ(find("Rabiner1989").field("year")->value, "1989");
  EXPECT_EQ(find("Kalbfleisch1985").entry_type, "book");
  EXPECT_EQ(find("Kalbfleisch1985").line, 7u);  // on line 8 of the file
}

}  // namespace
}  // namespace kvt

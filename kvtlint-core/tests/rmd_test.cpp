#include "rmd.hpp"

#include <gtest/gtest.h>

#include "document.hpp"
#include "text.hpp"

namespace kvt {
namespace {

std::string blanks(std::size_t n) {
  return std::string(n, ' ');
}

// (first line, text) of every prose fragment.
std::vector<std::pair<std::uint32_t, std::string>> fragments_of(std::string_view text) {
  std::vector<std::pair<std::uint32_t, std::string>> out;
  for (const ParsedTexFileDoc& fragment : parse_rmd_source("a.Rmd", text).fragments)
    out.emplace_back(fragment.line_index.line_offset + 1, fragment.tex.source);
  return out;
}

using Fragments = std::vector<std::pair<std::uint32_t, std::string>>;

TEST(Rmd, SplitsIntoProseParagraphs) {
  struct Case {
    std::string input;
    Fragments expected;
  };
  const Case cases[] = {
      {"", {}},
      {"One\ntwo\n\nThree", {{1, "One\ntwo"}, {4, "Three"}}},
      // Front matter, headings and fenced code never reach the TeX parser.
      {"---\ntitle: x\n---\nText", {{4, "Text"}}},
      {"Intro\n# Title\nBody\n####### Not a heading",
       {{1, "Intro"}, {3, "Body\n####### Not a heading"}}},
      {"Text\n```{r, echo=FALSE}\nx <- 1\n\n```\nMore", {{1, "Text"}, {6, "More"}}},
      {"  ```  python  \ncode\n   ```\nafter", {{4, "after"}}},
      // A fence opener needs nothing but a language or {...} after the backticks.
      {"```r x\nstill prose", {{1, "```r x\nstill prose"}}},
      // A `---` later than the first line is prose.
      {"Text\n---\nmore", {{1, "Text\n---\nmore"}}},
      // Lines split like Python's str.splitlines: CR LF, CR, VT, FF, FS..RS, NEL, LS, PS.
      {"A\r\nB\rC\vD\fE\x1c"
       "F\x1dG\x1eH\u0085I\u2028J\u2029K\n",
       {{1, "A\nB\nC\nD\nE\nF\nG\nH\nI\nJ\nK"}}},
      {"A\r\n\r\nB\u2028 \u2029C", {{1, "A"}, {3, "B"}, {5, "C"}}},
      // A paragraph that blanks to nothing is dropped.
      {"<!-- note -->\n\nText", {{3, "Text"}}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(fragments_of(c.input), c.expected) << testing::PrintToString(c.input);
}

TEST(Rmd, BlanksMarkdownOnlyConstructs) {
  struct Case {
    std::string input;
    std::string expected;
  };
  const Case cases[] = {
      {"See [the site](page.html) and **Important** and *this*",
       "See [the site" + blanks(12) + " and " + blanks(13) + " and " + blanks(6)},
      {"Use `r 1+1` and `code` here", "Use " + blanks(7) + " and " + blanks(6) + " here"},
      {"a <!-- one\ntwo --> b <https://x.org/a> c https://y.org/é d",
       "a " + blanks(8) + "\n" + blanks(7) + " b " + blanks(17) + " c " + blanks(15) + " d"},
      // Inline code: not across lines, not empty, not next to another backtick.
      {"`a\nb` ``x`` `` `c`", "`a\nb` ``x`` `` " + blanks(3)},
      // Italic needs a `*` not preceded by a letter, digit, `_` or `*`.
      {"2*3*4 a_*b* (*c*) é*d* *e", "2*3*4 a_*b* (" + blanks(3) + ") é*d* *e"},
      // Bold first, then italic: `***x***` loses its inner `**x**`, then the outer stars.
      {"**bold** and ***x***", blanks(8) + " and " + blanks(7)},
      // An unclosed comment or span stays as text.
      {"a <!-- b", "a <!-- b"},
      {"a `b", "a `b"},
      // A character's blank is one space, whatever its width in bytes.
      {"`é€😀` x", blanks(5) + " x"},
  };
  for (const Case& c : cases) {
    const Fragments got = fragments_of(c.input);
    ASSERT_EQ(got.size(), 1u) << c.input;
    EXPECT_EQ(got[0].second, c.expected) << c.input;
  }
}

TEST(Rmd, ParseFindings) {
  struct Case {
    std::string input;
    std::uint32_t line;
    Severity severity;
    std::string message_prefix;
    std::size_t fragments;
  };
  const std::string malformed = "Malformed YAML frontmatter (ignored): ";
  const Case cases[] = {
      {"---\ntitle: x\nauthor: y\n", 1, Severity::Error, "Unterminated YAML frontmatter.", 0},
      {"---", 1, Severity::Error, "Unterminated YAML frontmatter.", 0},
      {"---\ntitle: [x\n---\nText", 1, Severity::Warning, malformed, 1},
      {"  ---  \r\na: b: c\r\n---\r\n", 1, Severity::Warning, malformed, 0},
      // Two documents in the front matter are malformed.
      {"---\na: 1\n--- x\n---\n", 1, Severity::Warning,
       malformed + "expected a single document in the stream, but found another document at line 3",
       0},
      {"---\na: 1\n...\nb: 2\n---\n", 1, Severity::Warning, malformed, 0},
      {"---\na: *nowhere\n---\n", 1, Severity::Warning, malformed, 0},
      // Deep nesting is refused early rather than scanned at a cost that grows
      // with the depth for every bracket.
      {"---\na: " + std::string(200000, '[') + "\n---\n", 1, Severity::Warning,
       malformed + "collections nested deeper than 128 levels at line 2", 0},
      {"Text\n\n" + std::string(7, '\n') + "```{r}\nx <- 1\n", 10, Severity::Error,
       "Unterminated fenced code block.", 1},
      {"```\n```\n```", 3, Severity::Error, "Unterminated fenced code block.", 0},
  };
  for (const Case& c : cases) {
    const ParsedRmdFileDoc doc = parse_rmd_source("dir/a.Rmd", c.input);
    ASSERT_EQ(doc.violations.size(), 1u) << testing::PrintToString(c.input);
    const Violation& v = doc.violations[0];
    EXPECT_EQ(v.file, "dir/a.Rmd");
    EXPECT_EQ(v.rule_id, "KVT-PARSE-000");
    EXPECT_EQ(v.line, c.line) << c.input;
    EXPECT_EQ(v.severity, c.severity) << c.input;
    EXPECT_EQ(v.message.substr(0, c.message_prefix.size()), c.message_prefix) << v.message;
    EXPECT_FALSE(v.column);
    EXPECT_FALSE(v.suggestion);
    EXPECT_FALSE(v.fix);
    EXPECT_EQ(doc.fragments.size(), c.fragments) << c.input;
  }
}

TEST(Rmd, YamlErrorTextNamesTheProblemAndItsFileLine) {
  // knitr's `!r` tags are dropped before reading; they never count as errors
  // and do not move the lines of a later problem.
  const ParsedRmdFileDoc doc =
      parse_rmd_source("a.Rmd", "---\ndate: !r Sys.Date()\nparams:\n  n: !r 10\nbad: [1\n---\n");
  ASSERT_EQ(doc.violations.size(), 1u);
  const std::string& message = doc.violations[0].message;
  EXPECT_EQ(message.find('\n'), std::string::npos) << message;
  EXPECT_NE(message.find("line 6"), std::string::npos) << message;
  EXPECT_NE(message.find("flow sequence"), std::string::npos) << message;

  const std::string fine_texts[] = {
      "---\ndate: !r Sys.Date()\nparams:\n  n: !r 10\n---\n",
      "---\n\n   \n---\nText",
      "---\n# only a comment\n---\n",
      "---\nbase: &b {x: 1}\nuse: *b\n---\n",
      "---\na: " + std::string(127, '[') + std::string(127, ']') + "\n---\n",
  };
  for (const std::string& fine : fine_texts) {
    EXPECT_TRUE(parse_rmd_source("a.Rmd", fine).violations.empty()) << fine;
  }
}

TEST(Rmd, FragmentsReportLinesOfTheFile) {
  const ParsedRmdFileDoc doc =
      parse_rmd_source("a.Rmd", "---\r\ntitle: x\r\n---\r\n\r\nFirst line\r\nsecond line\r\n");
  ASSERT_EQ(doc.fragments.size(), 1u);
  const ParsedTexFileDoc& fragment = doc.fragments[0];
  EXPECT_EQ(fragment.path, "a.Rmd");
  EXPECT_EQ(fragment.tex.source, "First line\nsecond line");
  // Rules build their line index from the ParsedTex, so both carry the offset.
  EXPECT_EQ(fragment.tex.line_offset, 4u);
  EXPECT_EQ(fragment.line_index.line_offset, 4u);
  const auto second = fragment.tex.source.find("second");
  EXPECT_EQ(fragment.line_index.lineno_colno(second),
            (std::pair<std::uint32_t, std::uint32_t>{6, 0}));
  EXPECT_EQ(
      LineIndex::with_offset(fragment.tex.chars, fragment.tex.line_offset).lineno_colno(second + 7),
      (std::pair<std::uint32_t, std::uint32_t>{6, 7}));
}

TEST(Rmd, FixesMapIntoTheFile) {
  // CR LF breaks and a multi-byte character before the paragraph: fix offsets
  // in the paragraph become character offsets of the file.
  const std::string file = "é\r\n\r\nWe use R\r\nand R **too**.\r\n";
  const ParsedRmdFileDoc doc = parse_rmd_source("a.Rmd", file);
  ASSERT_EQ(doc.fragments.size(), 2u);
  const ParsedTexFileDoc& fragment = doc.fragments[1];
  ASSERT_TRUE(fragment.source_map);
  const std::u32string chars = decode_utf8(file);
  const std::size_t second_r = chars.find(U"R **");
  std::vector<Violation> findings(2);
  findings[0].fix = Fix{"\\proglang{R}", "wrap", 13, 14};  // "R" of "and R"
  findings[1].fix = Fix{"x", "across the break", 7, 13};   // "R\nand "
  relocate_fixes(findings, *fragment.source_map);
  ASSERT_TRUE(findings[0].fix);
  EXPECT_EQ(findings[0].fix->start, second_r);
  EXPECT_EQ(findings[0].fix->end, second_r + 1);
  ASSERT_TRUE(findings[1].fix);
  EXPECT_EQ(findings[1].fix->start, chars.find(U"R\r\n"));
  EXPECT_EQ(findings[1].fix->end, second_r);
}

TEST(Rmd, LongMarkerRunsAndOpenFences) {
  // Long runs of markers with nothing to close them; must finish quickly and
  // keep every character.
  const std::string backticks(50000, '`');
  const auto repeat = [](std::string_view piece, int times) {
    std::string s;
    for (int i = 0; i < times; ++i)
      s += piece;
    return s;
  };
  for (const std::string& text :
       {backticks, "--> " + repeat("<!-- ", 20000), repeat("x *", 20000), repeat("`r x", 20000),
        repeat("<https://", 20000), repeat("](", 20000), repeat("**", 20000)}) {
    const Fragments got = fragments_of(text);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(char_count(got[0].second), char_count(text));
  }
  // A comment longer than the pattern engine's match limit is blanked all the same.
  const std::string long_comment = "Text <!--" + std::string(12'000'000, '-') + "--> after";
  const Fragments commented = fragments_of(long_comment);
  ASSERT_EQ(commented.size(), 1u);
  EXPECT_TRUE(commented[0].second == "Text " + blanks(long_comment.size() - 11) + " after");

  std::string fences;
  for (int i = 0; i < 50001; ++i)
    fences += "```\nx\n";
  const ParsedRmdFileDoc doc = parse_rmd_source("a.Rmd", fences);
  ASSERT_EQ(doc.violations.size(), 1u);
  EXPECT_EQ(doc.violations[0].line, 100001u);
}

TEST(Rmd, IntakeRoutesRmdWhateverTheCase) {
  const auto parsed = ParsedDocument::from_sources({
      {"a.Rmd", "Text one"},
      {"x.tex", "t"},
      {"dir/B.RMD", "---\ntitle: x\n"},
      {"c.rmd", ""},
  });
  ASSERT_TRUE(std::holds_alternative<ParsedDocument>(parsed));
  const ParsedDocument& doc = std::get<ParsedDocument>(parsed);
  ASSERT_EQ(doc.rmd_files.size(), 3u);
  EXPECT_EQ(doc.tex_files.size(), 1u);
  EXPECT_EQ(doc.rmd_files[0].path, "a.Rmd");
  ASSERT_EQ(doc.rmd_files[0].fragments.size(), 1u);
  EXPECT_EQ(doc.rmd_files[0].fragments[0].path, "a.Rmd");
  EXPECT_EQ(doc.rmd_files[1].path, "dir/B.RMD");
  ASSERT_EQ(doc.rmd_files[1].violations.size(), 1u);
  EXPECT_EQ(doc.rmd_files[1].violations[0].file, "dir/B.RMD");
  EXPECT_TRUE(doc.rmd_files[2].fragments.empty());
  // Fragments follow the TeX files among the TeX-like documents.
  const auto all = doc.all_tex_like_docs();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[1]->path, "a.Rmd");
}

}  // namespace
}  // namespace kvt

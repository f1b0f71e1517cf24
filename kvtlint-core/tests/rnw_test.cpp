#include "rnw.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "document.hpp"
#include "text.hpp"

namespace kvt {
namespace {

std::size_t line_feeds(std::string_view text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(Rnw, RewritesChunks) {
  const auto blanks = [](std::size_t n) { return std::string(n, ' '); };
  struct Case {
    std::string input;
    std::string expected;
  };
  const Case cases[] = {
      // An echoed chunk becomes an Sinput block; the `@` line becomes its end tag.
      {"<<fit>>=\nlm(y ~ x)\n@\n", "\\begin{Sinput}\nlm(y ~ x)\n\\end{Sinput}\n"},
      // A hidden chunk leaves one line feed per line feed it held.
      {"<<echo=FALSE>>=\nx <- 1\ny <- 2\n@", "\n\n\n"},
      {"a\n<<include=F>>=\nx\n@ end\nb", "a\n\n\n\nb"},
      // Backslashes and braces in code never reach the parser as TeX.
      {"<<>>=\ncat(\"\\\\n\"); f <- function() {1}\n@\n",
       "\\begin{Sinput}\ncat(\"  n\"); f <- function()  1 \n\\end{Sinput}\n"},
      // An empty body, indented delimiters, blanks after `>>=`.
      {"<<>>=\n@", "\\begin{Sinput}\n\\end{Sinput}"},
      {"  <<a>>= \t\nx\n\t@\tdone\ny", "\\begin{Sinput}\nx\n\\end{Sinput}\ny"},
      // A header inside a chunk body is code; the first `@` line ends the chunk.
      {"<<a>>=\n<<b>>=\n@\n@\n", "\\begin{Sinput}\n<<b>>=\n\\end{Sinput}\n@\n"},
      // Not chunks: text after `>>=`, `@` glued to a word, no closing line.
      {"<<a>>= x\ny\n@\n", "<<a>>= x\ny\n@\n"},
      {"<<a>>=\ny\n@x\n", "<<a>>=\ny\n@x\n"},
      {"<<a>>=\ny\n", "<<a>>=\ny\n"},
      // Inline expressions are blanked character by character; line feeds stay.
      {"m = \\Sexpr{mean(x)}.", "m = " + blanks(15) + "."},
      {"\\Sexpr{a\nb} \\Sexpr{é}", blanks(8) + "\n" + blanks(2 + 1 + 9)},
      {"\\Sexpr{f({x})}", "\\Sexpr{f({x})}"},
      // CR LF: the Sinput line break follows the header's; the `@` line's CR goes with it.
      {"<<a>>=\r\nx\r\n@\r\ntext\r\n", "\\begin{Sinput}\r\nx\r\n\\end{Sinput}\ntext\r\n"},
      {"<<echo=F>>=\r\nx\r\n@\r\n", "\n\n\n"},
  };
  for (const Case& c : cases) {
    const std::string out = wrap_rnw_chunks_as_sinput(c.input);
    EXPECT_EQ(out, c.expected) << testing::PrintToString(c.input);
    EXPECT_EQ(line_feeds(out), line_feeds(c.input)) << c.input;
  }
}

TEST(Rnw, GlobalAndChunkOptions) {
  const std::string shown = "\\begin{Sinput}\nx\n\\end{Sinput}\n";
  struct Case {
    const char* input;
    bool hidden;
  };
  const Case cases[] = {
      {"\\SweaveOpts{echo=FALSE}\n<<>>=\nx\n@\n", true},
      // A global block applies wherever it stands in the file.
      {"<<>>=\nx\n@\n\\SweaveOpts{ echo = F }\n", true},
      {"<<echo=TRUE>>=\nx\n@\n\\SweaveOpts{echo=FALSE}\n", false},
      {"<<echo=T>>=\nx\n@\n\\SweaveOpts{echo=FALSE}\n", false},
      // Any value other than F/FALSE in a header counts as on.
      {"<<echo=yes>>=\nx\n@\n\\SweaveOpts{echo=FALSE}\n", false},
      {"<<echo=no>>=\nx\n@\n", false},
      {"opts_chunk$set(include=FALSE)\n<<>>=\nx\n@\n", true},
      // The later block wins; unknown values change nothing.
      {"\\SweaveOpts{echo=FALSE}\n\\SweaveOpts{echo=TRUE}\n<<>>=\nx\n@\n", false},
      {"\\SweaveOpts{echo=FALSE}\n\\SweaveOpts{echo=maybe}\n<<>>=\nx\n@\n", true},
      {"<<fig=TRUE, include=FALSE>>=\nx\n@\n", true},
  };
  for (const Case& c : cases) {
    const std::string out = wrap_rnw_chunks_as_sinput(c.input);
    EXPECT_EQ(out.find(shown) == std::string::npos, c.hidden) << c.input << "\n=> " << out;
    EXPECT_EQ(line_feeds(out), line_feeds(c.input)) << c.input;
  }
  const Regex echo(R"(\becho\s*=\s*(\w+))");
  EXPECT_TRUE(effective(echo, "<<a, echo=FALSE>>=", false));
  EXPECT_FALSE(effective(echo, "<<a, echo=TRUE>>=", true));
  EXPECT_TRUE(effective(echo, "<<a>>=", true));
  EXPECT_FALSE(effective(echo, "<<a, myecho=FALSE>>=", false));
}

// The line scanner the rewrite falls back on must find exactly the chunks the
// pattern finds, on any mix of the line shapes that matter.
TEST(Rnw, LineScannerAgreesWithPattern) {
  const Regex chunk(R"((?ms)^[ \t]*<<[^\n]*?>>=[ \t]*\r?\n.*?^[ \t]*@(?:[ \t][^\n]*)?\r?$)");
  const char* const shapes[] = {
      "<<a>>=",   "<<>>=",      " <<echo=F>>=\t",
      "<<a>>=\r", "<<a>>= \r",  "<<a>>=\r ",
      "<<a>>= x", "<< >>= >>=", "<<",
      ">>=",      "@",          "@ end",
      "@\r",      "@\r\r",      "\t@",
      "@x",       "x @",        "",
      "text",     "\\Sexpr{a}", "<<>>=<<>>=",
  };
  std::mt19937 random(7);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const int lines = 1 + static_cast<int>(random() % 9);
    for (int i = 0; i < lines; ++i) {
      if (i > 0) text += random() % 4 == 0 ? "\r\n" : "\n";
      text += shapes[random() % std::size(shapes)];
    }
    if (random() % 2 == 0) text += '\n';
    std::size_t from = 0;
    while (true) {
      const auto expected = chunk.find(text, from);
      const auto found = find_rnw_chunk_by_lines(text, from, text.size());
      ASSERT_EQ(found, expected) << testing::PrintToString(text) << " from " << from;
      if (!found) break;
      from = found->end;
    }
  }
}

// Past a few million characters the pattern engine stops looking (its match
// limit); such a chunk must still be rewritten, not read as prose.
TEST(Rnw, ChunkBeyondThePatternEngineLimitIsStillRewritten) {
  std::string body;
  while (body.size() < 12'000'000)
    body += "x <- c(1, 2, 3) # \\alpha {\n";
  const std::string text = "a\n<<>>=\n" + body + "@\n<<echo=FALSE>>=\n" + body + "@\nb";
  const RnwRewrite rewrite = rewrite_rnw(text);
  const std::size_t body_lines = line_feeds(body);
  std::string cleaned = body;
  std::replace_if(
      cleaned.begin(), cleaned.end(), [](char c) { return c == '\\' || c == '{'; }, ' ');
  EXPECT_TRUE(rewrite.text == "a\n\\begin{Sinput}\n" + cleaned + "\\end{Sinput}\n" +
                                  std::string(body_lines + 2, '\n') + "b");
  EXPECT_EQ(rewrite.map.lines.size(), line_feeds(text) + 1);
}

TEST(Rnw, SourceMapCarriesFixesBackIntoTheFile) {
  // Lines: 0 a, 1-3 hidden chunk, 4 words, 5 header, 6 body, 7 `@`, 8 last.
  const std::string original =
      "a\n<<echo=F>>=\nx\n@\nWord here\n<<fit, fig=TRUE>>=\nf(x)\n@\nend é \\Sexpr{y} z";
  const RnwRewrite rewrite = rewrite_rnw(original);
  ASSERT_EQ(rewrite.text, "a\n\n\n\nWord here\n\\begin{Sinput}\nf(x)\n\\end{Sinput}\nend é" +
                              std::string(11, ' ') + "z");
  const std::u32string chars = decode_utf8(rewrite.text);
  const std::u32string source = decode_utf8(original);
  ASSERT_EQ(rewrite.map.length, chars.size());
  const auto at = [&](std::u32string_view haystack, std::u32string_view needle) {
    return static_cast<std::uint64_t>(haystack.find(needle));
  };
  using Span64 = std::pair<std::uint64_t, std::uint64_t>;

  // Before, inside and after rewritten chunks: the same characters in the file.
  for (const std::u32string_view word : {U"a", U"here", U"f(x)", U"end é", U"é", U"z"}) {
    const std::uint64_t s = at(chars, word);
    const auto mapped = rewrite.map.map_span(s, s + word.size());
    ASSERT_TRUE(mapped) << encode_utf8(word);
    EXPECT_EQ(*mapped, (Span64{at(source, word), at(source, word) + word.size()}));
  }
  // A span over a line end maps onto the file's line end.
  const std::uint64_t here = at(chars, U"here");
  EXPECT_EQ(rewrite.map.map_span(here, here + 5),
            (std::optional<Span64>{{at(source, U"here"), at(source, U"here") + 5}}));

  // Touching a delimiter line, a hidden chunk, or spanning across a chunk: dropped.
  const std::uint64_t begin = at(chars, U"\\begin");
  const std::uint64_t end_tag = at(chars, U"\\end{");
  EXPECT_FALSE(rewrite.map.map_span(begin + 1, begin + 3));
  EXPECT_FALSE(rewrite.map.map_span(begin, begin + 1));
  EXPECT_FALSE(rewrite.map.map_span(here, end_tag + 14));
  EXPECT_FALSE(rewrite.map.map_span(at(chars, U"f(x)"), end_tag + 1));
  EXPECT_FALSE(rewrite.map.map_span(2, 3));
  // The very start of any line is the same place in both texts, so an
  // insertion there, or a span ending there, still maps.
  EXPECT_EQ(rewrite.map.map_span(begin, begin),
            (std::optional<Span64>{{at(source, U"<<fit"), at(source, U"<<fit")}}));
  EXPECT_EQ(rewrite.map.map_span(here, begin),
            (std::optional<Span64>{{at(source, U"here"), at(source, U"<<fit")}}));
  EXPECT_FALSE(rewrite.map.map_span(begin + 2, begin + 2));
  // Out of range or reversed.
  EXPECT_FALSE(rewrite.map.map_span(chars.size(), chars.size() + 1));
  EXPECT_FALSE(rewrite.map.map_span(5, 4));
  EXPECT_TRUE(rewrite.map.map_span(chars.size(), chars.size()));
}

TEST(Rnw, RelocateFixesKeepsFindingWhenFixCannotMove) {
  const RnwRewrite rewrite = rewrite_rnw("<<>>=\nx\n@\nR here");
  // "R" is on line 3 at offset 30 in the rewritten text, 10 in the file.
  ASSERT_EQ(rewrite.text.substr(30), "R here");
  std::vector<Violation> findings(2);
  findings[0].fix = Fix{"\\proglang{R}", "wrap", 30, 31};
  findings[1].fix = Fix{"x", "rewrite", 0, 3};  // on "\begin{Sinput}"
  relocate_fixes(findings, rewrite.map);
  ASSERT_TRUE(findings[0].fix);
  EXPECT_EQ(findings[0].fix->start, 10u);
  EXPECT_EQ(findings[0].fix->end, 11u);
  EXPECT_EQ(findings[0].fix->replacement, "\\proglang{R}");
  EXPECT_FALSE(findings[1].fix);
}

TEST(Rnw, IntakeRewritesParsesAndKeepsThePath) {
  const auto parsed = ParsedDocument::from_sources({
      {"ch/Intro.RNW",
       "\xEF\xBB\xBF"
       "a\n<<echo=F>>=\nx\n@\nWord \\Sexpr{n}"},
      {"b.tex", "plain"},
      {"c.rnw", "<<>>=\nf(x)\n@\n"},
  });
  ASSERT_TRUE(std::holds_alternative<ParsedDocument>(parsed));
  const ParsedDocument& doc = std::get<ParsedDocument>(parsed);
  ASSERT_EQ(doc.tex_files.size(), 3u);
  const ParsedTexFileDoc& intro = doc.tex_files[0];
  EXPECT_EQ(intro.path, "ch/Intro.RNW");
  EXPECT_EQ(intro.tex.source, "a\n\n\n\nWord " + std::string(9, ' '));
  ASSERT_TRUE(intro.source_map);
  // A position after the hidden chunk is on its line of the .Rnw file.
  const std::size_t word = intro.tex.source.find("Word");
  EXPECT_EQ(intro.line_index.lineno_colno(word), (std::pair<std::uint32_t, std::uint32_t>{5, 0}));
  // Offsets count from after the byte-order mark.
  EXPECT_EQ(intro.source_map->map_span(word, word + 4),
            (std::optional<std::pair<std::uint64_t, std::uint64_t>>{{18, 22}}));
  EXPECT_FALSE(doc.tex_files[1].source_map);
  EXPECT_EQ(doc.tex_files[2].path, "c.rnw");
  EXPECT_EQ(doc.tex_files[2].tex.source, "\\begin{Sinput}\nf(x)\n\\end{Sinput}\n");
}

}  // namespace
}  // namespace kvt

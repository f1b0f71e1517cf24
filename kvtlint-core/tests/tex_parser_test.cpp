#include "tex/parser.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "limits.hpp"
#include "tex/walk.hpp"
#include "tex_invariants.hpp"
#include "text.hpp"

namespace kvt {
namespace {

std::string dump(std::string_view text) {
  return dump_nodes(parse_tex_source(text).nodes);
}

void expect_well_formed(const ParsedTex& parsed, const std::string& label) {
  testing::TreeChecker checker(parsed.chars);
  const auto problems = checker.check(parsed.nodes);
  EXPECT_TRUE(problems.empty()) << label << "\n" << testing::join_problems(problems);
}

struct Row {
  const char* input;
  const char* expected;
};

// One row per edge case of Parts 2.1 and 2.3 (and some more).
const Row kRows[] = {
    // Special tokens; `---` before `--`.
    {"a--b", R"(Chars"a" Specials"--" Chars"b")"},
    {"a---b", R"(Chars"a" Specials"---" Chars"b")"},
    {"a----b", R"(Chars"a" Specials"---" Chars"-b")"},
    {"!`?`````''&~",
     R"(Specials"!`" Specials"?`" Specials"``" Specials"``" Specials"''" Specials"&" Specials"~")"},
    {"a-b! ?'", R"(Chars"a-b! ?'")"},
    // Macros with specifications.
    {"\\section*[Short]{Long title}",
     R"(Macro\section[Chars"*" Group[Chars"Short"] Group{Chars"Long title"}])"},
    {"\\section {T}", R"(Macro\section[_ _ Group{Chars"T"}])"},
    {"\\section* {T}", R"(Macro\section[Chars"*" _ Group{Chars"T"}])"},
    {"\\textbf x", R"(Macro\textbf[Chars"x"])"},
    {"\\textbf\\emph{y}", R"(Macro\textbf[Macro\emph] Group{Chars"y"})"},
    {"\\textbf\\\\", R"(Macro\textbf[Macro\\])"},
    {"\\textbf\\", R"(Macro\textbf[Macro""])"},
    {"{\\textbf}", R"(Group{Macro\textbf[Chars""]})"},
    {"\\textbf", R"(Macro\textbf[_])"},
    {"\\textbf  ", R"(Macro\textbf[_])"},
    {"\\frac12", R"(Macro\frac[Chars"1" Chars"2"])"},
    {"\\sqrt[3]{x}", R"(Macro\sqrt[Group[Chars"3"] Group{Chars"x"}])"},
    {"\\citep[see][p. 3]{key}",
     R"(Macro\citep[_ Group[Chars"see"] Group[Chars"p. 3"] Group{Chars"key"}])"},
    {"\\nopagecolor{x}", R"(Macro\nopagecolor Group{Chars"x"})"},
    // Macros without a specification.
    {"\\foo{bar}", R"(Macro\foo Group{Chars"bar"})"},
    {"\\foo  bar", R"(Macro\foo Chars"bar")"},
    {"\\foo\n\nbar", R"(Macro\foo Chars"\n\nbar")"},
    {"\\foo \n \n bar", R"(Macro\foo Chars"bar")"},
    {"\\foo@bar1", R"(Macro\foo@bar Chars"1")"},
    {"\\%", R"(Macro\%)"},
    {"\\%a", R"(Macro\% Chars"a")"},
    {"100\\% sure", R"(Chars"100" Macro\% Chars" sure")"},
    {"\\, \\ x", R"(Macro\, Chars" " Macro" " Chars"x")"},
    {"\\\\[2pt]", R"(Macro\\[_ Group[Chars"2pt"]])"},
    {"\\\\*[2pt]", R"(Macro\\[Chars"*" Group[Chars"2pt"]])"},
    {"\\\\ [2pt]", R"(Macro\\[_ Group[Chars"2pt"]])"},
    {"\\\\\n\n[2pt]", R"(Macro\\[_ _] Chars"\n\n[2pt]")"},
    {"\\", R"(Macro"")"},
    {"a\\", R"(Chars"a" Macro"")"},
    {"\\é", R"(Macro"é")"},
    {"\\end{x}", R"(Macro\end Group{Chars"x"})"},
    // Optional arguments and the blank-line rule.
    {"\\item\n\n[x]", R"(Macro\item[_] Chars"\n\n[x]")"},
    {"\\item\n[x]", R"(Macro\item[Group[Chars"x"]])"},
    {"\\item \n \n[x]", R"(Macro\item[Group[Chars"x"]])"},
    {"\\item  \n\n[x]", R"(Macro\item[_] Chars"\n\n[x]")"},
    {"\\item x", R"(Macro\item[_] Chars"x")"},
    {"\\item[a]b", R"(Macro\item[Group[Chars"a"]] Chars"b")"},
    {"\\item[a", R"(Macro\item[Group[Chars"a"]])"},
    {"\\item[{]}]x", R"(Macro\item[Group[Group{Chars"]"}]] Chars"x")"},
    // \verb.
    {"\\verb|a{b|", R"(Macro\verb[Chars"a{b"])"},
    {"\\verb*|a|", R"(Macro\verb[Chars"|a|"])"},
    {"\\verb|a|b", R"(Macro\verb[Chars"a"] Chars"b")"},
    {"\\verb|abc", R"(Macro\verb[Chars"abc"])"},
    {"\\verb|", R"(Macro\verb[Chars""])"},
    {"\\verb", R"(Macro\verb)"},
    {"\\verb  +x$+", R"(Macro\verb[Chars"x$"])"},
    // Environments.
    {"\\begin{itemize}\\item A\\end{itemize}",
     R"(Environment"itemize"[_](Macro\item[_] Chars"A"))"},
    {"\\begin{itemize}[label=-]\n\\item A\n\\end{itemize}",
     R"(Environment"itemize"[Group[Chars"label=-"]](Chars"\n" Macro\item[_] Chars"A\n"))"},
    {"\\begin{x}abc", R"(Environment"x"(Chars"abc"))"},
    {"\\begin{x}a\\end{x}b", R"(Environment"x"(Chars"a") Chars"b")"},
    {"\\begin{x}a\\end {x}b", R"(Environment"x"(Chars"a" Macro\end Group{Chars"x"} Chars"b"))"},
    {"\\begin {x}a\\end{x}", R"(Environment"x"(Chars"a"))"},
    {"\\begin{ x }a\\end{ x }", R"(Environment" x "(Chars"a"))"},
    {"\\begin{x", R"(Environment"x"())"},
    {"\\begin{}a\\end{}", R"(Environment""(Chars"a"))"},
    {"\\begin x", R"(Macro\begin Chars"x")"},
    {"\\begin", R"(Macro\begin)"},
    {"\\begin{itemize}\\end{enumerate}\\end{itemize}",
     R"(Environment"itemize"[_](Macro\end Group{Chars"enumerate"}))"},
    {"\\begin{x}\\begin{y}\\end{x}",
     R"(Environment"x"(Environment"y"(Macro\end Group{Chars"x"})))"},
    {"\\begin{tabular}{ll}a & b\\\\\\end{tabular}",
     R"(Environment"tabular"[Group{Chars"ll"}](Chars"a " Specials"&" Chars" b" Macro\\[_ _]))"},
    {"\\begin{figure}[t]x\\end{figure}", R"(Environment"figure"[Group[Chars"t"]](Chars"x"))"},
    {"\\begin{tabularx}{\\linewidth}{X}\\end{tabularx}",
     R"(Environment"tabularx"[Group{Macro\linewidth} _ Group{Chars"X"}]())"},
    {"\\begin{abstract}A\\end{abstract}", R"(Environment"abstract"(Chars"A"))"},
    {"\\begin{verbatim}a {b} \\c\\end{verbatim}", R"(Environment"verbatim"[Chars"a {b} \\c"]())"},
    {"\\begin{verbatim}a", R"(Environment"verbatim"[Chars"a"]())"},
    {"\\begin{verbatim}", R"(Environment"verbatim"[Chars""]())"},
    {"\\begin{Verbatim}a{b\\end{Verbatim}",
     R"(Environment"Verbatim"(Chars"a" Group{Chars"b" Macro\end Group{Chars"Verbatim"}}))"},
    // Groups and math.
    {"{a}", R"(Group{Chars"a"})"},
    {"{a", R"(Group{Chars"a"})"},
    {"{}", R"(Group{})"},
    {"a}b]c", R"(Chars"a}b]c")"},
    {"[a]", R"(Chars"[a]")"},
    {"{ $ }", R"(Group{Chars" " Math$(Chars" }")})"},
    {"\\(x\\)", R"(Math$(Chars"x"))"},
    {"$x$", R"(Math$(Chars"x"))"},
    {"\\[x\\]", R"(Math$$(Chars"x"))"},
    {"$$x$$", R"(Math$$(Chars"x"))"},
    {"$$x$", R"(Math$$(Chars"x" Math$()))"},
    {"$a$$b$", R"(Math$(Chars"a" Math$$(Chars"b" Math$())))"},
    {"$a}b$", R"(Math$(Chars"a}b"))"},
    {"${a$", R"(Math$(Group{Chars"a" Math$()}))"},
    {"$\\frac{1}{2}$", R"(Math$(Macro\frac[Group{Chars"1"} Group{Chars"2"}]))"},
    {"\\[a\\)b\\]", R"(Math$$(Chars"a" Macro\) Chars"b"))"},
    {"$a\\]$", R"(Math$(Chars"a" Macro\]))"},
    // Comments.
    {"%", R"(Comment"")"},
    {"a%", R"(Chars"a" Comment"")"},
    {"% note\n\nText", R"(Comment" note" Chars"\n\nText")"},
    {"% note\nText", R"(Comment" note" Chars"Text")"},
    {"% a\r\nb", R"(Comment" a" Chars"\r\nb")"},
    {"% a\rb", R"(Comment" a" Chars"b")"},
    {"% a\n", R"(Comment" a")"},
    {"% a {b $c\n%d", R"(Comment" a {b $c" Comment"d")"},
    {"{a%}\nb}", R"(Group{Chars"a" Comment"}" Chars"b"})"},
    // Unusual characters.
    {"a\rb", R"(Chars"a\rb")"},
    {"a\u2028b\U0001F600", "Chars\"a\\u{2028}b\U0001F600\""},
    {"", ""},
};

TEST(TexParser, DumpRows) {
  for (const Row& row : kRows) {
    const ParsedTex parsed = parse_tex_source(row.input);
    EXPECT_EQ(dump_nodes(parsed.nodes), row.expected) << "input: " << row.input;
    expect_well_formed(parsed, row.input);
  }
}

TEST(TexParser, ResultFields) {
  const ParsedTex parsed = parse_tex_source("é $x$");
  EXPECT_EQ(parsed.source, "é $x$");
  EXPECT_EQ(parsed.chars, U"é $x$");
  EXPECT_EQ(parsed.line_offset, 0u);
  ASSERT_EQ(parsed.nodes.size(), 2u);
  EXPECT_EQ(parsed.nodes[0].pos, 0u);
  EXPECT_EQ(parsed.nodes[0].len, 2u);  // characters, not bytes
  EXPECT_EQ(parsed.nodes[1].pos, 2u);
  EXPECT_EQ(parsed.nodes[1].len, 3u);
  EXPECT_TRUE(parse_tex_source("").nodes.empty());
}

TEST(TexParser, SpansCoverNamesWhiteSpaceAndArguments) {
  {
    const ParsedTex parsed = parse_tex_source("\\section {T} x");
    const Node& macro = parsed.nodes.at(0);
    EXPECT_EQ(macro.pos, 0u);
    EXPECT_EQ(macro.len, 12u);
    EXPECT_EQ(macro.args.at(2)->pos, 9u);
  }
  {
    // The skipped white space before an absent optional argument is not consumed.
    const ParsedTex parsed = parse_tex_source("\\item x");
    EXPECT_EQ(parsed.nodes.at(0).len, 6u);  // `\item ` : skipped after the name
    const ParsedTex unconsumed = parse_tex_source("\\\\ x");
    EXPECT_EQ(unconsumed.nodes.at(0).len, 2u);
    EXPECT_EQ(unconsumed.nodes.at(1).text, " x");
  }
  {
    const ParsedTex parsed = parse_tex_source("\\verb|a|");
    const Node& slot = *parsed.nodes.at(0).args.at(0);
    EXPECT_EQ(slot.pos, 6u);
    EXPECT_EQ(slot.len, 1u);
    EXPECT_EQ(parsed.nodes.at(0).len, 8u);
  }
  {
    const ParsedTex parsed = parse_tex_source("\\begin{verbatim}a\\end{verbatim}!");
    const Node& env = parsed.nodes.at(0);
    EXPECT_EQ(env.len, 31u);
    EXPECT_EQ(env.args.at(0)->pos, 16u);
    EXPECT_EQ(parsed.nodes.at(1).pos, 31u);
  }
  {
    const ParsedTex parsed = parse_tex_source("% note\n\nText");
    EXPECT_EQ(parsed.nodes.at(0).len, 6u);
    const ParsedTex with_line_end = parse_tex_source("% note\nText");
    EXPECT_EQ(with_line_end.nodes.at(0).len, 7u);
    EXPECT_EQ(parse_tex_source("%").nodes.at(0).len, 1u);
  }
}

TEST(TexParser, NulIsOrdinary) {
  const std::string input("a\0b{\0}", 6);
  const ParsedTex parsed = parse_tex_source(input);
  EXPECT_EQ(parsed.chars.size(), 6u);
  EXPECT_EQ(dump_nodes(parsed.nodes), "Chars\"a\\u{0}b\" Group{Chars\"\\u{0}\"}");
  expect_well_formed(parsed, "nul");
}

TEST(TexParser, InvalidUtf8BecomesReplacementCharacters) {
  // A lone continuation byte, a truncated sequence and an overlong form: one
  // U+FFFD per offending byte, exactly as decode_utf8 counts them.
  const std::string input = "a\x80{b\xE2\x82}c\xC0\xAF";
  const ParsedTex parsed = parse_tex_source(input);
  EXPECT_EQ(parsed.chars, decode_utf8(input));
  EXPECT_TRUE(is_valid_utf8(parsed.source));
  EXPECT_EQ(char_count(parsed.source), parsed.chars.size());
  EXPECT_EQ(parsed.chars[1], U'\uFFFD');
  expect_well_formed(parsed, "invalid utf8");
  ASSERT_EQ(parsed.nodes.size(), 3u);
  EXPECT_EQ(parsed.nodes[1].pos, 2u);  // the group
  EXPECT_EQ(parsed.nodes[1].len, 5u);
}

TEST(TexParser, AstralAndSeparatorCharactersKeepPositions) {
  const ParsedTex parsed = parse_tex_source("\U0001F600\u2028\\emph{\U0001D400}x");
  ASSERT_EQ(parsed.nodes.size(), 3u);
  EXPECT_EQ(parsed.nodes[1].pos, 2u);
  EXPECT_EQ(parsed.nodes[1].args.at(0)->pos, 7u);
  EXPECT_EQ(parsed.nodes[1].args.at(0)->children.at(0).text, "\U0001D400");
  EXPECT_EQ(parsed.nodes[2].pos, 10u);
  expect_well_formed(parsed, "astral");
}

TEST(TexParser, NeutralizationHappensBeforeParsing) {
  // `$` in a code argument no longer opens math; `%` in Sinput opens no comment.
  EXPECT_EQ(dump("\\code{a$b} $x$"), R"(Macro\code Group{Chars"a?b"} Chars" " Math$(Chars"x"))");
  EXPECT_EQ(dump("\\begin{Sinput}\n> x %% y\n\\end{Sinput}"),
            R"(Environment"Sinput"(Chars"\n> x ?? y\n"))");
  EXPECT_EQ(
      dump("\\newenvironment{b}{\\begin{center}}{\\end{center}}"),
      R"(Macro\newenvironment[_ Group{Chars"b"} _ _ Group{Chars" begin" Group{Chars"center"}} Group{Chars" end" Group{Chars"center"}}])");
}

// ---------------------------------------------------------------------------
// Property test: random TeX-ish inputs keep every structural invariant.

std::string random_input(std::mt19937& rng) {
  static const std::vector<std::string> kPieces = {"\\",
                                                   "{",
                                                   "}",
                                                   "[",
                                                   "]",
                                                   "$",
                                                   "$$",
                                                   "%",
                                                   "&",
                                                   "~",
                                                   "-",
                                                   "--",
                                                   "---",
                                                   "'",
                                                   "''",
                                                   "!",
                                                   "?",
                                                   "`",
                                                   "!`",
                                                   "?`",
                                                   "\n",
                                                   "\n\n",
                                                   "\r",
                                                   "\r\n",
                                                   " ",
                                                   "  ",
                                                   "\t",
                                                   "a",
                                                   "b",
                                                   "xy",
                                                   "Text ",
                                                   "\\begin{x}",
                                                   "\\end{x}",
                                                   "\\begin{verbatim}",
                                                   "\\end{verbatim}",
                                                   "\\begin{Sinput}",
                                                   "\\end{Sinput}",
                                                   "\\begin{itemize}",
                                                   "\\end{itemize}",
                                                   "\\begin{tabular}",
                                                   "\\verb",
                                                   "\\verb|",
                                                   "|",
                                                   "\\item",
                                                   "\\section",
                                                   "\\section*",
                                                   "\\emph",
                                                   "\\foo",
                                                   "\\frac",
                                                   "\\\\",
                                                   "\\[",
                                                   "\\]",
                                                   "\\(",
                                                   "\\)",
                                                   "\\%",
                                                   "\\code{",
                                                   "\\def\\x",
                                                   "\\newcommand{\\y}",
                                                   "\\newenvironment{e}",
                                                   "*",
                                                   "é",
                                                   "数",
                                                   "\U0001F600",
                                                   "\u2028",
                                                   "\u00a0",
                                                   std::string(1, '\0'),
                                                   "\\citep",
                                                   "\\\\[",
                                                   "\\item["};
  std::uniform_int_distribution<std::size_t> length(0, 60);
  std::uniform_int_distribution<std::size_t> pick(0, kPieces.size() - 1);
  std::string out;
  const std::size_t pieces = length(rng);
  for (std::size_t i = 0; i < pieces; ++i)
    out += kPieces[pick(rng)];
  return out;
}

TEST(TexParser, RandomInputsKeepInvariants) {
  std::mt19937 rng(20240517);
  for (int round = 0; round < 5000; ++round) {
    const std::string input = random_input(rng);
    const ParsedTex parsed = parse_tex_source(input);
    ASSERT_EQ(parsed.source.size(), input.size()) << input;
    ASSERT_EQ(parsed.chars.size(), char_count(parsed.source)) << input;
    ASSERT_EQ(parsed.chars.size(), char_count(input)) << input;
    testing::TreeChecker checker(parsed.chars);
    const auto problems = checker.check(parsed.nodes);
    ASSERT_TRUE(problems.empty()) << "input: " << input << "\n"
                                  << testing::join_problems(problems) << dump_nodes(parsed.nodes);
    // The walk reaches every node without trouble.
    std::size_t visited = 0;
    walk(parsed.nodes, [&](const Node&, const Ancestors&) { ++visited; });
    ASSERT_GE(visited, parsed.nodes.size());
  }
}

TEST(TexParser, RandomBytesNeverBreakPositions) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> len(0, 80);
  for (int round = 0; round < 3000; ++round) {
    std::string input;
    const int n = len(rng);
    for (int i = 0; i < n; ++i)
      input.push_back(static_cast<char>(byte(rng)));
    const ParsedTex parsed = parse_tex_source(input);
    ASSERT_EQ(parsed.chars.size(), decode_utf8(input).size());
    ASSERT_TRUE(is_valid_utf8(parsed.source));
    ASSERT_EQ(parsed.chars, decode_utf8(parsed.source));
    testing::TreeChecker checker(parsed.chars);
    const auto problems = checker.check(parsed.nodes);
    ASSERT_TRUE(problems.empty()) << testing::join_problems(problems);
  }
}

// ---------------------------------------------------------------------------
// Deep input: the nesting guard keeps the parser, the walks and node
// destruction bounded, and the invariants still hold.

void check_deep(const std::string& input, const std::string& label) {
  const ParsedTex parsed = parse_tex_source(input);
  EXPECT_EQ(parsed.source.size(), input.size()) << label;
  testing::TreeChecker checker(parsed.chars);
  const auto problems = checker.check(parsed.nodes);
  EXPECT_TRUE(problems.empty()) << label << "\n" << testing::join_problems(problems);
  // Lists nest at most kMaxNesting + 1 deep (the top level counts as one).
  EXPECT_LE(checker.max_depth(), kMaxNesting + 1) << label;
  std::size_t visited = 0;
  std::size_t deepest = 0;
  walk(parsed.nodes, [&](const Node&, const Ancestors& ancestors) {
    ++visited;
    deepest = std::max(deepest, ancestors.size());
  });
  EXPECT_GT(visited, 0u) << label;
  EXPECT_LE(deepest, 3 * kMaxNesting) << label;
  std::size_t seen = 0;
  iter_with_parent_visit(parsed.nodes, seen,
                         [](std::size_t& count, SlotView, std::size_t, const Node&) { ++count; });
  EXPECT_EQ(seen, visited) << label;
}

constexpr std::size_t kMillion = 1000000;

std::string repeat(std::string_view piece, std::size_t times) {
  std::string out;
  out.reserve(piece.size() * times);
  for (std::size_t i = 0; i < times; ++i)
    out += piece;
  return out;
}

TEST(TexParserDeep, MillionBraces) {
  check_deep(repeat("{", kMillion), "open braces");
  check_deep(repeat("{", kMillion) + repeat("}", kMillion), "balanced braces");
  check_deep(repeat("}", kMillion) + repeat("{", kMillion), "reversed braces");
}

TEST(TexParserDeep, MillionEnvironments) {
  check_deep(repeat("\\begin{x}", kMillion), "open environments");
  check_deep(repeat("\\begin{x}", kMillion / 4) + repeat("\\end{x}", kMillion / 4),
             "balanced environments");
}

TEST(TexParserDeep, DollarsAndBraces) {
  check_deep(repeat("${", kMillion / 2), "dollar brace");
  check_deep(repeat("$", kMillion), "dollars");
  check_deep(repeat("\\[{", kMillion / 3), "display math brace");
  check_deep(repeat("\\(", kMillion / 2), "inline math");
}

TEST(TexParserDeep, BracketChains) {
  check_deep(repeat("\\\\[", kMillion / 3), "line-break brackets");
  check_deep(repeat("\\item[", kMillion / 6), "item brackets");
  check_deep(repeat("\\section*[", kMillion / 10) + repeat("]", kMillion / 10), "section chain");
  check_deep(repeat("\\textbf{", kMillion / 8), "mandatory argument chain");
}

TEST(TexParserDeep, MixedNesting) {
  std::mt19937 rng(99);
  const std::vector<std::string> openers = {"{",
                                            "$",
                                            "$$",
                                            "\\[",
                                            "\\(",
                                            "\\begin{x}",
                                            "\\\\[",
                                            "\\item[",
                                            "\\emph{",
                                            "\\frac{",
                                            "\\begin{tabular}{",
                                            "a",
                                            "}",
                                            "]",
                                            "\\end{x}"};
  std::uniform_int_distribution<std::size_t> pick(0, openers.size() - 1);
  std::string input;
  input.reserve(5 * kMillion);
  for (std::size_t i = 0; i < kMillion; ++i)
    input += openers[pick(rng)];
  check_deep(input, "mixed");
}

TEST(TexParserDeep, GuardedLevelReadsOpenersAsCharacters) {
  // At the limit nothing opens: the innermost list holds the rest as text.
  const std::string input = repeat("{", kMaxNesting + 3) + "\\emph{x $y$ \\[a \\begin{z";
  const ParsedTex parsed = parse_tex_source(input);
  const Node* node = &parsed.nodes.at(0);
  std::size_t depth = 1;
  while (!node->children.empty() && node->children.front().is_group()) {
    node = &node->children.front();
    ++depth;
  }
  EXPECT_EQ(depth, kMaxNesting);
  EXPECT_EQ(dump_nodes(node->children),
            R"(Chars"{{{" Macro\emph Chars"{x $y$ \\[a " Macro\begin Chars"{z")");
}

}  // namespace
}  // namespace kvt

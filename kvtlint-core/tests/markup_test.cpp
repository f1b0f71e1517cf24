#include "rules/markup.hpp"

#include <gtest/gtest.h>

#include "engine.hpp"
#include "tex/parser.hpp"
#include "tex/walk.hpp"
#include "text.hpp"

namespace kvt {
namespace {

using RuleFn = std::vector<Violation> (*)(const std::string&, const ParsedTex&, std::uint32_t);

std::vector<Violation> lint(RuleFn rule, std::string_view text) {
  return rule("paper.tex", parse_tex_source(text), 80);
}

// "line:column" of each finding, in the rule's order.
std::vector<std::string> where(const std::vector<Violation>& violations) {
  std::vector<std::string> out;
  for (const Violation& v : violations)
    out.push_back(std::to_string(v.line) + ":" + std::to_string(v.column.value_or(0)));
  return out;
}

struct Case {
  const char* tex;
  std::vector<std::string> expected;  // line:column of every finding
};

void check_cases(RuleFn rule, std::span<const Case> cases) {
  for (const Case& c : cases)
    EXPECT_EQ(where(lint(rule, c.tex)), c.expected) << c.tex;
}

TEST(Markup001, WorkedExampleBareRInProse) {
  const auto found = lint(check_markup_001, "We fit the model in R and compare it.");
  ASSERT_EQ(found.size(), 1u);
  const Violation& v = found[0];
  EXPECT_EQ(v.file, "paper.tex");
  EXPECT_EQ(v.line, 1u);
  EXPECT_EQ(v.column, 21u);
  EXPECT_EQ(v.rule_id, "KVT-MARKUP-001");
  EXPECT_EQ(v.message, "Programming-language names in prose are wrapped in \\proglang{}");
  EXPECT_EQ(v.severity, Severity::Warning);
  EXPECT_EQ(v.suggestion, "Wrap 'R' in \\proglang{R}.");
  ASSERT_TRUE(v.fix);
  EXPECT_EQ(v.fix->replacement, "\\proglang{R}");
  EXPECT_EQ(v.fix->description, "wrap R in \\proglang{}");
  EXPECT_EQ(v.fix->start, 20u);
  EXPECT_EQ(v.fix->end, 21u);
}

TEST(Markup001, WorkedExampleThroughTheEngine) {
  auto parsed =
      ParsedDocument::from_sources({{"paper.tex", "We fit the model in R and compare it.\n"}});
  ASSERT_TRUE(std::holds_alternative<ParsedDocument>(parsed));
  const ComplianceReport report = engine::run(ToolConfig{}, std::get<ParsedDocument>(parsed));
  std::vector<Violation> markup;
  for (const Violation& v : report.violations)
    if (v.rule_id.starts_with("KVT-MARKUP-")) markup.push_back(v);
  ASSERT_EQ(markup.size(), 1u);
  EXPECT_EQ(markup[0].rule_id, "KVT-MARKUP-001");
  EXPECT_EQ(where(markup), std::vector<std::string>{"1:21"});
  for (const CategorySummary& category : report.categories) {
    if (category.category_id != "markup") continue;
    EXPECT_EQ(category.status, CategoryStatus::Fail);
    EXPECT_EQ(category.rules_applied, 4u);
    EXPECT_EQ(category.rules_passed, 3u);
  }
}

TEST(Markup001, ReportsBareLanguageNames) {
  const Case cases[] = {
      {"R is at position 0.", {"1:1"}},
      {"Python and Julia\nand C++ too", {"1:1", "1:12", "2:5"}},
      {"in S-PLUS or MATLAB;", {"1:4", "1:14"}},
      // Only ASCII letters make tokens, so columns after accents count characters.
      {"Caf\u00e9 und R", {"1:10"}},
      // Prose inside ordinary macro arguments and a citation's note counts.
      {"\\emph{fit in R}, \\footnote{see Stan}", {"1:14", "1:32"}},
      // Not prose: math, code markup, titles, metadata, verbatim environments.
      {"$R$ \\proglang{R} \\code{R} \\section{R} \\label{R} "
       "\\begin{Sinput}R\\end{Sinput} \\begin{equation}R\\end{equation}",
       {}},
      // Lower-case and unrelated words are not terms.
      {"r, python, Rcpp, CRAN", {}},
      // A term cut out of a longer word by an accented letter is not a name.
      {"C\u00e9zanne's R\u00f4le, R\u0301x, na\u00efveR, \u00e9C-based", {}},
      {"R\u00a0and \u00abR\u00bb", {"1:1", "1:8"}},
  };
  check_cases(check_markup_001, cases);
}

TEST(Markup001, SkipConditionsInOrder) {
  const Case cases[] = {
      // 1. One-letter terms inside the bibliography; longer ones are still reported.
      {"\\begin{thebibliography}{9}\n\\bibitem{a} R Core Team, Python\n\\end{thebibliography}",
       {"2:26"}},
      // 2. Initials.
      {"We use R. Then R. J. Smith.", {}},
      // 3. Superscripts and file names / path pieces.
      {"R^2, file.R, src/R, Python^3", {}},
      // 4. Paths: R/utils.R is skipped; R/Python without an extension is not
      // (and Python after the slash is skipped by 3).
      {"see R/utils.R and R/Python", {"1:19"}},
      // 5. Listing options within 50 bytes before the term.
      {"with language=R and style = Python here", {}},
      {"language="
       "                                                  "
       "R",
       {"1:60"}},
      // 7. One-letter names: possessives, eponyms, labels, enumerations with labels.
      {"Harrell's C, Harrell\u2019s C, the C index, the R statistic, a C\n criterion", {}},
      {"panel C, Panels R, in group\nC", {}},
      {"groups A, B and C; A, B, or C models", {}},
      // Enumerations without a label word nearby are reported.
      {"choose A, B or C now", {"1:16"}},
      // Only the enumeration containing the letter counts, and only within 40 bytes.
      {"panels A, B and C; then R", {"1:25"}},
      // 8. Definition lines.
      {"\\newenvironment{lang}{R begin}{Python end}", {}},
      {"  \\DeclareRobustCommand{\\x}{R}", {}},
      {"\\def\\lang{R}", {}},
      // 9. Inside a definition body on a later line (brace scan).
      {"\\newenvironment{lang}{%\n  R begin}{Python end}", {}},
      {"\\newenvironment{lang}[1][x]{\\begin{center}\n  R {inner} R}{}", {}},
      // An ordinary group is not a definition body.
      {"{\\bf\n R}", {"2:2"}},
      // 10. R\&D and Q\&R.
      {"R\\&D and Q\\&R", {}},
      // 11. One-letter table cells.
      // Braces right around the letter are passed over, blanks outside them are not.
      {"\\begin{tabular}{ll}\na & R & b \\\\\nC \\\\\n &{R}\\\\\n & {R} \\\\\n\\end{tabular}",
       {"3:1", "5:5"}},
      // A longer term in a cell is reported.
      {"\\begin{tabular}{ll}\na & Python & b \\\\\n\\end{tabular}", {"2:5"}},
  };
  check_cases(check_markup_001, cases);
}

TEST(Markup001, HyphenatedTokens) {
  const auto found =
      lint(check_markup_001, "R-based tools, R-squared, R-package, Foo-R, C++-style");
  ASSERT_EQ(where(found), (std::vector<std::string>{"1:1", "1:45"}));
  EXPECT_EQ(found[0].suggestion, "Wrap 'R' in \\proglang{R} (found bare in 'R-based').");
  ASSERT_TRUE(found[0].fix);
  EXPECT_EQ(found[0].fix->start, 0u);
  EXPECT_EQ(found[0].fix->end, 1u);
  EXPECT_EQ(found[1].suggestion, "Wrap 'C++' in \\proglang{C++} (found bare in 'C++-style').");
  EXPECT_EQ(found[1].fix->start, 44u);
  EXPECT_EQ(found[1].fix->end, 47u);
  EXPECT_EQ(found[1].fix->replacement, "\\proglang{C++}");
  // The hyphen case applies none of the skip tests: not even an initial-like full stop.
  EXPECT_EQ(where(lint(check_markup_001, "R-.")), std::vector<std::string>{"1:1"});
}

TEST(Markup001, FixSpansCountCharacters) {
  const auto found = lint(check_markup_001, "\u00e9\u00e8\n\u4e2d\u6587 and Stata\n");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(where(found), std::vector<std::string>{"2:8"});
  ASSERT_TRUE(found[0].fix);
  EXPECT_EQ(found[0].fix->start, 10u);
  EXPECT_EQ(found[0].fix->end, 15u);
  EXPECT_EQ(found[0].fix->replacement, "\\proglang{Stata}");
  EXPECT_EQ(found[0].fix->description, "wrap Stata in \\proglang{}");
}

TEST(Markup002, PackagesAndTheSandwichEstimator) {
  const Case cases[] = {
      {"We use zoo and xts.", {"1:8", "1:16"}},
      {"the sandwich estimator, of the sandwich, sandwich *matrix*", {}},
      // A hyphenated token is the hyphen case, which has no estimator test.
      {"the sandwich-type matrix", {"1:5"}},
      {"Of The sandwich here", {}},
      {"the sandwich package", {"1:5"}},
      {"sandwich", {"1:1"}},
      // Hyphen exclusions: -package, -packages.
      {"zoo-package, mgcv-based", {"1:14"}},
  };
  check_cases(check_markup_002, cases);
}

TEST(Markup002, OneLetterTermsAndInitialsDependOnTheRule) {
  const StringSet letters{"Q"};
  const ParsedTex tex = parse_tex_source("We use Q.");
  EXPECT_TRUE(check_bare_terms("p.tex", tex, letters, "KVT-MARKUP-001", "proglang", true).empty());
  const auto found = check_bare_terms("p.tex", tex, letters, "KVT-MARKUP-002", "pkg", false);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].suggestion, "Wrap 'Q' in \\pkg{Q}.");
  EXPECT_EQ(found[0].fix->description, "wrap Q in \\pkg{}");
}

TEST(Markup002, TitlePackageIdiom) {
  const Case cases[] = {
      {"\\title{mypkg: Fast Fitting}", {"1:1"}},
      {"x\n\\title{ data.table -- Extension}", {"2:1"}},
      {"\\title{mypkg}", {"1:1"}},
      {"\\title{mypkg \u2014 tools}", {"1:1"}},
      {"\\title{\\pkg{mypkg}: Fast Fitting}", {}},
      {"\\title{Mypkg: Fast}", {}},
      {"\\title{a study of things}", {}},
      // A macro ends the collected text; specials are part of it.
      {"\\title{mypkg\\footnote{x}: more}", {"1:1"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(where(check_title_package_idiom("paper.tex", parse_tex_source(c.tex))), c.expected)
        << c.tex;
  const auto found = lint(check_markup_002, "\\title{mypkg: Fast Fitting with zoo}");
  ASSERT_EQ(found.size(), 1u);  // the title is not prose, so zoo is not a bare-term finding
  EXPECT_EQ(found[0].suggestion,
            "Wrap the leading package name 'mypkg' in \\pkg{mypkg} in the \\title{} body.");
  EXPECT_FALSE(found[0].fix);
}

TEST(Markup003, FunctionCallsAndSentinels) {
  const Case cases[] = {
      {"call summary() and plot( ) on it", {"1:6", "1:20"}},
      {"returns NULL, NA or TRUE; NA_real_ too", {"1:9", "1:15", "1:21", "1:27"}},
      // Argument values and plurals.
      {"with na.rm = TRUE and NA's and NA\u2019s; x =\n FALSE", {}},
      // Not standalone tokens.
      {"NAN, TRUEish, NA_foo", {}},
      // Inside an open code macro on the line, and inside a short caption or
      // section title that is still open.
      {"\\caption[plot() with NA]{long}", {}},
      {"\\emph{see summary()} \\fct{x}", {"1:11"}},
      // Index entries, algorithms and the bibliography are left alone.
      {"\\index{summary()} \\begin{algorithm}run() NULL\\end{algorithm}", {}},
      {"\\begin{thebibliography}{1}\\bibitem{a} NULL f()\\end{thebibliography}", {}},
  };
  check_cases(check_markup_003, cases);

  const auto found = lint(check_markup_003, "It returns NULL and calls f().");
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].suggestion, "Wrap 'f()' in \\code{f()}.");
  EXPECT_FALSE(found[0].fix);
  EXPECT_EQ(found[1].suggestion, "Wrap bare R sentinel 'NULL' in \\code{NULL}.");
  ASSERT_TRUE(found[1].fix);
  EXPECT_EQ(found[1].fix->replacement, "\\code{NULL}");
  EXPECT_EQ(found[1].fix->description, "wrap NULL in \\code{}");
  EXPECT_EQ(found[1].fix->start, 11u);
  EXPECT_EQ(found[1].fix->end, 15u);
}

TEST(Markup003, UserWrapperMacrosAreCode) {
  const char* text =
      "\\newcommand{\\fn}[1]{\\texttt{#1}}\n"
      "\\def\\cmd#1{\\verb|#1|}\n"
      "\\renewcommand*{ \\lst }{\\lstinline}\n"
      "Use \\fn{summary()}, \\cmd{NULL} and \\lst{f()}; but \\emph{g()}.\n";
  // The wrapper definitions themselves hold a \texttt (reported), and only the
  // call inside \emph remains.
  EXPECT_EQ(where(lint(check_markup_003, text)), (std::vector<std::string>{"1:21", "4:57"}));
}

TEST(Markup003, Texttt) {
  const auto found =
      lint(check_markup_003, "\\texttt{R}, \\texttt{ zoo }, \\texttt{lm}, \\texttt{}");
  ASSERT_EQ(where(found), (std::vector<std::string>{"1:1", "1:13", "1:29", "1:42"}));
  EXPECT_EQ(found[0].suggestion,
            "\\texttt{R} names a programming language; wrap as \\proglang{R}.");
  EXPECT_EQ(found[0].fix->replacement, "\\proglang");
  EXPECT_EQ(found[0].fix->description, "replace \\texttt with \\proglang");
  EXPECT_EQ(found[0].fix->start, 0u);
  EXPECT_EQ(found[0].fix->end, 7u);
  EXPECT_EQ(found[1].suggestion, "\\texttt{zoo} names an R package; wrap as \\pkg{zoo}.");
  EXPECT_EQ(found[1].fix->replacement, "\\pkg");
  const std::string generic =
      "Replace \\texttt{...} with the appropriate KVT markup: \\code{...} for inline code, "
      "\\pkg{...} for package names, \\proglang{...} for language names.";
  EXPECT_EQ(found[2].suggestion, generic);
  EXPECT_EQ(found[2].fix->replacement, "\\code");
  EXPECT_EQ(found[2].fix->description, "replace \\texttt with \\code");
  EXPECT_EQ(found[3].suggestion, generic);  // an empty argument

  const Case quiet[] = {
      {"\\texttt{jane.doe@example.org} \\texttt{https://x.org} \\texttt{www.x.org}", {}},
      {"\\texttt{ftp://x} \\texttt{a//b} \\texttt{10.18637/kvt.v001} \\texttt{42:} \\texttt{7}",
       {}},
      {"\\begin{Code}\\texttt{x}\\end{Code} \\code{\\texttt{x}} \\pkg{\\texttt{x}}", {}},
      {"\\index{\\texttt{x}} \\begin{algorithmic}\\texttt{x}\\end{algorithmic}", {}},
      {"\\caption[short \\texttt{x}]{long}", {}},
      {"\\renewcommand{\\code}[1]{\\texttt{#1}}", {}},
  };
  check_cases(check_markup_003, quiet);
  // Not prose is no reason to skip a \texttt.
  EXPECT_EQ(where(lint(check_markup_003, "\\section{The \\texttt{lm} function}")),
            std::vector<std::string>{"1:14"});
}

TEST(Markup004, SectionTitlesWithMarkup) {
  const auto found = lint(check_markup_004,
                          "\\section{Using \\pkg{zoo}  and\n\\proglang{R}}\n"
                          "\\subsection*{Fitting $x$ and \\emph{y}\\label{s}}\n"
                          "\\section[Plain]{Using \\pkg{zoo}}\n"
                          "\\section{Plain title \\label{sec:x} caf\\'e}\n"
                          "\\paragraph{$\\alpha$}\n");
  ASSERT_EQ(where(found), (std::vector<std::string>{"1:1", "3:1", "6:1"}));
  const std::string suggestion =
      "Provide a plain-text section title as the optional argument: \\section[plain]{...}.";
  EXPECT_EQ(found[0].suggestion, suggestion);
  ASSERT_TRUE(found[0].fix);
  EXPECT_EQ(found[0].fix->replacement, "[Using zoo and R]");
  EXPECT_EQ(found[0].fix->description,
            "Insert plain-text optional arg [Using zoo and R] before the section title.");
  EXPECT_EQ(found[0].fix->start, 8u);
  EXPECT_EQ(found[0].fix->end, 8u);
  ASSERT_TRUE(found[1].fix);
  EXPECT_EQ(found[1].fix->replacement, "[Fitting and y]");
  EXPECT_EQ(found[2].suggestion, suggestion);
  EXPECT_FALSE(found[2].fix);  // only math: no plain text to offer
}

TEST(Markup, Predicates) {
  EXPECT_TRUE(in_short_optarg(U"\\caption[see x", 14));
  EXPECT_TRUE(in_short_optarg(U"\\subsubsection*[a", 17));
  EXPECT_FALSE(in_short_optarg(U"\\caption[see] x", 15));
  EXPECT_FALSE(in_short_optarg(U"\\caption[see\nx", 14));  // only the current line
  EXPECT_FALSE(in_short_optarg(U"", 0));

  EXPECT_TRUE(is_code_macro_redefinition(U"a\n\\providecommand{\\pkg}[1]{x}\nb", 4));
  EXPECT_TRUE(is_code_macro_redefinition(U"\\def\\proglang#1{#1}", 0));
  EXPECT_FALSE(is_code_macro_redefinition(U"\\def\\codes#1{#1}", 0));
  EXPECT_FALSE(is_code_macro_redefinition(U"\\newcommand{\\code}\nx", 20));

  struct Cell {
    std::u32string_view chars;
    std::size_t start;
    bool expected;
  };
  const Cell cells[] = {
      {U"a & R & b", 4, true},   {U"a &{ R}\\\\", 5, true}, {U"a &{ R} \\\\", 5, false},
      {U"a & R\n& b", 4, false},  // the next '&' is on another line
      {U"R & b", 0, false},      {U"a & R", 4, false},      {U"a & R \\and", 4, false},
  };
  for (const Cell& c : cells)
    EXPECT_EQ(is_table_cell_letter(c.chars, c.start, c.start + 1), c.expected)
        << encode_utf8(c.chars);

  for (const char* text :
       {"a@b.org", " https://x ", "www.x", "ftp://x", "a//b", "10.1234/x", "12", "12:"})
    EXPECT_TRUE(texttt_is_noncode(text)) << text;
  for (const char* text : {"", "lm", "a@b", "10.123/x", "12:3", "http:/x", "x 12"})
    EXPECT_FALSE(texttt_is_noncode(text)) << text;
}

TEST(Markup, OpenArgTrackerAgreesWithTheLinePatterns) {
  const std::u32string texts[] = {
      U"\\caption[see f() [x] and \\section*[y {z} NA\nnext \\code{a \\texttt{b} c} d",
      U"\\code*{x}{y \\verb{z \\file{\u00e9 \\mycode{w} \\\\pkg{v}\n\\subsubsection[a]b[",
      U"\\paragraph[[[ ]] \\part*{\\part[\\caption**[x \\Caption[y",
  };
  for (const std::u32string& text : texts) {
    OpenArgTracker forward(text);
    for (std::size_t p = 0; p <= text.size() + 1; ++p) {
      forward.seek(p);
      EXPECT_EQ(forward.in_short_optarg(), in_short_optarg(text, p)) << p;
      EXPECT_EQ(forward.in_open_code_macro(), in_open_code_macro(text, p)) << p;
    }
    // Going back restarts from the line's start.
    OpenArgTracker backward(text);
    for (std::size_t p = text.size(); p-- > 0;) {
      backward.seek(p);
      EXPECT_EQ(backward.in_short_optarg(), in_short_optarg(text, p)) << p;
      EXPECT_EQ(backward.in_open_code_macro(), in_open_code_macro(text, p)) << p;
    }
  }
  EXPECT_TRUE(in_open_code_macro(U"see \\code{x", 11));
  EXPECT_FALSE(in_open_code_macro(U"see \\code{x}", 13));
}

TEST(Markup, PlainTextAndMarkupOfTitles) {
  const ParsedTex tex =
      parse_tex_source("A \\textbf{bold} \\label{l}\\index{i} \\'e $m$ %c\n{g} \\cite[p]{k} ~\\ss");
  std::string plain;
  collect_plain_text(tex.nodes, plain);
  // Plain-text macros give nothing, not even their arguments (\'e loses its e);
  // the group after \index, which takes no arguments, is ordinary text.
  EXPECT_EQ(plain, "A bold i   g k ");
  EXPECT_TRUE(mandatory_arg_contains_markup(tex.nodes));
  const ParsedTex plain_only = parse_tex_source("Caf\\'e \\& co \\label{x} \\ldots{}");
  EXPECT_FALSE(mandatory_arg_contains_markup(plain_only.nodes));
  EXPECT_TRUE(mandatory_arg_contains_markup(parse_tex_source("$x$").nodes));
}

TEST(Markup, AlgorithmEnvironments) {
  const Node algorithm = Node::make_environment("algorithm2e", {}, {}, 0, 0);
  const Node other = Node::make_environment("algorithms", {}, {}, 0, 0);
  EXPECT_TRUE(is_inside_algorithm({&other, &algorithm}));
  EXPECT_FALSE(is_inside_algorithm({&other}));
  EXPECT_FALSE(is_inside_algorithm({}));
}

}  // namespace
}  // namespace kvt

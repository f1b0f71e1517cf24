#include "tex/walk.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tex/extract.hpp"
#include "tex/parser.hpp"
#include "tex/prose.hpp"

namespace kvt {
namespace {

std::string describe(const Node& node) {
  std::string out(node_kind_name(node.kind));
  if (node.is_macro() || node.is_environment()) out += " " + node.name();
  if (node.is_chars()) out += " \"" + node.text + "\"";
  return out;
}

std::string describe(const Ancestors& ancestors) {
  std::string out = "[";
  for (std::size_t i = 0; i < ancestors.size(); ++i)
    out += (i ? ", " : "") + describe(*ancestors[i]);
  return out + "]";
}

// Every visited node as "node <- [ancestors]", in walk order.
std::vector<std::string> trace(const ParsedTex& parsed) {
  std::vector<std::string> out;
  walk(parsed.nodes, [&](const Node& node, const Ancestors& ancestors) {
    out.push_back(describe(node) + " <- " + describe(ancestors));
  });
  return out;
}

// Ancestors of the first Chars node with the given text.
struct Found {
  bool found = false;
  bool prose = false;
  bool math = false;
  bool verbatim = false;
  std::string ancestors;
};

Found find_chars(const ParsedTex& parsed, const std::string& text) {
  Found result;
  walk(parsed.nodes, [&](const Node& node, const Ancestors& ancestors) {
    if (result.found || !node.is_chars() || node.text != text) return;
    result.found = true;
    result.prose = is_in_prose_context(ancestors);
    result.math = is_inside_math(ancestors);
    result.verbatim = is_inside_verbatim(ancestors);
    result.ancestors = describe(ancestors);
  });
  return result;
}

TEST(Walk, EmphArgument) {
  const ParsedTex parsed = parse_tex_source("\\emph{a}");
  EXPECT_EQ(trace(parsed), (std::vector<std::string>{
                               "Macro emph <- []",
                               "Group <- [Macro emph]",
                               "Chars \"a\" <- [Macro emph, Group]",
                           }));
}

TEST(Walk, GroupAfterUnknownMacroIsItsArgument) {
  const ParsedTex parsed = parse_tex_source("\\foo{a}");
  EXPECT_EQ(trace(parsed), (std::vector<std::string>{
                               "Macro foo <- []",
                               "Group <- []",
                               "Chars \"a\" <- [Macro foo, Group]",
                           }));
}

TEST(Walk, GroupAtSlotZeroHasOnlyItself) {
  const ParsedTex parsed = parse_tex_source("\\emph{{b}}");
  EXPECT_EQ(find_chars(parsed, "b").ancestors, "[Macro emph, Group, Group]");
  // Inside a macro argument list, slot 0 has no macro before it.
  const ParsedTex top = parse_tex_source("{b}");
  EXPECT_EQ(find_chars(top, "b").ancestors, "[Group]");
  // The rule looks only at the directly preceding slot.
  const ParsedTex spaced = parse_tex_source("\\foo {b}");
  EXPECT_EQ(find_chars(spaced, "b").ancestors, "[Macro foo, Group]");  // space skipped after name
  const ParsedTex separated = parse_tex_source("\\foo\\\\{b}");
  EXPECT_EQ(find_chars(separated, "b").ancestors, "[Macro \\, Group]");
  const ParsedTex text_between = parse_tex_source("\\foo x{b}");
  EXPECT_EQ(find_chars(text_between, "b").ancestors, "[Group]");
}

TEST(Walk, ArgumentsBeforeFollowingSiblings) {
  const ParsedTex parsed = parse_tex_source("\\section[S]{L} x $m$");
  EXPECT_EQ(trace(parsed), (std::vector<std::string>{
                               "Macro section <- []",
                               "Group <- [Macro section]",
                               "Chars \"S\" <- [Macro section, Group]",
                               "Group <- [Macro section]",
                               "Chars \"L\" <- [Macro section, Group]",
                               "Chars \" x \" <- []",
                               "Math <- []",
                               "Chars \"m\" <- [Math]",
                           }));
}

TEST(Walk, VerbatimBodyIsNeverVisited) {
  const ParsedTex parsed = parse_tex_source("\\begin{verbatim}secret\\end{verbatim}");
  EXPECT_EQ(trace(parsed), (std::vector<std::string>{"Environment verbatim <- []"}));
}

TEST(Walk, EnvironmentArgumentsAreNotVisited) {
  const ParsedTex parsed = parse_tex_source("\\begin{tabular}{ll}x\\end{tabular}");
  EXPECT_EQ(trace(parsed), (std::vector<std::string>{
                               "Environment tabular <- []",
                               "Chars \"x\" <- [Environment tabular]",
                           }));
}

TEST(Walk, SinputBodyIsVisitedAndInsideVerbatim) {
  const ParsedTex parsed = parse_tex_source("\\begin{Sinput}\nx <- 1\n\\end{Sinput}");
  const Found found = find_chars(parsed, "\nx <- 1\n");
  ASSERT_TRUE(found.found);
  EXPECT_TRUE(found.verbatim);
  EXPECT_FALSE(found.prose);
}

TEST(Walk, VisitSeqHasNoMacroBeforeGroupRule) {
  const ParsedTex parsed = parse_tex_source("\\foo{a}\\emph{b}");
  std::vector<std::string> seen;
  iter_with_parent_visit(
      parsed.nodes, seen,
      [](std::vector<std::string>& out, SlotView slots, std::size_t index, const Node& node) {
        out.push_back(describe(node) + "@" + std::to_string(index) + "/" +
                      std::to_string(slots.size()));
      });
  EXPECT_EQ(seen, (std::vector<std::string>{"Macro foo@0/3", "Group@1/3", "Chars \"a\"@0/1",
                                            "Macro emph@2/3", "Group@0/1", "Chars \"b\"@0/1"}));
}

TEST(Walk, EmptySlotsAreSkippedButKeepIndices) {
  const ParsedTex parsed = parse_tex_source("\\section{T}");
  std::vector<std::size_t> indices;
  Ancestors ancestors;
  walk_with_context(SlotView(parsed.nodes), ancestors,
                    [&](const Node& node, const Ancestors&, SlotView slots, std::size_t index) {
                      if (node.is_group()) {
                        indices.push_back(index);
                        EXPECT_EQ(slots.size(), 3u);
                        EXPECT_EQ(slots[0], nullptr);
                        EXPECT_EQ(slots[1], nullptr);
                      }
                    });
  EXPECT_EQ(indices, std::vector<std::size_t>({2}));
  EXPECT_TRUE(ancestors.empty());
}

TEST(ChildrenSlots, ByKind) {
  const ParsedTex parsed = parse_tex_source("\\emph{a}{b}$c$\\begin{x}d\\end{x}%e\n~f");
  const auto& n = parsed.nodes;
  ASSERT_EQ(n.size(), 7u);
  EXPECT_EQ(children_slots(n[0]).size(), 1u);  // macro args
  EXPECT_EQ(children_slots(n[1]).size(), 1u);  // group children
  EXPECT_EQ(children_slots(n[2]).size(), 1u);  // math children
  EXPECT_EQ(children_slots(n[3]).size(), 1u);  // environment body
  EXPECT_TRUE(children_slots(n[4]).empty());   // comment
  EXPECT_TRUE(children_slots(n[5]).empty());   // specials
  EXPECT_TRUE(children_slots(n[6]).empty());   // chars
}

TEST(Prose, Citations) {
  const ParsedTex parsed = parse_tex_source("\\citep[see][p. 3]{key}");
  EXPECT_TRUE(find_chars(parsed, "see").prose);
  EXPECT_TRUE(find_chars(parsed, "p. 3").prose);
  EXPECT_FALSE(find_chars(parsed, "key").prose);
  // An unknown citation macro with its key group after it.
  const ParsedTex nocite = parse_tex_source("\\nocite{k}");
  EXPECT_FALSE(find_chars(nocite, "k").prose);
  // Text directly in a cite macro's star slot has no group: prose by this predicate.
  const ParsedTex star = parse_tex_source("\\citet*{k}");
  EXPECT_FALSE(find_chars(star, "k").prose);
}

TEST(Prose, ExcludedContexts) {
  EXPECT_FALSE(find_chars(parse_tex_source("\\section{Intro}"), "Intro").prose);
  EXPECT_FALSE(find_chars(parse_tex_source("\\section*{Intro}"), "Intro").prose);
  EXPECT_FALSE(find_chars(parse_tex_source("\\title{T}"), "T").prose);
  EXPECT_FALSE(find_chars(parse_tex_source("\\Plaintitle{T}"), "T").prose);
  EXPECT_FALSE(find_chars(parse_tex_source("\\pkg{stats}"), "stats").prose);
  EXPECT_FALSE(find_chars(parse_tex_source("\\code{x}"), "x").prose);
  EXPECT_FALSE(find_chars(parse_tex_source("$x$"), "x").prose);
  EXPECT_FALSE(find_chars(parse_tex_source("\\[x\\]"), "x").prose);
  const Found equation = find_chars(parse_tex_source("\\begin{equation}x\\end{equation}"), "x");
  EXPECT_TRUE(equation.math);
  EXPECT_FALSE(equation.prose);
  const Found alignat = find_chars(parse_tex_source("\\begin{alignat}{2}x\\end{alignat}"), "x");
  EXPECT_FALSE(alignat.math);
  EXPECT_TRUE(alignat.prose);
  EXPECT_TRUE(find_chars(parse_tex_source("\\emph{word}"), "word").prose);
  EXPECT_TRUE(find_chars(parse_tex_source("plain"), "plain").prose);
  EXPECT_TRUE(find_chars(parse_tex_source("\\begin{itemize}\\item t\\end{itemize}"), "t").prose);
  EXPECT_TRUE(find_chars(parse_tex_source("\\footnote{see}"), "see").prose);
  // Nested: code markup anywhere up the stack wins.
  EXPECT_FALSE(find_chars(parse_tex_source("\\emph{\\pkg{x}}"), "x").prose);
  const Found verb = find_chars(parse_tex_source("\\verb|x|"), "x");
  EXPECT_TRUE(verb.verbatim);
}

TEST(Prose, PredicatesOnHandMadeStacks) {
  const Node math = Node::make_math({}, 0, 2, false);
  const Node eq = Node::make_environment("equation*", {}, {}, 0, 1);
  const Node code = Node::make_macro("code", {}, 0, 1);
  const Node lst = Node::make_environment("lstlisting", {}, {}, 0, 1);
  const Node cite = Node::make_macro("citep", {}, 0, 1);
  const Node brace = Node::make_group({}, 0, 1, false);
  const Node bracket = Node::make_group({}, 0, 1, true);
  EXPECT_TRUE(is_in_prose_context({}));
  EXPECT_TRUE(is_inside_math({&math}));
  EXPECT_TRUE(is_inside_math({&eq}));
  EXPECT_TRUE(is_inside_verbatim({&code}));
  EXPECT_TRUE(is_inside_verbatim({&lst}));
  EXPECT_FALSE(is_in_prose_context({&cite, &brace}));
  EXPECT_TRUE(is_in_prose_context({&cite, &bracket}));
  EXPECT_TRUE(is_in_prose_context({&cite}));
  // The innermost group decides: a brace group inside a bracketed note.
  EXPECT_FALSE(is_in_prose_context({&cite, &bracket, &brace}));
  EXPECT_TRUE(is_in_prose_context({&cite, &brace, &bracket}));
}

TEST(Prose, NameLists) {
  EXPECT_TRUE(is_verbatim_environment_name("Sinput"));
  EXPECT_TRUE(is_math_environment_name("multline*"));
  EXPECT_FALSE(is_math_environment_name("alignat"));
  EXPECT_FALSE(is_math_environment_name("split"));
  EXPECT_TRUE(is_code_markup_macro("hlpps"));
  EXPECT_TRUE(is_code_markup_macro("Rfunction"));
  EXPECT_TRUE(is_sectioning_macro("subsubsection*"));
  EXPECT_FALSE(is_sectioning_macro("subparagraph*"));
  EXPECT_TRUE(is_metadata_macro("graphicspath"));
  EXPECT_TRUE(is_metadata_macro("VignetteEncoding"));
  EXPECT_TRUE(is_cite_macro("nocite"));
  EXPECT_FALSE(is_cite_macro("citefullauthor"));
}

TEST(Extract, GroupText) {
  const ParsedTex parsed = parse_tex_source("{ A \\textbf{B} C }");
  EXPECT_EQ(group_text(parsed.nodes.at(0)), "A  C");
  const ParsedTex mixed = parse_tex_source("{\u00a0a$x$--b %c\n}");
  EXPECT_EQ(group_text(mixed.nodes.at(0)), "ab");
  EXPECT_EQ(group_text(parse_tex_source("{}").nodes.at(0)), "");
}

TEST(Extract, MacroArgsText) {
  {
    const ParsedTex parsed = parse_tex_source("\\citep[see]{k}");
    EXPECT_EQ(macro_args_text(parsed.nodes.at(0), parsed.nodes, 0), "see");
  }
  {
    const ParsedTex parsed = parse_tex_source("\\citep{ a, b }");
    EXPECT_EQ(macro_args_text(parsed.nodes.at(0), parsed.nodes, 0), "a, b");
  }
  {
    const ParsedTex parsed = parse_tex_source("\\nocite{*}");
    EXPECT_EQ(macro_args_text(parsed.nodes.at(0), parsed.nodes, 0), "*");
  }
  {
    const ParsedTex parsed = parse_tex_source("\\foo x");
    EXPECT_EQ(macro_args_text(parsed.nodes.at(0), parsed.nodes, 0), "");
  }
  {
    // Macro with a slot that is not a group, at the end of the list.
    const ParsedTex parsed = parse_tex_source("\\textbf x");
    EXPECT_EQ(macro_args_text(parsed.nodes.at(0), parsed.nodes, 0), "");
  }
}

}  // namespace
}  // namespace kvt

#include "rules/rule_helpers.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "bib/parser.hpp"
#include "errors.hpp"
#include "rules/tex_common.hpp"
#include "tex/parser.hpp"
#include "text.hpp"

namespace kvt {
namespace {

TEST(RuleHelpers, TexViolationTakesMessageAndSeverityFromCatalogue) {
  const ParsedTex tex = parse_tex_source("R\nsecond line");
  const LineIndex lines = line_index_for(tex);
  const Violation v = tex_violation("a.tex", lines, 0, "KVT-MARKUP-001", "text");
  EXPECT_EQ(v.file, "a.tex");
  EXPECT_EQ(v.line, 1u);
  EXPECT_EQ(v.column, 1u);
  EXPECT_EQ(v.rule_id, "KVT-MARKUP-001");
  EXPECT_EQ(v.message, "Programming-language names in prose are wrapped in \\proglang{}");
  EXPECT_EQ(v.severity, Severity::Warning);
  EXPECT_EQ(v.suggestion, "text");
  EXPECT_FALSE(v.fix);

  const Violation w =
      tex_violation_with_fix("a.tex", lines, 4, "KVT-HOUSE-003", std::nullopt, Fix{"x", "d", 4, 5});
  EXPECT_EQ(w.line, 2u);
  EXPECT_EQ(w.column, 3u);
  EXPECT_EQ(w.severity, Severity::Info);
  EXPECT_FALSE(w.suggestion);
  ASSERT_TRUE(w.fix);
  EXPECT_EQ(w.fix->start, 4u);

  // The line offset of an R Markdown fragment moves the line, not the column.
  const LineIndex shifted = LineIndex::with_offset(tex.chars, 9);
  EXPECT_EQ(tex_violation("a.Rmd", shifted, 0, "KVT-MARKUP-001", "t").line, 10u);
}

TEST(RuleHelpers, UnknownRuleIdIsAnInternalError) {
  const LineIndex lines = LineIndex::with_offset(U"", 0);
  try {
    tex_violation("a.tex", lines, 0, "KVT-NOPE-001", "x");
    FAIL() << "expected InternalError";
  } catch (const InternalError& e) {
    EXPECT_STREQ(e.what(), "unknown rule_id KVT-NOPE-001");
  }
  EXPECT_THROW(make_violation("a", 1, 1, "KVT-PARSE-000", std::nullopt, std::nullopt),
               InternalError);
  EXPECT_THROW(entry_violation("a.bib", Entry{}, "kvt-bibtex-001", std::nullopt), InternalError);
}

TEST(RuleHelpers, EntryViolationHasOneBasedLineAndNoColumn) {
  Entry entry;
  entry.key = "k";
  entry.line = 4;
  const Violation v = entry_violation("refs.bib", entry, "KVT-BIBTEX-004", "s");
  EXPECT_EQ(v.line, 5u);
  EXPECT_FALSE(v.column);
  EXPECT_FALSE(v.fix);
  const Violation w =
      entry_violation_with_fix("refs.bib", entry, "KVT-BIBTEX-004", "s", Fix{"r", "d", 1, 2});
  EXPECT_EQ(w.line, 5u);
  ASSERT_TRUE(w.fix);
  EXPECT_EQ(w.fix->replacement, "r");
}

TEST(RuleHelpers, Identifier) {
  struct Case {
    std::string text;
    std::size_t max;
    std::string expected;
  };
  const Case cases[] = {
      {"  a \t b\n", 40, "a b"},
      {"abc", 2, "ab"},
      {"   ", 40, ""},
      {"", 40, ""},
      {"a\x1f"
       "b",
       40, "a b"},                                   // U+001F is Python white space
      {"x\u00a0\u3000y", 40, "x y"},                 // so are NBSP and the ideographic space
      {"ab cd", 3, "ab "},                           // the cut may leave a trailing blank
      {"\u00e9t\u00e9 \u00e0", 3, "\u00e9t\u00e9"},  // counts characters, not bytes
      {"a b", 0, ""},
      {"one  two", kUnlimited, "one two"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(identifier(c.text, c.max), c.expected) << c.text;
}

const Node& first_environment(const ParsedTex& tex) {
  const auto it = std::find_if(tex.nodes.begin(), tex.nodes.end(),
                               [](const Node& n) { return n.is_environment(); });
  EXPECT_NE(it, tex.nodes.end());
  return *it;
}

TEST(RuleHelpers, EquationIdentifier) {
  struct Case {
    const char* tex;
    const char* expected;
  };
  const Case cases[] = {
      {"\\begin{equation}x = 1 \\label{eq: main  one}\\end{equation}", "eq: main one"},
      // The first non-empty label wins, wherever it sits.
      {"\\begin{align}a \\label{ } b \\\\ {c \\label{second}} \\label{third}\\end{align}",
       "second"},
      {"\\begin{align}a &= b \\\\ c &= d\\end{align}", "a &= b"},
      {"\\begin{equation}\n  y = "
       "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\n\\end{equation}",
       "y = aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"},
      {"\\begin{equation}\\end{equation}", ""},
  };
  for (const Case& c : cases) {
    const ParsedTex tex = parse_tex_source(c.tex);
    EXPECT_EQ(equation_identifier(first_environment(tex), tex.chars), c.expected) << c.tex;
  }
}

TEST(RuleHelpers, EntrySourceSpanRunsToTheNextEntryAtALineStart) {
  const std::string text =
      "% comment\n"
      "@article{a, doi = {10.1/x}}\n"
      "note with an @ inside\n"
      "@book{b, title = {T}}\n";
  const std::u32string chars = decode_utf8(text);
  const Library library = parse_bibtex(text);
  ASSERT_EQ(library.entries.size(), 2u);
  const CharSpan a = entry_source_span(chars, library.entries[0]);
  EXPECT_EQ(a.start, 10u);
  EXPECT_EQ(chars.substr(a.end, 5), U"@book");
  const CharSpan b = entry_source_span(chars, library.entries[1]);
  EXPECT_EQ(b.end, chars.size());

  // A line number past the end of the text clamps to the text.
  Entry far;
  far.line = 40;
  EXPECT_EQ(entry_source_span(chars, far), (CharSpan{chars.size(), chars.size()}));
}

TEST(RuleHelpers, EntrySourceSpanOfAnIndentedEntryCoversTheEntry) {
  // One blank before the '@': the entry's own '@' must not end its span.
  const std::string text = " @article{a, doi = {10.1/x}}\n@book{b}\n";
  const std::u32string chars = decode_utf8(text);
  const Library library = parse_bibtex(text);
  ASSERT_FALSE(library.entries.empty());
  const CharSpan span = entry_source_span(chars, library.entries[0]);
  EXPECT_EQ(span.start, 0u);
  EXPECT_EQ(chars.substr(span.end, 5), U"@book");
  EXPECT_TRUE(field_value_span(chars, library.entries[0], "doi", "10.1/x"));
}

TEST(RuleHelpers, FieldValueSpan) {
  const std::string text =
      "@article{a,\n"
      "  mydoi = {10.1/y},\n"
      "  DOI = { 10.1/x },\n"
      "  title = \"Caf\u00e9 au lait\",\n"
      "  note = {first} # {second}\n"
      "}\n";
  const std::u32string chars = decode_utf8(text);
  const Library library = parse_bibtex(text);
  ASSERT_EQ(library.entries.size(), 1u);
  const Entry& entry = library.entries[0];
  const auto slice = [&](std::optional<CharSpan> span) {
    return span ? encode_utf8(chars.substr(span->start, span->end - span->start)) : "<none>";
  };
  // The name matches without regard to case; the value is trimmed.
  EXPECT_EQ(slice(field_value_span(chars, entry, "doi", "10.1/x")), "10.1/x");
  // mydoi is preceded by a letter, so its value is never the doi's.
  EXPECT_EQ(slice(field_value_span(chars, entry, "doi", "10.1/y")), "<none>");
  EXPECT_EQ(slice(field_value_span(chars, entry, "title", "Caf\u00e9 au lait")),
            "Caf\u00e9 au lait");
  const auto title = field_value_span(chars, entry, "title", "Caf\u00e9 au lait");
  ASSERT_TRUE(title);
  EXPECT_EQ(title->end - title->start, 12u);  // characters, not bytes
  // Only the first delimited piece is read; a concatenation never equals it.
  EXPECT_EQ(slice(field_value_span(chars, entry, "note", "firstsecond")), "<none>");
  EXPECT_EQ(slice(field_value_span(chars, entry, "note", "first")), "first");
  EXPECT_EQ(slice(field_value_span(chars, entry, "year", "2020")), "<none>");

  // Nothing after the '=': the search ends without a span.
  const std::string cut = "@misc{k, url =";
  const std::u32string cut_chars = decode_utf8(cut);
  Entry k;
  EXPECT_FALSE(field_value_span(cut_chars, k, "url", ""));
}

std::set<std::string> sorted(const std::unordered_set<std::string>& keys) {
  return {keys.begin(), keys.end()};
}

TEST(RuleHelpers, CitedKeysComeFromTheMandatoryArgument) {
  struct Case {
    const char* tex;
    std::set<std::string> keys;
    bool cite_all;
  };
  const Case cases[] = {
      {"\\citep{Key1, key2}", {"Key1", "key2"}, false},
      {"\\citep[see][p. 2]{Key}", {"Key"}, false},
      {"\\citep[e.g.,][]{Key}", {"Key"}, false},
      {"\\citet[p.~3]{A,B}", {"A", "B"}, false},
      {"\\nocite{*}", {}, true},
      {"\\cite{ , a,, }", {"a"}, false},
      // Citations nested in other arguments are found too.
      {"\\footnote{As in \\citeauthor{deep}.}", {"deep"}, false},
      // Not a citation macro.
      {"\\ref{fig}", {}, false},
  };
  for (const Case& c : cases) {
    const ParsedTex tex = parse_tex_source(c.tex);
    const CitedKeys cited = cited_keys(tex.nodes);
    EXPECT_EQ(sorted(cited.keys), c.keys) << c.tex;
    EXPECT_EQ(cited.cite_all, c.cite_all) << c.tex;
  }
}

TEST(RuleHelpers, CitedKeysOfAMacroWithoutArgumentsComeFromTheFollowingGroup) {
  // A macro node without slots, followed by its brace group, as the parser
  // writes a macro it has no specification for.
  std::vector<Node> nodes;
  nodes.push_back(Node::make_macro("citep", {}, 0, 6));
  nodes.push_back(Node::make_group({Node::make_chars("k1,k2", 7, 5)}, 6, 7, false));
  CitedKeys cited;
  iter_with_parent_visit(nodes, cited, collect_cited_keys);
  EXPECT_EQ(sorted(cited.keys), (std::set<std::string>{"k1", "k2"}));

  // A bracketed group after it is a note, not keys.
  nodes[1] = Node::make_group({Node::make_chars("see", 7, 3)}, 6, 5, true);
  CitedKeys none;
  iter_with_parent_visit(nodes, none, collect_cited_keys);
  EXPECT_TRUE(none.keys.empty());
}

TEST(RuleHelpers, ReferencedEntries) {
  const Library library = parse_bibtex(
      "@book{Key1, title={A}}\n@book{KEY2, title={B}}\n@book{other, title={C}}\n"
      "@book{see, title={D}}\n");
  ASSERT_EQ(library.entries.size(), 4u);
  const auto keys = [](const std::vector<const Entry*>& entries) {
    std::vector<std::string> out;
    for (const Entry* e : entries)
      out.push_back(e->key);
    return out;
  };

  // No documents: everything counts as referenced.
  EXPECT_EQ(keys(referenced_entries(library, {})),
            (std::vector<std::string>{"Key1", "KEY2", "other", "see"}));

  const ParsedTex cites = parse_tex_source("\\citep{key1, key2} and \\citep[see][p. 2]{nothing}");
  const ParsedTex empty = parse_tex_source("No citations.");
  EXPECT_EQ(keys(referenced_entries(library, {&cites.nodes, &empty.nodes})),
            (std::vector<std::string>{"Key1", "KEY2"}));
  EXPECT_TRUE(referenced_entries(library, {&empty.nodes}).empty());

  const ParsedTex all = parse_tex_source("\\nocite{*}");
  EXPECT_EQ(referenced_entries(library, {&empty.nodes, &all.nodes}).size(), 4u);
}

TEST(RuleHelpers, PyRepr) {
  struct Case {
    std::string text;
    std::string expected;
  };
  const Case cases[] = {
      {"R", "'R'"},
      {"", "''"},
      {"it's", "\"it's\""},
      {"it's \"x\"", "'it\\'s \"x\"'"},
      {"say \"hi\"", "'say \"hi\"'"},
      {"a\nb\tc\rd", "'a\\nb\\tc\\rd'"},
      {"back\\slash", "'back\\\\slash'"},
      {"caf\u00e9 \x01", "'caf\u00e9 \x01'"},  // other characters unchanged
  };
  for (const Case& c : cases)
    EXPECT_EQ(py_repr(c.text), c.expected) << c.text;
}

TEST(RuleHelpers, FillTemplate) {
  EXPECT_EQ(fill_template("Wrap {quoted_term} in \\{macro}{{term}}.",
                          {{"term", "R"}, {"macro", "proglang"}}),
            "Wrap 'R' in \\proglang{R}.");
  EXPECT_EQ(fill_template("wrap {term} in \\{macro}{}", {{"term", "zoo"}, {"macro", "pkg"}}),
            "wrap zoo in \\pkg{}");
  // Unknown names and non-names stay as written; values are not rescanned.
  EXPECT_EQ(fill_template("\\section[plain]{...} {other} {x}", {{"x", "{x}"}}),
            "\\section[plain]{...} {other} {x}");
  // An argument named quoted_... is used as given.
  EXPECT_EQ(fill_template("{quoted_x}", {{"quoted_x", "raw"}, {"x", "no"}}), "raw");
  EXPECT_EQ(fill_template("{", {}), "{");
}

TEST(TexCommon, BytePositionsCountCharacters) {
  const std::string text = "\u00e9a\u4e2db";  // 2 + 1 + 3 + 1 bytes
  BytePositions positions(text, 100);
  EXPECT_EQ(positions.at(0), 100u);
  EXPECT_EQ(positions.at(2), 101u);
  EXPECT_EQ(positions.at(6), 103u);
  EXPECT_EQ(positions.at(3), 102u);   // going back restarts the count
  EXPECT_EQ(positions.at(99), 104u);  // clamped to the end
}

TEST(TexCommon, LineSlices) {
  const std::u32string chars = U"ab\ncd\u00e9\n\nx";
  EXPECT_EQ(line_start(chars, 4), 3u);
  EXPECT_EQ(line_start(chars, 2), 0u);  // the '\n' belongs to its line
  EXPECT_EQ(line_end(chars, 3), 6u);
  EXPECT_EQ(line_end(chars, 6), 6u);
  EXPECT_EQ(line_before(chars, 5), "cd");
  EXPECT_EQ(whole_line(chars, 4), "cd\u00e9");
  EXPECT_EQ(whole_line(chars, 7), "");
  EXPECT_EQ(whole_line(chars, 99), "x");  // clamped
  EXPECT_EQ(utf8_slice(chars, 5, 2), "");
  EXPECT_EQ(utf8_slice(chars, 8, 50), "x");
}

}  // namespace
}  // namespace kvt

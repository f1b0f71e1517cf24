#include "bib/parser.hpp"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>

#include "text.hpp"

namespace kvt {
namespace {

std::string value_of(const Entry& entry, std::string_view name) {
  const Field* field = entry.field(name);
  return field ? field->value : "<none>";
}

TEST(BibParser, BasicEntry) {
  const Library lib = parse_bibtex("@Article{Key1, Title = {A {B} C}, year = 2020}");
  ASSERT_EQ(lib.entries.size(), 1u);
  const Entry& e = lib.entries[0];
  EXPECT_EQ(e.entry_type, "article");
  EXPECT_EQ(e.key, "Key1");
  ASSERT_EQ(e.fields.size(), 2u);
  EXPECT_EQ(e.fields[0].name, "title");
  EXPECT_EQ(e.fields[0].value, "A {B} C");
  EXPECT_EQ(e.fields[1].name, "year");
  EXPECT_EQ(e.fields[1].value, "2020");
  EXPECT_EQ(e.line, 0u);
  EXPECT_TRUE(lib.duplicate_block_keys.empty());
  EXPECT_TRUE(lib.duplicate_field_keys.empty());
}

TEST(BibParser, FieldLookupIgnoresAsciiCase) {
  const Library lib = parse_bibtex("@misc{k, DOI = {10.1/x}}");
  ASSERT_EQ(lib.entries.size(), 1u);
  EXPECT_EQ(value_of(lib.entries[0], "doi"), "10.1/x");
  EXPECT_EQ(value_of(lib.entries[0], "DoI"), "10.1/x");
  EXPECT_EQ(lib.entries[0].field("url"), nullptr);
}

TEST(BibParser, StringMacrosAndConcatenation) {
  const Library lib = parse_bibtex(
      "@string{foo = {Bar}}\n"
      "@book{k, publisher = foo # { Press}, month = jan, other = FOO, x = \"a\" # foo # \"b\"}");
  ASSERT_EQ(lib.entries.size(), 1u);
  const Entry& e = lib.entries[0];
  EXPECT_EQ(value_of(e, "publisher"), "Bar Press");
  EXPECT_EQ(value_of(e, "month"), "jan");
  EXPECT_EQ(value_of(e, "other"), "Bar");
  EXPECT_EQ(value_of(e, "x"), "aBarb");
  EXPECT_EQ(e.line, 1u);
}

TEST(BibParser, StringDefinitionsReplaceAndUseEarlierOnes) {
  const Library lib = parse_bibtex(
      "@STRING(j = \"J. \" # \"Stat.\")\n"
      "@string{k = j # { Softw.}}\n"
      "@string{j = {Other}}\n"
      "@article{a, journal = k, note = j}");
  ASSERT_EQ(lib.entries.size(), 1u);
  EXPECT_EQ(value_of(lib.entries[0], "journal"), "J. Stat. Softw.");
  EXPECT_EQ(value_of(lib.entries[0], "note"), "Other");
}

TEST(BibParser, OnlyTheFirstStringDefinitionOfABlock) {
  const Library lib = parse_bibtex("@string{a = {1}, b = {2}}@misc{k, x = a, y = b}");
  ASSERT_EQ(lib.entries.size(), 1u);
  EXPECT_EQ(value_of(lib.entries[0], "x"), "1");
  EXPECT_EQ(value_of(lib.entries[0], "y"), "b");
}

TEST(BibParser, QuotesAndBackslashes) {
  const Library lib = parse_bibtex(
      "@misc{k, a = \"say \\\"hi\\\" now\", b = {x \\\" y \\& z}, c = \"\", d = \"{\\\"o}\"}");
  ASSERT_EQ(lib.entries.size(), 1u);
  const Entry& e = lib.entries[0];
  EXPECT_EQ(value_of(e, "a"), "say \"hi\" now");
  EXPECT_EQ(value_of(e, "b"), "x \" y \\& z");
  EXPECT_EQ(value_of(e, "c"), "");
  EXPECT_EQ(value_of(e, "d"), "{\"o}");
}

TEST(BibParser, UnescapeQuotesAndParseValueDirectly) {
  const std::u32string chars = U"a\\\"b\\c\\";
  EXPECT_EQ(bibtex_detail::unescape_quotes(chars, 0, chars.size()), "a\"b\\c\\");
  // A backslash whose quote lies outside the range is kept.
  const std::u32string edge = U"x\\\"";
  EXPECT_EQ(bibtex_detail::unescape_quotes(edge, 0, 2), "x\\");

  bibtex_detail::Macros macros{{"m", "M"}};
  const std::u32string v = U"  {a} # m # \"c\" , next";
  auto [value, end] = bibtex_detail::parse_value(v, 0, v.size(), macros);
  EXPECT_EQ(value, "aMc");
  EXPECT_EQ(v[end], U',');
  // The limit cuts the value.
  auto [cut, cut_end] = bibtex_detail::parse_value(v, 0, 5, macros);
  EXPECT_EQ(cut, "a");
  EXPECT_LE(cut_end, 5u);
  // Unterminated pieces stop reading and keep what came before.
  const std::u32string open = U"x # \"abc";
  EXPECT_EQ(bibtex_detail::parse_value(open, 0, open.size(), macros).first, "x");
  const std::u32string brace = U"{a{b}";
  EXPECT_EQ(bibtex_detail::parse_value(brace, 0, brace.size(), macros).first, "");
  // Trimmed of white space at both ends, inner space kept.
  const std::u32string spaced = U"{  two  words  }";
  EXPECT_EQ(bibtex_detail::parse_value(spaced, 0, spaced.size(), macros).first, "two  words");
}

TEST(BibParser, DuplicateKeys) {
  const Library lib = parse_bibtex(
      "@misc{k, title = {One}}\n@misc{K, title = {Two}}\n@book{k, title = {Three}}\n@misc{, "
      "x=1}\n@misc{,x=2}");
  ASSERT_EQ(lib.entries.size(), 4u);
  EXPECT_EQ(lib.entries[0].key, "k");
  EXPECT_EQ(lib.entries[1].key, "K");
  EXPECT_EQ(lib.entries[2].key, "");
  EXPECT_EQ(lib.entries[3].key, "");
  ASSERT_EQ(lib.duplicate_block_keys.size(), 1u);
  EXPECT_EQ(lib.duplicate_block_keys[0].key, "k");
  EXPECT_EQ(lib.duplicate_block_keys[0].entry.entry_type, "book");
  EXPECT_EQ(value_of(lib.duplicate_block_keys[0].entry, "title"), "Three");
  EXPECT_EQ(lib.duplicate_block_keys[0].entry.line, 2u);
}

TEST(BibParser, DuplicateFields) {
  const Library lib =
      parse_bibtex("@misc{k, title = {A}, year = 1, Title = {B}, note = x, year = 2, title = {C}}");
  ASSERT_EQ(lib.entries.size(), 1u);
  const Entry& e = lib.entries[0];
  ASSERT_EQ(e.fields.size(), 3u);
  EXPECT_EQ(e.fields[0].name, "note");
  EXPECT_EQ(e.fields[1].name, "year");
  EXPECT_EQ(e.fields[1].value, "2");
  EXPECT_EQ(e.fields[2].name, "title");
  EXPECT_EQ(e.fields[2].value, "C");
  ASSERT_EQ(lib.duplicate_field_keys.size(), 1u);
  EXPECT_EQ(lib.duplicate_field_keys[0].field_names, (std::vector<std::string>{"title", "year"}));
  EXPECT_EQ(lib.duplicate_field_keys[0].entry.fields.size(), 3u);

  const Library simple = parse_bibtex("@misc{k, title = {A}, title = {B}}");
  ASSERT_EQ(simple.entries.size(), 1u);
  ASSERT_EQ(simple.entries[0].fields.size(), 1u);
  EXPECT_EQ(simple.entries[0].fields[0].value, "B");
  ASSERT_EQ(simple.duplicate_field_keys.size(), 1u);
  EXPECT_EQ(simple.duplicate_field_keys[0].field_names, std::vector<std::string>{"title"});
}

TEST(BibParser, DuplicateKeyEntryWithDuplicateFieldsIsOnlyABlockDuplicate) {
  const Library lib = parse_bibtex("@misc{k, a=1}@misc{k, a=1, a=2}");
  EXPECT_EQ(lib.entries.size(), 1u);
  EXPECT_EQ(lib.duplicate_block_keys.size(), 1u);
  EXPECT_TRUE(lib.duplicate_field_keys.empty());
}

TEST(BibParser, StrayAtSignsCommentsAndPreambles) {
  const Library lib = parse_bibtex(
      "Mail me at a@b.org or @ here.\n"
      "@comment{@misc{hidden, title={x}}}\n"
      "@preamble{\"\\newcommand{\\x}{y}\"}\n"
      "@misc  (paren, title = {P (1)})\n"
      "@misc{brace, title = {Q}}");
  ASSERT_EQ(lib.entries.size(), 2u);
  EXPECT_EQ(lib.entries[0].key, "paren");
  EXPECT_EQ(value_of(lib.entries[0], "title"), "P (1)");
  EXPECT_EQ(lib.entries[0].line, 3u);
  EXPECT_EQ(lib.entries[1].key, "brace");
  EXPECT_EQ(lib.entries[1].line, 4u);
}

TEST(BibParser, AtFollowedByLettersAndBraceInTextStartsAnEntry) {
  // `a@b.org` is not followed by an opener; `@misc{` is.
  const Library lib = parse_bibtex("x@b{k}");
  ASSERT_EQ(lib.entries.size(), 1u);
  EXPECT_EQ(lib.entries[0].entry_type, "b");
  EXPECT_EQ(lib.entries[0].key, "k");
  EXPECT_TRUE(lib.entries[0].fields.empty());
}

TEST(BibParser, UnclosedEntryEndsTheParse) {
  const Library lib = parse_bibtex("@misc{a, note = {x}}\n@misc{k, note = {unclosed\n@misc{b}");
  ASSERT_EQ(lib.entries.size(), 1u);
  EXPECT_EQ(lib.entries[0].key, "a");
}

TEST(BibParser, MalformedFieldsStopTheFieldList) {
  const Library lib = parse_bibtex(
      "@misc{a, title {x}, year = 1}\n"
      "@misc{b, title = {x} year = 2}\n"
      "@misc{c, = 3}\n"
      "@misc{d,title=\"open}\n"
      "@misc{e title = x}");
  ASSERT_EQ(lib.entries.size(), 5u);
  EXPECT_TRUE(lib.entries[0].fields.empty());
  ASSERT_EQ(lib.entries[1].fields.size(), 1u);
  EXPECT_EQ(lib.entries[1].fields[0].value, "x");
  EXPECT_TRUE(lib.entries[2].fields.empty());
  ASSERT_EQ(lib.entries[3].fields.size(), 1u);
  EXPECT_EQ(lib.entries[3].fields[0].value, "");
  EXPECT_EQ(lib.entries[4].key, "e title = x");
}

TEST(BibParser, LinesCountLineFeedsOnly) {
  const Library lib = parse_bibtex("\n\n@misc{a}\r\n@misc{b}\r@misc{c}\n\u2028@misc{d}");
  ASSERT_EQ(lib.entries.size(), 4u);
  EXPECT_EQ(lib.entries[0].line, 2u);
  EXPECT_EQ(lib.entries[1].line, 3u);
  EXPECT_EQ(lib.entries[2].line, 3u);
  EXPECT_EQ(lib.entries[3].line, 4u);
}

TEST(BibParser, UnicodeKeysAndValues) {
  const Library lib = parse_bibtex("@misc{Müller2020, author = {Jörg Müller 数 \U0001F600}}");
  ASSERT_EQ(lib.entries.size(), 1u);
  EXPECT_EQ(lib.entries[0].key, "Müller2020");
  EXPECT_EQ(value_of(lib.entries[0], "author"), "Jörg Müller 数 \U0001F600");
}

TEST(BibParser, MillionNestedBracesInAValue) {
  constexpr std::size_t kDepth = 1000000;
  std::string text = "@misc{deep, title = ";
  text.append(kDepth, '{');
  text += "x";
  text.append(kDepth, '}');
  text += ", year = 2000}\n@misc{after, year = 2001}";
  const Library lib = parse_bibtex(text);
  ASSERT_EQ(lib.entries.size(), 2u);
  EXPECT_EQ(value_of(lib.entries[0], "title").size(), 2 * kDepth - 1);
  EXPECT_EQ(value_of(lib.entries[0], "year"), "2000");
  EXPECT_EQ(lib.entries[1].line, 1u);

  std::string unclosed = "@misc{a, year = 1}@misc{deep, title = ";
  unclosed.append(kDepth, '{');
  const Library cut = parse_bibtex(unclosed);
  EXPECT_EQ(cut.entries.size(), 1u);
}

TEST(BibParser, MillionAtSigns) {
  const std::string ats(1000000, '@');
  EXPECT_TRUE(parse_bibtex(ats).entries.empty());
  std::string words;
  for (int i = 0; i < 200000; ++i)
    words += "@misc ";
  EXPECT_TRUE(parse_bibtex(words).entries.empty());
  std::string entries;
  for (int i = 0; i < 100000; ++i)
    entries += "@m{k" + std::to_string(i) + ",a=1,a=2}";
  const Library lib = parse_bibtex(entries);
  EXPECT_EQ(lib.entries.size(), 100000u);
  EXPECT_EQ(lib.duplicate_field_keys.size(), 100000u);
}

TEST(BibParser, ManyRepeatedFieldsStayFast) {
  std::string text = "@misc{k";
  for (int i = 0; i < 100000; ++i)
    text += ", f" + std::to_string(i) + " = 1";
  for (int i = 0; i < 100000; ++i)
    text += ", dup = " + std::to_string(i);
  text += "}";
  const Library lib = parse_bibtex(text);
  ASSERT_EQ(lib.entries.size(), 1u);
  EXPECT_EQ(lib.entries[0].fields.size(), 100001u);
  EXPECT_EQ(lib.entries[0].fields.back().value, "99999");
  ASSERT_EQ(lib.duplicate_field_keys.size(), 1u);
  EXPECT_EQ(lib.duplicate_field_keys[0].field_names, std::vector<std::string>{"dup"});
}

TEST(BibParser, ManyKeysWithScatteredDuplicates) {
  // Enough keys to grow the key table several times; every third entry
  // repeats an earlier key, in varying letter case too.
  std::mt19937 rng(17);
  std::string text;
  std::vector<std::string> expected_keys;
  std::vector<std::string> expected_dups;
  std::set<std::string> seen;
  for (int i = 0; i < 20000; ++i) {
    std::string key;
    if (i % 3 == 2) {
      key = expected_keys[std::uniform_int_distribution<std::size_t>(
          0, expected_keys.size() - 1)(rng)];
      if (i % 2 == 0) key[0] = 'K';  // a different key: case matters
    } else {
      key = "k" + std::to_string(i);
    }
    text += "@misc{" + key + ", n = " + std::to_string(i) + "}\n";
    if (seen.insert(key).second) {
      expected_keys.push_back(key);
    } else {
      expected_dups.push_back(key);
    }
  }
  const Library lib = parse_bibtex(text);
  ASSERT_EQ(lib.entries.size(), expected_keys.size());
  for (std::size_t i = 0; i < expected_keys.size(); ++i)
    ASSERT_EQ(lib.entries[i].key, expected_keys[i]);
  ASSERT_EQ(lib.duplicate_block_keys.size(), expected_dups.size());
  for (std::size_t i = 0; i < expected_dups.size(); ++i)
    ASSERT_EQ(lib.duplicate_block_keys[i].key, expected_dups[i]);
}

TEST(BibParser, RandomInputsNeverFail) {
  std::mt19937 rng(3);
  const std::vector<std::string> pieces = {
      "@", "misc", "string", "comment", "{",  "}",          "(",
      ")", ",",    "=",      "#",       "\"", "\\\"",       "\\",
      " ", "\n",   "k",      "title",   "é",  "\U0001F600", std::string(1, '\0')};
  std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
  std::uniform_int_distribution<std::size_t> len(0, 60);
  for (int round = 0; round < 5000; ++round) {
    std::string input;
    const std::size_t n = len(rng);
    for (std::size_t i = 0; i < n; ++i)
      input += pieces[pick(rng)];
    const Library lib = parse_bibtex(input);
    for (const Entry& e : lib.entries) {
      ASSERT_TRUE(is_valid_utf8(e.key));
      for (const Field& f : e.fields)
        ASSERT_TRUE(is_valid_utf8(f.value));
    }
  }
}

}  // namespace
}  // namespace kvt

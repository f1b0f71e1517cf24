#include "regex.hpp"

#include <gtest/gtest.h>

#include <thread>

namespace kvt {
namespace {

TEST(Regex, UnicodeClassesByDefault) {
  EXPECT_TRUE(Regex(R"(^\w+\z)").is_match("Jörg"));
  EXPECT_TRUE(Regex(R"(^\w+\z)").is_match("数据"));
  EXPECT_TRUE(Regex(R"(^\d+\z)").is_match("١٢٣"));  // Arabic-Indic digits are Nd
  // \s is Unicode White_Space, NEL included.
  for (const char* space : {" ", "\t", "\u00a0", "\u2028", "\u3000", "\u0085"}) {
    EXPECT_TRUE(Regex(R"(^\s\z)").is_match(space)) << space;
    EXPECT_FALSE(Regex(R"(^\S\z)").is_match(space)) << space;
    EXPECT_TRUE(Regex(R"(^[\s]\z)").is_match(space)) << space;
    EXPECT_FALSE(Regex(R"(^[^\s]\z)").is_match(space)) << space;
  }
  EXPECT_FALSE(Regex(R"(^\s\z)").is_match("x"));
}

TEST(Regex, WordBoundaryIsUnicodeAware) {
  // 'é' is a word character, so there is no boundary between it and 'R'.
  EXPECT_FALSE(Regex(R"(\bR\b)").is_match("éR"));
  EXPECT_TRUE(Regex(R"(\bR\b)").is_match("é R"));
  // With Unicode off, 'é' is not a word character.
  EXPECT_TRUE(Regex(R"((?-u)\bR\b)").is_match("éR"));
  EXPECT_FALSE(Regex(R"((?-u)^\w\z)").is_match("é"));
}

TEST(Regex, DollarOnlyAtTheVeryEndWithoutMultiline) {
  EXPECT_FALSE(Regex("a$").is_match("a\n"));
  EXPECT_TRUE(Regex("a$").is_match("a"));
  EXPECT_TRUE(Regex("(?m)a$").is_match("a\nb"));
  EXPECT_FALSE(Regex(R"(a\z)").is_match("a\n"));
  // Multiline ^ also matches after a final line feed.
  EXPECT_EQ(Regex("(?m)^").count("a\n"), 2u);
}

TEST(Regex, LeftmostFirstAlternation) {
  const auto m = Regex("sam|samwise").find("samwise");
  ASSERT_TRUE(m);
  EXPECT_EQ(*m, (Span{0, 3}));
}

TEST(Regex, NamedAndIndexedCaptures) {
  const Regex re(R"((?P<env>(?:re)?newenvironment)|(?P<cmd>newcommand))");
  const auto caps = re.captures("x \\renewenvironment");
  ASSERT_TRUE(caps);
  EXPECT_EQ(caps->str("env"), "renewenvironment");
  EXPECT_FALSE(caps->span("cmd"));
  EXPECT_TRUE(caps->matched(1));
  EXPECT_FALSE(caps->matched(2));
  EXPECT_EQ(caps->whole(), (Span{3, 19}));
  EXPECT_EQ(re.group_index("cmd"), 2);
  EXPECT_EQ(re.group_index("nope"), -1);
}

TEST(Regex, CodePointEscapeAndInlineFlags) {
  EXPECT_TRUE(Regex(R"([A-Za-z](?:'|\u{2019})s\z)").is_match("Student\u2019s"));
  EXPECT_TRUE(Regex("(?i)of the\\s*\\z").is_match("OF THE "));
  EXPECT_TRUE(Regex("(?s)a.b").is_match("a\nb"));
  EXPECT_FALSE(Regex("a.b").is_match("a\nb"));
  EXPECT_TRUE(Regex("a.b", Regex::kDotMatchesNewline).is_match("a\nb"));
  EXPECT_TRUE(Regex("abc", Regex::kCaseInsensitive).is_match("ABC"));
  EXPECT_TRUE(Regex("(?i)é").is_match("É"));
}

TEST(Regex, SearchesWithOffsetsAndSubRanges) {
  const Regex re(R"(\bab)");
  // Text before the start offset is seen by \b.
  EXPECT_FALSE(re.find("xab", 1));
  EXPECT_EQ(re.find("ab ab", 1), (Span{3, 5}));
  // ^ without (?m) matches only at 0, not at the start offset.
  EXPECT_FALSE(Regex("^a").find("ba", 1));
  // A sub-range ends the subject: \z matches at its end.
  EXPECT_EQ(Regex(R"(b\z)").find_in("abc", 0, 2), (Span{1, 2}));
}

TEST(Regex, FindAllCountAndEmptyMatches) {
  const Regex words(R"(\w+)");
  const auto all = words.find_all("a bb  ccc");
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[2], (Span{6, 9}));
  EXPECT_EQ(words.count(""), 0u);
  // An empty match right after a match is skipped; others are kept.
  const auto empties = Regex("a*").find_all("baaa");
  ASSERT_EQ(empties.size(), 2u);
  EXPECT_EQ(empties[0], (Span{0, 0}));
  EXPECT_EQ(empties[1], (Span{1, 4}));
  // Empty matches advance by whole characters.
  EXPECT_EQ(Regex("").count("é"), 2u);
}

TEST(Regex, SplitReplaceEscape) {
  const auto parts = Regex(R"(\s*,\s*)").split("a , b,,c,");
  ASSERT_EQ(parts.size(), 5u);
  EXPECT_EQ(parts[0], "a");
  EXPECT_EQ(parts[2], "");
  EXPECT_EQ(parts[4], "");
  EXPECT_EQ(Regex("x").split("").size(), 1u);

  const Regex kv(R"((?P<k>\w+)=(\w+))");
  EXPECT_EQ(kv.replace_all("a=1 b=2", "$2:${k}"), "1:a 2:b");
  EXPECT_EQ(kv.replace_all("a=1", "$$1"), "$1");
  EXPECT_EQ(kv.replace_all("a=1", "$9"), "");
  EXPECT_EQ(Regex(R"((:\s*)!r(\s+))").replace_all("x: !r  y", "$1$2"), "x:   y");
  EXPECT_EQ(Regex(R"(\s+)").replace_all_literal(" a \n b ", " "), " a b ");

  const std::string literal = "C++ (1.0) $x^2$ a-b ~";
  EXPECT_TRUE(Regex("^" + Regex::escape(literal) + "\\z").is_match(literal));
}

TEST(Regex, AstralCharactersAndByteOffsets) {
  const auto m = Regex("b").find("😀b");
  ASSERT_TRUE(m);
  EXPECT_EQ(m->start, 4u);  // byte offsets
  EXPECT_TRUE(Regex("^.b\\z").is_match("😀b"));
}

TEST(Regex, LazyCompilesOnceAcrossThreads) {
  static const LazyRegex kPattern{R"(\d+)"};
  std::vector<std::thread> threads;
  std::vector<std::size_t> counts(8);
  for (std::size_t t = 0; t < counts.size(); ++t) {
    threads.emplace_back([t, &counts] { counts[t] = kPattern->count("1 22 333"); });
  }
  for (auto& th : threads)
    th.join();
  for (std::size_t c : counts)
    EXPECT_EQ(c, 3u);
  EXPECT_EQ(&kPattern.get(), &kPattern.get());
}

TEST(Regex, CatastrophicPatternCountsAsNoMatchInsteadOfHanging) {
  const Regex re("(a+)+$");
  const std::string text(40, 'a');
  EXPECT_FALSE(re.is_match(text + "b"));
}

}  // namespace
}  // namespace kvt

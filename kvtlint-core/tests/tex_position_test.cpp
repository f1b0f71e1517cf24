#include "tex/position.hpp"

#include <gtest/gtest.h>

#include <utility>

#include "tex/parser.hpp"

namespace kvt {
namespace {

using LineCol = std::pair<std::uint32_t, std::uint32_t>;

TEST(LineIndex, EmptyText) {
  const LineIndex index = LineIndex::with_offset(U"", 0);
  EXPECT_TRUE(index.newlines.empty());
  EXPECT_EQ(index.lineno_colno(0), LineCol(1, 0));
  EXPECT_TRUE(parse_tex_source("").nodes.empty());
}

TEST(LineIndex, NewlineBelongsToTheLineItEnds) {
  const LineIndex index = LineIndex::with_offset(U"a\nb", 0);
  EXPECT_EQ(index.newlines, std::vector<std::size_t>({1}));
  EXPECT_EQ(index.lineno_colno(0), LineCol(1, 0));
  EXPECT_EQ(index.lineno_colno(1), LineCol(1, 1));
  EXPECT_EQ(index.lineno_colno(2), LineCol(2, 0));
  EXPECT_EQ(index.lineno_colno(3), LineCol(2, 1));  // one past the end
}

TEST(LineIndex, Offset) {
  const LineIndex index = LineIndex::with_offset(U"a\nb", 9);
  EXPECT_EQ(index.line_offset, 9u);
  EXPECT_EQ(index.lineno_colno(0), LineCol(10, 0));
  EXPECT_EQ(index.lineno_colno(2), LineCol(11, 0));
}

TEST(LineIndex, CarriageReturnCountsInTheColumn) {
  const LineIndex index = LineIndex::with_offset(U"ab\r\ncd\re", 0);
  EXPECT_EQ(index.lineno_colno(2), LineCol(1, 2));  // the \r is the last character of line 1
  EXPECT_EQ(index.lineno_colno(3), LineCol(1, 3));
  EXPECT_EQ(index.lineno_colno(4), LineCol(2, 0));
  EXPECT_EQ(index.lineno_colno(7), LineCol(2, 3));  // a lone \r does not end a line
}

TEST(LineIndex, ColumnsCountCharacters) {
  const ParsedTex parsed = parse_tex_source("é\U0001F600\n\u2028x\\emph{y}");
  const LineIndex index = LineIndex::with_offset(parsed.chars, parsed.line_offset);
  ASSERT_EQ(parsed.nodes.size(), 2u);
  EXPECT_EQ(index.lineno_colno(parsed.nodes[1].pos), LineCol(2, 2));  // U+2028 is no line end
}

TEST(LineIndex, ConsecutiveNewlines) {
  const LineIndex index = LineIndex::with_offset(U"\n\n\nx", 0);
  EXPECT_EQ(index.lineno_colno(0), LineCol(1, 0));
  EXPECT_EQ(index.lineno_colno(1), LineCol(2, 0));
  EXPECT_EQ(index.lineno_colno(2), LineCol(3, 0));
  EXPECT_EQ(index.lineno_colno(3), LineCol(4, 0));
}

}  // namespace
}  // namespace kvt

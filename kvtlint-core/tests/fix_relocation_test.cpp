#include <gtest/gtest.h>

#include "engine.hpp"
#include "rmd.hpp"
#include "rnw.hpp"
#include "tex/parser.hpp"

namespace kvt {
namespace {

ParsedTexFileDoc rnw_doc(std::string path, std::string_view text) {
  RnwRewrite rewrite = rewrite_rnw(text);
  ParsedTexFileDoc doc;
  doc.path = std::move(path);
  doc.tex = parse_tex_source(rewrite.text);
  doc.line_index = LineIndex::with_offset(doc.tex.chars, 0);
  doc.source_map = std::make_shared<const SourceMap>(std::move(rewrite.map));
  return doc;
}

Violation with_fix(std::string file, std::uint32_t line, std::uint64_t start, std::uint64_t end) {
  Violation v;
  v.file = std::move(file);
  v.line = line;
  v.fix = Fix{"new", "edit", start, end};
  return v;
}

// Findings of rules that read all documents at once carry only a file and a
// line; the fix is moved through the map of the one document holding that line.
TEST(FixRelocation, CrossDocumentFindingsFindTheirDocument) {
  // "R" sits at 30 in the rewritten text and at 10 in the file.
  const ParsedTexFileDoc sweave = rnw_doc("a.Rnw", "<<>>=\nx\n@\nR here");
  ParsedTexFileDoc plain;
  plain.path = "c.tex";
  plain.tex = parse_tex_source("some text");
  plain.line_index = LineIndex::with_offset(plain.tex.chars, 0);
  // Two paragraphs, on lines 1 and 3; "R two" starts at 7 in the file.
  const ParsedRmdFileDoc markdown = parse_rmd_source("b.Rmd", "R one\n\nR two\n");
  ASSERT_EQ(markdown.fragments.size(), 2u);
  const std::vector<const ParsedTexFileDoc*> docs = {&sweave, &plain, &markdown.fragments[0],
                                                     &markdown.fragments[1]};

  std::vector<Violation> findings = {
      with_fix("a.Rnw", 4, 30, 31),  // after the rewritten chunk
      with_fix("a.Rnw", 1, 1, 2),    // on the \begin{Sinput} line
      with_fix("b.Rmd", 3, 0, 1),    // second paragraph
      with_fix("b.Rmd", 2, 0, 1),    // a line no paragraph holds
      with_fix("c.tex", 1, 5, 9),    // files without a map keep their fixes
      with_fix("other.tex", 1, 0, 1),
  };
  engine::relocate_fixes_by_file(findings, docs);
  ASSERT_TRUE(findings[0].fix);
  EXPECT_EQ(std::pair(findings[0].fix->start, findings[0].fix->end),
            (std::pair<std::uint64_t, std::uint64_t>{10, 11}));
  EXPECT_FALSE(findings[1].fix);
  ASSERT_TRUE(findings[2].fix);
  EXPECT_EQ(std::pair(findings[2].fix->start, findings[2].fix->end),
            (std::pair<std::uint64_t, std::uint64_t>{7, 8}));
  EXPECT_FALSE(findings[3].fix);
  ASSERT_TRUE(findings[4].fix);
  EXPECT_EQ(findings[4].fix->start, 5u);
  ASSERT_TRUE(findings[5].fix);

  // The same .Rnw path given twice: either copy could have produced the fix.
  const ParsedTexFileDoc again = rnw_doc("a.Rnw", "R here");
  std::vector<Violation> ambiguous = {with_fix("a.Rnw", 1, 0, 1)};
  engine::relocate_fixes_by_file(ambiguous, {&sweave, &again});
  EXPECT_FALSE(ambiguous[0].fix);
}

}  // namespace
}  // namespace kvt

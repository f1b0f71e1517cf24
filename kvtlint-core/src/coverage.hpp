// The provision coverage table: every provision of the journal's guidance and
// whether a rule checks it, with the summaries the reports print.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kvt {

struct CoverageDirectiveData {
  std::string_view id;
  std::string_view source;   // kvt_cls, article_tex, style_guide, author_instructions
  std::string_view section;  // kvt.cls:{line}, article.tex:{line}, a guide fragment, internal
  std::string_view text;
  std::string_view status;                   // checked, partial, not_checked, out_of_scope
  std::array<std::string_view, 8> rule_ids;  // unused slots are empty
  std::string_view reason;

  std::vector<std::string_view> rules() const;
};

namespace coverage {

struct Counts {
  std::uint32_t checked = 0;
  std::uint32_t partial = 0;
  std::uint32_t not_checked = 0;
  std::uint32_t out_of_scope = 0;
};

// The 149 shipped provisions: CLS, TEX, SG, AI rows, each by number.
std::span<const CoverageDirectiveData> table();

// Any status other than checked / partial / not_checked counts as out of scope.
Counts counts(std::span<const CoverageDirectiveData> directives);
std::string counts_line(std::span<const CoverageDirectiveData> directives);
std::string footer_sentence(std::span<const CoverageDirectiveData> directives);
// Partial rows first, then not_checked rows, each group by id byte-wise.
std::vector<const CoverageDirectiveData*> gaps(std::span<const CoverageDirectiveData> directives);

}  // namespace coverage
}  // namespace kvt

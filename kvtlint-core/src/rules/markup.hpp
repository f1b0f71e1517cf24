// The markup rules: programming-language names in \proglang{}, package names in
// \pkg{}, inline code, function calls and R sentinels in \code{} (and no
// \texttt{}), and plain optional titles for sectioning commands whose title
// holds markup. Most of the work is deciding when a bare name is *not* a
// finding: initials, paths, listing options, eponyms, enumerated labels, table
// cells and macro definitions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "report.hpp"
#include "terms.hpp"
#include "tex/node.hpp"
#include "tex/walk.hpp"

namespace kvt {

// Reports every token of `terms` written bare in prose, with a fix wrapping it
// in \`macro`{}. `skip_initials` reads a one-letter term followed by '.' as an
// initial.
std::vector<Violation> check_bare_terms(const std::string& path, const ParsedTex& tex,
                                        const StringSet& terms, std::string_view rule_id,
                                        std::string_view macro, bool skip_initials);

// Rule functions in the registry's shape; the code width is not used.
std::vector<Violation> check_markup_001(const std::string& path, const ParsedTex& tex,
                                        std::uint32_t code_width = 0);
std::vector<Violation> check_markup_002(const std::string& path, const ParsedTex& tex,
                                        std::uint32_t code_width = 0);
std::vector<Violation> check_markup_003(const std::string& path, const ParsedTex& tex,
                                        std::uint32_t code_width = 0);
std::vector<Violation> check_markup_004(const std::string& path, const ParsedTex& tex,
                                        std::uint32_t code_width = 0);

// The second half of KVT-MARKUP-002: a \title starting with a bare lower-case
// package name ("mypkg: ...").
std::vector<Violation> check_title_package_idiom(const std::string& path, const ParsedTex& tex);

class Regex;

// The two line-prefix tests of KVT-MARKUP-003 for positions asked in ascending
// order: whether the line before the position holds a still-open short
// optional argument (as in_short_optarg) or a still-open argument of a code
// macro such as \code{ or \texttt{. Moving forward costs the characters
// passed over, so a rule can ask about every match of a long line; asking
// about an earlier position restarts from the start of its line.
class OpenArgTracker {
 public:
  explicit OpenArgTracker(std::u32string_view chars) : chars_(chars) {}
  void seek(std::size_t pos);
  bool in_short_optarg() const { return optarg_open_; }
  bool in_open_code_macro() const { return code_open_; }

 private:
  void step(std::size_t i);
  // The command word right before the bracket or brace at `k` opens `pattern`.
  bool opens(const Regex& pattern, std::size_t k) const;

  std::u32string_view chars_;
  std::size_t pos_ = 0;
  std::size_t line_start_ = 0;
  bool optarg_open_ = false;
  bool code_open_ = false;
};

// Some ancestor is an algorithm environment (algorithm, algorithmic, ...).
bool is_inside_algorithm(const Ancestors& ancestors);
// `pos` lies in the still-open [...] of a caption or sectioning command on its line.
bool in_short_optarg(std::u32string_view chars, std::size_t pos);
// `pos` lies in the still-open argument of a code macro (\code{, \texttt{, ...) on its line.
bool in_open_code_macro(std::u32string_view chars, std::size_t pos);
// The line holding `pos` (re)defines \code, \pkg or \proglang.
bool is_code_macro_redefinition(std::u32string_view chars, std::size_t pos);
// chars[start, end) stands alone in a table cell: '&' before it, '&' or '\\' after it.
bool is_table_cell_letter(std::u32string_view chars, std::size_t start, std::size_t end);
// A \texttt argument that is an e-mail address, URL, path with "//", DOI or bare number.
bool texttt_is_noncode(std::string_view text);
// The plain text of `nodes`: Chars texts, the insides of groups, environments
// and brace arguments of macros; nothing for plain-text macros, comments, math
// and specials.
void collect_plain_text(const std::vector<Node>& nodes, std::string& out);
// Some node of `nodes` (at any depth) is math or a macro that is not plain text.
bool mandatory_arg_contains_markup(const std::vector<Node>& nodes);

}  // namespace kvt

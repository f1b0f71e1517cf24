#include "rules/markup.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <unordered_set>

#include "regex.hpp"
#include "rules/rule_helpers.hpp"
#include "rules/tex_common.hpp"
#include "tex/extract.hpp"
#include "tex/position.hpp"
#include "tex/prose.hpp"
#include "text.hpp"

namespace kvt {

namespace {

// --- Patterns ---------------------------------------------------------------

const LazyRegex TOKEN_RE{R"re([A-Za-z][A-Za-z0-9+\-]*)re"};
const LazyRegex PATH_SEGMENT_RE{R"re(^[A-Za-z0-9_.-]+(?:/[A-Za-z0-9_.-]+)*\.[A-Za-z0-9]+)re"};
const LazyRegex OPTION_KEY_RE{
    R"re(\b(?:language|style|backgroundcolor|basicstyle|keywordstyle|commentstyle|stringstyle|columns|frame|caption|label|numbers|numberstyle|firstline|lastline|tabsize|breaklines|formatcom)\s*=\s*\z)re"};
const LazyRegex OF_THE_RE{R"re((?i)of the\s*\z)re"};
const LazyRegex NEXT_WORD_RE{R"re(^[A-Za-z]+)re"};
const LazyRegex POSSESSIVE_RE{R"re([A-Za-z](?:'|\u{2019})s\z)re"};
const LazyRegex EPONYM_FOLLOWERS_RE{
    R"re((?i)^[\s~]+(?:index|indices|statistic|statistics|criterion|criteria|step|steps)\b)re"};
const LazyRegex PREV_WORD_RE{R"re(([A-Za-z]+)\s+\z)re"};
const LazyRegex ENUM_CHAIN_RE{
    R"re(\b[A-Z]\b(?:\s*,\s*[A-Z]\b)+\s*(?:,\s*)?(?:or|and)\s+[A-Z]\b)re"};
const LazyRegex MACRO_DEF_LINE_RE{
    R"re(^[ \t]*\\(?:(?:re)?new(?:command|environment)|providecommand|def|DeclareMathOperator|DeclareRobustCommand|newcolumntype|newtheorem)\b)re"};
const LazyRegex MACRO_DEF_HEAD_BEFORE_BRACE_RE{
    R"re(\\(?:(?:re)?new(?:command|environment)|providecommand|def|DeclareMathOperator|DeclareRobustCommand|newcolumntype|newtheorem)\*?(?:(?:\s|%[^\n]*\n)*(?:\{[^{}]*\}|\[[^\]]*\]|\\[A-Za-z@]+))*(?:\s|%[^\n]*\n)*\z)re"};
const LazyRegex WRAPPER_DEF_RE{
    R"re(\\(?:def\s*\\([A-Za-z@]+)|(?:re)?newcommand\*?\s*\{\s*\\([A-Za-z@]+)\s*\})[^\n]*?(?:\\lstinline\b|\\(?:e|E)?[vV]erb\b|\\mintinline\b|\\texttt\s*\{\s*#|\\code\s*\{\s*#))re"};
const LazyRegex FUNCTION_CALL_RE{R"re(\b[a-zA-Z][a-zA-Z0-9_.]*\(\s*\))re"};
const LazyRegex OPEN_CODE_MACRO_RE{
    R"re(\\(?:code|texttt|pkg|proglang|verb|fct|command|samp|file)\*?\{[^{}]*\z)re"};
const LazyRegex SENTINEL_TOKEN_RE{R"re([A-Za-z][A-Za-z0-9_]*)re"};
const LazyRegex OPEN_SHORT_OPTARG_RE{
    R"re(\\(?:caption|(?:sub)*section|paragraph|subparagraph|chapter|part)\*?\[[^\]]*\z)re"};
const LazyRegex CODE_MACRO_REDEF_RE{
    R"re(\\(?:(?:re)?newcommand|providecommand|def|DeclareRobustCommand)\b\*?\s*\{?\s*\\(?:code|pkg|proglang)\b)re"};
const LazyRegex EMAIL_RE{R"re(^[\w.+-]+@[\w-]+\.[\w.-]+\z)re"};
const LazyRegex URL_RE{R"re(^(?:https?://|www\.|ftp://))re"};
const LazyRegex DOI_RE{R"re(^10\.\d{4,}/)re"};
const LazyRegex NUM_LABEL_RE{R"re(^\d+:?\z)re"};
const LazyRegex WHITESPACE_RUN_RE{R"re(\s+)re"};
const LazyRegex TITLE_PKG_IDIOM_RE{R"re(^\s*([a-z][A-Za-z0-9.]*)\s*(?::|--|\u{2014}|\z))re"};
const LazyRegex TITLE_PKG_SOURCE_RE{R"re(\\title\s*\{\s*\\pkg\s*\{)re"};

// --- Word and name lists ------------------------------------------------------

constexpr std::array<std::string_view, 23> LABEL_WORDS = {
    "panel",       "panels",       "group",  "groups",  "class",  "classes", "model",  "models",
    "compartment", "compartments", "column", "columns", "plate",  "arm",     "arms",   "factor",
    "factors",     "level",        "levels", "label",   "labels", "letter",  "letters"};

constexpr std::array<std::string_view, 27> SANDWICH_FOLLOWERS = {
    "type",         "types",      "form",       "forms",       "matrix",       "matrices",
    "method",       "methods",    "covariance", "covariances", "construction", "coefficient",
    "coefficients", "variance",   "variances",  "formula",     "formulae",     "formulas",
    "product",      "products",   "meat",       "bread",       "any",          "estimator",
    "estimators",   "expression", "expressions"};

constexpr std::array<std::string_view, 53> PLAIN_TEXT_MACROS = {
    "label", "index", "nocite", "ignorespaces", "dots", "ldots", "cdots", "vdots", "textbackslash",
    "textunderscore",
    // accents
    "'", "`", "\"", "^", "~", "=", ".", "u", "v", "H", "t", "c", "d", "b", "r", "k",
    // control space and escaped punctuation
    " ", ",", ";", ":", "!", "&", "_", "$", "#", "%", "{", "}",
    // letters
    "ss", "aa", "AA", "ae", "AE", "oe", "OE", "o", "O", "l", "L", "i", "j", "S", "P"};

constexpr std::array<std::string_view, 8> R_SENTINELS = {
    "NA", "NULL", "TRUE", "FALSE", "NA_real_", "NA_integer_", "NA_complex_", "NA_character_"};

constexpr std::array<std::string_view, 10> SECTIONING_MACROS_004 = {
    "section",    "section*",    "chapter",      "chapter*",      "paragraph",
    "subsection", "subsection*", "subparagraph", "subsubsection", "subsubsection*"};

bool is_plain_text_macro(std::string_view name) {
  static const auto* const kNames =
      new std::unordered_set<std::string_view>(PLAIN_TEXT_MACROS.begin(), PLAIN_TEXT_MACROS.end());
  return kNames->count(name) > 0;
}

template <std::size_t N>
bool in_list(const std::array<std::string_view, N>& list, std::string_view name) {
  return std::find(list.begin(), list.end(), name) != list.end();
}

// LABEL_WORDS_RE: the label words in byte order, as whole words, any case.
const Regex& label_words_re() {
  static const Regex LABEL_WORDS_RE{[] {
    std::array<std::string_view, LABEL_WORDS.size()> words = LABEL_WORDS;
    std::sort(words.begin(), words.end());
    std::string pattern = R"((?i)\b(?:)";
    for (std::size_t i = 0; i < words.size(); ++i) {
      if (i > 0) pattern += '|';
      pattern += words[i];
    }
    pattern += R"()\b)";
    return pattern;
  }()};
  return LABEL_WORDS_RE;
}

bool is_ascii_letter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// --- check_bare_terms ---------------------------------------------------------

// Start of the trailing run of text[0..s] made of ASCII white space and
// non-ASCII bytes. Every white space character a pattern's \s can match lies
// in such a run, so an end-anchored pattern of letters and white space only
// needs the text from a little before it: searching that window finds what
// searching the whole paragraph would, without rescanning it per candidate.
std::size_t blank_run_start(std::string_view text, std::size_t s) {
  while (s > 0) {
    const auto b = static_cast<unsigned char>(text[s - 1]);
    if (b != ' ' && !(b >= 0x09 && b <= 0x0D) && !(b >= 0x1C && b <= 0x1F) && b < 0x80) break;
    --s;
  }
  return s;
}

// The window of text[0..s] that can hold PREV_WORD_RE's match: the letters
// right before the trailing blanks, and the blanks.
std::string_view previous_word_window(std::string_view text, std::size_t s) {
  std::size_t k = blank_run_start(text, s);
  while (k > 0 && is_ascii_letter(text[k - 1]))
    --k;
  return text.substr(k, s - k);
}

// The position of the innermost '{' left open before `p`, looking back at most
// 4000 characters; braces after an odd run of backslashes are escaped.
std::optional<std::size_t> innermost_open_brace(std::u32string_view chars, std::size_t p) {
  if (p == 0) return std::nullopt;
  const std::size_t floor = p > 4000 ? p - 4000 : 0;
  long depth = 0;
  for (std::size_t i = p; i-- > floor;) {
    const char32_t c = chars[i];
    if (c != U'{' && c != U'}') continue;
    std::size_t backslashes = 0;
    for (std::size_t k = i; k > 0 && chars[k - 1] == U'\\'; --k)
      ++backslashes;
    if (backslashes % 2 == 1) continue;
    if (c == U'}') {
      ++depth;
    } else if (depth == 0) {
      return i;
    } else {
      --depth;
    }
  }
  return std::nullopt;
}

// One Chars node's scan for bare terms.
class BareTermScan {
 public:
  BareTermScan(const Node& node, std::u32string_view chars, const LineIndex& lines,
               const StringSet& terms, bool skip_initials, bool in_bib)
      : text_(node.text),
        chars_(chars),
        lines_(lines),
        terms_(terms),
        skip_initials_(skip_initials),
        in_bib_(in_bib),
        positions_(node) {}

  struct Hit {
    std::size_t pos;         // document position of the reported term
    std::string_view term;   // the term to wrap
    std::string_view token;  // the whole token (differs from term in the hyphen case)
    bool hyphen;
  };

  // The finding for the token at bytes [s, e), if any.
  std::optional<Hit> token(std::size_t s, std::size_t e) {
    const std::string_view tok = text_.substr(s, e - s);
    if (inside_longer_word(s, e)) return std::nullopt;
    if (!terms_.contains(tok)) {
      const std::size_t dash = tok.find('-');
      if (dash == std::string_view::npos) return std::nullopt;
      const std::string_view prefix = tok.substr(0, dash);
      if (!terms_.contains(prefix)) return std::nullopt;
      const std::string rest = ascii_lower(tok.substr(dash + 1));
      if (rest == "package" || rest == "packages" || rest == "squared") return std::nullopt;
      return Hit{positions_.at(s), prefix, tok, true};
    }
    if (skipped(tok, s, e)) return std::nullopt;
    return Hit{positions_.at(s), tok, tok, false};
  }

 private:
  char byte_at(std::size_t i) const { return i < text_.size() ? text_[i] : '\0'; }

  // The token pattern knows only ASCII letters, so it cuts words such as
  // "Cézanne" or "Rôle" at their first accented letter; the piece next to
  // the accented letter is part of a word, not a name.
  bool inside_longer_word(std::size_t s, std::size_t e) const {
    static const LazyRegex kWordChar{R"(^[\p{L}\p{N}\p{M}])"};
    if (e < text_.size() && static_cast<unsigned char>(text_[e]) >= 0x80 &&
        kWordChar->is_match(text_.substr(e))) {
      return true;
    }
    if (s > 0 && static_cast<unsigned char>(text_[s - 1]) >= 0x80) {
      const std::size_t before = floor_char_boundary(text_, s - 1);
      if (kWordChar->is_match(text_.substr(before, s - before))) return true;
    }
    return false;
  }

  // The skip tests for a token that is a term, in order.
  bool skipped(std::string_view tok, std::size_t s, std::size_t e) {
    const bool one_letter = tok.size() == 1;
    // 1. One-letter terms in the bibliography are initials or labels.
    if (in_bib_ && one_letter) return true;
    // 2. An initial, as in "R. J. Smith".
    if (skip_initials_ && one_letter && byte_at(e) == '.') return true;
    // 3. Superscripts, file extensions and path pieces.
    if (byte_at(e) == '^') return true;
    if (s > 0 && (text_[s - 1] == '.' || text_[s - 1] == '/')) return true;
    // 4. A file path such as R/utils.R.
    if (byte_at(e) == '/' && PATH_SEGMENT_RE->find(text_.substr(e + 1))) return true;
    // 5. A listings option such as language=R.
    const std::size_t window = s < 50 ? 0 : floor_char_boundary(text_, s - 50);
    if (OPTION_KEY_RE->find(text_.substr(window, s - window))) return true;
    // 6. The sandwich estimator, not the package.
    if (tok == "sandwich" && sandwich_is_estimator(s, e)) return true;
    // 7. A single letter used as a name or label.
    if (one_letter && letter_is_label(s)) return true;
    const std::size_t p = positions_.at(s);
    // 8. A macro definition line.
    if (on_definition_line(p)) return true;
    // 9. Inside the body of a definition.
    if (const auto brace = innermost_open_brace(chars_, p)) {
      const std::size_t b = *brace;
      if (MACRO_DEF_HEAD_BEFORE_BRACE_RE->find(utf8_slice(chars_, b > 120 ? b - 120 : 0, b)))
        return true;
    }
    // 10. R\&D and the like.
    const std::size_t q = p + tok.size();
    if (q + 1 < chars_.size() && chars_[q] == U'\\' && chars_[q + 1] == U'&') return true;
    if (p >= 2 && chars_[p - 2] == U'\\' && chars_[p - 1] == U'&') return true;
    // 11. A lone letter in a table cell.
    if (one_letter && is_table_cell_letter(chars_, p, q)) return true;
    return false;
  }

  bool sandwich_is_estimator(std::size_t s, std::size_t e) const {
    const std::size_t blanks = blank_run_start(text_, s);
    const std::size_t window = floor_char_boundary(text_, blanks > 24 ? blanks - 24 : 0);
    if (OF_THE_RE->find(text_.substr(window, s - window))) return true;
    std::size_t k = e;
    while (k < text_.size()) {
      const char c = text_[k];
      if (c != '\t' && c != '\n' && c != '\v' && c != '\f' && c != '\r' && c != ' ' && c != '*' &&
          c != '_')
        break;
      ++k;
    }
    const std::string_view rest = text_.substr(k);
    const auto word = NEXT_WORD_RE->find(rest);
    if (!word) return false;
    return in_list(SANDWICH_FOLLOWERS, ascii_lower(rest.substr(word->start, word->size())));
  }

  bool letter_is_label(std::size_t s) {
    // Student's t
    const std::string_view before = trim_end_unicode_ws(text_.substr(0, s));
    const std::size_t tail = floor_char_boundary(before, before.size() > 8 ? before.size() - 8 : 0);
    if (POSSESSIVE_RE->find(before.substr(tail))) return true;
    // C index, F statistic
    if (EPONYM_FOLLOWERS_RE->find(text_.substr(s + 1))) return true;
    // panel C
    if (const auto caps = PREV_WORD_RE->captures(previous_word_window(text_, s))) {
      if (in_list(LABEL_WORDS, ascii_lower(caps->str(1)))) return true;
    }
    // groups A, B and C
    return in_labelled_enumeration(s);
  }

  bool in_labelled_enumeration(std::size_t s) {
    if (!enum_chains_) enum_chains_ = ENUM_CHAIN_RE->find_all(text_);
    // Matches do not overlap: the only one that can contain s is the first
    // that ends after it.
    const auto it = std::upper_bound(enum_chains_->begin(), enum_chains_->end(), s,
                                     [](std::size_t x, const Span& m) { return x < m.end; });
    if (it != enum_chains_->end()) {
      const Span& m = *it;
      if (m.start > s || m.start + 40 < s) return false;
      const std::size_t before = floor_char_boundary(text_, m.start > 24 ? m.start - 24 : 0);
      if (label_words_re().find(text_.substr(before, m.start - before))) return true;
      const std::size_t after = ceil_char_boundary(text_, std::min(m.end + 24, text_.size()));
      return label_words_re().find(text_.substr(m.end, after - m.end)).has_value();
    }
    return false;
  }

  bool on_definition_line(std::size_t p) {
    const std::size_t start = line_start(lines_, p);
    if (definition_line_start_ != start) {
      definition_line_start_ = start;
      // The pattern looks only at the indentation, the command word and the
      // character after it (the longest word has 20 letters).
      std::size_t k = start;
      while (k < chars_.size() && (chars_[k] == U' ' || chars_[k] == U'\t'))
        ++k;
      const std::size_t end = std::min(line_end(lines_, p, chars_.size()), k + 22);
      definition_line_ = MACRO_DEF_LINE_RE->find(utf8_slice(chars_, start, end)).has_value();
    }
    return definition_line_;
  }

  std::string_view text_;
  std::u32string_view chars_;
  const LineIndex& lines_;
  const StringSet& terms_;
  bool skip_initials_;
  bool in_bib_;
  BytePositions positions_;
  std::optional<std::vector<Span>> enum_chains_;
  std::optional<std::size_t> definition_line_start_;
  bool definition_line_ = false;
};

}  // namespace

// Flags a language or package name written bare in running text, where the
// class wants it marked up so it is typeset and indexed as a name.
//   We fit the model in R.           -> We fit the model in \proglang{R}.
//   R-based tools                    -> \proglang{R}-based tools
// Initials (R. J. Smith), paths (R/utils.R), listing options (language=R),
// eponyms (Student's t, C index), labels (panel C, groups A, B and C), table
// cells, R\&D and macro definitions are left alone.
std::vector<Violation> check_bare_terms(const std::string& path, const ParsedTex& tex,
                                        const StringSet& terms, std::string_view rule_id,
                                        std::string_view macro, bool skip_initials) {
  std::vector<Violation> out;
  const LineIndex& line_index = line_index_for(tex);
  const std::u32string_view chars = tex.chars;
  walk(tex.nodes, [&](const Node& node, const Ancestors& ancestors) {
    if (!node.is_chars() || !is_in_prose_context(ancestors)) return;
    const bool in_bib = any_ancestor_in(ancestors, kBibliographyEnvironment);
    BareTermScan scan(node, chars, line_index, terms, skip_initials, in_bib);
    TOKEN_RE->for_each(node.text, [&](Span m) {
      const auto hit = scan.token(m.start, m.end);
      if (!hit) return true;
      std::string suggestion =
          hit->hyphen
              ? fill_template(
                    "Wrap {quoted_term} in \\{macro}{{term}} (found bare in {quoted_token}).",
                    {{"term", hit->term}, {"macro", macro}, {"token", hit->token}})
              : fill_template("Wrap {quoted_term} in \\{macro}{{term}}.",
                              {{"term", hit->term}, {"macro", macro}});
      Fix fix{fill_template("\\{macro}{{term}}", {{"macro", macro}, {"term", hit->term}}),
              fill_template("wrap {term} in \\{macro}{}", {{"term", hit->term}, {"macro", macro}}),
              hit->pos, hit->pos + char_count(hit->term)};
      out.push_back(tex_violation_with_fix(path, line_index, hit->pos, rule_id,
                                           std::move(suggestion), std::move(fix)));
      return true;
    });
  });
  return out;
}

// Flags a programming-language name written bare in prose.
//   implemented in Python            -> implemented in \proglang{Python}
std::vector<Violation> check_markup_001(const std::string& path, const ParsedTex& tex,
                                        std::uint32_t) {
  return check_bare_terms(path, tex, TERMS().languages, "KVT-MARKUP-001", "proglang", true);
}

// Flags an R package name written bare in prose, and a \title that opens with a
// bare package name.
//   fitted with quantreg             -> fitted with \pkg{quantreg}
//   \title{mypkg: Fast Fitting}      -> \title{\pkg{mypkg}: Fast Fitting}
std::vector<Violation> check_markup_002(const std::string& path, const ParsedTex& tex,
                                        std::uint32_t) {
  std::vector<Violation> out =
      check_bare_terms(path, tex, TERMS().r_packages, "KVT-MARKUP-002", "pkg", false);
  std::vector<Violation> titles = check_title_package_idiom(path, tex);
  out.insert(out.end(), std::make_move_iterator(titles.begin()),
             std::make_move_iterator(titles.end()));
  return out;
}

// Flags a \title whose text starts with a lower-case identifier followed by a
// colon, a dash or nothing: the package-name idiom of software papers, which
// the class wants as \pkg{}.
//   \title{mypkg: Fast Fitting}      -> \title{\pkg{mypkg}: Fast Fitting}
std::vector<Violation> check_title_package_idiom(const std::string& path, const ParsedTex& tex) {
  std::vector<Violation> out;
  const LineIndex* line_index = nullptr;
  const std::u32string_view chars = tex.chars;
  int unused = 0;
  iter_with_parent_visit(tex.nodes, unused, [&](int&, SlotView, std::size_t, const Node& node) {
    if (!node.is_macro("title")) return;
    const Node* group = first_group_arg(node);
    if (group == nullptr) return;
    std::string title;
    for (const Node& child : group->children) {
      if (child.is_macro()) break;
      if (child.is_chars() || child.is_specials()) title += child.text;
    }
    const auto caps = TITLE_PKG_IDIOM_RE->captures(trim_start_unicode_ws(title));
    if (!caps) return;
    if (TITLE_PKG_SOURCE_RE->find(utf8_slice(chars, node.pos, node.end()))) return;
    if (line_index == nullptr) line_index = &line_index_for(tex);
    out.push_back(tex_violation(
        path, *line_index, node.pos, "KVT-MARKUP-002",
        fill_template("Wrap the leading package name {quoted_name} in \\pkg{{name}} in the "
                      "\\title{} body.",
                      {{"name", caps->str(1)}})));
  });
  return out;
}

namespace {

bool is_r_sentinel(std::string_view token) {
  return in_list(R_SENTINELS, token);
}

// The bare-text half of KVT-MARKUP-003: function calls and R sentinels in one
// prose Chars node.
void scan_code_in_prose(const std::string& path, const LineIndex& line_index, const Node& node,
                        OpenArgTracker& call_context, OpenArgTracker& sentinel_context,
                        std::vector<Violation>& out) {
  const std::string_view text = node.text;
  BytePositions call_positions(node);
  FUNCTION_CALL_RE->for_each(text, [&](Span m) {
    const std::size_t p = call_positions.at(m.start);
    call_context.seek(p);
    if (call_context.in_open_code_macro() || call_context.in_short_optarg()) return true;
    const std::string_view call = text.substr(m.start, m.size());
    out.push_back(
        tex_violation(path, line_index, p, "KVT-MARKUP-003",
                      fill_template("Wrap {quoted_call} in \\code{{call}}.", {{"call", call}})));
    return true;
  });
  BytePositions sentinel_positions(node);
  SENTINEL_TOKEN_RE->for_each(text, [&](Span m) {
    const std::string_view token = text.substr(m.start, m.size());
    if (!is_r_sentinel(token)) return true;
    // An argument value (na.rm = TRUE) or a plural (NA's).
    if (trim_end_unicode_ws(text.substr(0, m.start)).ends_with('=')) return true;
    const std::string_view after = text.substr(m.end);
    if (after.starts_with('\'') || after.starts_with("\u2019")) return true;
    const std::size_t p = sentinel_positions.at(m.start);
    sentinel_context.seek(p);
    if (sentinel_context.in_short_optarg()) return true;
    Fix fix{fill_template("\\code{{token}}", {{"token", token}}),
            fill_template("wrap {token} in \\code{}", {{"token", token}}), p, p + token.size()};
    out.push_back(tex_violation_with_fix(
        path, line_index, p, "KVT-MARKUP-003",
        fill_template("Wrap bare R sentinel {quoted_token} in \\code{{token}}.",
                      {{"token", token}}),
        std::move(fix)));
    return true;
  });
}

// is_code_macro_redefinition, evaluated once per line.
class RedefinitionLines {
 public:
  RedefinitionLines(std::u32string_view chars, const LineIndex& lines)
      : chars_(chars), lines_(lines) {}
  bool at(std::size_t pos) {
    const std::size_t start = line_start(lines_, pos);
    if (start != start_) {
      start_ = start;
      answer_ =
          CODE_MACRO_REDEF_RE->find(utf8_slice(chars_, start, line_end(lines_, pos, chars_.size())))
              .has_value();
    }
    return answer_;
  }

 private:
  std::u32string_view chars_;
  const LineIndex& lines_;
  std::optional<std::size_t> start_;
  bool answer_ = false;
};

// The \texttt half of KVT-MARKUP-003.
void check_texttt(const std::string& path, const LineIndex& line_index, const Node& macro,
                  const Ancestors& ancestors, SlotView slots, std::size_t index,
                  OpenArgTracker& context, RedefinitionLines& redefinitions,
                  std::vector<Violation>& out) {
  // Code environments (the verbatim-like ones), the bibliography, code
  // markup, index entries and algorithms.
  if (any_ancestor_in(ancestors, kVerbatimEnvironment | kBibliographyEnvironment |
                                     kCodeMarkupMacro | kVerbOrCodeMacro | kIndexMacro |
                                     kAlgorithmEnvironment)) {
    return;
  }
  const std::size_t m = macro.pos;
  context.seek(m);
  if (context.in_short_optarg() || redefinitions.at(m)) return;
  const std::string arg = macro_args_text(macro, slots, index);
  const std::string_view x = trim_unicode_ws(arg);
  if (texttt_is_noncode(x)) return;
  std::string_view target = "code";
  std::string suggestion;
  if (TERMS().languages.contains(x)) {
    target = "proglang";
    suggestion =
        fill_template("\\texttt{{text}} names a programming language; wrap as \\proglang{{text}}.",
                      {{"text", x}});
  } else if (TERMS().r_packages.contains(x)) {
    target = "pkg";
    suggestion =
        fill_template("\\texttt{{text}} names an R package; wrap as \\pkg{{text}}.", {{"text", x}});
  } else {
    suggestion =
        "Replace \\texttt{...} with the appropriate KVT markup: \\code{...} for inline code, "
        "\\pkg{...} for package names, \\proglang{...} for language names.";
  }
  Fix fix{fill_template("\\{target}", {{"target", target}}),
          fill_template("replace \\texttt with \\{target}", {{"target", target}}), m, m + 7};
  out.push_back(tex_violation_with_fix(path, line_index, m, "KVT-MARKUP-003", std::move(suggestion),
                                       std::move(fix)));
}

}  // namespace

// Flags inline code that is not marked as code: function calls and bare R
// sentinels in prose, and \texttt{} used for code, packages or languages.
//   call summary() on the fit        -> call \code{summary()} on the fit
//   returns NULL                     -> returns \code{NULL}
//   \texttt{lm}                      -> \code{lm}
// Argument values (x = TRUE), plurals (NA's), captions' short titles, index
// entries, algorithms, the bibliography and user macros that already wrap
// their argument in verbatim or \code are left alone, as are \texttt{} holding
// URLs, e-mail addresses, DOIs and numbers.
std::vector<Violation> check_markup_003(const std::string& path, const ParsedTex& tex,
                                        std::uint32_t) {
  std::vector<Violation> out;
  StringSet wrappers;
  for (const Captures& caps : WRAPPER_DEF_RE->captures_all(tex.source))
    wrappers.emplace(caps.matched(1) ? caps.str(1) : caps.str(2));
  const LineIndex& line_index = line_index_for(tex);
  // The walk meets Chars nodes and \texttt macros in ascending position, so
  // each pass over the line prefixes moves forward only.
  OpenArgTracker call_context(tex.chars);
  OpenArgTracker sentinel_context(tex.chars);
  RedefinitionLines redefinitions(tex.chars, line_index);
  Ancestors ancestors;
  walk_with_context(
      SlotView(tex.nodes), ancestors,
      [&](const Node& node, const Ancestors& anc, SlotView slots, std::size_t index) {
        if (node.is_chars()) {
          if (!is_in_prose_context(anc)) return;
          if (any_ancestor_in(anc, kIndexMacro | kAlgorithmEnvironment | kBibliographyEnvironment))
            return;
          if (!wrappers.empty() && any_macro_ancestor(anc, [&](std::string_view name) {
                return wrappers.contains(name);
              }))
            return;
          scan_code_in_prose(path, line_index, node, call_context, sentinel_context, out);
        } else if (node.is_macro("texttt")) {
          check_texttt(path, line_index, node, anc, slots, index, call_context, redefinitions, out);
        }
      });
  return out;
}

// Flags a sectioning command whose title holds markup or math but gives no
// plain optional title, which the PDF bookmarks and running heads need.
//   \section{Using \pkg{zoo}}        -> \section[Using zoo]{Using \pkg{zoo}}
std::vector<Violation> check_markup_004(const std::string& path, const ParsedTex& tex,
                                        std::uint32_t) {
  std::vector<Violation> out;
  const LineIndex* line_index = nullptr;
  int unused = 0;
  iter_with_parent_visit(tex.nodes, unused, [&](int&, SlotView, std::size_t, const Node& node) {
    if (!node.is_macro() || !in_list(SECTIONING_MACROS_004, node.name())) return;
    for (const auto& slot : node.args)
      if (slot && slot->bracketed()) return;
    const Node* group = first_group_arg(node);
    if (group == nullptr || !mandatory_arg_contains_markup(group->children)) return;
    std::string collected;
    collect_plain_text(group->children, collected);
    const std::string spaced = WHITESPACE_RUN_RE->replace_all_literal(collected, " ");
    const std::string_view plain = trim_unicode_ws(spaced);
    if (line_index == nullptr) line_index = &line_index_for(tex);
    std::string suggestion =
        "Provide a plain-text section title as the optional argument: \\section[plain]{...}.";
    if (plain.empty()) {
      out.push_back(
          tex_violation(path, *line_index, node.pos, "KVT-MARKUP-004", std::move(suggestion)));
      return;
    }
    Fix fix{fill_template("[{plain}]", {{"plain", plain}}),
            fill_template("Insert plain-text optional arg [{plain}] before the section title.",
                          {{"plain", plain}}),
            group->pos, group->pos};
    out.push_back(tex_violation_with_fix(path, *line_index, node.pos, "KVT-MARKUP-004",
                                         std::move(suggestion), std::move(fix)));
  });
  return out;
}

void OpenArgTracker::seek(std::size_t pos) {
  pos = std::min(pos, chars_.size());
  if (pos < pos_) {
    pos_ = line_start(chars_, pos);
    line_start_ = pos_;
    optarg_open_ = false;
    code_open_ = false;
  }
  for (; pos_ < pos; ++pos_)
    step(pos_);
}

void OpenArgTracker::step(std::size_t i) {
  switch (chars_[i]) {
    case U'\n':
      line_start_ = i + 1;
      optarg_open_ = false;
      code_open_ = false;
      break;
    case U'[':
      if (!optarg_open_) optarg_open_ = opens(*OPEN_SHORT_OPTARG_RE, i);
      break;
    case U']':
      optarg_open_ = false;
      break;
    case U'{':
      // Any later brace closes the argument or opens another one.
      code_open_ = opens(*OPEN_CODE_MACRO_RE, i);
      break;
    case U'}':
      code_open_ = false;
      break;
    default:
      break;
  }
}

bool OpenArgTracker::opens(const Regex& pattern, std::size_t k) const {
  // The pattern ends in the bracket or brace; what precedes it is a backslash,
  // a word of letters and an optional star. Matching that window answers as
  // matching the whole line before the position would.
  std::size_t s = k;
  if (s > line_start_ && chars_[s - 1] == U'*') --s;
  while (s > line_start_ && chars_[s - 1] < 0x80 &&
         is_ascii_letter(static_cast<char>(chars_[s - 1])))
    --s;
  if (s == line_start_ || chars_[s - 1] != U'\\') return false;
  return pattern.find(utf8_slice(chars_, s - 1, k + 1)).has_value();
}

bool is_inside_algorithm(const Ancestors& ancestors) {
  return any_ancestor_in(ancestors, kAlgorithmEnvironment);
}

bool in_short_optarg(std::u32string_view chars, std::size_t pos) {
  return OPEN_SHORT_OPTARG_RE->find(line_before(chars, pos)).has_value();
}

bool in_open_code_macro(std::u32string_view chars, std::size_t pos) {
  return OPEN_CODE_MACRO_RE->find(line_before(chars, pos)).has_value();
}

bool is_code_macro_redefinition(std::u32string_view chars, std::size_t pos) {
  return CODE_MACRO_REDEF_RE->find(whole_line(chars, pos)).has_value();
}

bool is_table_cell_letter(std::u32string_view chars, std::size_t start, std::size_t end) {
  // Only the characters next to the span matter, so look outwards from it
  // without slicing the whole line. A '\n' ends the line on either side.
  start = std::min(start, chars.size());
  end = std::min(std::max(end, start), chars.size());
  std::size_t b = start;
  while (b > 0 && chars[b - 1] != U'\n' && is_unicode_whitespace(chars[b - 1]))
    --b;
  while (b > 0 && chars[b - 1] == U'{')
    --b;
  if (b == 0 || chars[b - 1] != U'&') return false;
  std::size_t a = end;
  while (a < chars.size() && chars[a] != U'\n' && is_unicode_whitespace(chars[a]))
    ++a;
  while (a < chars.size() && chars[a] == U'}')
    ++a;
  if (a >= chars.size()) return false;
  return chars[a] == U'&' || (chars[a] == U'\\' && a + 1 < chars.size() && chars[a + 1] == U'\\');
}

bool texttt_is_noncode(std::string_view text) {
  const std::string_view t = trim_unicode_ws(text);
  return EMAIL_RE->find(t) || URL_RE->find(t) || t.find("//") != std::string_view::npos ||
         DOI_RE->find(t) || NUM_LABEL_RE->find(t);
}

void collect_plain_text(const std::vector<Node>& nodes, std::string& out) {
  for (const Node& node : nodes) {
    switch (node.kind) {
      case NodeKind::Chars:
        out += node.text;
        break;
      case NodeKind::Group:
      case NodeKind::Environment:
        collect_plain_text(node.children, out);
        break;
      case NodeKind::Macro:
        if (is_plain_text_macro(node.name())) break;
        for (const auto& slot : node.args)
          if (slot && slot->is_group() && !slot->bracketed())
            collect_plain_text(slot->children, out);
        break;
      case NodeKind::Comment:
      case NodeKind::Math:
      case NodeKind::Specials:
        break;
    }
  }
}

namespace {

// Visits what `walk` visits, in the same order, and stops at the first markup.
bool slots_contain_markup(SlotView slots) {
  for (std::size_t i = 0; i < slots.size(); ++i) {
    const Node* node = slots[i];
    if (node == nullptr) continue;
    if (node->is_math() || (node->is_macro() && !is_plain_text_macro(node->name()))) return true;
    if (slots_contain_markup(children_slots(*node))) return true;
  }
  return false;
}

}  // namespace

bool mandatory_arg_contains_markup(const std::vector<Node>& nodes) {
  return slots_contain_markup(SlotView(nodes));
}

}  // namespace kvt

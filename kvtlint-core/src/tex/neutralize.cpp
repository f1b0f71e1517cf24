// Part 2.4: the three masking passes. Every pass works on bytes, is iterative
// and (near-)linear, and only overwrites the ASCII bytes '$', '%' and '\' with
// other ASCII bytes, so the output has the input's byte length and character
// count and stays valid UTF-8 when the input was.
//
// The two patterns of the Part are matched by hand here rather than through
// the regex engine; the matchers below accept exactly what the quoted patterns
// accept (leftmost-first, none of the alternatives is a prefix of another one
// followed by the same continuation):
//   MACRO_DEF_HEAD
//   \\(?:(?P<env>(?:re)?newenvironment)|(?P<cmd>(?:re)?newcommand|providecommand)|(?P<def>def))\*?
//   VERBATIM_ARG_MACROS \\(?:code|verb|url|email|fct|pkg|proglang)\{([^{}]*)\}
// Matching by hand keeps the passes linear where a backtracking search would
// rescan the same stretch of text for every candidate position.
#include "tex/neutralize.hpp"

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace kvt {

namespace {

constexpr std::array<std::string_view, 14> kVerbatimLike = {
    "Code",       "verbatim", "Verbatim", "verbatim*", "CodeInput", "CodeOutput", "CodeChunk",
    "lstlisting", "Sinput",   "Soutput",  "Schunk",    "Scode",     "alltt",      "tabbing"};

constexpr std::size_t npos = std::string_view::npos;

inline bool is_def_ws(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

inline bool is_cs_letter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '@';
}

inline bool starts_with_at(std::string_view text, std::size_t pos, std::string_view prefix) {
  return pos <= text.size() && text.substr(pos).starts_with(prefix);
}

inline char masked(char c) {
  return (c == '$' || c == '%') ? '?' : c;
}

std::size_t skip_def_ws(std::string_view t, std::size_t p) {
  while (p < t.size() && is_def_ws(t[p]))
    ++p;
  return p;
}

// p holds a backslash; returns the position after the control sequence.
std::size_t read_control_sequence(std::string_view t, std::size_t p) {
  const std::size_t n = t.size();
  if (p + 1 >= n) return n;
  if (!is_cs_letter(t[p + 1])) return p + 2;
  std::size_t q = p + 1;
  while (q < n && is_cs_letter(t[q]))
    ++q;
  return q;
}

// p holds '{'; returns the position of the matching '}' (a backslash skips the
// byte after it), or npos when the text ends first.
std::size_t matching_brace(std::string_view t, std::size_t p) {
  const std::size_t n = t.size();
  std::size_t depth = 1;
  for (std::size_t i = p + 1; i < n; ++i) {
    const char c = t[i];
    if (c == '\\') {
      ++i;
    } else if (c == '{') {
      ++depth;
    } else if (c == '}') {
      if (--depth == 0) return i;
    }
  }
  return npos;
}

// p holds '['; returns the position after the group: the first ']' that is not
// inside a brace group (a backslash skips the next byte; brace groups are
// skipped balanced), or the end of the text.
std::size_t skip_bracket_group(std::string_view t, std::size_t p) {
  const std::size_t n = t.size();
  std::size_t depth = 0;
  for (std::size_t i = p + 1; i < n; ++i) {
    const char c = t[i];
    if (c == '\\') {
      ++i;
    } else if (c == '{') {
      ++depth;
    } else if (c == '}') {
      if (depth > 0) --depth;
    } else if (c == ']' && depth == 0) {
      return i + 1;
    }
  }
  return n;
}

enum class HeadKind { Env, Cmd, Def };

struct Head {
  HeadKind kind;
  std::size_t end;  // after the optional star
};

// The next MACRO_DEF_HEAD match at or after `from`, by hand.
std::optional<Head> find_def_head(std::string_view t, std::size_t from) {
  struct Alt {
    std::string_view word;
    HeadKind kind;
  };
  static constexpr std::array<Alt, 6> kAlternatives = {{
      {"renewenvironment", HeadKind::Env},
      {"newenvironment", HeadKind::Env},
      {"renewcommand", HeadKind::Cmd},
      {"newcommand", HeadKind::Cmd},
      {"providecommand", HeadKind::Cmd},
      {"def", HeadKind::Def},
  }};
  std::size_t pos = from;
  while ((pos = t.find('\\', pos)) != npos) {
    for (const Alt& alt : kAlternatives) {
      if (starts_with_at(t, pos + 1, alt.word)) {
        std::size_t end = pos + 1 + alt.word.size();
        if (end < t.size() && t[end] == '*') ++end;
        return Head{alt.kind, end};
      }
    }
    ++pos;
  }
  return std::nullopt;
}

// Answers "does the body opened by the '{' at s ever close?" in O(1) after one
// linear preparation, so that a run of unclosed definition bodies (each of
// which makes the pass resume right after its head) costs linear time instead
// of one scan to the end of the text per head. Built on first need.
//
// Token boundaries of the brace scan (a backslash swallows the next byte) do
// not depend on where the scan starts, as long as it starts right after a
// '{': that '{' is one byte either way. So with P[x] = opening minus closing
// braces among the tokens before x (scanning from 0), the scan from s closes
// exactly when P drops below P[s + 1] somewhere after s + 1.
class UnclosedBodyOracle {
 public:
  explicit UnclosedBodyOracle(std::string_view t) {
    const std::size_t n = t.size();
    std::vector<std::int32_t> level(n + 1, 0);
    std::int32_t current = 0;
    std::size_t i = 0;
    while (i < n) {
      level[i] = current;
      const char c = t[i];
      if (c == '\\') {
        if (i + 1 < n) level[i + 1] = current;
        i += 2;
        continue;
      }
      if (c == '{') ++current;
      if (c == '}') --current;
      ++i;
    }
    level[n] = current;
    unclosed_after_.assign(n + 1, 0);
    std::int32_t suffix_min = std::numeric_limits<std::int32_t>::max();
    for (std::size_t x = n + 1; x-- > 0;) {
      if (level[x] < suffix_min) suffix_min = level[x];
      unclosed_after_[x] = suffix_min >= level[x] ? 1 : 0;
    }
  }
  // s holds '{'.
  bool unclosed(std::size_t s) const { return unclosed_after_[s + 1] != 0; }

 private:
  std::vector<std::uint8_t> unclosed_after_;
};

void mask_begin_end(std::string_view t, std::string& out, std::size_t open, std::size_t close) {
  for (std::size_t i = open + 1; i < close; ++i) {
    if (t[i] != '\\') continue;
    std::size_t j;
    if (starts_with_at(t, i + 1, "begin")) {
      j = i + 6;
    } else if (starts_with_at(t, i + 1, "end")) {
      j = i + 4;
    } else {
      continue;
    }
    while (j < close && is_def_ws(t[j]))
      ++j;
    if (j < close && t[j] == '{') out[i] = ' ';
  }
}

}  // namespace

bool is_verbatim_like_environment(std::string_view name) {
  for (std::string_view candidate : kVerbatimLike) {
    if (candidate == name) return true;
  }
  return false;
}

std::string neutralize_tex_special_chars(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    c = masked(c);
  return out;
}

std::string neutralize_macro_definition_bodies(std::string_view t) {
  std::string out(t);
  const std::size_t n = t.size();
  std::optional<UnclosedBodyOracle> oracle;
  const bool oracle_fits = n < static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
  // Cache of the last "first '{' at or after x" search; search starts only
  // move forward, so the cached answer holds for every start up to it.
  std::size_t brace_from = npos;
  std::size_t brace_at = npos;
  auto first_brace_from = [&](std::size_t x) {
    if (brace_from != npos && x >= brace_from && (brace_at == npos || x <= brace_at)) {
      return brace_at;
    }
    brace_from = x;
    brace_at = t.find('{', x);
    return brace_at;
  };
  // Matching '}' of the body opened at s, or npos.
  auto body_close = [&](std::size_t s) {
    if (oracle && oracle->unclosed(s)) return npos;
    const std::size_t close = matching_brace(t, s);
    if (close == npos && !oracle && oracle_fits) oracle.emplace(t);
    return close;
  };

  std::size_t search = 0;
  while (search < n) {
    const std::optional<Head> head = find_def_head(t, search);
    if (!head) break;
    const std::size_t m = head->end;
    const int bodies = head->kind == HeadKind::Env ? 2 : 1;
    std::size_t p = skip_def_ws(t, m);
    if (p >= n) break;

    if (head->kind == HeadKind::Def) {
      if (t[p] != '\\') {
        search = m;
        continue;
      }
      const std::size_t brace = first_brace_from(read_control_sequence(t, p));
      if (brace == npos) {
        search = m;
        continue;
      }
      p = brace;
    } else {
      if (t[p] == '\\') {
        p = read_control_sequence(t, p);
      } else if (t[p] == '{') {
        const std::size_t close = matching_brace(t, p);
        p = close == npos ? n : close + 1;
      } else {
        search = m;
        continue;
      }
      p = skip_def_ws(t, p);
      while (p < n && t[p] == '[')
        p = skip_def_ws(t, skip_bracket_group(t, p));
    }

    bool resumed = false;
    for (int body = 0; body < bodies; ++body) {
      p = skip_def_ws(t, p);
      if (p >= n || t[p] != '{') {
        search = p;
        resumed = true;
        break;
      }
      const std::size_t close = body_close(p);
      if (close == npos) {
        search = m;
        resumed = true;
        break;
      }
      mask_begin_end(t, out, p, close);
      p = close + 1;
    }
    if (!resumed) search = p;
  }
  return out;
}

std::string neutralize_verbatim_envs(std::string_view t) {
  static constexpr std::string_view kBegin = "\\begin{";
  const std::size_t n = t.size();
  std::string out;
  out.reserve(n);

  // The commented-out test looks at the line prefix before each \begin{. Both
  // the line start and the '%' scan are carried forward, so many environments
  // on one long line cost linear time.
  std::size_t nl_scanned = 0;   // newlines searched up to here
  std::size_t line_start = 0;   // start of the line holding nl_scanned
  std::size_t pct_line = npos;  // line whose prefix has been scanned ...
  std::size_t pct_scanned = 0;  // ... up to here
  bool pct_found = false;       // ... with this result
  auto line_is_commented_before = [&](std::size_t b) {
    for (; nl_scanned < b; ++nl_scanned) {
      if (t[nl_scanned] == '\n') line_start = nl_scanned + 1;
    }
    if (pct_line != line_start) {
      pct_line = line_start;
      pct_scanned = line_start;
      pct_found = false;
    }
    for (; pct_scanned < b && !pct_found; ++pct_scanned) {
      if (t[pct_scanned] == '%' && (pct_scanned == line_start || t[pct_scanned - 1] != '\\')) {
        pct_found = true;
      }
    }
    return pct_found;
  };

  std::size_t q = 0;
  while (q < n) {
    const std::size_t b = t.find(kBegin, q);
    if (b == npos) break;
    const std::size_t k = t.find('}', b + kBegin.size());
    if (k == npos) break;
    const std::string_view name = t.substr(b + kBegin.size(), k - b - kBegin.size());
    if (!is_verbatim_like_environment(name)) {
      out.append(t.substr(q, k + 1 - q));
      q = k + 1;
      continue;
    }
    std::string tag = "\\end{";
    tag += name;
    tag += '}';
    const std::size_t e = t.find(tag, k + 1);
    if (e == npos) break;
    const std::size_t after = e + tag.size();
    if (line_is_commented_before(b)) {
      out.append(t.substr(q, after - q));
    } else {
      out.append(t.substr(q, k + 1 - q));
      for (std::size_t i = k + 1; i < e; ++i)
        out.push_back(masked(t[i]));
      out.append(tag);
    }
    q = after;
  }
  if (q < n) out.append(t.substr(q));
  return out;
}

std::string neutralize_verbatim_args(std::string_view t) {
  static constexpr std::array<std::string_view, 7> kNames = {"code", "verb", "url",     "email",
                                                             "fct",  "pkg",  "proglang"};
  std::string out(t);
  const std::size_t n = t.size();
  // First '{' or '}' at or after x, cached like in the definition pass.
  std::size_t brace_from = npos;
  std::size_t brace_at = npos;
  auto first_brace_char_from = [&](std::size_t x) {
    if (brace_from != npos && x >= brace_from && (brace_at == npos || x <= brace_at)) {
      return brace_at;
    }
    brace_from = x;
    brace_at = t.find_first_of("{}", x);
    return brace_at;
  };

  std::size_t i = 0;
  while (i < n) {
    const std::size_t pos = t.find('\\', i);
    if (pos == npos) break;
    std::size_t arg = npos;
    for (std::string_view name : kNames) {
      const std::size_t brace = pos + 1 + name.size();
      if (starts_with_at(t, pos + 1, name) && brace < n && t[brace] == '{') {
        arg = brace + 1;
        break;
      }
    }
    if (arg == npos) {
      i = pos + 1;
      continue;
    }
    const std::size_t close = first_brace_char_from(arg);
    if (close == npos || t[close] != '}') {
      i = pos + 1;
      continue;
    }
    for (std::size_t j = arg; j < close; ++j)
      out[j] = masked(out[j]);
    i = close + 1;
  }
  return out;
}

std::string preprocess(std::string_view text) {
  return neutralize_verbatim_args(
      neutralize_verbatim_envs(neutralize_macro_definition_bodies(text)));
}

}  // namespace kvt

// Sweave (.Rnw) front-end: rewrites R code chunks so the TeX parser sees every
// echoed chunk as an `Sinput` environment, hidden chunks as empty lines and
// `\Sexpr{}` expressions as blanks. Every line stays on its line number; the
// source map tells which lines kept their columns.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "regex.hpp"
#include "source_map.hpp"

namespace kvt {

struct RnwRewrite {
  std::string text;  // the rewritten source, ready for parse_tex_source
  SourceMap map;     // from `text` back to the submitted source
};

RnwRewrite rewrite_rnw(std::string_view text);

// The rewritten text alone.
std::string wrap_rnw_chunks_as_sinput(std::string_view text);

// True when `option` (a pattern with the option's value as group 1) switches
// the option off in a chunk header: its value is F or FALSE. A header that does
// not mention the option keeps `default_off`.
bool effective(const Regex& option, std::string_view header, bool default_off);

// The first Sweave chunk in text[from, limit) found line by line: a header line
// (indent, `<<`, anything, `>>=`, blanks, an optional carriage return) through
// the first later line made of indent and `@`, optionally followed by a blank
// and anything; the span ends before that line's line feed. The rewrite uses it
// where the pattern engine gives up on a chunk.
std::optional<Span> find_rnw_chunk_by_lines(std::string_view text, std::size_t from,
                                            std::size_t limit);

}  // namespace kvt

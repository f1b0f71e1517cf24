#include "rnw.hpp"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "text.hpp"

namespace kvt {

namespace {

const LazyRegex RNW_CHUNK{R"((?ms)^[ \t]*<<[^\n]*?>>=[ \t]*\r?\n.*?^[ \t]*@(?:[ \t][^\n]*)?\r?$)"};
const LazyRegex GLOBAL_OPTS_BLOCK{R"((?:\\SweaveOpts\s*\{|opts_chunk\$set\s*\()([^)}]*))"};
const LazyRegex OPT_ECHO{R"(\becho\s*=\s*(\w+))"};
const LazyRegex OPT_INCLUDE{R"(\binclude\s*=\s*(\w+))"};
const LazyRegex RNW_SEXPR{R"(\\Sexpr\{[^{}]*\})"};

constexpr std::string_view kBeginSinput = "\\begin{Sinput}";
constexpr std::string_view kEndSinput = "\\end{Sinput}";

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

std::size_t skip_blanks(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size() && is_blank(line[i]))
    ++i;
  return i;
}

// The line tests below say, line by line, what RNW_CHUNK matches: a header line
// (indent, `<<`, anything, `>>=`, then blanks and an optional carriage return)
// up to the first later line made of indent, `@` and nothing or a blank and
// anything.
bool is_chunk_header(std::string_view line) {
  const std::size_t open = skip_blanks(line);
  if (line.substr(open, 2) != "<<") return false;
  std::string_view rest = line;
  if (!rest.empty() && rest.back() == '\r') rest.remove_suffix(1);
  while (!rest.empty() && is_blank(rest.back()))
    rest.remove_suffix(1);
  return rest.size() >= open + 5 && rest.substr(rest.size() - 3) == ">>=";
}

bool is_chunk_end(std::string_view line) {
  const std::size_t at = skip_blanks(line);
  if (at >= line.size() || line[at] != '@') return false;
  const std::string_view rest = line.substr(at + 1);
  return rest.empty() || rest == "\r" || is_blank(rest[0]);
}

std::size_t line_end(std::string_view text, std::size_t start) {
  const std::size_t end = text.find('\n', start);
  return end == std::string_view::npos ? text.size() : end;
}

// End of the last chunk-end line that follows a header line, or 0 when no chunk
// can match. No chunk match reaches past it, so searching only up to it keeps a
// file full of unterminated headers from costing a scan to the end per header.
std::size_t chunk_search_limit(std::string_view text) {
  std::size_t limit = 0;
  bool header_seen = false;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t end = line_end(text, pos);
    const std::string_view line = text.substr(pos, end - pos);
    if (header_seen && is_chunk_end(line)) limit = end;
    if (end < text.size() && is_chunk_header(line)) header_seen = true;
    pos = end + 1;
  }
  return limit;
}

void apply_global_option(const Regex& option, std::string_view options, bool& off) {
  const auto caps = option.captures(options);
  if (!caps) return;
  const std::string_view value = caps->str(1);
  if (value == "F" || value == "FALSE") off = true;
  if (value == "T" || value == "TRUE") off = false;
}

// Blanks every \Sexpr{} in place: a character becomes one space, a line feed
// stays, so the text only ever shrinks and each byte moves at most once.
void blank_sexprs(std::string& text) {
  const std::vector<Span> matches = RNW_SEXPR->find_all(text);
  if (matches.empty()) return;
  std::size_t write = 0;
  const auto keep = [&](std::size_t from, std::size_t to) {
    if (write != from) std::memmove(text.data() + write, text.data() + from, to - from);
    write += to - from;
  };
  std::size_t read = 0;
  for (const Span& m : matches) {
    keep(read, m.start);
    for (std::size_t i = m.start; i < m.end; ++i) {
      if (text[i] == '\n') {
        text[write++] = '\n';
      } else if (is_char_boundary(text, i)) {
        text[write++] = ' ';
      }
    }
    read = m.end;
  }
  keep(read, text.size());
  text.resize(write);
}

// Pairs the lines of the submitted and the rewritten text (they have the same
// number of line feeds) into a source map.
SourceMap build_source_map(std::string_view original, std::string_view rewritten,
                           const std::vector<bool>& kept) {
  SourceMap map;
  map.lines.reserve(kept.size());
  map.changed_before.reserve(kept.size() + 1);
  std::size_t original_pos = 0;
  std::size_t original_chars = 0;
  std::size_t rewritten_pos = 0;
  std::size_t rewritten_chars = 0;
  for (std::size_t line = 0; line < kept.size(); ++line) {
    map.add_line(rewritten_chars, original_chars, kept[line]);
    const std::size_t original_end = original.find('\n', original_pos);
    const std::size_t rewritten_end = rewritten.find('\n', rewritten_pos);
    if (original_end == std::string_view::npos || rewritten_end == std::string_view::npos) break;
    original_chars += char_count(original.substr(original_pos, original_end - original_pos)) + 1;
    rewritten_chars +=
        char_count(rewritten.substr(rewritten_pos, rewritten_end - rewritten_pos)) + 1;
    original_pos = original_end + 1;
    rewritten_pos = rewritten_end + 1;
  }
  map.length =
      rewritten_chars + char_count(rewritten.substr(std::min(rewritten_pos, rewritten.size())));
  return map;
}

}  // namespace

std::optional<Span> find_rnw_chunk_by_lines(std::string_view text, std::size_t from,
                                            std::size_t limit) {
  std::size_t pos = from;
  if (pos > 0 && text[pos - 1] != '\n') pos = line_end(text, pos) + 1;
  std::optional<std::size_t> header;
  while (pos < limit) {
    const std::size_t end = line_end(text, pos);
    const std::string_view line = text.substr(pos, end - pos);
    if (!header) {
      if (end < text.size() && is_chunk_header(line)) header = pos;
    } else if (is_chunk_end(line)) {
      return Span{*header, end};
    }
    pos = end + 1;
  }
  return std::nullopt;
}

bool effective(const Regex& option, std::string_view header, bool default_off) {
  const auto caps = option.captures(header);
  if (!caps) return default_off;
  const std::string_view value = caps->str(1);
  return value == "F" || value == "FALSE";
}

RnwRewrite rewrite_rnw(std::string_view text) {
  // Global defaults; a later block overrides an earlier one wherever it stands.
  bool echo_off = false;
  bool include_off = false;
  GLOBAL_OPTS_BLOCK->for_each(text, [&](Span m) {
    if (const auto caps = GLOBAL_OPTS_BLOCK->captures(text, m.start)) {
      apply_global_option(*OPT_ECHO, caps->str(1), echo_off);
      apply_global_option(*OPT_INCLUDE, caps->str(1), include_off);
    }
    return true;
  });

  std::vector<bool> kept(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1,
                         true);
  std::size_t line = 0;
  std::size_t counted_to = 0;
  const auto line_at = [&](std::size_t pos) {
    line +=
        static_cast<std::size_t>(std::count(text.begin() + static_cast<std::ptrdiff_t>(counted_to),
                                            text.begin() + static_cast<std::ptrdiff_t>(pos), '\n'));
    counted_to = pos;
    return line;
  };

  std::string out;
  out.reserve(text.size());
  const std::size_t limit = chunk_search_limit(text);
  std::size_t cursor = 0;
  while (cursor < limit) {
    std::optional<Span> chunk_span = RNW_CHUNK->find_in(text, cursor, limit);
    // A pattern engine that gives up (a limit hit counts as no match) must not
    // leave a chunk for the TeX parser to read as prose.
    if (!chunk_span) chunk_span = find_rnw_chunk_by_lines(text, cursor, limit);
    if (!chunk_span) break;
    out.append(text.substr(cursor, chunk_span->start - cursor));
    cursor = chunk_span->end;
    const std::string_view chunk = text.substr(chunk_span->start, chunk_span->size());
    const std::size_t header_end = chunk.find('\n');
    const std::size_t first_line = line_at(chunk_span->start);
    const std::size_t last_line = line_at(chunk_span->end);
    if (header_end == std::string_view::npos) {
      out.append(chunk);
      continue;
    }
    const std::string_view header = chunk.substr(0, header_end);
    const bool hidden =
        effective(*OPT_ECHO, header, echo_off) || effective(*OPT_INCLUDE, header, include_off);
    if (hidden) {
      out.append(static_cast<std::size_t>(std::count(chunk.begin(), chunk.end(), '\n')), '\n');
      for (std::size_t l = first_line; l <= last_line; ++l)
        kept[l] = false;
      continue;
    }
    // The body runs through the chunk's last line feed; the `@` line is dropped.
    const std::string_view body = chunk.substr(header_end + 1, chunk.rfind('\n') - header_end);
    out.append(kBeginSinput);
    out.append(header.ends_with('\r') ? "\r\n" : "\n");
    for (const char c : body)
      out.push_back(c == '\\' || c == '{' || c == '}' ? ' ' : c);
    out.append(kEndSinput);
    kept[first_line] = false;
    kept[last_line] = false;
  }
  out.append(text.substr(cursor));

  blank_sexprs(out);
  RnwRewrite result;
  result.map = build_source_map(text, out, kept);
  result.text = std::move(out);
  return result;
}

std::string wrap_rnw_chunks_as_sinput(std::string_view text) {
  return rewrite_rnw(text).text;
}

}  // namespace kvt

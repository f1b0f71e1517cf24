// Part 3.1: the tolerant BibTeX parser. Iterative throughout: nesting in the
// input only ever raises a counter, never the call depth. Linear in the input
// apart from the per-entry field bookkeeping, which is hashed.
#include "bib/parser.hpp"

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "text.hpp"

namespace kvt {

namespace {

using bibtex_detail::Macros;

inline bool is_ascii_letter(char32_t c) {
  return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
}

inline bool is_name_char(char32_t c) {
  return is_ascii_letter(c) || (c >= U'0' && c <= U'9') || c == U'-' || c == U'.' || c == U':' ||
         c == U'_';
}

std::size_t skip_ws(std::u32string_view chars, std::size_t p, std::size_t limit) {
  while (p < limit && is_unicode_whitespace(chars[p]))
    ++p;
  return p;
}

std::size_t name_end(std::u32string_view chars, std::size_t p, std::size_t limit) {
  while (p < limit && is_name_char(chars[p]))
    ++p;
  return p;
}

std::string utf8(std::u32string_view chars, std::size_t start, std::size_t end) {
  return encode_utf8(chars.substr(start, end - start));
}

std::string trimmed(std::string_view text) {
  return std::string(trim_unicode_ws(text));
}

// The closing delimiter of a block opened at `open`, or npos when the text ends first.
std::size_t block_close(std::u32string_view chars, std::size_t open) {
  const char32_t opener = chars[open];
  const char32_t closer = opener == U'(' ? U')' : U'}';
  std::size_t depth = 1;
  for (std::size_t i = open + 1; i < chars.size(); ++i) {
    if (chars[i] == opener) {
      ++depth;
    } else if (chars[i] == closer) {
      if (depth == 1) return i;
      --depth;
    }
  }
  return std::u32string_view::npos;
}

// Fields of one entry with "last occurrence wins, at its own position":
// a replaced field leaves a tombstone, compacted once at the end.
class FieldList {
 public:
  void add(std::string name, std::string value) {
    const auto it = live_.find(name);
    if (it != live_.end()) {
      slots_[it->second].reset();
      if (repeated_set_.insert(name).second) repeated_.push_back(name);
      it->second = slots_.size();
    } else {
      live_.emplace(name, slots_.size());
    }
    slots_.push_back(Field{std::move(name), std::move(value)});
  }

  std::vector<Field> take_fields() {
    std::vector<Field> fields;
    fields.reserve(live_.size());
    for (auto& slot : slots_) {
      if (slot) fields.push_back(std::move(*slot));
    }
    return fields;
  }

  std::vector<std::string> take_repeated_sorted() {
    std::sort(repeated_.begin(), repeated_.end());
    return std::move(repeated_);
  }

 private:
  std::vector<std::optional<Field>> slots_;
  std::unordered_map<std::string, std::size_t> live_;
  std::vector<std::string> repeated_;
  std::unordered_set<std::string> repeated_set_;
};

}  // namespace

namespace bibtex_detail {

std::string unescape_quotes(std::u32string_view chars, std::size_t start, std::size_t end) {
  std::string out;
  out.reserve(end - start);
  for (std::size_t i = start; i < end; ++i) {
    if (chars[i] == U'\\' && i + 1 < end && chars[i + 1] == U'"') continue;
    append_utf8(out, chars[i]);
  }
  return out;
}

std::pair<std::string, std::size_t> parse_value(std::u32string_view chars, std::size_t start,
                                                std::size_t limit, const Macros& macros) {
  limit = std::min(limit, chars.size());
  std::string value;
  std::size_t a = skip_ws(chars, std::min(start, limit), limit);
  while (a < limit) {
    const char32_t c = chars[a];
    if (c == U'"') {
      if (a + 1 >= limit) break;
      if (chars[a + 1] == U'"') {
        a += 2;
      } else {
        std::size_t q = a + 2;
        while (q < limit && !(chars[q] == U'"' && chars[q - 1] != U'\\'))
          ++q;
        if (q >= limit) break;
        value += unescape_quotes(chars, a + 1, q);
        a = q + 1;
      }
    } else if (c == U'{') {
      std::size_t depth = 1;
      std::size_t q = a + 1;
      for (; q < limit; ++q) {
        if (chars[q] == U'{') {
          ++depth;
        } else if (chars[q] == U'}' && --depth == 0) {
          break;
        }
      }
      if (q >= limit) break;
      value += unescape_quotes(chars, a + 1, q);
      a = q + 1;
    } else {
      const std::size_t e = name_end(chars, a, limit);
      if (e == a) break;
      std::string run = utf8(chars, a, e);
      const auto it = macros.find(ascii_lower(run));
      value += it != macros.end() ? it->second : run;
      a = e;
    }
    a = skip_ws(chars, a, limit);
    if (a < limit && chars[a] == U'#') {
      a = skip_ws(chars, a + 1, limit);
      continue;
    }
    break;
  }
  return {trimmed(value), a};
}

}  // namespace bibtex_detail

Library parse_bibtex(std::u32string_view chars) {
  using bibtex_detail::parse_value;
  Library library;
  Macros macros;
  std::unordered_set<std::string> seen_keys;
  const std::size_t n = chars.size();

  std::size_t p = 0;
  std::size_t lines_counted_to = 0;  // newlines before this position are in `line`
  std::uint32_t line = 0;

  while (p < n) {
    const std::size_t a = chars.find(U'@', p);
    if (a == std::u32string_view::npos) break;
    std::size_t t = a + 1;
    while (t < n && is_ascii_letter(chars[t]))
      ++t;
    const std::string entry_type = ascii_lower(utf8(chars, a + 1, t));
    const std::size_t open = skip_ws(chars, t, n);
    if (open >= n || (chars[open] != U'(' && chars[open] != U'{')) {
      p = a + 1;
      continue;
    }
    const std::size_t c = block_close(chars, open);
    if (c == std::u32string_view::npos) break;  // an unclosed block ends the parse

    if (entry_type == "comment" || entry_type == "preamble") {
      // ignored
    } else if (entry_type == "string") {
      std::size_t q = skip_ws(chars, open + 1, c);
      const std::size_t e = name_end(chars, q, c);
      std::string name = ascii_lower(utf8(chars, q, e));
      q = skip_ws(chars, e, c);
      if (q < c && chars[q] == U'=') {
        q = skip_ws(chars, q + 1, c);
        macros[std::move(name)] = parse_value(chars, q, c, macros).first;
      }
    } else {
      for (; lines_counted_to < a; ++lines_counted_to) {
        if (chars[lines_counted_to] == U'\n') ++line;
      }
      Entry entry;
      entry.entry_type = entry_type;
      entry.line = line;

      std::size_t q = skip_ws(chars, open + 1, c);
      std::size_t comma = q;
      while (comma < c && chars[comma] != U',')
        ++comma;
      entry.key = trimmed(utf8(chars, q, comma));
      q = comma < c ? skip_ws(chars, comma + 1, c) : c;

      FieldList fields;
      while (q < c) {
        const std::size_t e = name_end(chars, q, c);
        if (e == q) break;
        std::string name = ascii_lower(utf8(chars, q, e));
        q = skip_ws(chars, e, c);
        if (q >= c || chars[q] != U'=') break;
        q = skip_ws(chars, q + 1, c);
        auto [value, end] = parse_value(chars, q, c, macros);
        q = skip_ws(chars, end, c);
        fields.add(std::move(name), std::move(value));
        if (q < c && chars[q] == U',') {
          q = skip_ws(chars, q + 1, c);
          continue;
        }
        break;
      }
      entry.fields = fields.take_fields();
      std::vector<std::string> repeated = fields.take_repeated_sorted();

      if (!entry.key.empty() && seen_keys.count(entry.key) != 0) {
        std::string key = entry.key;
        library.duplicate_block_keys.push_back(DuplicateBlockKey{std::move(key), std::move(entry)});
      } else {
        if (!entry.key.empty()) seen_keys.insert(entry.key);
        if (!repeated.empty()) {
          library.duplicate_field_keys.push_back(DuplicateFieldKey{std::move(repeated), entry});
        }
        library.entries.push_back(std::move(entry));
      }
    }
    p = c + 1;
  }
  return library;
}

Library parse_bibtex(std::string_view text) {
  return parse_bibtex(std::u32string_view(decode_utf8(text)));
}

}  // namespace kvt

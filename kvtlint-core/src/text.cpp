#include "text.hpp"

#include "regex.hpp"

namespace kvt {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

inline unsigned char byte_at(std::string_view text, std::size_t i) {
  return static_cast<unsigned char>(text[i]);
}

inline bool is_continuation(std::string_view text, std::size_t i) {
  return i < text.size() && (byte_at(text, i) & 0xC0) == 0x80;
}

}  // namespace

char32_t decode_utf8_at(std::string_view text, std::size_t& i) {
  const unsigned char b0 = byte_at(text, i);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  std::size_t need = 0;
  char32_t c = 0;
  char32_t min = 0;
  if ((b0 & 0xE0) == 0xC0) {
    need = 1, c = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    need = 2, c = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    need = 3, c = b0 & 0x07, min = 0x10000;
  } else {
    ++i;
    return kReplacement;
  }
  for (std::size_t k = 1; k <= need; ++k) {
    if (!is_continuation(text, i + k)) {
      ++i;
      return kReplacement;
    }
    c = (c << 6) | (byte_at(text, i + k) & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++i;
    return kReplacement;
  }
  i += need + 1;
  return c;
}

std::u32string decode_utf8(std::string_view text) {
  std::u32string out;
  out.resize(text.size());  // an upper bound; one store per character below
  char32_t* dst = out.data();
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char b = byte_at(text, i);
    if (b < 0x80) {  // ASCII fast path
      *dst++ = b;
      ++i;
    } else {
      *dst++ = decode_utf8_at(text, i);
    }
  }
  out.resize(static_cast<std::size_t>(dst - out.data()));
  return out;
}

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::string encode_utf8(std::u32string_view chars) {
  std::string out;
  out.reserve(chars.size());
  for (char32_t c : chars) {
    if (c < 0x80) {  // ASCII fast path
      out.push_back(static_cast<char>(c));
    } else {
      append_utf8(out, c);
    }
  }
  return out;
}

bool is_valid_utf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t before = i;
    const unsigned char b0 = byte_at(text, i);
    if (b0 < 0x80) {
      ++i;
      continue;
    }
    if (decode_utf8_at(text, i) == kReplacement && i == before + 1) return false;
  }
  return true;
}

std::string sanitize_utf8(std::string_view text) {
  if (is_valid_utf8(text)) return std::string(text);
  std::string out;
  out.reserve(text.size() + 8);
  std::size_t i = 0;
  while (i < text.size())
    append_utf8(out, decode_utf8_at(text, i));
  return out;
}

std::size_t char_count(std::string_view text) {
  std::size_t n = 0;
  for (char b : text)
    n += (static_cast<unsigned char>(b) & 0xC0) != 0x80;
  return n;
}

std::size_t byte_offset_of_char(std::string_view text, std::size_t index) {
  std::size_t i = 0;
  std::size_t seen = 0;
  while (i < text.size() && seen < index) {
    ++i;
    while (i < text.size() && !is_char_boundary(text, i))
      ++i;
    ++seen;
  }
  return i;
}

std::size_t floor_char_boundary(std::string_view text, std::size_t i) {
  if (i >= text.size()) return text.size();
  while (i > 0 && !is_char_boundary(text, i))
    --i;
  return i;
}

std::size_t ceil_char_boundary(std::string_view text, std::size_t i) {
  if (i >= text.size()) return text.size();
  while (i < text.size() && !is_char_boundary(text, i))
    ++i;
  return i;
}

bool is_unicode_whitespace(char32_t c) {
  if (c <= 0x20) return c == 0x20 || (c >= 0x09 && c <= 0x0D);
  if (c < 0x85) return false;
  switch (c) {
    case 0x85:
    case 0xA0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
      return true;
    default:
      return c >= 0x2000 && c <= 0x200A;
  }
}

bool is_py_whitespace(char32_t c) {
  return (c >= 0x1C && c <= 0x1F) || is_unicode_whitespace(c);
}

namespace {

template <typename Pred>
std::string_view trim_start_if(std::string_view text, Pred is_space) {
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t next = i;
    if (!is_space(decode_utf8_at(text, next))) break;
    i = next;
  }
  return text.substr(i);
}

template <typename Pred>
std::string_view trim_end_if(std::string_view text, Pred is_space) {
  std::size_t end = text.size();
  while (end > 0) {
    std::size_t start = end - 1;
    while (start > 0 && !is_char_boundary(text, start))
      --start;
    std::size_t probe = start;
    if (!is_space(decode_utf8_at(text, probe))) break;
    end = start;
  }
  return text.substr(0, end);
}

}  // namespace

std::string_view trim_start_unicode_ws(std::string_view text) {
  return trim_start_if(text, is_unicode_whitespace);
}
std::string_view trim_end_unicode_ws(std::string_view text) {
  return trim_end_if(text, is_unicode_whitespace);
}
std::string_view trim_unicode_ws(std::string_view text) {
  return trim_end_unicode_ws(trim_start_unicode_ws(text));
}
std::string_view trim_py_ws(std::string_view text) {
  return trim_end_if(trim_start_if(text, is_py_whitespace), is_py_whitespace);
}

bool is_blank_unicode(std::string_view text) {
  return trim_start_unicode_ws(text).empty();
}

std::string ascii_lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string ascii_upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

bool ascii_iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool is_unicode_alnum(char32_t c) {
  if (c < 0x80) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  }
  static const LazyRegex kAlnum{R"(^[\p{L}\p{N}]\z)"};
  std::string one;
  append_utf8(one, c);
  return kAlnum->is_match(one);
}

void append_blanked(std::string& out, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      out.push_back('\n');
    } else if (is_char_boundary(text, i)) {
      out.push_back(' ');
    }
  }
}

}  // namespace kvt

#include "rules/tex_common.hpp"

#include <algorithm>

#include "text.hpp"

namespace kvt {

const LineIndex& line_index_for(const ParsedTex& tex) {
  return tex.line_index();
}

std::size_t BytePositions::at(std::size_t byte) {
  byte = std::min(byte, text_.size());
  if (byte < byte_) {
    byte_ = 0;
    chars_ = 0;
  }
  chars_ += char_count(text_.substr(byte_, byte - byte_));
  byte_ = byte;
  return base_ + chars_;
}

std::size_t line_start(std::u32string_view chars, std::size_t pos) {
  pos = std::min(pos, chars.size());
  while (pos > 0 && chars[pos - 1] != U'\n')
    --pos;
  return pos;
}

std::size_t line_end(std::u32string_view chars, std::size_t pos) {
  pos = std::min(pos, chars.size());
  while (pos < chars.size() && chars[pos] != U'\n')
    ++pos;
  return pos;
}

std::size_t line_start(const LineIndex& lines, std::size_t pos) {
  const auto it = std::lower_bound(lines.newlines.begin(), lines.newlines.end(), pos);
  return it == lines.newlines.begin() ? 0 : *(it - 1) + 1;
}

std::size_t line_end(const LineIndex& lines, std::size_t pos, std::size_t text_length) {
  const auto it = std::lower_bound(lines.newlines.begin(), lines.newlines.end(), pos);
  return it == lines.newlines.end() ? text_length : std::min(*it, text_length);
}

std::u32string_view char_slice(std::u32string_view chars, std::size_t start, std::size_t end) {
  end = std::min(end, chars.size());
  start = std::min(start, end);
  return chars.substr(start, end - start);
}

std::string utf8_slice(std::u32string_view chars, std::size_t start, std::size_t end) {
  return encode_utf8(char_slice(chars, start, end));
}

std::string line_before(std::u32string_view chars, std::size_t pos) {
  return utf8_slice(chars, line_start(chars, pos), pos);
}

std::string whole_line(std::u32string_view chars, std::size_t pos) {
  return utf8_slice(chars, line_start(chars, pos), line_end(chars, pos));
}

bool has_macro_ancestor(const Ancestors& ancestors, std::string_view name) {
  return any_macro_ancestor(ancestors, [name](std::string_view n) { return n == name; });
}

bool has_environment_ancestor(const Ancestors& ancestors, std::string_view name) {
  return any_environment_ancestor(ancestors, [name](std::string_view n) { return n == name; });
}

const Node* first_group_arg(const Node& macro) {
  for (const auto& slot : macro.args)
    if (slot && slot->is_group()) return &*slot;
  return nullptr;
}

}  // namespace kvt

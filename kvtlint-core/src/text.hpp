// UTF-8 / UTF-32 conversion and the character classes the system shares.
//
// Sources are held twice: as UTF-8 (`std::string`, for pattern searches) and
// as 32-bit characters (`std::u32string`, indexed by position). Every
// conversion between byte offsets and character positions goes through this
// unit. Decoding never fails: a byte that does not start a valid sequence
// decodes to U+FFFD on its own, so character counts stay consistent for any
// input, and the system only ever sees valid UTF-8 from its two front doors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kvt {

// Decodes one character starting at byte `i`; advances `i` past it.
char32_t decode_utf8_at(std::string_view text, std::size_t& i);
std::u32string decode_utf8(std::string_view text);
void append_utf8(std::string& out, char32_t c);
std::string encode_utf8(std::u32string_view chars);

bool is_valid_utf8(std::string_view text);
// Replaces every invalid byte by U+FFFD.
std::string sanitize_utf8(std::string_view text);

// Number of characters in `text`.
std::size_t char_count(std::string_view text);
// Byte offset of character `index` (clamped to the end of `text`).
std::size_t byte_offset_of_char(std::string_view text, std::size_t index);
// True when byte `i` starts a character (or is the end of `text`).
inline bool is_char_boundary(std::string_view text, std::size_t i) {
  return i >= text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
}
// Moves a byte offset back / forward to the nearest character boundary.
std::size_t floor_char_boundary(std::string_view text, std::size_t i);
std::size_t ceil_char_boundary(std::string_view text, std::size_t i);

// Unicode White_Space (the parser's and the terminal wrapper's notion).
bool is_unicode_whitespace(char32_t c);
// Python's str.isspace(): White_Space plus U+001C..U+001F.
bool is_py_whitespace(char32_t c);

std::string_view trim_unicode_ws(std::string_view text);
std::string_view trim_start_unicode_ws(std::string_view text);
std::string_view trim_end_unicode_ws(std::string_view text);
std::string_view trim_py_ws(std::string_view text);
bool is_blank_unicode(std::string_view text);

std::string ascii_lower(std::string_view text);
std::string ascii_upper(std::string_view text);
bool ascii_iequals(std::string_view a, std::string_view b);

// Unicode letters and digits (Python's str.isalnum for one character, close enough for
// the Markdown emphasis test).
bool is_unicode_alnum(char32_t c);

// Appends `text` with every character turned into one space, except line feeds,
// which stay: the result has the same characters per line as `text`.
void append_blanked(std::string& out, std::string_view text);

}  // namespace kvt

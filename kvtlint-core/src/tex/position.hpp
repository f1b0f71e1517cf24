// Line and column lookup for character positions. Only '\n' ends a line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace kvt {

struct LineIndex {
  std::vector<std::size_t> newlines;  // positions of every '\n', ascending
  std::uint32_t line_offset = 0;      // added to every line number

  static LineIndex with_offset(std::u32string_view chars, std::uint32_t line_offset);
  // (1-based line, 0-based column in characters).
  std::pair<std::uint32_t, std::uint32_t> lineno_colno(std::size_t pos) const;
};

}  // namespace kvt

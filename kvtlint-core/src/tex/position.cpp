#include "tex/position.hpp"

#include <algorithm>

namespace kvt {

LineIndex LineIndex::with_offset(std::u32string_view chars, std::uint32_t line_offset) {
  LineIndex index;
  index.line_offset = line_offset;
  for (std::size_t i = 0; i < chars.size(); ++i) {
    if (chars[i] == U'\n') index.newlines.push_back(i);
  }
  return index;
}

std::pair<std::uint32_t, std::uint32_t> LineIndex::lineno_colno(std::size_t pos) const {
  // k = number of newlines strictly before pos.
  const auto it = std::lower_bound(newlines.begin(), newlines.end(), pos);
  const auto k = static_cast<std::size_t>(it - newlines.begin());
  if (k == 0) return {line_offset + 1, static_cast<std::uint32_t>(pos)};
  return {static_cast<std::uint32_t>(line_offset + k + 1),
          static_cast<std::uint32_t>(pos - newlines[k - 1] - 1)};
}

}  // namespace kvt

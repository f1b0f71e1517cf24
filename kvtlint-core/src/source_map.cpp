#include "source_map.hpp"

#include <algorithm>

namespace kvt {

void SourceMap::add_line(std::size_t start, std::size_t original_start, bool columns_kept) {
  lines.push_back({start, original_start, columns_kept});
  changed_before.push_back(changed_before.back() + (columns_kept ? 0 : 1));
}

std::optional<std::pair<std::uint64_t, std::uint64_t>> SourceMap::map_span(
    std::uint64_t start, std::uint64_t end) const {
  if (lines.empty() || end < start || end > length) return std::nullopt;
  const auto line_of = [&](std::uint64_t pos) {
    const auto it = std::upper_bound(lines.begin(), lines.end(), pos,
                                     [](std::uint64_t p, const Line& l) { return p < l.start; });
    return static_cast<std::size_t>(it - lines.begin()) - 1;
  };
  const auto map_position = [&](std::uint64_t pos) -> std::uint64_t {
    const Line& line = lines[line_of(pos)];
    return line.original_start + (pos - line.start);
  };
  const std::size_t first = line_of(start);
  if (start == end) {
    if (!lines[first].columns_kept && start != lines[first].start) return std::nullopt;
    const std::uint64_t at = map_position(start);
    return std::pair{at, at};
  }
  // Every character of the span must sit on a line whose columns were kept.
  const std::size_t last = line_of(end - 1);
  if (changed_before[last + 1] != changed_before[first]) return std::nullopt;
  return std::pair{map_position(start), map_position(end)};
}

void relocate_fix(Violation& violation, const SourceMap& map) {
  if (!violation.fix) return;
  if (const auto span = map.map_span(violation.fix->start, violation.fix->end)) {
    violation.fix->start = span->first;
    violation.fix->end = span->second;
  } else {
    violation.fix.reset();
  }
}

void relocate_fixes(std::vector<Violation>& findings, const SourceMap& map) {
  for (Violation& violation : findings)
    relocate_fix(violation, map);
}

}  // namespace kvt

// Where the lines of a text the rules read lie in the file the author submitted.
//
// The Sweave rewrite and the R Markdown paragraph split both keep lines but not
// character offsets, and rules compute fix spans in the text they read. A
// `SourceMap` records, line by line, where each line of that text starts, where
// the same line starts in the submitted file, and whether its columns survived
// the rewrite, so that a fix span can be carried back into the file or, when
// that is impossible, dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "report.hpp"

namespace kvt {

struct SourceMap {
  struct Line {
    std::size_t start = 0;           // first character of the line in the text the rules read
    std::size_t original_start = 0;  // first character of the same line in the submitted file
    bool columns_kept = true;        // false when the rewrite changed the line
  };

  // Lines in order; the first starts at 0. Built with `add_line`.
  std::vector<Line> lines;
  // changed_before[i] = number of lines among lines[0..i) whose columns were not kept.
  std::vector<std::uint32_t> changed_before{0};
  // Characters in the text the rules read.
  std::size_t length = 0;

  void add_line(std::size_t start, std::size_t original_start, bool columns_kept);

  // Carries the span [start, end) of the text the rules read into the submitted
  // file. Nothing when the span is reversed, runs past the text, or touches a
  // line whose columns were not kept; a position at the very start of any line
  // maps to the start of that line, since lines themselves never move.
  std::optional<std::pair<std::uint64_t, std::uint64_t>> map_span(std::uint64_t start,
                                                                  std::uint64_t end) const;
};

// Moves the finding's fix into the submitted file; a fix that cannot be moved
// is dropped and the finding kept.
void relocate_fix(Violation& violation, const SourceMap& map);
void relocate_fixes(std::vector<Violation>& findings, const SourceMap& map);

}  // namespace kvt

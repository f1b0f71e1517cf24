// Small text extractors over groups and macro arguments.
#pragma once

#include <cstddef>
#include <string>

#include "tex/walk.hpp"

namespace kvt {

// The direct Chars children's texts, concatenated, trimmed of Unicode white space.
std::string group_text(const Node& group);
// group_text of the macro's first Group argument (braced or bracketed), else of
// the Group in slots[index + 1], else "".
std::string macro_args_text(const Node& macro, SlotView slots, std::size_t index);

}  // namespace kvt

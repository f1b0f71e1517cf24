// The TeX front-end entry point: neutralize, then parse into a node tree.
// Never fails: unclosed constructs run to the end of the input.
#pragma once

#include <string_view>

#include "tex/node.hpp"

namespace kvt {

ParsedTex parse_tex_source(std::string_view text);

}  // namespace kvt

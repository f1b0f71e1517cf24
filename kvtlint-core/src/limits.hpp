// Process-wide bounds that keep hostile input from exhausting the stack.
//
// One nesting guard bounds every recursion in the system: the TeX parser stops
// opening new nested constructs at this depth (deeper openers are read as
// ordinary characters), so every tree it builds is at most a small multiple of
// this deep, and the traversals, which recurse along the tree, inherit the
// bound.
#pragma once

#include <cstddef>

namespace kvt {

inline constexpr std::size_t kMaxNesting = 256;

}  // namespace kvt

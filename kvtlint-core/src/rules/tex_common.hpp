// TeX-side helpers shared by the rule families: turning byte offsets inside a
// Chars node into document positions, slicing the lines of a document's
// characters, and asking the ancestor stack about enclosing macros and
// environments. All positions are character positions into `ParsedTex.chars`;
// every slice is clamped to the text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "tex/node.hpp"
#include "tex/position.hpp"
#include "tex/walk.hpp"

namespace kvt {

// The LineIndex a rule reports through: built from the document's characters
// and its line offset.
const LineIndex& line_index_for(const ParsedTex& tex);

// Document positions of byte offsets inside one Chars node's text. Offsets
// asked in ascending order cost only the bytes between them, so scanning all
// matches of a pattern over a node stays linear; a smaller offset than the last
// one restarts the count from the node's start.
class BytePositions {
 public:
  BytePositions(std::string_view text, std::size_t base_pos) : text_(text), base_(base_pos) {}
  explicit BytePositions(const Node& chars_node) : BytePositions(chars_node.text, chars_node.pos) {}

  // node.pos + the number of characters in text[0..byte]; `byte` is clamped to
  // the text's length.
  std::size_t at(std::size_t byte);

 private:
  std::string_view text_;
  std::size_t base_;
  std::size_t byte_ = 0;
  std::size_t chars_ = 0;
};

// Start of the line holding `pos`: just after the last '\n' before `pos`, or 0.
std::size_t line_start(std::u32string_view chars, std::size_t pos);
// End of the line holding `pos`: the first '\n' at or after `pos`, or the text's end.
std::size_t line_end(std::u32string_view chars, std::size_t pos);

// The same through the document's LineIndex: a binary search instead of a walk
// along the line, for rules that ask about many positions of long lines.
// `text_length` is the length of the characters the index was built from.
std::size_t line_start(const LineIndex& lines, std::size_t pos);
std::size_t line_end(const LineIndex& lines, std::size_t pos, std::size_t text_length);

// chars[start, end) with both ends clamped to the text (an inverted range is empty).
std::u32string_view char_slice(std::u32string_view chars, std::size_t start, std::size_t end);
// The same slice as UTF-8, for pattern searches.
std::string utf8_slice(std::u32string_view chars, std::size_t start, std::size_t end);

// The line holding `pos` from its start up to `pos` (exclusive), as UTF-8.
std::string line_before(std::u32string_view chars, std::size_t pos);
// The whole line holding `pos`, without its '\n', as UTF-8.
std::string whole_line(std::u32string_view chars, std::size_t pos);

// Some ancestor is a Macro named `name` / an Environment named `name`.
bool has_macro_ancestor(const Ancestors& ancestors, std::string_view name);
bool has_environment_ancestor(const Ancestors& ancestors, std::string_view name);

// Some ancestor Macro / Environment has a name for which `pred(name)` holds.
template <typename Pred>
bool any_macro_ancestor(const Ancestors& ancestors, Pred&& pred) {
  for (const Node* node : ancestors)
    if (node->is_macro() && pred(std::string_view(node->name()))) return true;
  return false;
}
template <typename Pred>
bool any_environment_ancestor(const Ancestors& ancestors, Pred&& pred) {
  for (const Node* node : ancestors)
    if (node->is_environment() && pred(std::string_view(node->name()))) return true;
  return false;
}

// The first argument slot of `macro` holding a Group (braced or bracketed), or nullptr.
const Node* first_group_arg(const Node& macro);

}  // namespace kvt

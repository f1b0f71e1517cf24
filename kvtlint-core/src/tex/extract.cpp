#include "tex/extract.hpp"

#include "text.hpp"

namespace kvt {

std::string group_text(const Node& group) {
  std::string text;
  for (const Node& child : group.children) {
    if (child.is_chars()) text += child.text;
  }
  return std::string(trim_unicode_ws(text));
}

std::string macro_args_text(const Node& macro, SlotView slots, std::size_t index) {
  for (const std::optional<Node>& slot : macro.args) {
    if (slot && slot->is_group()) return group_text(*slot);
  }
  if (const Node* next = slots[index + 1]; next != nullptr && next->is_group()) {
    return group_text(*next);
  }
  return std::string();
}

}  // namespace kvt

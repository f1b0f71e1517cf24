// Tree traversal: every node with its ancestors, or every node with its
// sibling slots. Recursion follows tree depth, which the parser's nesting
// guard bounds.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "tex/node.hpp"

namespace kvt {

// A read-only list of optional node slots: a macro's argument list (empty slots
// kept) or a plain node list (all slots filled). Never allocates.
class SlotView {
 public:
  SlotView() = default;
  SlotView(const std::vector<Node>& nodes) : nodes_(&nodes) {}  // NOLINT: implicit by design
  SlotView(const std::vector<std::optional<Node>>& slots)       // NOLINT
      : slots_(&slots) {}

  std::size_t size() const {
    if (nodes_ != nullptr) return nodes_->size();
    if (slots_ != nullptr) return slots_->size();
    return 0;
  }
  bool empty() const { return size() == 0; }
  // The node in slot i, or nullptr for an empty slot or an index past the end.
  const Node* operator[](std::size_t i) const {
    if (nodes_ != nullptr) return i < nodes_->size() ? &(*nodes_)[i] : nullptr;
    if (slots_ != nullptr && i < slots_->size() && (*slots_)[i]) return &*(*slots_)[i];
    return nullptr;
  }

 private:
  const std::vector<Node>* nodes_ = nullptr;
  const std::vector<std::optional<Node>>* slots_ = nullptr;
};

// Ancestors, outermost first; never contains the node being visited.
using Ancestors = std::vector<const Node*>;

// Macro -> its args; Group, Math -> children; Environment -> children only
// (never its args, so a verbatim body is never visited); leaves -> empty.
SlotView children_slots(const Node& node);

// Depth-first pre-order over the filled slots. callback(node, ancestors, slots, index).
// A Group directly after a Macro sibling is visited as if it were that macro's
// argument: both are on the ancestor stack while its children are visited.
template <typename Fn>
void walk_with_context(SlotView slots, Ancestors& ancestors, Fn&& callback) {
  for (std::size_t i = 0; i < slots.size(); ++i) {
    const Node* node = slots[i];
    if (node == nullptr) continue;
    callback(*node, static_cast<const Ancestors&>(ancestors), slots, i);
    const SlotView children = children_slots(*node);
    if (children.empty()) continue;
    const Node* previous = i >= 1 ? slots[i - 1] : nullptr;
    if (node->is_group() && previous != nullptr && previous->is_macro()) {
      ancestors.push_back(previous);
      ancestors.push_back(node);
      walk_with_context(children, ancestors, callback);
      ancestors.pop_back();
      ancestors.pop_back();
    } else {
      ancestors.push_back(node);
      walk_with_context(children, ancestors, callback);
      ancestors.pop_back();
    }
  }
}

// walk_with_context from the top with an empty stack; callback(node, ancestors).
template <typename Fn>
void walk(const std::vector<Node>& nodes, Fn&& callback) {
  Ancestors ancestors;
  walk_with_context(
      SlotView(nodes), ancestors,
      [&](const Node& node, const Ancestors& anc, SlotView, std::size_t) { callback(node, anc); });
}

// Pre-order over filled slots without ancestors: callback(context, slots, index, node).
template <typename Context, typename Fn>
void visit_seq(SlotView slots, Context& context, Fn&& callback) {
  for (std::size_t i = 0; i < slots.size(); ++i) {
    const Node* node = slots[i];
    if (node == nullptr) continue;
    callback(context, slots, i, *node);
    visit_seq(children_slots(*node), context, callback);
  }
}

template <typename Context, typename Fn>
void iter_with_parent_visit(const std::vector<Node>& nodes, Context& context, Fn&& callback) {
  visit_seq(SlotView(nodes), context, callback);
}

}  // namespace kvt

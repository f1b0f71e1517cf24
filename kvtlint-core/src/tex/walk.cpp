#include "tex/walk.hpp"

namespace kvt {

SlotView children_slots(const Node& node) {
  switch (node.kind) {
    case NodeKind::Macro:
      return SlotView(node.args);
    case NodeKind::Group:
    case NodeKind::Math:
    case NodeKind::Environment:  // the body only, never the arguments
      return SlotView(node.children);
    case NodeKind::Chars:
    case NodeKind::Comment:
    case NodeKind::Specials:
      break;
  }
  return SlotView();
}

}  // namespace kvt

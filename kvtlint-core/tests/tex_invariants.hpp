// Structural checks over a parsed TeX tree, shared by the parser tests:
// tiling of every node list, containment of children and arguments, node
// texts that equal the characters they span, no two adjacent Chars nodes.
#pragma once

#include <cstddef>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "tex/argspecs.hpp"
#include "tex/node.hpp"
#include "text.hpp"

namespace kvt::testing {

class TreeChecker {
 public:
  explicit TreeChecker(const std::u32string& chars) : chars_(chars) {}

  // Checks the top-level list; returns the problems found (empty when fine).
  std::vector<std::string> check(const std::vector<Node>& nodes) {
    problems_.clear();
    max_depth_ = 0;
    check_list(nodes, 0, chars_.size(), /*closers=*/{}, 1, "top");
    return problems_;
  }
  std::size_t max_depth() const { return max_depth_; }

 private:
  std::u32string_view slice(std::size_t a, std::size_t b) const {
    return std::u32string_view(chars_).substr(a, b - a);
  }

  void fail(const std::string& where, const std::string& what) {
    if (problems_.size() < 20) problems_.push_back(where + ": " + what);
  }

  // `nodes` tile [start, x) and [x, end) is empty or one of `closers`.
  void check_list(const std::vector<Node>& nodes, std::size_t start, std::size_t end,
                  const std::vector<std::u32string>& closers, std::size_t depth,
                  const std::string& where) {
    if (depth > max_depth_) max_depth_ = depth;
    std::size_t p = start;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
      const Node& node = nodes[i];
      if (node.pos != p) {
        std::ostringstream os;
        os << "gap or overlap at child " << i << ": expected pos " << p << ", got " << node.pos;
        fail(where, os.str());
        return;
      }
      if (i > 0 && node.is_chars() && nodes[i - 1].is_chars()) fail(where, "adjacent Chars");
      if (node.is_chars() && node.len == 0) fail(where, "empty Chars in a list");
      check_node(node, depth, where);
      p = node.end();
    }
    if (p > end) {
      fail(where, "children run past the parent");
      return;
    }
    if (p == end) return;
    const std::u32string_view tail = slice(p, end);
    for (const std::u32string& closer : closers) {
      if (tail == closer) return;
    }
    std::ostringstream os;
    os << "list ends at " << p << " but parent content ends at " << end;
    fail(where, os.str());
  }

  void check_text(const Node& node, std::size_t a, std::size_t b, const std::string& where) {
    if (b > chars_.size() || a > b) {
      fail(where, "text range out of bounds");
      return;
    }
    if (node.text != encode_utf8(slice(a, b))) fail(where, "text differs from its characters");
  }

  void check_node(const Node& node, std::size_t depth, const std::string& parent) {
    // Only the node itself and its depth are named: a full path would make
    // the check quadratic on deep trees.
    (void)parent;
    const std::string where = std::string(node_kind_name(node.kind)) + "@" +
                              std::to_string(node.pos) + " (depth " + std::to_string(depth) + ")";
    if (node.end() > chars_.size()) {
      fail(where, "span past the end of input");
      return;
    }
    switch (node.kind) {
      case NodeKind::Chars:
      case NodeKind::Specials:
        check_text(node, node.pos, node.end(), where);
        break;
      case NodeKind::Comment: {
        if (chars_[node.pos] != U'%') fail(where, "comment does not start with %");
        check_text(node, node.pos + 1, node.pos + 1 + char_count(node.text), where);
        break;
      }
      case NodeKind::Macro: {
        if (chars_[node.pos] != U'\\') fail(where, "macro does not start with a backslash");
        if (!node.text.empty())
          check_text(node, node.pos + 1, node.pos + 1 + char_count(node.text), where);
        check_slots(node, node.args, node.pos + 1, depth, where);
        break;
      }
      case NodeKind::Group: {
        const bool bracketed = node.bracketed();
        if (chars_[node.pos] != (bracketed ? U'[' : U'{')) fail(where, "group opener");
        check_list(node.children, node.pos + 1, node.end(), {bracketed ? U"]" : U"}"}, depth + 1,
                   where);
        break;
      }
      case NodeKind::Math: {
        const std::u32string_view head = slice(node.pos, std::min(node.pos + 2, chars_.size()));
        std::size_t open = 1;
        std::u32string close = U"$";
        if (head == U"$$") {
          open = 2, close = U"$$";
        } else if (head == U"\\[") {
          open = 2, close = U"\\]";
        } else if (head == U"\\(") {
          open = 2, close = U"\\)";
        } else if (head.empty() || head[0] != U'$') {
          fail(where, "math opener");
        }
        if (node.display() != (close == U"$$" || close == U"\\]")) fail(where, "display flag");
        check_list(node.children, node.pos + open, node.end(), {close}, depth + 1, where);
        break;
      }
      case NodeKind::Environment: {
        if (slice(node.pos, std::min(node.pos + 6, chars_.size())) != U"\\begin") {
          fail(where, "environment does not start with \\begin");
        }
        const std::u32string name32 = decode_utf8(node.text);
        // Body start: after `{name}` and the parsed arguments.
        std::size_t body = node.pos + 6;
        while (body < chars_.size() && chars_[body] != U'{')
          ++body;
        body = std::min(chars_.size(), body + 1 + name32.size() + 1);
        if (node.text == "verbatim") {
          if (!node.children.empty()) fail(where, "verbatim environment with children");
          if (node.args.size() != 1 || !node.args[0] || !node.args[0]->is_chars()) {
            fail(where, "verbatim environment without its raw slot");
            break;
          }
          const Node& raw = *node.args[0];
          check_text(raw, raw.pos, raw.end(), where);
          const std::u32string tag = U"\\end{" + name32 + U"}";
          const std::u32string_view tail = slice(raw.end(), node.end());
          if (!tail.empty() && tail != tag) fail(where, "verbatim tail is not the end tag");
          break;
        }
        const std::optional<std::string_view> spec = environment_argspec(node.text);
        std::size_t slot = 0;
        for (char letter : spec.value_or("")) {
          if (letter != '*' && letter != '[' && letter != '{') continue;
          if (slot >= node.args.size()) break;
          const std::optional<Node>& arg = node.args[slot++];
          if (arg) {
            body = std::max(body, arg->end());
          } else if (letter == '{') {
            body = chars_.size();
          }
        }
        check_slots(node, node.args, node.pos + 1, depth, where);
        check_list(node.children, body, node.end(), {U"\\end{" + name32 + U"}"}, depth + 1, where);
        break;
      }
    }
  }

  void check_slots(const Node& owner, const std::vector<std::optional<Node>>& slots,
                   std::size_t from, std::size_t depth, const std::string& where) {
    std::size_t p = from;
    for (const std::optional<Node>& slot : slots) {
      if (!slot) continue;
      if (slot->pos < p || slot->end() > owner.end())
        fail(where, "argument outside its owner or out of order");
      check_node(*slot, depth, where);
      p = slot->end();
    }
  }

  const std::u32string& chars_;
  std::vector<std::string> problems_;
  std::size_t max_depth_ = 0;
};

inline std::string join_problems(const std::vector<std::string>& problems) {
  std::string out;
  for (const std::string& p : problems)
    out += p + "\n";
  return out;
}

}  // namespace kvt::testing

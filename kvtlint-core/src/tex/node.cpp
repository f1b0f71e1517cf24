#include "tex/node.hpp"

#include <cstdio>
#include <utility>

#include "text.hpp"

namespace kvt {

std::string_view node_kind_name(NodeKind kind) {
  switch (kind) {
    case NodeKind::Chars:
      return "Chars";
    case NodeKind::Comment:
      return "Comment";
    case NodeKind::Macro:
      return "Macro";
    case NodeKind::Group:
      return "Group";
    case NodeKind::Environment:
      return "Environment";
    case NodeKind::Math:
      return "Math";
    case NodeKind::Specials:
      return "Specials";
  }
  return "?";
}

Node Node::make_chars(std::string text, std::size_t pos, std::size_t len) {
  Node node;
  node.kind = NodeKind::Chars;
  node.text = std::move(text);
  node.pos = pos;
  node.len = len;
  return node;
}

Node Node::make_comment(std::string text, std::size_t pos, std::size_t len) {
  Node node;
  node.kind = NodeKind::Comment;
  node.text = std::move(text);
  node.pos = pos;
  node.len = len;
  return node;
}

Node Node::make_specials(std::string text, std::size_t pos, std::size_t len) {
  Node node;
  node.kind = NodeKind::Specials;
  node.text = std::move(text);
  node.pos = pos;
  node.len = len;
  return node;
}

Node Node::make_macro(std::string name, std::vector<std::optional<Node>> args, std::size_t pos,
                      std::size_t len) {
  Node node;
  node.kind = NodeKind::Macro;
  node.text = std::move(name);
  node.args = std::move(args);
  node.pos = pos;
  node.len = len;
  return node;
}

Node Node::make_group(std::vector<Node> children, std::size_t pos, std::size_t len,
                      bool bracketed) {
  Node node;
  node.kind = NodeKind::Group;
  node.children = std::move(children);
  node.pos = pos;
  node.len = len;
  node.flag = bracketed;
  return node;
}

Node Node::make_environment(std::string name, std::vector<std::optional<Node>> args,
                            std::vector<Node> children, std::size_t pos, std::size_t len) {
  Node node;
  node.kind = NodeKind::Environment;
  node.text = std::move(name);
  node.args = std::move(args);
  node.children = std::move(children);
  node.pos = pos;
  node.len = len;
  return node;
}

Node Node::make_math(std::vector<Node> children, std::size_t pos, std::size_t len, bool display) {
  Node node;
  node.kind = NodeKind::Math;
  node.children = std::move(children);
  node.pos = pos;
  node.len = len;
  node.flag = display;
  return node;
}

// ---------------------------------------------------------------------------
// dump_nodes
//
// Grammar of the dump (nodes separated by one space):
//   Chars"text"  Comment"text"  Specials"--"
//   Macro\name               a macro without slots
//   Macro\name[s1 s2 ...]    slots in order; `_` is an empty slot
//   Macro"name"              the same with a quoted name, used when the name is
//                            empty or is not letters only / one printable ASCII
//                            punctuation character (e.g. `\ ` gives Macro" ")
//   Group{...}  Group[...]   brace group / bracketed optional argument
//   Environment"name"[s1 ...](body)   the slot list is left out when empty;
//                            the body is always shown, `()` when empty
//   Math$(...)  Math$$(...)  inline / display math
// Inside quotes, `"` and `\` are escaped with a backslash, tab, line feed and
// carriage return are written \t \n \r, and other control or separator
// characters (C0, DEL, C1, U+2028, U+2029) as \u{HEX}; everything else is
// written as is.
namespace {

void append_escaped(std::string& out, std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t start = i;
    const char32_t c = decode_utf8_at(text, i);
    switch (c) {
      case '"':
        out += "\\\"";
        continue;
      case '\\':
        out += "\\\\";
        continue;
      case '\n':
        out += "\\n";
        continue;
      case '\r':
        out += "\\r";
        continue;
      case '\t':
        out += "\\t";
        continue;
      default:
        break;
    }
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) || c == 0x2028 || c == 0x2029) {
      char buf[16];
      std::snprintf(buf, sizeof buf, "\\u{%X}", static_cast<unsigned>(c));
      out += buf;
    } else {
      out.append(text.substr(start, i - start));
    }
  }
}

void append_quoted(std::string& out, std::string_view text) {
  out.push_back('"');
  append_escaped(out, text);
  out.push_back('"');
}

bool is_plain_macro_name(std::string_view name) {
  if (name.empty()) return false;
  bool letters = true;
  for (char ch : name) {
    const bool letter = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || ch == '@';
    letters = letters && letter;
  }
  if (letters) return true;
  // One printable ASCII character other than a letter or space.
  return name.size() == 1 && name[0] > 0x20 && name[0] < 0x7F;
}

void dump_node(std::string& out, const Node& node);

void dump_list(std::string& out, const std::vector<Node>& nodes) {
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    if (i > 0) out.push_back(' ');
    dump_node(out, nodes[i]);
  }
}

void dump_slots(std::string& out, const std::vector<std::optional<Node>>& slots) {
  out.push_back('[');
  for (std::size_t i = 0; i < slots.size(); ++i) {
    if (i > 0) out.push_back(' ');
    if (slots[i]) {
      dump_node(out, *slots[i]);
    } else {
      out.push_back('_');
    }
  }
  out.push_back(']');
}

void dump_node(std::string& out, const Node& node) {
  out += node_kind_name(node.kind);
  switch (node.kind) {
    case NodeKind::Chars:
    case NodeKind::Comment:
    case NodeKind::Specials:
      append_quoted(out, node.text);
      break;
    case NodeKind::Macro:
      if (is_plain_macro_name(node.text)) {
        out.push_back('\\');
        out += node.text;
      } else {
        append_quoted(out, node.text);
      }
      if (!node.args.empty()) dump_slots(out, node.args);
      break;
    case NodeKind::Group:
      out.push_back(node.flag ? '[' : '{');
      dump_list(out, node.children);
      out.push_back(node.flag ? ']' : '}');
      break;
    case NodeKind::Environment:
      append_quoted(out, node.text);
      if (!node.args.empty()) dump_slots(out, node.args);
      out.push_back('(');
      dump_list(out, node.children);
      out.push_back(')');
      break;
    case NodeKind::Math:
      out += node.flag ? "$$(" : "$(";
      dump_list(out, node.children);
      out.push_back(')');
      break;
  }
}

}  // namespace

std::string dump_nodes(const std::vector<Node>& nodes) {
  std::string out;
  dump_list(out, nodes);
  return out;
}

}  // namespace kvt

// The TeX node tree and the parse result every rule reads.
//
// Positions and lengths count characters (Unicode scalar values) of the
// neutralized text, never bytes. The top-level nodes of a `ParsedTex` tile the
// text, and the children of a group, environment body or math node tile the
// text between its delimiters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvt {

enum class NodeKind : std::uint8_t { Chars, Comment, Macro, Group, Environment, Math, Specials };

std::string_view node_kind_name(NodeKind kind);

// One node of any of the seven kinds. Fields a kind does not use stay empty:
// - Chars, Comment, Specials: `text`;
// - Macro: `text` is the name (without backslash), `args` its argument slots;
// - Group: `children`, `flag` = bracketed (an optional argument in [...]);
// - Environment: `text` is the name, `args`, `children` (the body);
// - Math: `children`, `flag` = display ($$...$$ or \[...\]).
struct Node {
  NodeKind kind = NodeKind::Chars;
  bool flag = false;
  std::size_t pos = 0;
  std::size_t len = 0;
  std::string text;
  std::vector<std::optional<Node>> args;
  std::vector<Node> children;

  std::size_t end() const { return pos + len; }
  const std::string& name() const { return text; }
  bool bracketed() const { return kind == NodeKind::Group && flag; }
  bool display() const { return kind == NodeKind::Math && flag; }

  bool is_chars() const { return kind == NodeKind::Chars; }
  bool is_comment() const { return kind == NodeKind::Comment; }
  bool is_macro() const { return kind == NodeKind::Macro; }
  bool is_group() const { return kind == NodeKind::Group; }
  bool is_environment() const { return kind == NodeKind::Environment; }
  bool is_math() const { return kind == NodeKind::Math; }
  bool is_specials() const { return kind == NodeKind::Specials; }
  bool is_macro(std::string_view macro_name) const { return is_macro() && text == macro_name; }
  bool is_environment(std::string_view env_name) const {
    return is_environment() && text == env_name;
  }

  static Node make_chars(std::string text, std::size_t pos, std::size_t len);
  static Node make_comment(std::string text, std::size_t pos, std::size_t len);
  static Node make_specials(std::string text, std::size_t pos, std::size_t len);
  static Node make_macro(std::string name, std::vector<std::optional<Node>> args, std::size_t pos,
                         std::size_t len);
  static Node make_group(std::vector<Node> children, std::size_t pos, std::size_t len,
                         bool bracketed);
  static Node make_environment(std::string name, std::vector<std::optional<Node>> args,
                               std::vector<Node> children, std::size_t pos, std::size_t len);
  static Node make_math(std::vector<Node> children, std::size_t pos, std::size_t len, bool display);
};

struct ParsedTex {
  std::string source;    // the neutralized text, UTF-8
  std::u32string chars;  // the same text, one entry per character
  std::vector<Node> nodes;
  std::uint32_t line_offset = 0;  // lines before this text in its file
};

// A compact one-line dump of a node list for tests and debugging, e.g.
// `Chars"a" Specials"--" Macro\emph[Group{Chars"b"}]`. Macro slots are listed
// in `[...]` with `_` for an empty slot; `Group{...}` is a brace group and
// `Group[...]` a bracketed one; `Environment"name"[slots](body)`;
// `Math$(...)` inline and `Math$$(...)` display. The full grammar is in node.cpp.
std::string dump_nodes(const std::vector<Node>& nodes);

}  // namespace kvt

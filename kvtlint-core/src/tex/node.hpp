// The TeX node tree and the parse result every rule reads.
//
// Positions and lengths count characters (Unicode scalar values) of the
// neutralized text, never bytes. The top-level nodes of a `ParsedTex` tile the
// text, and the children of a group, environment body or math node tile the
// text between its delimiters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tex/position.hpp"

namespace kvt {

enum class NodeKind : std::uint8_t { Chars, Comment, Macro, Group, Environment, Math, Specials };

// Name lists a Macro or Environment belongs to, worked out once when the node
// is made. Rules ask the ancestors of every text node about these lists, so
// a bit test here keeps that cheap however deep the tree is.
enum NameClass : std::uint16_t {
  kCodeMarkupMacro = 1u << 0,          // \pkg, \proglang, \code, \verb, \url, ... (29)
  kSectioningMacro = 1u << 1,          // \chapter ... \subparagraph (10)
  kMetadataMacro = 1u << 2,            // \title, \author, \label, \ref, \usepackage, ... (37)
  kCiteMacro = 1u << 3,                // \cite, \citep, \citet, ... (15)
  kVerbOrCodeMacro = 1u << 4,          // \verb and \code
  kIndexMacro = 1u << 5,               // \index, \glsadd, \glossary, \nomenclature
  kVerbatimEnvironment = 1u << 6,      // Code, verbatim, Sinput, lstlisting, ... (14)
  kMathEnvironment = 1u << 7,          // equation, align, gather, ... (10)
  kAlgorithmEnvironment = 1u << 8,     // algorithm, algorithmic, pseudocode, ... (7)
  kBibliographyEnvironment = 1u << 9,  // thebibliography
};

// The classes of a Macro (by name) or an Environment (by name); 0 for other kinds.
std::uint16_t classify_name(NodeKind kind, std::string_view name);

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
  std::uint16_t name_classes = 0;  // NameClass bits; set by the factories and the parser
  std::size_t pos = 0;
  std::size_t len = 0;
  std::string text;
  std::vector<std::optional<Node>> args;
  std::vector<Node> children;

  std::size_t end() const { return pos + len; }
  const std::string& name() const { return text; }
  bool bracketed() const { return kind == NodeKind::Group && flag; }
  bool display() const { return kind == NodeKind::Math && flag; }

  bool has_class(NameClass c) const { return (name_classes & c) != 0; }
  // Recomputes name_classes after `kind` or `text` changed.
  void classify() { name_classes = classify_name(kind, text); }

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

  // LineIndex::with_offset(chars, line_offset), built on first use and kept:
  // every rule turns positions into lines, and a large file should be scanned
  // for line feeds once, not once per rule. Not for concurrent first use; a
  // parse belongs to the call that made it.
  const LineIndex& line_index() const;

 private:
  mutable std::shared_ptr<const LineIndex> line_index_;
};

// A compact one-line dump of a node list for tests and debugging, e.g.
// `Chars"a" Specials"--" Macro\emph[Group{Chars"b"}]`. Macro slots are listed
// in `[...]` with `_` for an empty slot; `Group{...}` is a brace group and
// `Group[...]` a bracketed one; `Environment"name"[slots](body)`;
// `Math$(...)` inline and `Math$$(...)` display. The full grammar is in node.cpp.
std::string dump_nodes(const std::vector<Node>& nodes);

}  // namespace kvt

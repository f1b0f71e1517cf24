// Building findings and the small helpers every rule family shares.
//
// Rules never fill a Violation by hand: the builders here take the message and
// default severity from the rule's catalogue record and turn TeX positions into
// lines and columns. Beside them: short identifiers for texts and equations,
// spans of BibTeX entries and field values in a .bib file's characters, the
// set of keys a manuscript cites, Python-style quoting and the fill-in of
// suggestion templates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "bib/model.hpp"
#include "registry.hpp"
#include "report.hpp"
#include "tex/node.hpp"
#include "tex/position.hpp"
#include "tex/walk.hpp"

namespace kvt {

// --- Findings -------------------------------------------------------------

// Message and severity come from the catalogue record of `rule_id`; an id the
// catalogue does not know throws InternalError("unknown rule_id {rule_id}").
Violation make_violation(std::string_view file, std::uint32_t line,
                         std::optional<std::uint32_t> column, std::string_view rule_id,
                         std::optional<std::string> suggestion, std::optional<Fix> fix);

// A finding at character position `pos` of a TeX text: line and 1-based column
// from `line_index`.
Violation tex_violation(std::string_view file, const LineIndex& line_index, std::size_t pos,
                        std::string_view rule_id, std::optional<std::string> suggestion);
Violation tex_violation_with_fix(std::string_view file, const LineIndex& line_index,
                                 std::size_t pos, std::string_view rule_id,
                                 std::optional<std::string> suggestion, Fix fix);

// A finding about a whole BibTeX entry: its 1-based line, no column.
Violation entry_violation(std::string_view file, const Entry& entry, std::string_view rule_id,
                          std::optional<std::string> suggestion);
Violation entry_violation_with_fix(std::string_view file, const Entry& entry,
                                   std::string_view rule_id, std::optional<std::string> suggestion,
                                   Fix fix);

// --- BibTeX spans ---------------------------------------------------------

struct CharSpan {
  std::size_t start = 0;
  std::size_t end = 0;
  friend bool operator==(const CharSpan&, const CharSpan&) = default;
};

// The entry's characters in its .bib file: from the start of the entry's line
// to the next '@' that begins a line (or the end of the file).
CharSpan entry_source_span(std::u32string_view chars, const Entry& entry);
// Where `value` is written for `field_name` (matched ignoring ASCII case) inside
// the entry's span: the characters between the quotes or braces, trimmed of
// white space. Fix spans of BibTeX rules use it.
std::optional<CharSpan> field_value_span(std::u32string_view chars, const Entry& entry,
                                         std::string_view field_name, std::string_view value);

// --- Identifiers ----------------------------------------------------------

inline constexpr std::size_t kUnlimited = std::numeric_limits<std::size_t>::max();

// Split at Python white space, drop empty pieces, join with one blank, keep the
// first `max_chars` characters.
std::string identifier(std::string_view text, std::size_t max_chars);
// A name for a display-math environment: its first non-empty \label, else the
// start of its body up to the first \\ (at most 40 characters), else "".
std::string equation_identifier(const Node& environment, std::u32string_view chars);

// --- Citations ------------------------------------------------------------

struct CitedKeys {
  std::unordered_set<std::string> keys;  // as written
  bool cite_all = false;                 // some citation lists the key '*'
};

// A visitor for visit_seq / iter_with_parent_visit: collects the keys of the
// citation macros. Keys come from the citation's last brace-group argument
// (or, for a macro without an argument specification, the brace group written
// right after it), never from an optional [...] note.
void collect_cited_keys(CitedKeys& cited, SlotView slots, std::size_t index, const Node& node);
// The keys cited anywhere in `nodes`.
CitedKeys cited_keys(const std::vector<Node>& nodes);

// The entries of `library` the manuscript cites, in library order, compared
// ignoring letter case; all of them when there are no documents or a
// document has \nocite{*}.
std::vector<const Entry*> referenced_entries(const Library& library, const TexNodeLists& documents);

// --- Quoting and suggestion texts ----------------------------------------

// `text` quoted as Python's repr quotes a str: single quotes unless the text
// holds an apostrophe and no double quote; \t \n \r \\ and the quote escaped.
std::string py_repr(std::string_view text);

struct TemplateArg {
  std::string_view name;
  std::string_view value;
};

// Fills a suggestion template: `{name}` becomes the value of `name`, and
// `{quoted_name}` py_repr of that value when no argument is called
// `quoted_name` itself. Every other character, braces that do not enclose a
// known name included, is copied, so "\{macro}{{term}}" with macro=pkg and
// term=zoo gives "\pkg{zoo}" and "\title{}" stays as written.
std::string fill_template(std::string_view tmpl, std::initializer_list<TemplateArg> args);

}  // namespace kvt

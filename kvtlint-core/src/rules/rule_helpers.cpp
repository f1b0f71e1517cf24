#include "rules/rule_helpers.hpp"

#include <algorithm>

#include "catalogue.hpp"
#include "errors.hpp"
#include "tex/extract.hpp"
#include "text.hpp"

namespace kvt {

Violation make_violation(std::string_view file, std::uint32_t line,
                         std::optional<std::uint32_t> column, std::string_view rule_id,
                         std::optional<std::string> suggestion, std::optional<Fix> fix) {
  const RuleMeta* meta = lookup(rule_id);
  if (meta == nullptr) throw InternalError("unknown rule_id " + std::string(rule_id));
  Violation v;
  v.file = std::string(file);
  v.line = line;
  v.column = column;
  v.rule_id = std::string(rule_id);
  v.severity = meta->severity;
  v.message = std::string(meta->title);
  v.suggestion = std::move(suggestion);
  v.fix = std::move(fix);
  return v;
}

Violation tex_violation(std::string_view file, const LineIndex& line_index, std::size_t pos,
                        std::string_view rule_id, std::optional<std::string> suggestion) {
  const auto [line, column0] = line_index.lineno_colno(pos);
  return make_violation(file, line, column0 + 1, rule_id, std::move(suggestion), std::nullopt);
}

Violation tex_violation_with_fix(std::string_view file, const LineIndex& line_index,
                                 std::size_t pos, std::string_view rule_id,
                                 std::optional<std::string> suggestion, Fix fix) {
  const auto [line, column0] = line_index.lineno_colno(pos);
  return make_violation(file, line, column0 + 1, rule_id, std::move(suggestion), std::move(fix));
}

Violation entry_violation(std::string_view file, const Entry& entry, std::string_view rule_id,
                          std::optional<std::string> suggestion) {
  return make_violation(file, entry.line + 1, std::nullopt, rule_id, std::move(suggestion),
                        std::nullopt);
}

Violation entry_violation_with_fix(std::string_view file, const Entry& entry,
                                   std::string_view rule_id, std::optional<std::string> suggestion,
                                   Fix fix) {
  return make_violation(file, entry.line + 1, std::nullopt, rule_id, std::move(suggestion),
                        std::move(fix));
}

CharSpan entry_source_span(std::u32string_view chars, const Entry& entry) {
  const std::size_t n = chars.size();
  std::size_t start = 0;
  for (std::uint32_t skipped = 0; skipped < entry.line; ++skipped) {
    while (start < n && chars[start] != U'\n')
      ++start;
    if (start == n) break;
    ++start;
  }
  if (start + 1 >= n) return {start, n};
  // The entry ends where the next entry begins: an '@' at the start of a line.
  // Its own '@' never ends it, even when the entry is indented.
  for (std::size_t p = start + 1; p < n; ++p)
    if (chars[p] == U'@' && chars[p - 1] == U'\n') return {start, p};
  return {start, n};
}

namespace {

bool is_identifier_char(char32_t c) {
  return c == U'_' || (c >= U'0' && c <= U'9') || (c >= U'a' && c <= U'z') ||
         (c >= U'A' && c <= U'Z');
}

char32_t ascii_lower_char(char32_t c) {
  return (c >= U'A' && c <= U'Z') ? c + (U'a' - U'A') : c;
}

// chars[j..] starts with `name`, ignoring ASCII case.
bool name_at(std::u32string_view chars, std::size_t j, std::string_view name) {
  for (std::size_t k = 0; k < name.size(); ++k)
    if (ascii_lower_char(chars[j + k]) != ascii_lower_char(static_cast<unsigned char>(name[k])))
      return false;
  return true;
}

}  // namespace

std::optional<CharSpan> field_value_span(std::u32string_view chars, const Entry& entry,
                                         std::string_view field_name, std::string_view value) {
  const auto [start, end] = entry_source_span(chars, entry);
  const std::u32string wanted = decode_utf8(trim_py_ws(value));
  const std::size_t name_len = field_name.size();
  for (std::size_t j = start; j < end; ++j) {
    if (j != start && is_identifier_char(chars[j - 1])) continue;
    if (j + name_len > end || !name_at(chars, j, field_name)) continue;
    std::size_t k = j + name_len;
    while (k < end && is_unicode_whitespace(chars[k]))
      ++k;
    if (k >= end || chars[k] != U'=') continue;
    ++k;
    while (k < end && is_unicode_whitespace(chars[k]))
      ++k;
    if (k >= end) return std::nullopt;
    char32_t closer;
    if (chars[k] == U'"') {
      closer = U'"';
    } else if (chars[k] == U'{') {
      closer = U'}';
    } else {
      continue;
    }
    std::size_t close = k + 1;
    while (close < end && chars[close] != closer)
      ++close;
    if (close >= end) continue;
    std::size_t a = k + 1;
    std::size_t b = close;
    while (a < b && is_py_whitespace(chars[a]))
      ++a;
    while (b > a && is_py_whitespace(chars[b - 1]))
      --b;
    if (chars.substr(a, b - a) == wanted) return CharSpan{a, b};
  }
  return std::nullopt;
}

std::string identifier(std::string_view text, std::size_t max_chars) {
  std::string out;
  std::size_t count = 0;
  bool pending_blank = false;
  std::size_t i = 0;
  while (i < text.size() && count < max_chars) {
    const std::size_t char_start = i;
    const char32_t c = decode_utf8_at(text, i);
    if (is_py_whitespace(c)) {
      pending_blank = !out.empty();
      continue;
    }
    if (pending_blank) {
      out += ' ';
      pending_blank = false;
      if (++count == max_chars) break;
    }
    out.append(text.substr(char_start, i - char_start));
    ++count;
  }
  return out;
}

std::string equation_identifier(const Node& environment, std::u32string_view chars) {
  std::string label;
  walk(environment.children, [&](const Node& node, const Ancestors&) {
    if (!label.empty() || !node.is_macro("label")) return;
    for (const auto& slot : node.args) {
      if (!slot || !slot->is_group()) continue;
      std::string name = identifier(group_text(*slot), kUnlimited);
      if (!name.empty()) {
        label = std::move(name);
        return;
      }
    }
  });
  if (!label.empty()) return label;
  if (environment.children.empty()) return {};
  const std::size_t s = environment.children.front().pos;
  const std::size_t e = std::min(environment.children.back().end(), chars.size());
  if (s >= e) return {};
  std::u32string_view body = chars.substr(s, e - s);
  const std::size_t line_break = body.find(U"\\\\");
  if (line_break != std::u32string_view::npos) body = body.substr(0, line_break);
  return identifier(encode_utf8(body), 40);
}

namespace {

bool is_citation_macro(std::string_view name) {
  static constexpr std::string_view kNames[] = {
      "cite",    "Cite",     "citet",      "Citet",      "citep",
      "Citep",   "nocite",   "citealp",    "Citealp",    "citealt",
      "Citealt", "citeyear", "citeauthor", "Citeauthor", "citeyearpar"};
  return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

// The group holding a citation's keys: its last brace-group argument, else the
// brace group written right after it.
const Node* citation_key_group(const Node& macro, SlotView slots, std::size_t index) {
  const Node* found = nullptr;
  for (const auto& slot : macro.args)
    if (slot && slot->is_group() && !slot->bracketed()) found = &*slot;
  if (found != nullptr) return found;
  const Node* next = slots[index + 1];
  if (next != nullptr && next->is_group() && !next->bracketed()) return next;
  return nullptr;
}

}  // namespace

void collect_cited_keys(CitedKeys& cited, SlotView slots, std::size_t index, const Node& node) {
  if (!node.is_macro() || !is_citation_macro(node.name())) return;
  const Node* group = citation_key_group(node, slots, index);
  if (group == nullptr) return;
  const std::string text = group_text(*group);
  std::string_view rest = text;
  while (true) {
    const std::size_t comma = rest.find(',');
    const std::string_view piece = trim_py_ws(rest.substr(0, comma));
    if (piece == "*") {
      cited.cite_all = true;
    } else if (!piece.empty()) {
      cited.keys.emplace(piece);
    }
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
}

CitedKeys cited_keys(const std::vector<Node>& nodes) {
  CitedKeys cited;
  iter_with_parent_visit(nodes, cited, collect_cited_keys);
  return cited;
}

std::vector<const Entry*> referenced_entries(const Library& library,
                                             const TexNodeLists& documents) {
  std::vector<const Entry*> out;
  if (documents.empty()) {
    for (const Entry& entry : library.entries)
      out.push_back(&entry);
    return out;
  }
  CitedKeys cited;
  for (const std::vector<Node>* nodes : documents)
    if (nodes != nullptr) iter_with_parent_visit(*nodes, cited, collect_cited_keys);
  std::unordered_set<std::string> lowered;
  for (const std::string& key : cited.keys)
    lowered.insert(ascii_lower(key));
  for (const Entry& entry : library.entries)
    if (cited.cite_all || lowered.count(ascii_lower(entry.key))) out.push_back(&entry);
  return out;
}

std::string py_repr(std::string_view text) {
  const bool has_apostrophe = text.find('\'') != std::string_view::npos;
  const bool has_double = text.find('"') != std::string_view::npos;
  const char quote = (has_apostrophe && !has_double) ? '"' : '\'';
  std::string out;
  out.reserve(text.size() + 2);
  out += quote;
  for (const char c : text) {
    switch (c) {
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        if (c == quote) out += '\\';
        out += c;
    }
  }
  out += quote;
  return out;
}

namespace {

bool is_name_char(char c) {
  return c == '_' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

const std::string_view* find_arg(std::initializer_list<TemplateArg> args, std::string_view name) {
  for (const TemplateArg& arg : args)
    if (arg.name == name) return &arg.value;
  return nullptr;
}

}  // namespace

std::string fill_template(std::string_view tmpl, std::initializer_list<TemplateArg> args) {
  static constexpr std::string_view kQuoted = "quoted_";
  std::string out;
  out.reserve(tmpl.size() + 32);
  std::size_t i = 0;
  while (i < tmpl.size()) {
    if (tmpl[i] == '{') {
      std::size_t j = i + 1;
      while (j < tmpl.size() && is_name_char(tmpl[j]))
        ++j;
      if (j > i + 1 && j < tmpl.size() && tmpl[j] == '}') {
        const std::string_view name = tmpl.substr(i + 1, j - i - 1);
        if (const std::string_view* value = find_arg(args, name)) {
          out += *value;
          i = j + 1;
          continue;
        }
        if (name.starts_with(kQuoted)) {
          if (const std::string_view* value = find_arg(args, name.substr(kQuoted.size()))) {
            out += py_repr(*value);
            i = j + 1;
            continue;
          }
        }
      }
    }
    out += tmpl[i];
    ++i;
  }
  return out;
}

}  // namespace kvt

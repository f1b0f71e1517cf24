#include "rmd.hpp"

#include <yaml.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "source_map.hpp"
#include "tex/parser.hpp"
#include "text.hpp"

namespace kvt {

namespace {

const LazyRegex FENCE_OPEN{R"(^\s*```\s*(?:\{[^}]*\}|[A-Za-z0-9_.+-]+)?\s*$)"};
const LazyRegex FENCE_CLOSE{R"(^\s*```\s*$)"};
const LazyRegex HEADING{R"(^#{1,6}\s+.+$)"};
const LazyRegex KNITR_R_TAG{R"((:\s*)!r(\s+))"};
const LazyRegex HTML_COMMENT{R"((?s)<!--.*?-->)"};
const LazyRegex AUTOLINK_URL{R"(<https?://[^>\s]+>)"};
const LazyRegex LINK_URL{R"(\]\([^)\s]+\))"};
const LazyRegex BARE_URL{R"(https?://[^\s]+)"};
const LazyRegex INLINE_R{R"(`r\s[^`]*`)"};
const LazyRegex BOLD_SPAN{R"(\*\*([^*\n]+)\*\*)"};

// One line of the file as Python's str.splitlines cuts it.
struct SourceLine {
  std::string_view text;   // without its line break
  std::size_t start_char;  // character offset of its first character in the file
};

bool is_line_break(char32_t c) {
  switch (c) {
    case U'\n':
    case U'\r':
    case U'\v':
    case U'\f':
    case U'\x1c':
    case U'\x1d':
    case U'\x1e':
    case U'\x85':
    case U'\u2028':
    case U'\u2029':
      return true;
    default:
      return false;
  }
}

std::vector<SourceLine> split_lines(std::string_view text) {
  std::vector<SourceLine> lines;
  std::size_t pos = 0;
  std::size_t chars = 0;
  std::size_t line_start = 0;
  std::size_t line_start_char = 0;
  while (pos < text.size()) {
    std::size_t next = pos;
    const char32_t c = decode_utf8_at(text, next);
    ++chars;
    if (is_line_break(c)) {
      lines.push_back({text.substr(line_start, pos - line_start), line_start_char});
      if (c == U'\r' && next < text.size() && text[next] == '\n') {
        ++next;
        ++chars;
      }
      line_start = next;
      line_start_char = chars;
    }
    pos = next;
  }
  if (line_start < text.size()) lines.push_back({text.substr(line_start), line_start_char});
  return lines;
}

bool is_blank(std::string_view text) {
  return trim_py_ws(text).empty();
}

std::string position_text(std::size_t line, std::size_t column) {
  return " at line " + std::to_string(line) + " column " + std::to_string(column);
}

// Deeper collections are refused, as a reader into nested values refuses them:
// libyaml's scanner does work proportional to the nesting depth for every
// token, so unbounded depth would make a front matter of brackets quadratic.
constexpr int kMaxYamlNesting = 128;

// libyaml's description of why `yaml` is not one well-formed document, or
// nothing. Positions are given in lines of the .Rmd file; `first_line` is the
// file line of the YAML text's first line.
std::optional<std::string> yaml_problem(std::string_view yaml, std::size_t first_line) {
  yaml_parser_t parser;
  if (yaml_parser_initialize(&parser) == 0) return "not enough memory to read the frontmatter";
  yaml_parser_set_input_string(&parser, reinterpret_cast<const unsigned char*>(yaml.data()),
                               yaml.size());
  yaml_parser_set_encoding(&parser, YAML_UTF8_ENCODING);
  const auto at_mark = [&](const yaml_mark_t& mark) {
    return position_text(first_line + mark.line, mark.column + 1);
  };

  std::optional<std::string> problem;
  std::set<std::string> anchors;
  int documents = 0;
  int depth = 0;
  for (bool done = false; !done && !problem;) {
    yaml_event_t event;
    if (yaml_parser_parse(&parser, &event) == 0) {
      if (parser.error == YAML_MEMORY_ERROR) {
        problem = "not enough memory to read the frontmatter";
      } else if (parser.error == YAML_READER_ERROR) {
        // The reader reports a byte offset instead of a mark.
        const std::size_t offset = std::min(parser.problem_offset, yaml.size());
        const std::string_view before = yaml.substr(0, offset);
        const std::size_t line_start = before.rfind('\n') + 1;  // npos + 1 == 0
        problem = std::string(parser.problem != nullptr ? parser.problem : "unreadable character") +
                  position_text(first_line + static_cast<std::size_t>(
                                                 std::count(before.begin(), before.end(), '\n')),
                                char_count(before.substr(line_start)) + 1);
      } else {
        std::string text;
        if (parser.context != nullptr) text = parser.context + at_mark(parser.context_mark) + ": ";
        text += parser.problem != nullptr ? parser.problem : "syntax error";
        text += at_mark(parser.problem_mark);
        problem = std::move(text);
      }
      break;
    }
    switch (event.type) {
      case YAML_DOCUMENT_START_EVENT:
        if (++documents > 1) {
          problem = "expected a single document in the stream, but found another document" +
                    at_mark(event.start_mark);
        }
        break;
      case YAML_SCALAR_EVENT:
      case YAML_SEQUENCE_START_EVENT:
      case YAML_MAPPING_START_EVENT: {
        const yaml_char_t* anchor = event.type == YAML_SCALAR_EVENT ? event.data.scalar.anchor
                                    : event.type == YAML_SEQUENCE_START_EVENT
                                        ? event.data.sequence_start.anchor
                                        : event.data.mapping_start.anchor;
        if (anchor != nullptr) anchors.emplace(reinterpret_cast<const char*>(anchor));
        if (event.type != YAML_SCALAR_EVENT && ++depth > kMaxYamlNesting) {
          problem = "collections nested deeper than " + std::to_string(kMaxYamlNesting) +
                    " levels" + at_mark(event.start_mark);
        }
        break;
      }
      case YAML_SEQUENCE_END_EVENT:
      case YAML_MAPPING_END_EVENT:
        --depth;
        break;
      case YAML_ALIAS_EVENT: {
        // Reading the document into a value resolves every alias.
        const std::string name(reinterpret_cast<const char*>(event.data.alias.anchor));
        if (!anchors.count(name))
          problem = "found undefined alias '" + name + "'" + at_mark(event.start_mark);
        break;
      }
      case YAML_STREAM_END_EVENT:
        done = true;
        break;
      default:
        break;
    }
    yaml_event_delete(&event);
  }
  yaml_parser_delete(&parser);
  return problem;
}

// Spans that open at `delimiter` (where `opens` accepts the character before
// it) and close at the next `delimiter` on the same line, with at least one
// character between and no `delimiter` right after the closing one. Blanked,
// delimiters included. One pass: a failed opening is retried only at the
// delimiter where its search stopped.
template <typename Opens>
std::string blank_delimited_spans(std::string_view text, char delimiter, Opens opens) {
  std::string out;
  out.reserve(text.size());
  std::size_t copied = 0;
  std::size_t i = text.find(delimiter);
  while (i != std::string_view::npos) {
    bool can_open = true;
    if (i > 0) {
      std::size_t prev = floor_char_boundary(text, i - 1);
      can_open = opens(decode_utf8_at(text, prev));
    }
    if (!can_open) {
      i = text.find(delimiter, i + 1);
      continue;
    }
    const char stops[] = {delimiter, '\n'};
    const std::size_t close = text.find_first_of(std::string_view(stops, 2), i + 1);
    if (close == std::string_view::npos) break;
    if (text[close] == '\n') {
      i = text.find(delimiter, close + 1);
      continue;
    }
    const bool doubled = close + 1 < text.size() && text[close + 1] == delimiter;
    if (close == i + 1 || doubled) {
      i = close;
      continue;
    }
    out.append(text.substr(copied, i - copied));
    append_blanked(out, text.substr(i, close + 1 - i));
    copied = close + 1;
    i = text.find(delimiter, close + 1);
  }
  out.append(text.substr(copied));
  return out;
}

// HTML comments: each `<!--` through the nearest `-->` after it.
std::string blank_html_comments(std::string_view text) {
  // A comment can only end at a `-->`: searching no further than the last one
  // keeps many unclosed `<!--` from each scanning to the end of the paragraph.
  const std::size_t last_close = text.rfind("-->");
  if (last_close == std::string_view::npos) return std::string(text);
  const std::string_view searched = text.substr(0, last_close + 3);
  std::string out;
  out.reserve(text.size());
  std::size_t cursor = 0;
  while (cursor < searched.size()) {
    std::optional<Span> comment = HTML_COMMENT->find(searched, cursor);
    if (!comment) {
      // The pattern engine gives up on a comment longer than its match limit
      // (a limit hit counts as no match); find the comment directly then.
      const std::size_t open = searched.find("<!--", cursor);
      if (open == std::string_view::npos) break;
      const std::size_t close = searched.find("-->", open + 4);
      if (close == std::string_view::npos) break;
      comment = Span{open, close + 3};
    }
    out.append(text.substr(cursor, comment->start - cursor));
    append_blanked(out, text.substr(comment->start, comment->size()));
    cursor = comment->end;
  }
  out.append(text.substr(cursor));
  return out;
}

// Consecutive lines [first, first + count) of the file.
struct Paragraph {
  std::size_t first = 0;
  std::size_t count = 0;
};

ParsedTexFileDoc prose_document(std::string_view path, std::string_view blanked,
                                const std::vector<SourceLine>& lines, const Paragraph& paragraph) {
  auto map = std::make_shared<SourceMap>();
  map->lines.reserve(paragraph.count);
  std::size_t start = 0;
  for (std::size_t i = paragraph.first; i < paragraph.first + paragraph.count; ++i) {
    map->add_line(start, lines[i].start_char, true);
    start += char_count(lines[i].text) + 1;
  }
  map->length = start - 1;

  ParsedTexFileDoc doc;
  doc.path = std::string(path);
  doc.tex = parse_tex_source(blanked);
  // Numbered in the lines of the .Rmd file: the paragraph's first line is line first + 1.
  doc.tex.line_offset = static_cast<std::uint32_t>(paragraph.first);
  doc.line_index = LineIndex::with_offset(doc.tex.chars, doc.tex.line_offset);
  doc.source_map = std::move(map);
  return doc;
}

}  // namespace

std::string blank_preserving_newlines(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  append_blanked(out, text);
  return out;
}

// Each step reads the previous one's result.
std::string blank_markdown(std::string_view paragraph) {
  std::string text = blank_html_comments(paragraph);
  text = regex_blank(*AUTOLINK_URL, text);
  text = regex_blank(*LINK_URL, text);
  text = regex_blank(*BARE_URL, text);
  text = regex_blank(*INLINE_R, text);
  text = blank_delimited_spans(text, '`', [](char32_t prev) { return prev != U'`'; });
  text = regex_blank(*BOLD_SPAN, text);
  text = blank_delimited_spans(text, '*', [](char32_t prev) {
    return prev != U'*' && prev != U'_' && !is_unicode_alnum(prev);
  });
  return text;
}

std::string regex_blank(const Regex& pattern, std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t last = 0;
  pattern.for_each(text, [&](Span m) {
    out.append(text.substr(last, m.start - last));
    append_blanked(out, text.substr(m.start, m.size()));
    last = m.end;
    return true;
  });
  out.append(text.substr(last));
  return out;
}

Violation parse_violation(std::string_view file, std::uint32_t line, Severity severity,
                          std::string_view message) {
  Violation violation;
  violation.file = std::string(file);
  violation.line = line;
  violation.rule_id = std::string(kParseRuleId);
  violation.severity = severity;
  violation.message = std::string(message);
  return violation;
}

ParsedRmdFileDoc parse_rmd_source(std::string_view path, std::string_view text) {
  ParsedRmdFileDoc doc;
  doc.path = std::string(path);
  const std::vector<SourceLine> lines = split_lines(text);

  enum class State { Start, FrontMatter, Prose, Code };
  State state = State::Start;
  std::uint32_t opened_on = 0;  // line of the opening `---` or fence
  std::vector<std::string_view> front_matter;
  std::vector<Paragraph> paragraphs;
  Paragraph current;
  const auto finish_paragraph = [&] {
    if (current.count > 0) paragraphs.push_back(current);
    current = {};
  };

  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string_view line = lines[i].text;
    const auto number = static_cast<std::uint32_t>(i + 1);
    if (state == State::Start) {
      if (trim_py_ws(line) == "---") {
        opened_on = number;
        state = State::FrontMatter;
        continue;
      }
      state = State::Prose;
    }
    if (state == State::FrontMatter) {
      if (trim_py_ws(line) != "---") {
        front_matter.push_back(line);
        continue;
      }
      std::string yaml;
      for (std::size_t k = 0; k < front_matter.size(); ++k) {
        if (k > 0) yaml += '\n';
        yaml += front_matter[k];
      }
      if (!is_blank(yaml)) {
        // knitr's `!r` tag marks R expressions; it means nothing to a YAML reader.
        yaml = KNITR_R_TAG->replace_all(yaml, "$1$2");
        if (const auto problem = yaml_problem(yaml, opened_on + 1)) {
          doc.violations.push_back(
              parse_violation(path, opened_on, Severity::Warning,
                              "Malformed YAML frontmatter (ignored): " + *problem));
        }
      }
      state = State::Prose;
      continue;
    }
    if (state == State::Code) {
      if (FENCE_CLOSE->is_match(line)) state = State::Prose;
      continue;
    }
    if (FENCE_OPEN->is_match(line)) {
      finish_paragraph();
      opened_on = number;
      state = State::Code;
    } else if (!HEADING->is_match(line) && !is_blank(line)) {
      if (current.count == 0) current.first = i;
      ++current.count;
    } else {
      finish_paragraph();
    }
  }
  if (state == State::FrontMatter) {
    doc.violations.push_back(
        parse_violation(path, opened_on, Severity::Error, "Unterminated YAML frontmatter."));
  } else if (state == State::Code) {
    doc.violations.push_back(
        parse_violation(path, opened_on, Severity::Error, "Unterminated fenced code block."));
  } else {
    finish_paragraph();
  }

  std::string joined;
  for (const Paragraph& paragraph : paragraphs) {
    joined.clear();
    for (std::size_t i = paragraph.first; i < paragraph.first + paragraph.count; ++i) {
      if (i > paragraph.first) joined += '\n';
      joined += lines[i].text;
    }
    const std::string blanked = blank_markdown(joined);
    if (is_blank(blanked)) continue;
    doc.fragments.push_back(prose_document(path, blanked, lines, paragraph));
  }
  return doc;
}

}  // namespace kvt

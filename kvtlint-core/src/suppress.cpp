#include "suppress.hpp"

#include "regex.hpp"
#include "text.hpp"

namespace kvt {

namespace {

const LazyRegex DIRECTIVE_RE{R"((?i)(?:^|[^\\])(%+)\s*kvt-lint:\s*ignore\b([^\n]*))"};
const LazyRegex RULE_ID_RE{R"(\b[A-Z][A-Z0-9]*(?:-[A-Z0-9]+)+\b)"};

void merge_into(DirectiveLines& target, const DirectiveLines& source, std::uint32_t shift) {
  for (const auto& [line, ids] : source)
    target[line + shift].insert(ids.begin(), ids.end());
}

}  // namespace

std::set<std::string> parse_directive_args(std::string_view args) {
  std::set<std::string> ids;
  RULE_ID_RE->for_each(args, [&](Span m) {
    ids.emplace(args.substr(m.start, m.size()));
    return true;
  });
  return ids;
}

DirectiveLines directive_lines(std::string_view text) {
  DirectiveLines out;
  std::uint32_t number = 0;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    ++number;
    const std::string_view line = text.substr(start, end - start);
    // Cheap pre-test: a directive needs a '%'.
    if (line.find('%') != std::string_view::npos) {
      if (const auto caps = DIRECTIVE_RE->captures(line)) {
        std::set<std::string> ids = parse_directive_args(ascii_upper(caps->str(2)));
        if (ids.empty()) ids.insert("*");
        const std::size_t percent = caps->span(1)->start;
        const bool stands_alone = trim_unicode_ws(line.substr(0, percent)).empty();
        out[number].insert(ids.begin(), ids.end());
        if (stands_alone) out[number + 1].insert(ids.begin(), ids.end());
      }
    }
    start = end + 1;
  }
  return out;
}

SuppressionIndex build_suppression_index(const ParsedDocument& document) {
  SuppressionIndex index;
  for (const ParsedTexFileDoc* doc : document.all_tex_like_docs()) {
    const DirectiveLines lines = directive_lines(doc->tex.source);
    if (!lines.empty()) merge_into(index[doc->path], lines, doc->line_index.line_offset);
  }
  for (const ParsedBibFileDoc& bib : document.bib_files) {
    const DirectiveLines lines = directive_lines(encode_utf8(bib.chars));
    if (!lines.empty()) merge_into(index[bib.path], lines, 0);
  }
  return index;
}

bool is_suppressed(const SuppressionIndex& index, const Violation& violation) {
  const auto file = index.find(violation.file);
  if (file == index.end()) return false;
  const auto line = file->second.find(violation.line);
  if (line == file->second.end()) return false;
  return line->second.count("*") > 0 || line->second.count(violation.rule_id) > 0;
}

}  // namespace kvt

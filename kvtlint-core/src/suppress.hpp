// `% kvt-lint: ignore KVT-...` comments: an index built once per run from every
// document, consulted for each finding after its rule has run.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>

#include "document.hpp"
#include "report.hpp"

namespace kvt {

// Line number (1-based, in the numbering of the document's findings) -> rule
// ids; "*" stands for every rule.
using DirectiveLines = std::map<std::uint32_t, std::set<std::string>>;
using SuppressionIndex = std::unordered_map<std::string, DirectiveLines>;

DirectiveLines directive_lines(std::string_view text);
std::set<std::string> parse_directive_args(std::string_view args);
SuppressionIndex build_suppression_index(const ParsedDocument& document);
bool is_suppressed(const SuppressionIndex& index, const Violation& violation);

}  // namespace kvt

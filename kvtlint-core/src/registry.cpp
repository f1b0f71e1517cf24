#include "registry.hpp"

#include <array>

#include "rules/markup.hpp"

namespace kvt {

namespace {

// Rows in the registry's fixed order; the engine orders execution itself.
constexpr std::array<TexRuleEntry, 4> kTexRules{{
    {"KVT-MARKUP-001", check_markup_001, false, true},
    {"KVT-MARKUP-002", check_markup_002, false, true},
    {"KVT-MARKUP-003", check_markup_003, false, true},
    {"KVT-MARKUP-004", check_markup_004, false, true},
}};
constexpr std::array<BibRuleEntry, 0> kBibRules{};
constexpr std::array<CrossDocumentRuleEntry, 0> kCrossDocumentRules{};

}  // namespace

std::span<const TexRuleEntry> tex_rules() {
  return kTexRules;
}
std::span<const BibRuleEntry> bib_rules() {
  return kBibRules;
}
std::span<const CrossDocumentRuleEntry> cross_document_rules() {
  return kCrossDocumentRules;
}

}  // namespace kvt

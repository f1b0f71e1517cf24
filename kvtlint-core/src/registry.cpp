#include "registry.hpp"

#include <array>

namespace kvt {

namespace {

// Rows in the registry's fixed order; the engine orders execution itself.
constexpr std::array<TexRuleEntry, 0> kTexRules{};
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

// Document intake and the engine run: which rules run on which documents, in
// which order, and how their findings become a ComplianceReport.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config.hpp"
#include "document.hpp"
#include "registry.hpp"
#include "report.hpp"

namespace kvt {

struct CategoryInfo {
  std::string_view key;
  std::string_view title;
};

// The sixteen categories in execution and report order.
std::span<const CategoryInfo> categories();
// The display title of a category key; an unknown key is an internal error.
std::string_view category_title(std::string_view key);

struct RuleAction {
  enum class Kind { Tex, Bib, CrossDocument };
  Kind kind;
  const TexRuleEntry* tex = nullptr;
  const BibRuleEntry* bib = nullptr;
  const CrossDocumentRuleEntry* cross_document = nullptr;
};

namespace engine {

// Findings for KVT-PROJECT-001 and KVT-PROJECT-002 from a multi-file resolver.
using ProjectFindings = std::pair<std::vector<Violation>, std::vector<Violation>>;
// Returns true for findings to drop.
using ViolationFilter = std::function<bool(const Violation&)>;

using OrderedRule = std::pair<std::string_view, RuleAction>;

// (rule id, action) sorted by (category index, rule id byte-wise), stable.
const std::vector<OrderedRule>& ordered_rules();

ComplianceReport run(const ToolConfig& config, const ParsedDocument& document);
ComplianceReport run_impl(const ToolConfig& config, const ParsedDocument& document,
                          const ProjectFindings* project_findings, const ViolationFilter* filter);
// The same run over an explicit rule list in execution order instead of the
// registry, so the selection logic can be exercised with rules of any shape.
ComplianceReport run_with_rules(const ToolConfig& config, const ParsedDocument& document,
                                std::span<const OrderedRule> rules,
                                const ProjectFindings* project_findings,
                                const ViolationFilter* filter);

// For findings of rules that read every document at once: moves each fix into
// its submitted file through the source map of the document that holds the
// finding (same path, line within the document). A fix that cannot be placed
// with certainty is dropped; findings in files without a source map are left alone.
void relocate_fixes_by_file(std::vector<Violation>& findings,
                            const std::vector<const ParsedTexFileDoc*>& documents);

// "['a', 'b']"; no escaping.
std::string python_list_repr(const std::vector<std::string>& items);

// 100 * passed / qualifying, rounded to one decimal the way "%.1f" rounds.
double round_to_one_decimal(double value);

}  // namespace engine
}  // namespace kvt

// The rule catalogue: one constant record per rule, the measured recall of each
// rule, and the description of the rule set as a whole.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "report.hpp"

namespace kvt {

enum class Confidence : std::uint8_t { Low = 0, Medium = 1, High = 2 };

std::string_view confidence_text(Confidence confidence);
std::optional<Confidence> parse_confidence(std::string_view text);

struct RuleMeta {
  std::optional<std::string_view> url;
  std::string_view id;
  std::string_view category;
  std::string_view title;
  std::string_view source_kind;
  std::string_view source_anchor;
  std::string_view description;
  std::array<std::string_view, 2> formats;  // unused slots are empty
  Confidence confidence;
  std::string_view section;
  Severity severity;

  std::vector<std::string_view> format_list() const;
};

struct RecallEntry {
  std::string_view rule_id;
  std::uint32_t tp;
  std::uint32_t fn;
};

// All 62 records, sorted by id.
std::span<const RuleMeta> catalogue();
// Exact, case-sensitive lookup; nullptr when the id is not a catalogue rule.
const RuleMeta* lookup(std::string_view id);

// The 53 measured rules (RECALL_BY_ID) and the lookup over them; (0, 0) when unmeasured.
std::span<const RecallEntry> recall_by_id();
RecallStat recall(std::string_view id);

RecallRun recall_run();
RuleSetInfo rule_set();

}  // namespace kvt

#include "report.hpp"

#include <algorithm>

namespace kvt {

std::string_view severity_text(Severity severity) {
  switch (severity) {
    case Severity::Error:
      return "error";
    case Severity::Warning:
      return "warning";
    case Severity::Info:
      return "info";
  }
  return "warning";
}

std::optional<Severity> parse_severity(std::string_view text) {
  if (text == "error") return Severity::Error;
  if (text == "warning") return Severity::Warning;
  if (text == "info") return Severity::Info;
  return std::nullopt;
}

std::string_view status_text(CategoryStatus status) {
  switch (status) {
    case CategoryStatus::Pass:
      return "PASS";
    case CategoryStatus::Fail:
      return "FAIL";
    case CategoryStatus::Skipped:
      return "SKIPPED";
  }
  return "SKIPPED";
}

std::optional<CategoryStatus> parse_status(std::string_view text) {
  if (text == "PASS") return CategoryStatus::Pass;
  if (text == "FAIL") return CategoryStatus::Fail;
  if (text == "SKIPPED") return CategoryStatus::Skipped;
  return std::nullopt;
}

std::uint32_t RecallStat::percent() const {
  const std::uint64_t n = static_cast<std::uint64_t>(tp) + fn;
  if (n == 0) return 0;
  return static_cast<std::uint32_t>((200 * static_cast<std::uint64_t>(tp) + n) / (2 * n));
}

std::string RecallStat::label(std::uint32_t min_n) const {
  const std::uint64_t n = static_cast<std::uint64_t>(tp) + fn;
  if (n == 0) return "unmeasured";
  if (n < min_n) return "limited (n=" + std::to_string(n) + ")";
  return std::to_string(percent()) + "%";
}

std::optional<std::string> RuleSetInfo::guide_source() const {
  if (!guide) return std::nullopt;
  if (!guide_date) return *guide;
  return *guide + " (" + *guide_date + ")";
}

bool violation_less(const Violation& a, const Violation& b) {
  // std::string comparison is byte-wise (char_traits<char> compares as unsigned char).
  if (const int c = a.file.compare(b.file); c != 0) return c < 0;
  if (a.line != b.line) return a.line < b.line;
  if (a.column != b.column) {
    if (!a.column) return true;
    if (!b.column) return false;
    return *a.column < *b.column;
  }
  return a.rule_id.compare(b.rule_id) < 0;
}

std::vector<std::vector<const Violation*>> violations_by_file(
    const std::vector<Violation>& violations) {
  std::vector<const Violation*> order;
  order.reserve(violations.size());
  for (const Violation& v : violations)
    order.push_back(&v);
  const auto by_file = [](const Violation* a, const Violation* b) { return a->file < b->file; };
  // Reports arrive sorted by file already; only reorder when they are not.
  if (!std::is_sorted(order.begin(), order.end(), by_file)) {
    std::stable_sort(order.begin(), order.end(), by_file);
  }
  std::vector<std::vector<const Violation*>> groups;
  for (const Violation* v : order) {
    if (groups.empty() || groups.back().front()->file != v->file) groups.emplace_back();
    groups.back().push_back(v);
  }
  return groups;
}

void sort_violations(std::vector<Violation>& violations) {
  std::stable_sort(violations.begin(), violations.end(), violation_less);
}

}  // namespace kvt

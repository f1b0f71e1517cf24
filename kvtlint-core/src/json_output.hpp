// The machine-readable JSON report.
//
// The report is first built as an in-memory JSON value and then written by our
// own writer, whose output is byte for byte what Python's serialiser gives with
// `indent=2, sort_keys=True, ensure_ascii=True`, so Python callers can compare
// it with their own dumps. Integers and floats stay distinct: counts are
// written plainly, floats in Python's `repr` form ("100.0", "66.7", "1e-05").
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

#include "coverage.hpp"
#include "report.hpp"

namespace kvt::json_output {

// The whole document followed by one line feed.
std::string render(const ComplianceReport& report);

// The document as a value.
nlohmann::json to_payload(const ComplianceReport& report);

// One category summary; `min_n` is the recall threshold of the rule set.
nlohmann::json category_value(const CategorySummary& category, std::uint32_t min_n);
// One finding, with its catalogue confidence, guide section and link.
nlohmann::json violation_value(const Violation& violation);
// Counts over the whole table and the partial / not-checked provisions.
nlohmann::json coverage_value(std::span<const CoverageDirectiveData> directives);

// Writes `value` with keys sorted byte-wise and two-space indentation; nested
// lines are indented by `indent` + 2 spaces.
void write_value(const nlohmann::json& value, std::size_t indent, std::string& out);

// An array written without being held in memory: when the writer reaches the
// node at `slot`, it writes `count` elements instead, each made by `element`,
// written and dropped in turn. Large reports are mostly findings, and building
// them all as one value costs far more than writing them.
struct StreamedArray {
  const nlohmann::json* slot = nullptr;
  std::size_t count = 0;
  std::function<nlohmann::json(std::size_t)> element;
};
void write_value(const nlohmann::json& value, std::size_t indent, std::string& out,
                 const StreamedArray& streamed);
// A double-quoted string with every character outside U+0020..U+007E escaped.
void write_py_string(std::string_view text, std::string& out);
// A finite float in Python's `repr` form; non-finite values are written as null.
void write_py_float(double value, std::string& out);

}  // namespace kvt::json_output

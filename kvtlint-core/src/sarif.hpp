// The SARIF 2.1.0 log for code-scanning tools.
//
// Rule findings become results, front-end parse problems (KVT-PARSE-000)
// become tool-execution notifications, and every catalogue rule is described
// in the driver's rule list. File locations are written relative to the
// configured source root with "/" separators. The log is written by the JSON
// writer of json_output, so it has the same sorted, ASCII-only form.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

#include "catalogue.hpp"
#include "config.hpp"
#include "report.hpp"

namespace kvt::sarif {

inline constexpr std::string_view kSchemaUri =
    "https://docs.oasis-open.org/sarif/sarif/v2.1.0/os/schemas/sarif-schema-2.1.0.json";
inline constexpr std::string_view kInformationUri = "https://www.ordinal-kinetics.org/kvt-lint";

// The log followed by one line feed.
std::string render(const ComplianceReport& report, const ToolConfig& config);
nlohmann::json to_payload(const ComplianceReport& report, const ToolConfig& config);

// "error", "warning" or "note".
std::string_view level_text(Severity severity);

nlohmann::json result_value(const Violation& violation, std::string_view source_root);
nlohmann::json location_value(const Violation& violation, std::string_view source_root);
nlohmann::json notification_value(const Violation& violation, std::string_view source_root);
nlohmann::json rule_descriptor(const RuleMeta& rule);
// The descriptor of the parse-problem pseudo-rule KVT-PARSE-000.
nlohmann::json parse_rule_descriptor();
// Every catalogue rule plus KVT-PARSE-000, sorted by id byte-wise.
nlohmann::json catalogue_rules();

// `path` (relative paths are taken relative to `source_root`) as a "/"-separated
// path relative to `source_root`; "." when both are the same directory.
std::string relativise(std::string_view path, std::string_view source_root);
// An absolute, normalised form of `path`, resolving through whatever part of it
// exists on disk. Never fails.
std::filesystem::path resolve_path(const std::filesystem::path& path);
// The components of `path` joined by "/".
std::string as_posix(const std::filesystem::path& path);

}  // namespace kvt::sarif

// Run settings: built-in defaults, overlaid by .kvt-lint.toml in a directory,
// overlaid by the caller's overrides. Loading never fails.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue.hpp"
#include "report.hpp"

namespace kvt {

enum class ReportMode : std::uint8_t { Author, Reviewer };
enum class OutputKind : std::uint8_t { Terminal, Json, Html, Sarif };
enum class ColorChoice : std::uint8_t { Auto, Always, Never };

// (field name -> value, entry type lower-cased) -> DOI, when one is known.
using DoiLookup = std::function<std::optional<std::string>(
    const std::map<std::string, std::string>& fields, std::string_view entry_type)>;

struct ToolConfig {
  std::string journal = "kvt";
  std::string source_root = ".";
  std::optional<std::string> baseline;
  std::set<std::string> ignore_rules;
  std::map<std::string, Severity> severity_overrides;
  DoiLookup doi_lookup;  // empty: none
  std::uint32_t code_width = 80;
  ReportMode mode = ReportMode::Author;
  bool verbose = false;
  Confidence min_confidence = Confidence::Low;
  Severity fail_on = Severity::Warning;
  ColorChoice color = ColorChoice::Auto;
  OutputKind output = OutputKind::Terminal;
};

struct RawOverrides {
  std::optional<std::string> journal;
  std::optional<std::string> mode;
  std::optional<std::string> output;
  std::optional<std::vector<std::string>> ignore_rules;
  std::optional<std::string> source_root;
  std::optional<std::string> min_confidence;
  std::optional<std::string> fail_on;
  std::optional<std::string> baseline;
  std::optional<std::string> color;
  std::optional<std::uint32_t> code_width;
  std::optional<std::vector<std::pair<std::string, std::string>>> severity_overrides;
  std::optional<bool> verbose;
};

inline constexpr std::string_view kConfigFileName = ".kvt-lint.toml";

void apply_overrides(ToolConfig& config, const RawOverrides& overrides);

namespace config {

// Loads `directory`/.kvt-lint.toml (if readable and valid TOML) over the defaults,
// then the caller's overrides. Writes the unknown-keys warning to stderr when verbose.
ToolConfig load(const std::filesystem::path& directory, const RawOverrides& caller_overrides);

// The file layer alone, with the sorted unknown top-level keys; nullopt when
// the text is not valid TOML.
struct FileLayer {
  RawOverrides overrides;
  std::vector<std::string> unknown_keys;
};
std::optional<FileLayer> parse_config_text(std::string_view text);

// Splits at ',', trims white space, drops empty pieces.
std::vector<std::string> split_rule_list(std::string_view text);

}  // namespace config
}  // namespace kvt

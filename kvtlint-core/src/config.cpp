#include "config.hpp"

#include <toml++/toml.h>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>

#include "text.hpp"

namespace kvt {

namespace {

constexpr std::string_view kKnownKeys[] = {
    "journal",     "mode",           "output",  "ignore_rules", "verbose", "code_width",
    "source_root", "min_confidence", "fail_on", "baseline",     "color",   "severity_overrides"};

bool is_known_key(std::string_view key) {
  return std::find(std::begin(kKnownKeys), std::end(kKnownKeys), key) != std::end(kKnownKeys);
}

std::optional<std::string> read_file(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return std::move(buffer).str();
}

std::optional<std::string> string_value(const toml::table& table, std::string_view key) {
  if (const auto* node = table.get(key)) {
    if (const auto* s = node->as_string()) return s->get();
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::string> config::split_rule_list(std::string_view text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t comma = text.find(',', start);
    if (comma == std::string_view::npos) comma = text.size();
    const std::string_view piece = trim_unicode_ws(text.substr(start, comma - start));
    if (!piece.empty()) out.emplace_back(piece);
    start = comma + 1;
  }
  return out;
}

std::optional<config::FileLayer> config::parse_config_text(std::string_view text) {
  if (!is_valid_utf8(text)) return std::nullopt;
  toml::table table;
  try {
    table = toml::parse(text);
  } catch (const toml::parse_error&) {
    return std::nullopt;
  }

  FileLayer layer;
  RawOverrides& o = layer.overrides;
  for (const auto& [key, value] : table) {
    if (!is_known_key(key.str())) layer.unknown_keys.emplace_back(key.str());
  }
  std::sort(layer.unknown_keys.begin(), layer.unknown_keys.end());

  o.journal = string_value(table, "journal");
  o.mode = string_value(table, "mode");
  o.output = string_value(table, "output");
  o.source_root = string_value(table, "source_root");
  o.min_confidence = string_value(table, "min_confidence");
  o.fail_on = string_value(table, "fail_on");
  o.baseline = string_value(table, "baseline");
  o.color = string_value(table, "color");

  if (const auto* node = table.get("ignore_rules")) {
    std::vector<std::string> ids;
    if (const auto* s = node->as_string()) {
      ids = split_rule_list(s->get());
    } else if (const auto* array = node->as_array()) {
      for (const auto& element : *array) {
        if (const auto* item = element.as_string()) {
          const std::string_view piece = trim_unicode_ws(item->get());
          if (!piece.empty()) ids.emplace_back(piece);
        }
      }
    }
    o.ignore_rules = std::move(ids);
  }
  if (const auto* node = table.get("verbose")) {
    if (const auto* b = node->as_boolean()) o.verbose = b->get();
  }
  if (const auto* node = table.get("code_width")) {
    if (const auto* i = node->as_integer()) {
      const std::int64_t value = i->get();
      constexpr std::int64_t kMax = std::numeric_limits<std::uint32_t>::max();
      o.code_width = value < 1 ? 0u : static_cast<std::uint32_t>(std::min(value, kMax));
    }
  }
  if (const auto* node = table.get("severity_overrides")) {
    if (const auto* overrides = node->as_table()) {
      std::vector<std::pair<std::string, std::string>> pairs;
      for (const auto& [key, value] : *overrides) {
        if (const auto* s = value.as_string()) pairs.emplace_back(std::string(key.str()), s->get());
      }
      o.severity_overrides = std::move(pairs);
    }
  }
  return layer;
}

void apply_overrides(ToolConfig& config, const RawOverrides& overrides) {
  if (overrides.journal) config.journal = *overrides.journal;
  if (overrides.source_root) config.source_root = *overrides.source_root;
  if (overrides.baseline) config.baseline = *overrides.baseline;
  if (overrides.mode) {
    config.mode = *overrides.mode == "reviewer" ? ReportMode::Reviewer : ReportMode::Author;
  }
  if (overrides.output) {
    const std::string& o = *overrides.output;
    config.output = o == "json"    ? OutputKind::Json
                    : o == "html"  ? OutputKind::Html
                    : o == "sarif" ? OutputKind::Sarif
                                   : OutputKind::Terminal;
  }
  if (overrides.ignore_rules) {
    config.ignore_rules =
        std::set<std::string>(overrides.ignore_rules->begin(), overrides.ignore_rules->end());
  }
  if (overrides.min_confidence) {
    if (auto level = parse_confidence(*overrides.min_confidence)) config.min_confidence = *level;
  }
  if (overrides.fail_on) {
    if (auto level = parse_severity(*overrides.fail_on)) config.fail_on = *level;
  }
  if (overrides.color) {
    const std::string& c = *overrides.color;
    if (c == "auto") config.color = ColorChoice::Auto;
    if (c == "always") config.color = ColorChoice::Always;
    if (c == "never") config.color = ColorChoice::Never;
  }
  if (overrides.code_width) config.code_width = *overrides.code_width;
  if (overrides.verbose) config.verbose = *overrides.verbose;
  if (overrides.severity_overrides) {
    std::map<std::string, Severity> map;
    for (const auto& [key, value] : *overrides.severity_overrides) {
      const auto severity = parse_severity(ascii_lower(trim_unicode_ws(value)));
      if (severity) map[ascii_upper(trim_unicode_ws(key))] = *severity;
    }
    config.severity_overrides = std::move(map);
  }
}

ToolConfig config::load(const std::filesystem::path& directory,
                        const RawOverrides& caller_overrides) {
  ToolConfig config;
  std::vector<std::string> unknown_keys;
  if (const auto text = read_file(directory / std::string(kConfigFileName))) {
    if (auto layer = parse_config_text(*text)) {
      apply_overrides(config, layer->overrides);
      unknown_keys = std::move(layer->unknown_keys);
    }
  }
  apply_overrides(config, caller_overrides);
  if (!unknown_keys.empty() && config.verbose) {
    std::string line = "\twarning: ";
    line += kConfigFileName;
    line += " has unrecognised keys: ";
    for (std::size_t i = 0; i < unknown_keys.size(); ++i) {
      if (i > 0) line += ", ";
      line += unknown_keys[i];
    }
    line += '\n';
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
  }
  return config;
}

}  // namespace kvt

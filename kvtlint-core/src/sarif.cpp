#include "sarif.hpp"

#include <algorithm>
#include <system_error>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

#include "json_output.hpp"
#include "text.hpp"

namespace kvt::sarif {

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

json text_object(std::string_view text) {
  json out = json::object();
  out["text"] = std::string(text);
  return out;
}

// The components that carry meaning: the empty piece a trailing separator
// leaves and every "." are dropped.
std::vector<fs::path> components(const fs::path& path) {
  std::vector<fs::path> parts;
  for (const fs::path& part : path) {
    if (part.empty() || part == ".") continue;
    parts.push_back(part);
  }
  return parts;
}

fs::path join(const std::vector<fs::path>& parts, std::size_t count) {
  fs::path out;
  for (std::size_t i = 0; i < count; ++i)
    out /= parts[i];
  return out;
}

bool is_root(const fs::path& part) {
  return part.has_root_directory() && !part.has_filename();
}

// "." dropped, ".." removes the name before it (a ".." right after the root is dropped).
fs::path normalise_lexically(const std::vector<fs::path>& parts) {
  std::vector<fs::path> kept;
  for (const fs::path& part : parts) {
    if (part == "..") {
      if (!kept.empty() && kept.back() != ".." && !kept.back().has_root_name() &&
          !is_root(kept.back())) {
        kept.pop_back();
        continue;
      }
      if (!kept.empty() && is_root(kept.back())) continue;
    }
    kept.push_back(part);
  }
  return join(kept, kept.size());
}

// Resolves paths against one source root, remembering each file's URI: a
// report names few files many times over, and every resolution costs system calls.
class Relativiser {
 public:
  explicit Relativiser(std::string_view source_root)
      : root_(source_root), base_(components(resolve_path(root_))) {}

  const std::string& uri(const std::string& file) {
    auto found = cache_.find(file);
    if (found == cache_.end()) found = cache_.emplace(file, compute(file)).first;
    return found->second;
  }

  std::string compute(std::string_view file) const {
    const fs::path given(file);
    const auto target =
        components(given.is_absolute() ? resolve_path(given) : resolve_path(root_ / given));
    std::size_t common = 0;
    while (common < base_.size() && common < target.size() && base_[common] == target[common])
      ++common;
    fs::path relative;
    for (std::size_t i = common; i < base_.size(); ++i)
      relative /= "..";
    for (std::size_t i = common; i < target.size(); ++i)
      relative /= target[i];
    if (relative.empty()) return ".";
    return as_posix(relative);
  }

 private:
  fs::path root_;
  std::vector<fs::path> base_;
  std::unordered_map<std::string, std::string> cache_;
};

json location_with_uri(const Violation& violation, const std::string& uri) {
  json region = json::object();
  region["startLine"] = violation.line;
  if (violation.column) region["startColumn"] = *violation.column;
  json physical = json::object();
  physical["artifactLocation"] = json{{"uri", uri}};
  physical["region"] = std::move(region);
  json out = json::object();
  out["physicalLocation"] = std::move(physical);
  return out;
}

json fix_value(const Fix& fix, const std::string& uri) {
  // Fix offsets count characters of the source, not bytes, so the region is
  // given in SARIF's character terms. A reversed span deletes nothing.
  json deleted = json::object();
  deleted["charOffset"] = fix.start;
  deleted["charLength"] = fix.end >= fix.start ? fix.end - fix.start : 0;
  json replacement = json::object();
  replacement["deletedRegion"] = std::move(deleted);
  replacement["insertedContent"] = text_object(fix.replacement);
  json change = json::object();
  change["artifactLocation"] = json{{"uri", uri}};
  change["replacements"] = json::array({std::move(replacement)});
  json out = json::object();
  out["artifactChanges"] = json::array({std::move(change)});
  out["description"] = text_object(fix.description);
  return out;
}

json result_with_uri(const Violation& violation, const std::string& uri) {
  json out = json::object();
  if (violation.fix) out["fixes"] = json::array({fix_value(*violation.fix, uri)});
  out["level"] = std::string(level_text(violation.severity));
  out["locations"] = json::array({location_with_uri(violation, uri)});
  out["message"] = text_object(violation.message);
  out["ruleId"] = violation.rule_id;
  return out;
}

json notification_with_uri(const Violation& violation, const std::string& uri) {
  json out = json::object();
  out["descriptor"] = json{{"id", std::string(kParseRuleId)}};
  out["level"] = "error";
  out["locations"] = json::array({location_with_uri(violation, uri)});
  out["message"] = text_object(violation.message);
  return out;
}

bool sarif_order(const Violation* a, const Violation* b) {
  if (const int c = a->file.compare(b->file); c != 0) return c < 0;
  if (a->line != b->line) return a->line < b->line;
  const std::uint32_t ca = a->column.value_or(0);
  const std::uint32_t cb = b->column.value_or(0);
  if (ca != cb) return ca < cb;
  return a->rule_id.compare(b->rule_id) < 0;
}

}  // namespace

std::string_view level_text(Severity severity) {
  switch (severity) {
    case Severity::Error:
      return "error";
    case Severity::Warning:
      return "warning";
    case Severity::Info:
      return "note";
  }
  return "warning";
}

json location_value(const Violation& violation, std::string_view source_root) {
  return location_with_uri(violation, relativise(violation.file, source_root));
}

json result_value(const Violation& violation, std::string_view source_root) {
  return result_with_uri(violation, relativise(violation.file, source_root));
}

json notification_value(const Violation& violation, std::string_view source_root) {
  return notification_with_uri(violation, relativise(violation.file, source_root));
}

json rule_descriptor(const RuleMeta& rule) {
  const std::string id(rule.id);
  std::string short_text(rule.title);
  if (!rule.section.empty() && rule.section != "internal") {
    short_text += " (";
    short_text += rule.section;
    short_text += ')';
  }
  const RecallStat measured = recall(rule.id);
  const std::uint64_t n = static_cast<std::uint64_t>(measured.tp) + measured.fn;
  const std::uint32_t min_n = recall_run().min_plants;
  const char* state = n == 0 ? "unmeasured" : n < min_n ? "limited" : "measured";
  json recall_object = json::object();
  recall_object["state"] = state;
  recall_object["tp"] = measured.tp;
  recall_object["fn"] = measured.fn;
  recall_object["percent"] = n != 0 && n >= min_n ? json(measured.percent()) : json(nullptr);

  json properties = json::object();
  properties["tags"] = json::array({std::string(rule.category)});
  properties["confidence"] = std::string(confidence_text(rule.confidence));
  properties["recall"] = std::move(recall_object);

  json out = json::object();
  out["id"] = id;
  out["name"] = id;
  out["shortDescription"] = text_object(short_text);
  out["fullDescription"] = text_object(rule.title);
  out["defaultConfiguration"] = json{{"level", std::string(level_text(rule.severity))}};
  out["properties"] = std::move(properties);
  if (rule.url) out["helpUri"] = std::string(*rule.url);
  return out;
}

json parse_rule_descriptor() {
  json recall_object = json::object();
  recall_object["state"] = "unmeasured";
  recall_object["tp"] = 0;
  recall_object["fn"] = 0;
  recall_object["percent"] = nullptr;
  json properties = json::object();
  properties["tags"] = json::array({"parse"});
  properties["confidence"] = nullptr;
  properties["recall"] = std::move(recall_object);

  json out = json::object();
  out["id"] = std::string(kParseRuleId);
  out["name"] = std::string(kParseRuleId);
  out["shortDescription"] = text_object("Parser failed to process the input file.");
  out["fullDescription"] = text_object(
      "Emitted when the parser could not analyse a file. The file is reported under "
      "runs[0].invocations[0].toolExecutionNotifications rather than runs[0].results.");
  out["defaultConfiguration"] = json{{"level", "error"}};
  out["properties"] = std::move(properties);
  return out;
}

json catalogue_rules() {
  std::vector<std::pair<std::string, json>> descriptors;
  for (const RuleMeta& rule : catalogue())
    descriptors.emplace_back(std::string(rule.id), rule_descriptor(rule));
  descriptors.emplace_back(std::string(kParseRuleId), parse_rule_descriptor());
  std::stable_sort(descriptors.begin(), descriptors.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  json out = json::array();
  for (auto& [id, descriptor] : descriptors)
    out.push_back(std::move(descriptor));
  return out;
}

namespace {

// The log with an empty results array, and what it takes to fill that array.
struct Assembly {
  json log;
  std::vector<const Violation*> findings;
  Relativiser paths;

  json result(std::size_t i) { return result_with_uri(*findings[i], paths.uri(findings[i]->file)); }
  json& results() { return log["runs"][0]["results"]; }
};

void assemble(const ComplianceReport& report, Assembly& into) {
  std::vector<const Violation*> problems;
  for (const Violation& violation : report.violations)
    (violation.rule_id == kParseRuleId ? problems : into.findings).push_back(&violation);
  for (auto* list : {&problems, &into.findings}) {
    if (!std::is_sorted(list->begin(), list->end(), sarif_order))
      std::stable_sort(list->begin(), list->end(), sarif_order);
  }

  json notifications = json::array();
  for (const Violation* violation : problems)
    notifications.push_back(notification_with_uri(*violation, into.paths.uri(violation->file)));

  json invocation = json::object();
  invocation["executionSuccessful"] = true;
  invocation["toolExecutionNotifications"] = std::move(notifications);

  json driver = json::object();
  driver["informationUri"] = std::string(kInformationUri);
  driver["name"] = "kvt-lint";
  driver["rules"] = catalogue_rules();
  driver["version"] = report.tool_version;

  json run = json::object();
  run["invocations"] = json::array({std::move(invocation)});
  run["results"] = json::array();
  run["tool"] = json{{"driver", std::move(driver)}};

  into.log = json::object();
  into.log["$schema"] = std::string(kSchemaUri);
  into.log["runs"] = json::array({std::move(run)});
  into.log["version"] = "2.1.0";
}

}  // namespace

json to_payload(const ComplianceReport& report, const ToolConfig& config) {
  Assembly assembly{json(), {}, Relativiser(config.source_root)};
  assemble(report, assembly);
  json& results = assembly.results();
  results.get_ref<json::array_t&>().reserve(assembly.findings.size());
  for (std::size_t i = 0; i < assembly.findings.size(); ++i)
    results.push_back(assembly.result(i));
  return std::move(assembly.log);
}

std::string render(const ComplianceReport& report, const ToolConfig& config) {
  Assembly assembly{json(), {}, Relativiser(config.source_root)};
  assemble(report, assembly);
  const json_output::StreamedArray results{&assembly.results(), assembly.findings.size(),
                                           [&](std::size_t i) { return assembly.result(i); }};
  std::string out;
  out.reserve(64 * 1024 + report.violations.size() * 768);
  json_output::write_value(assembly.log, 0, out, results);
  out += '\n';
  return out;
}

std::string relativise(std::string_view path, std::string_view source_root) {
  return Relativiser(source_root).compute(path);
}

fs::path resolve_path(const fs::path& path) {
  std::error_code ec;
  if (fs::path canonical = fs::canonical(path, ec); !ec) return canonical;

  fs::path absolute = path;
  if (!path.is_absolute()) {
    fs::path cwd = fs::current_path(ec);
    if (ec) cwd.clear();
    absolute = cwd / path;
  }
  // Walk up to the deepest ancestor that exists and put the rest back on it.
  const auto parts = components(absolute);
  std::size_t kept = parts.size();
  while (kept > 0) {
    const fs::path& last = parts[kept - 1];
    if (last == ".." || is_root(last) || last.has_root_name()) break;
    --kept;
    if (kept == 0) break;
    fs::path ancestor = fs::canonical(join(parts, kept), ec);
    if (!ec) {
      for (std::size_t i = kept; i < parts.size(); ++i)
        ancestor /= parts[i];
      return ancestor;
    }
  }
  return normalise_lexically(parts);
}

std::string as_posix(const fs::path& path) {
  std::string out;
  for (const fs::path& part : path) {
    std::string piece = part.string();
    if (piece.empty()) continue;
    if (is_root(part)) {
      out = piece;
      continue;
    }
    if (piece == "." && !out.empty()) continue;
    if (!out.empty() && out.back() != '/') out += '/';
    out += piece;
  }
  return sanitize_utf8(out);
}

}  // namespace kvt::sarif

// kvt-lint: the command authors and editors run. A second door onto the same
// core as the Python module: it reads the files, expands directories, and goes
// through the same lint-and-render pipeline, so its report for a submission is
// byte-for-byte the module's.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>
#include "catalogue.hpp"
#include "config.hpp"
#include "coverage.hpp"

#include "json_output.hpp"
#include "pipeline.hpp"
#include "terminal.hpp"
#include "text.hpp"
#include "version.hpp"

namespace fs = std::filesystem;

namespace {

constexpr int kExitClean = 0;
constexpr int kExitFindings = 1;
constexpr int kExitUsage = 2;

constexpr std::string_view kUsage = R"(usage: kvt-lint [OPTIONS] PATH...
       kvt-lint coverage [--format table|json]
       kvt-lint rules [--format table|json]

Lints a submission to the Journal of Ordinal Kinetics: .tex, .ltx, .Rnw, .Rmd
and .bib files. Directories are searched recursively (hidden and build folders
are skipped); all files are linted together, so cross-file rules see the whole
submission. Settings come from .kvt-lint.toml in the current directory; options
given here override them.

options:
  --format FORMAT        terminal (default), json, sarif or html
  --mode MODE            author (default) or reviewer
  --ignore IDS           comma-separated rule ids to skip
  --min-confidence LVL   low, medium or high: skip rules below it
  --fail-on SEVERITY     error, warning (default) or info: the lowest severity
                         that makes the exit code 1
  --source-root DIR      root for the relative paths of SARIF output
  --verbose              list skipped rules; warn about unknown config keys
  -o, --output FILE      write the report to FILE instead of standard output
  --version              print the tool, engine and rule-set versions
  -h, --help             show this help

exit codes: 0 no finding at or above the fail-on severity, 1 such findings,
            2 usage or input error
)";

constexpr std::string_view kManuscriptExtensions[] = {".tex", ".ltx", ".rnw", ".rmd", ".bib"};
constexpr std::string_view kSkippedDirectories[] = {"build", "_build", "dist", "node_modules",
                                                    "__pycache__"};

struct UsageError {
  std::string message;
};

void print_error(std::string_view message) {
  std::cerr << "kvt-lint: error: " << message << '\n';
}

bool is_manuscript(const fs::path& path) {
  const std::string name = kvt::ascii_lower(path.filename().string());
  if (name.size() < 4) return false;
  const std::string_view ext = std::string_view(name).substr(name.size() - 4);
  return std::find(std::begin(kManuscriptExtensions), std::end(kManuscriptExtensions), ext) !=
         std::end(kManuscriptExtensions);
}

bool is_skipped_directory(const fs::path& path) {
  const std::string name = path.filename().string();
  if (name.size() > 1 && name[0] == '.') return true;
  return std::find(std::begin(kSkippedDirectories), std::end(kSkippedDirectories), name) !=
         std::end(kSkippedDirectories);
}

// The manuscripts under `root`, in byte order of their paths.
std::vector<std::string> expand_directory(const fs::path& root) {
  std::vector<std::string> found;
  std::error_code ec;
  fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec);
  for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const fs::directory_entry& entry = *it;
    std::error_code type_ec;
    if (entry.is_directory(type_ec)) {
      if (is_skipped_directory(entry.path())) it.disable_recursion_pending();
      continue;
    }
    if (entry.is_regular_file(type_ec) && is_manuscript(entry.path())) {
      fs::path shown = root == "." ? entry.path().lexically_relative(".") : entry.path();
      found.push_back(shown.generic_string());
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

std::optional<std::string> read_whole_file(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read " + path;
    return std::nullopt;
  }
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) {
    error = "cannot read " + path;
    return std::nullopt;
  }
  std::string text = std::move(buffer).str();
  if (!kvt::is_valid_utf8(text)) {
    std::size_t offset = 0;
    while (offset < text.size()) {
      const std::size_t before = offset;
      const char32_t c = kvt::decode_utf8_at(text, offset);
      if (c == 0xFFFD && offset == before + 1 && static_cast<unsigned char>(text[before]) >= 0x80) {
        offset = before;
        break;
      }
    }
    error = path + " is not valid UTF-8 (invalid byte at offset " + std::to_string(offset) + ")";
    return std::nullopt;
  }
  return text;
}

bool write_output(const std::optional<std::string>& output_path, const std::string& text) {
  if (!output_path) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0;
  }
  std::ofstream out(*output_path, std::ios::binary);
  out << text;
  out.close();
  if (!out) {
    print_error("cannot write " + *output_path);
    return false;
  }
  return true;
}

std::string version_text() {
  const kvt::RuleSetInfo rule_set = kvt::rule_set();
  std::string out;
  out += "tool: " + std::string(kvt::kToolVersion) + "\n";
  out += "engine: " + std::string(kvt::kEngineTag) + "\n";
  out += "rulesetVersion: " + rule_set.version.value_or("none") + "\n";
  out += "guideSource: " + rule_set.guide_source().value_or("none") + "\n";
  return out;
}

std::string join(const std::vector<std::string_view>& items, std::string_view separator) {
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out += separator;
    out += items[i];
  }
  return out;
}

std::string coverage_report(bool json) {
  const auto table = kvt::coverage::table();
  if (json) {
    nlohmann::json directives = nlohmann::json::array();
    for (const kvt::CoverageDirectiveData& d : table) {
      nlohmann::json rules = nlohmann::json::array();
      for (std::string_view id : d.rules())
        rules.push_back(std::string(id));
      directives.push_back({{"id", std::string(d.id)},
                            {"source", std::string(d.source)},
                            {"section", std::string(d.section)},
                            {"status", std::string(d.status)},
                            {"rules", std::move(rules)},
                            {"text", std::string(d.text)},
                            {"reason", std::string(d.reason)}});
    }
    const kvt::coverage::Counts counts = kvt::coverage::counts(table);
    const nlohmann::json payload = {{"counts",
                                     {{"checked", counts.checked},
                                      {"partial", counts.partial},
                                      {"not_checked", counts.not_checked},
                                      {"out_of_scope", counts.out_of_scope}}},
                                    {"directives", std::move(directives)}};
    std::string out;
    kvt::json_output::write_value(payload, 0, out);
    out += '\n';
    return out;
  }
  const kvt::terminal::Column columns[] = {{"Directive", true, false},
                                           {"Source", true, false},
                                           {"Status", true, false},
                                           {"Rules", false, false},
                                           {"Provision", false, false}};
  std::vector<kvt::terminal::Row> rows;
  for (const kvt::CoverageDirectiveData& d : table) {
    std::string status(d.status);
    std::replace(status.begin(), status.end(), '_', ' ');
    rows.push_back({std::string(d.id), std::string(d.source), status, join(d.rules(), "\n"),
                    std::string(d.text)});
  }
  return kvt::terminal::render_table(std::string("Guide provisions"), columns, rows) +
         kvt::coverage::counts_line(table) + "\n";
}

std::string rules_report(bool json) {
  if (json) {
    nlohmann::json rules = nlohmann::json::array();
    for (const kvt::RuleMeta& rule : kvt::catalogue()) {
      nlohmann::json formats = nlohmann::json::array();
      for (std::string_view f : rule.format_list())
        formats.push_back(std::string(f));
      rules.push_back({{"id", std::string(rule.id)},
                       {"category", std::string(rule.category)},
                       {"severity", std::string(kvt::severity_text(rule.severity))},
                       {"confidence", std::string(kvt::confidence_text(rule.confidence))},
                       {"title", std::string(rule.title)},
                       {"description", std::string(rule.description)},
                       {"section", std::string(rule.section)},
                       {"formats", std::move(formats)},
                       {"url", rule.url ? nlohmann::json(std::string(*rule.url)) : nullptr}});
    }
    std::string out;
    kvt::json_output::write_value(rules, 0, out);
    out += '\n';
    return out;
  }
  const kvt::terminal::Column columns[] = {{"Rule", true, false},
                                           {"Category", true, false},
                                           {"Severity", true, false},
                                           {"Confidence", true, false},
                                           {"Title", false, false}};
  std::vector<kvt::terminal::Row> rows;
  for (const kvt::RuleMeta& rule : kvt::catalogue()) {
    rows.push_back({std::string(rule.id), std::string(rule.category),
                    std::string(kvt::severity_text(rule.severity)),
                    std::string(kvt::confidence_text(rule.confidence)), std::string(rule.title)});
  }
  return kvt::terminal::render_table(std::string("Rules"), columns, rows);
}

// Reads `--name value` or `--name=value`; advances `i` past a separate value.
std::optional<std::string> option_value(const std::vector<std::string>& args, std::size_t& i,
                                        std::string_view name) {
  const std::string& arg = args[i];
  if (arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 &&
      arg[name.size()] == '=') {
    return arg.substr(name.size() + 1);
  }
  if (arg != name) return std::nullopt;
  if (i + 1 >= args.size()) throw UsageError{"option " + std::string(name) + " needs a value"};
  return args[++i];
}

std::string checked_choice(const std::string& value, std::string_view option,
                           std::initializer_list<std::string_view> choices) {
  for (std::string_view choice : choices) {
    if (value == choice) return value;
  }
  std::string list;
  for (std::string_view choice : choices)
    list += (list.empty() ? "" : ", ") + std::string(choice);
  throw UsageError{"invalid value for " + std::string(option) + ": '" + value + "' (choose from " +
                   list + ")"};
}

int subcommand(const std::vector<std::string>& args, bool coverage) {
  bool json = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "-h" || args[i] == "--help") {
      std::cout << kUsage;
      return kExitClean;
    }
    if (auto value = option_value(args, i, "--format")) {
      json = checked_choice(*value, "--format", {"table", "terminal", "json"}) == "json";
      continue;
    }
    throw UsageError{"unexpected argument '" + args[i] + "'"};
  }
  const std::string text = coverage ? coverage_report(json) : rules_report(json);
  return write_output(std::nullopt, text) ? kExitClean : kExitUsage;
}

int lint(const std::vector<std::string>& args) {
  kvt::RawOverrides overrides;
  std::optional<std::string> output_path;
  std::vector<std::string> inputs;
  bool only_paths = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (only_paths || arg.empty() || arg[0] != '-' || arg == "-") {
      inputs.push_back(arg);
      continue;
    }
    if (arg == "--") {
      only_paths = true;
    } else if (arg == "-h" || arg == "--help") {
      std::cout << kUsage;
      return kExitClean;
    } else if (arg == "--version") {
      std::cout << version_text();
      return kExitClean;
    } else if (arg == "--verbose") {
      overrides.verbose = true;
    } else if (auto format = option_value(args, i, "--format")) {
      overrides.output = checked_choice(*format, "--format", {"terminal", "json", "sarif", "html"});
    } else if (auto mode = option_value(args, i, "--mode")) {
      overrides.mode = checked_choice(*mode, "--mode", {"author", "reviewer"});
    } else if (auto ids = option_value(args, i, "--ignore")) {
      overrides.ignore_rules = kvt::config::split_rule_list(*ids);
    } else if (auto level = option_value(args, i, "--min-confidence")) {
      overrides.min_confidence =
          checked_choice(*level, "--min-confidence", {"low", "medium", "high"});
    } else if (auto severity = option_value(args, i, "--fail-on")) {
      overrides.fail_on = checked_choice(*severity, "--fail-on", {"error", "warning", "info"});
    } else if (auto root = option_value(args, i, "--source-root")) {
      overrides.source_root = *root;
    } else if (arg == "-o") {
      if (i + 1 >= args.size()) throw UsageError{"option -o needs a value"};
      output_path = args[++i];
    } else if (auto file = option_value(args, i, "--output")) {
      output_path = *file;
    } else {
      throw UsageError{"unknown option '" + arg + "'"};
    }
  }
  if (inputs.empty()) throw UsageError{"no input files or directories given"};

  std::vector<std::string> paths;
  for (const std::string& input : inputs) {
    std::error_code ec;
    if (fs::is_directory(input, ec)) {
      std::vector<std::string> found = expand_directory(input);
      if (found.empty()) {
        std::cerr << "kvt-lint: warning: no .tex, .ltx, .Rnw, .Rmd or .bib files under " << input
                  << '\n';
      }
      paths.insert(paths.end(), found.begin(), found.end());
    } else if (fs::exists(input, ec)) {
      paths.push_back(input);
    } else {
      print_error("no such file or directory: " + input);
      return kExitUsage;
    }
  }

  // Read everything before linting anything, so an unreadable file stops the
  // run without a partial report.
  std::vector<kvt::SourceFile> files;
  files.reserve(paths.size());
  for (const std::string& path : paths) {
    std::string error;
    auto contents = read_whole_file(path, error);
    if (!contents) {
      print_error(error);
      return kExitUsage;
    }
    files.push_back({path, std::move(*contents)});
  }

  const kvt::LintOutcome outcome = kvt::lint_and_render(files, overrides);
  if (outcome.error) {
    print_error(outcome.error->message);
    return kExitUsage;
  }
  if (!write_output(output_path, outcome.text)) return kExitUsage;
  const bool failing =
      std::any_of(outcome.report.violations.begin(), outcome.report.violations.end(),
                  [&](const kvt::Violation& v) { return v.severity <= outcome.config.fail_on; });
  return failing ? kExitFindings : kExitClean;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (!args.empty() && (args[0] == "coverage" || args[0] == "rules")) {
      return subcommand(args, args[0] == "coverage");
    }
    return lint(args);
  } catch (const UsageError& e) {
    print_error(e.message);
    std::cerr << "try 'kvt-lint --help' for usage\n";
    return kExitUsage;
  } catch (const std::exception& e) {
    print_error(std::string("internal error: ") + e.what());
    return kExitUsage;
  }
}

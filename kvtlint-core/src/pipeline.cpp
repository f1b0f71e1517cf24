#include "pipeline.hpp"

#include <filesystem>
#include <variant>

#include "engine.hpp"
#include "html_output.hpp"
#include "json_output.hpp"
#include "sarif.hpp"
#include "terminal.hpp"

namespace kvt {

std::string render_report(const ComplianceReport& report, const ToolConfig& config) {
  switch (config.output) {
    case OutputKind::Json:
      return json_output::render(report);
    case OutputKind::Html:
      return html_output::render(report, config.mode == ReportMode::Reviewer);
    case OutputKind::Sarif:
      return sarif::render(report, config);
    case OutputKind::Terminal:
      break;
  }
  return terminal::render(report, config);
}

LintOutcome lint_and_render(const std::vector<SourceFile>& files, const RawOverrides& overrides) {
  LintOutcome outcome;
  auto parsed = ParsedDocument::from_sources(files);
  if (auto* failure = std::get_if<EngineError>(&parsed)) {
    outcome.error = std::move(*failure);
    return outcome;
  }
  std::error_code ec;
  std::filesystem::path cwd = std::filesystem::current_path(ec);
  if (ec) cwd = ".";
  outcome.config = config::load(cwd, overrides);
  outcome.report = engine::run(outcome.config, std::get<ParsedDocument>(parsed));
  outcome.text = render_report(outcome.report, outcome.config);
  return outcome;
}

}  // namespace kvt

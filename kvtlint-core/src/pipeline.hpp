// One lint pass from in-memory files to the rendered report: intake,
// configuration from the working directory, the engine, the configured
// renderer. The module and the command both go through here, so they produce
// the same text for the same files and options.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config.hpp"
#include "document.hpp"
#include "report.hpp"

namespace kvt {

struct LintOutcome {
  std::optional<EngineError> error;  // unsupported extension; nothing else ran
  ToolConfig config;
  ComplianceReport report;
  std::string text;  // the rendered report
};

LintOutcome lint_and_render(const std::vector<SourceFile>& files, const RawOverrides& overrides);

// Dispatches on the configured output kind.
std::string render_report(const ComplianceReport& report, const ToolConfig& config);

}  // namespace kvt

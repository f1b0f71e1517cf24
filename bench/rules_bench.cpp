// Times every registered TeX rule on two large manuscripts: one of ordinary
// paragraphs, sections, tables and code, and one written as a single line of
// the same prose (machine-generated sources look like that), where any work
// per finding that grows with the line shows at once.
#include <chrono>
#include <cstdio>
#include <string>

#include "registry.hpp"
#include "tex/parser.hpp"

namespace {

std::string ordinary_manuscript(std::size_t paragraphs) {
  std::string text = "\\documentclass[article]{kvt}\n\\begin{document}\n";
  for (std::size_t i = 0; i < paragraphs; ++i) {
    if (i % 20 == 0) text += "\\section{Models with \\pkg{zoo} in \\proglang{R}}\n";
    text +=
        "We fit the model in R and compare it with Python, calling summary() and\n"
        "checking that the result is not NULL; see panel C and groups A, B and C, the\n"
        "sandwich estimator of \\citet[p.~3]{Zeileis2004} and \\texttt{lm} in Caf\\'e.\n";
    if (i % 25 == 0)
      text += "\\begin{tabular}{ll}\n  A & R \\\\\n  Stata & C \\\\\n\\end{tabular}\n";
    if (i % 30 == 0) text += "\\begin{Sinput}\nR> fit <- lm(y ~ x, data = d)\n\\end{Sinput}\n";
    text += "\n";
  }
  return text + "\\end{document}\n";
}

std::string one_line_manuscript(std::size_t sentences) {
  std::string text;
  for (std::size_t i = 0; i < sentences; ++i)
    text +=
        "We fit the model in R and C with summary() and NULL, panel C and groups A, B "
        "and C. ";
  return text;
}

void time_rules(const char* label, const std::string& source) {
  const kvt::ParsedTex tex = kvt::parse_tex_source(source);
  std::printf("%s: %zu characters\n", label, tex.chars.size());
  for (const kvt::TexRuleEntry& rule : kvt::tex_rules()) {
    const auto start = std::chrono::steady_clock::now();
    const auto found = rule.check("bench.tex", tex, 80);
    const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
    std::printf("  %-16s %8.3f s  %8zu findings\n", std::string(rule.rule_id).c_str(),
                spent.count(), found.size());
  }
}

}  // namespace

void run_rules_bench() {
  time_rules("rules, ordinary manuscript", ordinary_manuscript(5000));
  time_rules("rules, one long line", one_line_manuscript(20000));
}

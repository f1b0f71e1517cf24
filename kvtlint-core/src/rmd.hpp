// R Markdown (.Rmd) front-end: checks the YAML front matter, skips fenced code
// blocks, and parses every prose paragraph, with its Markdown-only constructs
// blanked, as a small TeX document numbered in the lines of the .Rmd file.
// Structural problems of the file become KVT-PARSE-000 findings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "document.hpp"
#include "regex.hpp"
#include "report.hpp"

namespace kvt {

ParsedRmdFileDoc parse_rmd_source(std::string_view path, std::string_view text);

// `text` with every match of `pattern` blanked (characters to spaces, line feeds kept).
std::string regex_blank(const Regex& pattern, std::string_view text);

// One prose paragraph with its Markdown-only constructs (HTML comments, links,
// URLs, inline R and code, bold and italic spans) blanked, in that order.
std::string blank_markdown(std::string_view paragraph);

// Every character becomes one space, except line feeds.
std::string blank_preserving_newlines(std::string_view text);

// A KVT-PARSE-000 finding: the given line, no column, suggestion or fix.
Violation parse_violation(std::string_view file, std::uint32_t line, Severity severity,
                          std::string_view message);

}  // namespace kvt

// The rule registry: which function implements each rule id, and how the
// engine runs it. A new rule is one function in its family's file and one row
// in the matching table of registry.cpp.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bib/model.hpp"
#include "config.hpp"
#include "report.hpp"
#include "tex/node.hpp"
#include "tex/position.hpp"

namespace kvt {

// The top-level node lists of all TeX-like documents of a run, and their
// (path, LineIndex) pairs, in the same order.
using TexNodeLists = std::vector<const std::vector<Node>*>;
using TexLineIndexes = std::vector<std::pair<std::string_view, const LineIndex*>>;
// (path, parse) of all TeX-like documents of a run.
using TexDocuments = std::vector<std::pair<std::string_view, const ParsedTex*>>;

// Called once per selected TeX-like document.
using TexRuleFn = std::vector<Violation> (*)(const std::string& path, const ParsedTex& tex,
                                             std::uint32_t code_width);
// Called once per .bib file.
using BibRuleFn = std::vector<Violation> (*)(const std::string& path, const std::u32string& chars,
                                             const Library& library, const TexNodeLists& tex_nodes,
                                             const TexLineIndexes& tex_lines,
                                             const DoiLookup& doi_lookup);
// Called once per run over every TeX-like document.
using CrossDocumentRuleFn = std::vector<Violation> (*)(const TexDocuments& documents);

struct TexRuleEntry {
  std::string_view rule_id;
  TexRuleFn check;
  bool requires_tex_file;  // skipped for format mismatch without a .tex/.ltx/.Rnw input
  bool runs_on_rmd;        // also runs on the TeX-like fragments of R Markdown documents
};

struct BibRuleEntry {
  std::string_view rule_id;
  BibRuleFn check;
};

struct CrossDocumentRuleEntry {
  std::string_view rule_id;
  CrossDocumentRuleFn check;
};

std::span<const TexRuleEntry> tex_rules();                       // TEX_RULES
std::span<const BibRuleEntry> bib_rules();                       // BIB_RULES
std::span<const CrossDocumentRuleEntry> cross_document_rules();  // the cross-document list

}  // namespace kvt

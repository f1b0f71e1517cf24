#include "engine.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>
#include <unordered_map>

#include "bib/parser.hpp"
#include "catalogue.hpp"
#include "coverage.hpp"
#include "errors.hpp"
#include "rmd.hpp"
#include "rnw.hpp"
#include "suppress.hpp"
#include "tex/parser.hpp"
#include "text.hpp"
#include "version.hpp"

namespace kvt {

namespace {

constexpr CategoryInfo kCategories[] = {
    {"preamble", "Preamble"},       {"structure", "Structure"},
    {"markup", "Markup"},           {"citations", "Citations"},
    {"references", "References"},   {"bibtex", "BibTeX"},
    {"naming", "Naming"},           {"capitalization", "Capitalization"},
    {"typography", "Typography"},   {"abbreviations", "Abbreviations"},
    {"code_style", "Code style"},   {"code_width", "Code width"},
    {"operators", "Operators"},     {"crossrefs", "Cross-references"},
    {"house_style", "House style"}, {"project", "Project"},
};

constexpr std::string_view kProjectRuleIds[] = {"KVT-PROJECT-001", "KVT-PROJECT-002"};

std::size_t category_index(std::string_view key) {
  for (std::size_t i = 0; i < std::size(kCategories); ++i) {
    if (kCategories[i].key == key) return i;
  }
  return std::numeric_limits<std::size_t>::max();
}

bool ends_with(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::string_view file_name_of(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

ParsedTexFileDoc tex_file_doc(std::string path, ParsedTex tex) {
  ParsedTexFileDoc doc;
  doc.path = std::move(path);
  doc.line_index = tex.line_index();
  doc.tex = std::move(tex);
  return doc;
}

// Per-category bookkeeping of one run.
struct CategoryTally {
  std::uint32_t applied = 0;
  std::uint32_t passed = 0;
  std::vector<Violation> violations;
};

class Run {
 public:
  Run(const ToolConfig& config, const ParsedDocument& document,
      const engine::ViolationFilter* filter)
      : config_(config), document_(document), filter_(filter) {
    for (const ParsedTexFileDoc* doc : document.all_tex_like_docs()) {
      tex_like_.push_back(doc);
      node_lists_.push_back(&doc->tex.nodes);
      line_indexes_.emplace_back(doc->path, &doc->line_index);
      tex_documents_.emplace_back(doc->path, &doc->tex);
    }
    for (const ParsedRmdFileDoc& rmd : document.rmd_files) {
      for (const ParsedTexFileDoc& fragment : rmd.fragments)
        rmd_fragments_.push_back(&fragment);
    }
    suppression_ = build_suppression_index(document);
  }

  void run_rules(std::span<const engine::OrderedRule> rules) {
    const std::size_t tex_count = document_.tex_files.size();
    const std::size_t bib_count = document_.bib_files.size();
    const std::size_t rmd_count = document_.rmd_files.size();
    for (const auto& [rule_id, action] : rules) {
      if (config_.ignore_rules.count(std::string(rule_id))) continue;
      const RuleMeta* meta = lookup(rule_id);
      const Confidence confidence = meta != nullptr ? meta->confidence : Confidence::High;
      if (confidence < config_.min_confidence) {
        skipped_.push_back(
            {std::string(rule_id),
             "confidence " + std::string(confidence_text(confidence)) +
                 " below min_confidence=" + std::string(confidence_text(config_.min_confidence))});
        continue;
      }
      if (tex_count > 0 || bib_count > 0) {
        switch (action.kind) {
          case RuleAction::Kind::CrossDocument:
            finish(rule_id, run_cross_document_rule(*action.cross_document));
            break;
          case RuleAction::Kind::Tex:
            if (tex_count == 0 && action.tex->requires_tex_file) {
              format_mismatch(rule_id);
            } else {
              finish(rule_id, run_tex_rule(*action.tex,
                                           action.tex->runs_on_rmd ? tex_like_ : tex_files_only()));
            }
            break;
          case RuleAction::Kind::Bib:
            finish(rule_id, run_bib_rule(*action.bib));
            break;
        }
        continue;
      }
      switch (action.kind) {
        case RuleAction::Kind::Tex:
          if (rmd_count > 0 && !action.tex->requires_tex_file) {
            finish(rule_id, action.tex->runs_on_rmd ? run_tex_rule(*action.tex, rmd_fragments_)
                                                    : std::vector<Violation>{});
          } else {
            format_mismatch(rule_id);
          }
          break;
        case RuleAction::Kind::CrossDocument:
          if (rmd_count > 0) finish(rule_id, run_cross_document_rule(*action.cross_document));
          break;
        case RuleAction::Kind::Bib:
          if (rmd_count > 0) finish(rule_id, {});
          break;
      }
    }
  }

  void run_project_rules(const engine::ProjectFindings* project_findings) {
    if (document_.tex_files.empty() && document_.bib_files.empty() && document_.rmd_files.empty()) {
      return;
    }
    for (std::size_t i = 0; i < std::size(kProjectRuleIds); ++i) {
      const std::string_view rule_id = kProjectRuleIds[i];
      if (config_.ignore_rules.count(std::string(rule_id))) continue;
      std::vector<Violation> findings;
      if (project_findings != nullptr) {
        findings = i == 0 ? project_findings->first : project_findings->second;
      }
      finish(rule_id, std::move(findings));
    }
  }

  ComplianceReport build_report() {
    ComplianceReport report;
    for (const CategoryInfo& category : kCategories) {
      CategorySummary summary;
      summary.category_id = std::string(category.key);
      summary.title = std::string(category.title);
      const auto it = tallies_.find(category.key);
      if (it != tallies_.end()) {
        summary.rules_applied = it->second.applied;
        summary.rules_passed = it->second.passed;
        summary.violations = std::move(it->second.violations);
      }
      RecallStat recall_sum;
      for (const RuleMeta& rule : catalogue()) {
        if (rule.category != category.key) continue;
        const RecallStat r = recall(rule.id);
        recall_sum.tp += r.tp;
        recall_sum.fn += r.fn;
      }
      summary.recall = recall_sum;
      summary.status = summary.rules_applied == 0   ? CategoryStatus::Skipped
                       : summary.violations.empty() ? CategoryStatus::Pass
                                                    : CategoryStatus::Fail;
      report.categories.push_back(std::move(summary));
    }

    std::vector<Violation> parse_problems;
    for (const auto& doc : document_.tex_files)
      append(parse_problems, doc.violations);
    for (const auto& doc : document_.bib_files)
      append(parse_problems, doc.violations);
    for (const auto& doc : document_.rmd_files)
      append(parse_problems, doc.violations);
    if (!parse_problems.empty()) {
      CategorySummary parse;
      parse.category_id = "parse";
      parse.title = "Parse errors";
      parse.violations = std::move(parse_problems);
      parse.recall = RecallStat{};
      parse.status = CategoryStatus::Fail;
      report.categories.push_back(std::move(parse));
    }

    std::size_t qualifying = 0;
    std::size_t passing = 0;
    for (const CategorySummary& summary : report.categories) {
      if (summary.status == CategoryStatus::Skipped || summary.category_id == "parse") continue;
      ++qualifying;
      if (summary.status == CategoryStatus::Pass) ++passing;
    }
    if (qualifying > 0) {
      report.compliance_percentage = engine::round_to_one_decimal(
          100.0 * static_cast<double>(passing) / static_cast<double>(qualifying));
    }

    for (const CategorySummary& summary : report.categories) {
      append(report.violations, summary.violations);
    }
    sort_violations(report.violations);

    report.tool_version = std::string(kToolVersion);
    report.journal_id = config_.journal;
    report.skipped_rules = std::move(skipped_);
    report.rule_set = rule_set();
    report.coverage = coverage::table();
    return report;
  }

 private:
  static void append(std::vector<Violation>& target, const std::vector<Violation>& source) {
    target.insert(target.end(), source.begin(), source.end());
  }

  std::vector<const ParsedTexFileDoc*> tex_files_only() const {
    std::vector<const ParsedTexFileDoc*> docs;
    docs.reserve(document_.tex_files.size());
    for (const ParsedTexFileDoc& doc : document_.tex_files)
      docs.push_back(&doc);
    return docs;
  }

  std::vector<Violation> run_tex_rule(const TexRuleEntry& rule,
                                      const std::vector<const ParsedTexFileDoc*>& docs) const {
    std::vector<Violation> findings;
    for (const ParsedTexFileDoc* doc : docs) {
      std::vector<Violation> found = rule.check(doc->path, doc->tex, config_.code_width);
      if (doc->source_map) relocate_fixes(found, *doc->source_map);
      findings.insert(findings.end(), std::make_move_iterator(found.begin()),
                      std::make_move_iterator(found.end()));
    }
    return findings;
  }

  std::vector<Violation> run_cross_document_rule(const CrossDocumentRuleEntry& rule) const {
    std::vector<Violation> findings = rule.check(tex_documents_);
    engine::relocate_fixes_by_file(findings, tex_like_);
    return findings;
  }

  std::vector<Violation> run_bib_rule(const BibRuleEntry& rule) const {
    std::vector<Violation> findings;
    for (const ParsedBibFileDoc& bib : document_.bib_files) {
      std::vector<Violation> found = rule.check(bib.path, bib.chars, bib.library, node_lists_,
                                                line_indexes_, config_.doi_lookup);
      findings.insert(findings.end(), std::make_move_iterator(found.begin()),
                      std::make_move_iterator(found.end()));
    }
    return findings;
  }

  void format_mismatch(std::string_view rule_id) {
    bool has_tex = false;
    bool has_rnw = false;
    for (const ParsedTexFileDoc& doc : document_.tex_files) {
      (ends_with(ascii_lower(doc.path), ".rnw") ? has_rnw : has_tex) = true;
    }
    std::vector<std::string> inputs;
    if (has_tex) inputs.emplace_back("tex");
    if (has_rnw) inputs.emplace_back("rnw");
    if (!document_.bib_files.empty()) inputs.emplace_back("bib");
    if (!document_.rmd_files.empty()) inputs.emplace_back("rmd");
    std::sort(inputs.begin(), inputs.end());
    skipped_.push_back(
        {std::string(rule_id),
         "format mismatch (rule formats=" + engine::python_list_repr({"rnw", "tex"}) +
             "; inputs=" + engine::python_list_repr(inputs) + ")"});
  }

  void finish(std::string_view rule_id, std::vector<Violation> findings) {
    const RuleMeta* meta = lookup(rule_id);
    if (meta == nullptr) return;
    sort_violations(findings);
    if (!suppression_.empty()) {
      std::erase_if(findings, [&](const Violation& v) { return is_suppressed(suppression_, v); });
    }
    if (filter_ != nullptr && *filter_) std::erase_if(findings, *filter_);
    if (!config_.severity_overrides.empty()) {
      const auto it = config_.severity_overrides.find(std::string(rule_id));
      if (it != config_.severity_overrides.end()) {
        for (Violation& v : findings)
          v.severity = it->second;
      }
    }
    CategoryTally& tally = tallies_[meta->category];
    ++tally.applied;
    if (findings.empty()) ++tally.passed;
    tally.violations.insert(tally.violations.end(), std::make_move_iterator(findings.begin()),
                            std::make_move_iterator(findings.end()));
  }

  const ToolConfig& config_;
  const ParsedDocument& document_;
  const engine::ViolationFilter* filter_;
  std::vector<const ParsedTexFileDoc*> tex_like_;
  std::vector<const ParsedTexFileDoc*> rmd_fragments_;
  TexNodeLists node_lists_;
  TexLineIndexes line_indexes_;
  TexDocuments tex_documents_;
  SuppressionIndex suppression_;
  std::vector<SkippedRule> skipped_;
  std::map<std::string_view, CategoryTally> tallies_;
};

}  // namespace

std::span<const CategoryInfo> categories() {
  return kCategories;
}

std::string_view category_title(std::string_view key) {
  for (const CategoryInfo& category : kCategories) {
    if (category.key == key) return category.title;
  }
  throw InternalError("unknown category id \"" + std::string(key) +
                      "\" (not in journals/kvt/__init__.py's _TITLE_MAP)");
}

std::variant<ParsedDocument, EngineError> ParsedDocument::from_sources(
    const std::vector<SourceFile>& files) {
  ParsedDocument document;
  for (const SourceFile& file : files) {
    std::string_view contents = file.contents;
    if (contents.size() >= 3 && contents.substr(0, 3) == "\xEF\xBB\xBF") contents.remove_prefix(3);
    const std::string lowered = ascii_lower(file.path);
    const std::string_view ext =
        lowered.size() >= 4 ? std::string_view(lowered).substr(lowered.size() - 4) : "";
    if (ext == ".tex" || ext == ".ltx") {
      document.tex_files.push_back(tex_file_doc(file.path, parse_tex_source(contents)));
    } else if (ext == ".bib") {
      ParsedBibFileDoc doc;
      doc.path = file.path;
      doc.chars = decode_utf8(contents);
      doc.library = parse_bibtex(std::u32string_view(doc.chars));
      document.bib_files.push_back(std::move(doc));
    } else if (ext == ".rnw") {
      RnwRewrite rewritten = rewrite_rnw(contents);
      ParsedTexFileDoc doc = tex_file_doc(file.path, parse_tex_source(rewritten.text));
      doc.source_map = std::make_shared<const SourceMap>(std::move(rewritten.map));
      document.tex_files.push_back(std::move(doc));
    } else if (ext == ".rmd") {
      document.rmd_files.push_back(parse_rmd_source(file.path, contents));
    } else {
      return EngineError{"unsupported file extension: '" + std::string(file_name_of(file.path)) +
                         "'. Supported: .tex, .ltx, .bib, .Rnw, .Rmd (case-insensitive)."};
    }
  }
  return document;
}

std::vector<const ParsedTexFileDoc*> ParsedDocument::all_tex_like_docs() const {
  std::vector<const ParsedTexFileDoc*> docs;
  for (const ParsedTexFileDoc& doc : tex_files)
    docs.push_back(&doc);
  for (const ParsedRmdFileDoc& rmd : rmd_files) {
    for (const ParsedTexFileDoc& fragment : rmd.fragments)
      docs.push_back(&fragment);
  }
  return docs;
}

namespace engine {

const std::vector<OrderedRule>& ordered_rules() {
  static const auto* const kOrdered = [] {
    auto* rules = new std::vector<OrderedRule>();
    for (const TexRuleEntry& entry : tex_rules()) {
      rules->push_back({entry.rule_id, RuleAction{RuleAction::Kind::Tex, &entry}});
    }
    for (const BibRuleEntry& entry : bib_rules()) {
      rules->push_back({entry.rule_id, RuleAction{RuleAction::Kind::Bib, nullptr, &entry}});
    }
    for (const CrossDocumentRuleEntry& entry : cross_document_rules()) {
      rules->push_back(
          {entry.rule_id, RuleAction{RuleAction::Kind::CrossDocument, nullptr, nullptr, &entry}});
    }
    const auto index_of = [](std::string_view rule_id) {
      const RuleMeta* meta = lookup(rule_id);
      return meta == nullptr ? std::numeric_limits<std::size_t>::max()
                             : category_index(meta->category);
    };
    std::stable_sort(rules->begin(), rules->end(), [&](const auto& a, const auto& b) {
      const std::size_t ia = index_of(a.first);
      const std::size_t ib = index_of(b.first);
      if (ia != ib) return ia < ib;
      return a.first < b.first;
    });
    return rules;
  }();
  return *kOrdered;
}

ComplianceReport run(const ToolConfig& config, const ParsedDocument& document) {
  return run_impl(config, document, nullptr, nullptr);
}

ComplianceReport run_impl(const ToolConfig& config, const ParsedDocument& document,
                          const ProjectFindings* project_findings, const ViolationFilter* filter) {
  return run_with_rules(config, document, ordered_rules(), project_findings, filter);
}

ComplianceReport run_with_rules(const ToolConfig& config, const ParsedDocument& document,
                                std::span<const OrderedRule> rules,
                                const ProjectFindings* project_findings,
                                const ViolationFilter* filter) {
  Run run(config, document, filter);
  run.run_rules(rules);
  run.run_project_rules(project_findings);
  return run.build_report();
}

void relocate_fixes_by_file(std::vector<Violation>& findings,
                            const std::vector<const ParsedTexFileDoc*>& documents) {
  for (Violation& violation : findings) {
    if (!violation.fix) continue;
    bool file_is_mapped = false;
    const ParsedTexFileDoc* home = nullptr;
    std::size_t homes = 0;
    for (const ParsedTexFileDoc* doc : documents) {
      if (doc->path != violation.file) continue;
      file_is_mapped = file_is_mapped || doc->source_map != nullptr;
      const std::uint64_t first = std::uint64_t{doc->line_index.line_offset} + 1;
      const std::uint64_t last = first + doc->line_index.newlines.size();
      if (violation.line >= first && violation.line <= last) {
        home = doc;
        ++homes;
      }
    }
    if (!file_is_mapped) continue;
    if (homes != 1) {
      violation.fix.reset();  // no document, or several, could have produced it
    } else if (home->source_map) {
      relocate_fix(violation, *home->source_map);
    }
  }
}

std::string python_list_repr(const std::vector<std::string>& items) {
  std::string out = "[";
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out += ", ";
    out += '\'';
    out += items[i];
    out += '\'';
  }
  out += ']';
  return out;
}

double round_to_one_decimal(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.1f", value);
  return std::strtod(buffer, nullptr);
}

}  // namespace engine
}  // namespace kvt

#include "tex/prose.hpp"

#include <array>
#include <unordered_map>

#include "tex/neutralize.hpp"

namespace kvt {

namespace {

template <std::size_t N>
bool contains(const std::array<std::string_view, N>& list, std::string_view name) {
  for (std::string_view entry : list) {
    if (entry == name) return true;
  }
  return false;
}

constexpr std::array<std::string_view, 10> kMathEnvironments = {
    "align",     "align*",   "gather",    "gather*",  "equation",
    "equation*", "eqnarray", "eqnarray*", "multline", "multline*"};

constexpr std::array<std::string_view, 29> kCodeMarkupMacros = {
    "pkg",      "proglang", "code",  "verb",      "url",       "email",   "fct",     "Rcmd",
    "Rpackage", "Rclass",   "Rfun",  "Rfunction", "Rargument", "Rstring", "Robject", "script",
    "Com",      "Comt",     "hlstd", "hlkwa",     "hlopt",     "hlkwd",   "hlstr",   "hlcom",
    "hlnum",    "hlsng",    "hlslc", "hlppc",     "hlpps"};

constexpr std::array<std::string_view, 10> kSectioningMacros = {
    "chapter",     "chapter*",      "section",        "section*",  "subsection",
    "subsection*", "subsubsection", "subsubsection*", "paragraph", "subparagraph"};

constexpr std::array<std::string_view, 37> kMetadataMacros = {"title",
                                                              "Plaintitle",
                                                              "Shorttitle",
                                                              "author",
                                                              "Plainauthor",
                                                              "Keywords",
                                                              "Plainkeywords",
                                                              "Address",
                                                              "documentclass",
                                                              "usepackage",
                                                              "include",
                                                              "input",
                                                              "label",
                                                              "ref",
                                                              "pageref",
                                                              "bibliographystyle",
                                                              "bibliography",
                                                              "SweaveOpts",
                                                              "SweaveInput",
                                                              "SweaveSyntax",
                                                              "VignetteIndexEntry",
                                                              "VignettePackage",
                                                              "VignetteDepends",
                                                              "VignetteEngine",
                                                              "VignetteKeywords",
                                                              "VignetteEncoding",
                                                              "newcommand",
                                                              "renewcommand",
                                                              "providecommand",
                                                              "def",
                                                              "lstinputlisting",
                                                              "lstset",
                                                              "inputminted",
                                                              "VerbatimInput",
                                                              "includegraphics",
                                                              "includepdf",
                                                              "graphicspath"};

constexpr std::array<std::string_view, 4> kIndexMacros = {"index", "glsadd", "glossary",
                                                          "nomenclature"};

constexpr std::array<std::string_view, 7> kAlgorithmEnvironments = {
    "ALC@g",       "algorithm",    "pseudocode",  "algorithmic",
    "algorithm2e", "algorithmicx", "algorithmial"};

constexpr std::array<std::string_view, 15> kCiteMacros = {
    "cite",       "Cite",       "citet",    "Citet",       "citep",
    "Citep",      "citealp",    "Citealp",  "citealt",     "Citealt",
    "citeauthor", "Citeauthor", "citeyear", "citeyearpar", "nocite"};

}  // namespace

bool is_verbatim_environment_name(std::string_view name) {
  return is_verbatim_like_environment(name);
}
bool is_math_environment_name(std::string_view name) {
  return contains(kMathEnvironments, name);
}
bool is_code_markup_macro(std::string_view name) {
  return contains(kCodeMarkupMacros, name);
}
bool is_sectioning_macro(std::string_view name) {
  return contains(kSectioningMacros, name);
}
bool is_metadata_macro(std::string_view name) {
  return contains(kMetadataMacros, name);
}
bool is_cite_macro(std::string_view name) {
  return contains(kCiteMacros, name);
}

bool any_ancestor_in(const Ancestors& ancestors, std::uint16_t classes) {
  for (const Node* node : ancestors) {
    if (node->name_classes & classes) return true;
  }
  return false;
}

bool is_inside_math(const Ancestors& ancestors) {
  for (const Node* node : ancestors) {
    if (node->is_math() || node->has_class(kMathEnvironment)) return true;
  }
  return false;
}

bool is_inside_verbatim(const Ancestors& ancestors) {
  return any_ancestor_in(ancestors, kVerbatimEnvironment | kVerbOrCodeMacro);
}

bool is_in_prose_context(const Ancestors& ancestors) {
  if (ancestors.empty()) return true;
  // One pass gathers what the three tests need: verbatim or math material,
  // macros that never hold prose, citation macros, and the innermost group.
  constexpr std::uint16_t kNeverProse = kVerbatimEnvironment | kVerbOrCodeMacro | kMathEnvironment |
                                        kCodeMarkupMacro | kSectioningMacro | kMetadataMacro;
  bool has_cite = false;
  const Node* innermost_group = nullptr;
  for (const Node* node : ancestors) {
    if (node->is_math() || (node->name_classes & kNeverProse)) return false;
    has_cite = has_cite || node->has_class(kCiteMacro);
    if (node->is_group()) innermost_group = node;
  }
  // A citation's brace group is its key list; its bracketed notes are prose.
  return !(has_cite && innermost_group != nullptr && !innermost_group->bracketed());
}

std::uint16_t classify_name(NodeKind kind, std::string_view name) {
  struct Tables {
    std::unordered_map<std::string_view, std::uint16_t> macros;
    std::unordered_map<std::string_view, std::uint16_t> environments;
  };
  static const Tables* const kTables = [] {
    auto* t = new Tables();
    for (std::string_view n : kCodeMarkupMacros)
      t->macros[n] |= kCodeMarkupMacro;
    for (std::string_view n : kSectioningMacros)
      t->macros[n] |= kSectioningMacro;
    for (std::string_view n : kMetadataMacros)
      t->macros[n] |= kMetadataMacro;
    for (std::string_view n : kCiteMacros)
      t->macros[n] |= kCiteMacro;
    for (std::string_view n : {"verb", "code"})
      t->macros[n] |= kVerbOrCodeMacro;
    for (std::string_view n : kIndexMacros)
      t->macros[n] |= kIndexMacro;
    for (std::string_view n : verbatim_like_environments()) {
      t->environments[n] |= kVerbatimEnvironment;
    }
    for (std::string_view n : kMathEnvironments)
      t->environments[n] |= kMathEnvironment;
    for (std::string_view n : kAlgorithmEnvironments) {
      t->environments[n] |= kAlgorithmEnvironment;
    }
    t->environments["thebibliography"] |= kBibliographyEnvironment;
    return t;
  }();
  const auto lookup = [name](const std::unordered_map<std::string_view, std::uint16_t>& table) {
    const auto it = table.find(name);
    return it == table.end() ? std::uint16_t{0} : it->second;
  };
  if (kind == NodeKind::Macro) return lookup(kTables->macros);
  if (kind == NodeKind::Environment) return lookup(kTables->environments);
  return 0;
}

}  // namespace kvt

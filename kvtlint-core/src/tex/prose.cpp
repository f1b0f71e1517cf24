#include "tex/prose.hpp"

#include <array>

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

bool is_inside_math(const Ancestors& ancestors) {
  for (const Node* node : ancestors) {
    if (node->is_math()) return true;
    if (node->is_environment() && is_math_environment_name(node->name())) return true;
  }
  return false;
}

bool is_inside_verbatim(const Ancestors& ancestors) {
  for (const Node* node : ancestors) {
    if (node->is_environment() && is_verbatim_environment_name(node->name())) return true;
    if (node->is_macro("verb") || node->is_macro("code")) return true;
  }
  return false;
}

bool is_in_prose_context(const Ancestors& ancestors) {
  if (ancestors.empty()) return true;
  if (is_inside_verbatim(ancestors)) return false;
  if (is_inside_math(ancestors)) return false;
  // The innermost Group: is it a brace group (a citation's key list)?
  bool innermost_is_brace_group = false;
  for (auto it = ancestors.rbegin(); it != ancestors.rend(); ++it) {
    if ((*it)->is_group()) {
      innermost_is_brace_group = !(*it)->bracketed();
      break;
    }
  }
  for (const Node* node : ancestors) {
    if (!node->is_macro()) continue;
    const std::string& name = node->name();
    if (is_code_markup_macro(name) || is_sectioning_macro(name) || is_metadata_macro(name)) {
      return false;
    }
    if (is_cite_macro(name) && innermost_is_brace_group) return false;
  }
  return true;
}

}  // namespace kvt

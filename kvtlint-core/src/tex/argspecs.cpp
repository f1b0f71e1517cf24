#include "tex/argspecs.hpp"

#include <initializer_list>
#include <string_view>
#include <unordered_map>

namespace kvt {

namespace {

using SpecMap = std::unordered_map<std::string_view, std::string_view>;

struct SpecRow {
  std::string_view spec;
  std::initializer_list<std::string_view> names;
};

SpecMap build(std::initializer_list<SpecRow> rows) {
  SpecMap map;
  for (const SpecRow& row : rows) {
    for (std::string_view name : row.names)
      map.emplace(name, row.spec);
  }
  return map;
}

// Macro argument specifications: 198 entries.
const SpecMap& macro_specs() {
  static const SpecMap kMap = build({
      {"", {"nopagecolor"}},
      {"[", {"item"}},
      {"*[", {"\\"}},
      {"*{", {"hspace", "vspace"}},
      {"[{",
       {"RequirePackage", "color", "documentclass", "footnote", "hphantom", "includegraphics",
        "pagecolor", "pdfloesung", "pdfsolution", "selectlanguage", "sqrt", "usepackage",
        "vphantom", "xleftarrow", "xrightarrow"}},
      {"{[", {"exercise", "uebung"}},
      {"{{", {"braket", "defcitealias", "frac", "ketbra", "nicefrac", "texorpdfstring"}},
      {"*[{", {"chapter", "paragraph", "section", "subparagraph", "subsection", "subsubsection"}},
      {"*{{", {"DeclareMathOperator"}},
      {"[[{", {"citefullauthor", "citepalias", "citetalias", "citeyear", "citeyearpar"}},
      {"[{{", {"addcounter", "addlength", "colorbox", "setcounter", "setlength", "textcolor"}},
      {"{{{", {"boxframe"}},
      {"*[[{",
       {"Citealp", "Citealt", "Citeauthor", "Citep", "Citet", "cite", "citealp", "citealt",
        "citeauthor", "citep", "citet"}},
      {"[{[{", {"colorlet"}},
      {"[{{{", {"definecolor", "providecolor"}},
      {"*[{{{", {"rowcolors"}},
      {"*{[[{", {"newcommand", "providecommand", "renewcommand"}},
      {"[{[{{", {"fcolorbox"}},
      {"*{[[{{", {"newenvironment", "provideenvironment", "renewenvironment"}},
      {"{",
       {// accents
        "\"", "'", ".", "=", "^", "`", "~", "H", "b", "c", "d", "k", "r", "u", "v",
        // references and citations
        "Cref", "cref", "ref", "eqref", "autoref", "label", "citenum", "citetext",
        // metadata and inclusion
        "author", "title", "date", "keywords", "bibliography", "include", "input", "hypersetup",
        "url",
        // text fonts and boxes
        "emph", "text", "textbf", "textit", "textmd", "textrm", "textsc", "textsf", "textsl",
        "texttt", "textup", "mbox", "ensuremath",
        // math alphabets
        "mathbb", "mathbf", "mathcal", "mathfrak", "mathit", "mathrm", "mathscr", "mathsf",
        "mathtt",
        // math accents
        "acute", "bar", "breve", "check", "ddot", "dot", "grave", "hat", "tilde", "vec", "widehat",
        "wideparen", "widetilde", "not",
        // bra-ket
        "bra", "ket",
        // over- and under-constructions
        "overbrace", "overbracket", "overgroup", "overleftarrow", "overleftharpoon",
        "overleftrightarrow", "overline", "overlinesegment", "overrightarrow", "overrightharpoon",
        "underbrace", "underbracket", "undergroup", "underleftarrow", "underleftrightarrow",
        "underline", "underlinesegment", "underrightarrow",
        // exercise sheets
        "exenumfulllabel", "hint", "hints", "hinweis", "hinweise", "subexercise", "subuebung",
        // exercise-sheet settings
        "UebungAttachedSolutionTitle", "UebungAttachedSolutionTitleFont",
        "UebungAttachedSolutionTitleTop", "UebungDueBy", "UebungDueByLabel", "UebungExTitleFont",
        "UebungHinweisFont", "UebungHinweisLabel", "UebungHinweiseLabel", "UebungLabel",
        "UebungLabelEnum", "UebungLabelEnumSub", "UebungLanguage", "UebungLecture",
        "UebungLecturer", "UebungLoesungFont", "UebungLogoFile", "UebungProf", "UebungSemester",
        "UebungSolEquationLabel", "UebungSolLabel", "UebungStyle", "UebungSubExTitleFont",
        "UebungSubLabel", "UebungTextAttachedSolution", "UebungTipsEquationLabel", "UebungTipsFont",
        "UebungTipsLabel", "UebungTitleCenterVSpacing", "UebungsblattNumber",
        "UebungsblattTitleFont", "UebungsblattTitleSeries", "UebungsblattTitleSolutions",
        "UebungsblattTitleTips"}},
  });
  return kMap;
}

// Environment argument specifications: 42 entries.
const SpecMap& environment_specs() {
  static const SpecMap kMap = build({
      {"",
       {"abstract", "align", "align*", "eqnarray", "eqnarray*", "equation", "equation*", "flalign",
        "flalign*", "gather", "gather*", "multline", "multline*", "split"}},
      {"[", {"conj",        "conjecture", "cor",     "corollary",   "definition", "defn",
             "description", "enumerate",  "figure",  "figure*",     "itemize",    "lem",
             "lemma",       "proof",      "prop",    "proposition", "rem",        "remark",
             "table",       "table*",     "theorem", "thm"}},
      {"{", {"alignat", "alignat*", "tabular"}},
      {"[{", {"array"}},
      {"{{", {"tabular*"}},
      {"{[{", {"tabularx"}},
  });
  return kMap;
}

std::optional<std::string_view> lookup(const SpecMap& map, std::string_view name) {
  const auto it = map.find(name);
  if (it == map.end()) return std::nullopt;
  return it->second;
}

}  // namespace

std::optional<std::string_view> macro_argspec(std::string_view name) {
  return lookup(macro_specs(), name);
}

std::optional<std::string_view> environment_argspec(std::string_view name) {
  return lookup(environment_specs(), name);
}

bool is_verbatim_macro(std::string_view name) {
  return name == "verb";
}

bool is_verbatim_environment(std::string_view name) {
  return name == "verbatim";
}

namespace specs_detail {
std::size_t macro_spec_count() {
  return macro_specs().size();
}
std::size_t environment_spec_count() {
  return environment_specs().size();
}
}  // namespace specs_detail

}  // namespace kvt

// The parsed inputs of one run, by kind. Built by intake (engine.cpp,
// `ParsedDocument::from_sources`) and read by the engine and the suppression index.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "bib/model.hpp"
#include "report.hpp"
#include "source_map.hpp"
#include "tex/node.hpp"
#include "tex/position.hpp"

namespace kvt {

// One parsed TeX-like file, or one TeX-like fragment of an R Markdown document.
struct ParsedTexFileDoc {
  std::string path;
  ParsedTex tex;
  LineIndex line_index;
  std::vector<Violation> violations;
  // For text rewritten before parsing (an .Rnw file, an R Markdown paragraph):
  // carries positions in `tex` back into the submitted file. Null otherwise.
  std::shared_ptr<const SourceMap> source_map;
};

struct ParsedBibFileDoc {
  std::string path;
  std::u32string chars;  // contents after byte-order-mark removal
  Library library;
  std::vector<Violation> violations;
};

struct ParsedRmdFileDoc {
  std::string path;
  std::vector<ParsedTexFileDoc> fragments;
  std::vector<Violation> violations;  // KVT-PARSE-000 findings
};

struct EngineError {
  std::string message;
};

struct SourceFile {
  std::string path;
  std::string contents;  // UTF-8
};

struct ParsedDocument {
  std::vector<ParsedTexFileDoc> tex_files;
  std::vector<ParsedBibFileDoc> bib_files;
  std::vector<ParsedRmdFileDoc> rmd_files;

  // Parses every file by its extension, in order; fails on the first unsupported extension.
  static std::variant<ParsedDocument, EngineError> from_sources(
      const std::vector<SourceFile>& files);

  // tex_files in order, then every R Markdown fragment, document by document.
  std::vector<const ParsedTexFileDoc*> all_tex_like_docs() const;
};

}  // namespace kvt

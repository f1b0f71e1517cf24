// The tolerant BibTeX parser: scans for '@', reads what it can, never fails.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "bib/model.hpp"

namespace kvt {

Library parse_bibtex(std::u32string_view chars);
Library parse_bibtex(std::string_view text);

namespace bibtex_detail {
using Macros = std::unordered_map<std::string, std::string>;
// Reads one field value from `start`, never at or beyond `limit`: (value, end).
std::pair<std::string, std::size_t> parse_value(std::u32string_view chars, std::size_t start,
                                                std::size_t limit, const Macros& macros);
std::string unescape_quotes(std::u32string_view chars, std::size_t start, std::size_t end);
}  // namespace bibtex_detail

}  // namespace kvt

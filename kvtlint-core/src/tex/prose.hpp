// Where a node stands: in math, in verbatim material, or in running prose.
#pragma once

#include <cstdint>
#include <string_view>

#include "tex/walk.hpp"

namespace kvt {

bool is_verbatim_environment_name(std::string_view name);  // VERBATIM_ENVIRONMENTS (14)
bool is_math_environment_name(std::string_view name);      // MATH_ENVIRONMENTS (10)
bool is_code_markup_macro(std::string_view name);          // CODE_MARKUP_MACROS (29)
bool is_sectioning_macro(std::string_view name);           // SECTIONING_MACROS (10)
bool is_metadata_macro(std::string_view name);             // METADATA_MACROS (37)
bool is_cite_macro(std::string_view name);                 // CITE_MACROS (15)

// Some ancestor belongs to one of the NameClass lists in `classes`.
bool any_ancestor_in(const Ancestors& ancestors, std::uint16_t classes);

bool is_inside_math(const Ancestors& ancestors);
bool is_inside_verbatim(const Ancestors& ancestors);
bool is_in_prose_context(const Ancestors& ancestors);

}  // namespace kvt

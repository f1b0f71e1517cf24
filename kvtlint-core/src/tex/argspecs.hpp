// Which arguments a macro or an environment takes. A specification is read
// left to right, one slot per letter: '*' optional star, '[' optional bracket
// argument, '{' mandatory argument. A name without a specification takes none.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace kvt {

std::optional<std::string_view> macro_argspec(std::string_view name);
std::optional<std::string_view> environment_argspec(std::string_view name);
bool is_verbatim_macro(std::string_view name);        // only "verb"
bool is_verbatim_environment(std::string_view name);  // only "verbatim"

namespace specs_detail {
// Table sizes, for tests: 198 macros and 42 environments.
std::size_t macro_spec_count();
std::size_t environment_spec_count();
}  // namespace specs_detail

}  // namespace kvt

// Masks characters that would make the parser misread code and definitions.
// Every pass replaces single ASCII bytes by single ASCII bytes, so the output
// has the input's byte length and character count.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace kvt {

// The verbatim-like environments, shared with the prose predicates.
std::span<const std::string_view> verbatim_like_environments();
bool is_verbatim_like_environment(std::string_view name);

std::string preprocess(std::string_view text);
std::string neutralize_macro_definition_bodies(std::string_view text);
std::string neutralize_verbatim_envs(std::string_view text);
std::string neutralize_verbatim_args(std::string_view text);
// '$' and '%' become '?'.
std::string neutralize_tex_special_chars(std::string_view text);

}  // namespace kvt

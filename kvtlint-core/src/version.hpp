// The tool's version and the engine tag, shared by the module, the command and the report.
#pragma once

#include <string_view>

namespace kvt {

inline constexpr std::string_view kToolVersion = "1.2.0";
inline constexpr std::string_view kEngineTag = "kvtlint-core/cxx";

}  // namespace kvt

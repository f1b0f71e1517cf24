// Programming errors that stop a call: a rule id missing from the catalogue, a
// category missing from the title table. They cannot happen with the shipped
// tables; the module turns them into the host's internal-error exception.
#pragma once

#include <stdexcept>
#include <string>

namespace kvt {

struct InternalError : std::runtime_error {
  explicit InternalError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace kvt

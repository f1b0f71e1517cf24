#include "bib/model.hpp"

#include "text.hpp"

namespace kvt {

const Field* Entry::field(std::string_view name) const {
  for (const Field& f : fields) {
    if (ascii_iequals(f.name, name)) return &f;
  }
  return nullptr;
}

}  // namespace kvt

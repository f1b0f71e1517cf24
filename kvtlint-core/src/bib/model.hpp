// Parsed BibTeX databases.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvt {

struct Field {
  std::string name;  // lower-cased
  std::string value;
};

struct Entry {
  std::string key;         // trimmed; may be empty
  std::string entry_type;  // lower-cased
  std::vector<Field> fields;
  std::uint32_t line = 0;  // 0-based line of the '@'

  // First field whose name equals `name` ignoring ASCII case, or nullptr.
  const Field* field(std::string_view name) const;
};

struct DuplicateBlockKey {
  std::string key;
  Entry entry;
};

struct DuplicateFieldKey {
  std::vector<std::string> field_names;  // each repeated name once, byte order
  Entry entry;
};

struct Library {
  std::vector<Entry> entries;
  std::vector<DuplicateBlockKey> duplicate_block_keys;
  std::vector<DuplicateFieldKey> duplicate_field_keys;
};

}  // namespace kvt

// The terms lexicon: programming languages, R packages, canonical spellings of
// language names, and canonical publisher and journal names. The lexicon is the
// JSON document terms.json, compiled into the library as text and read once,
// on first use, into the process-wide `Terms`.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace kvt {

// Hashing that lets the sets and maps be searched with a string_view.
struct StringHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const {
    return std::hash<std::string_view>{}(text);
  }
};

using StringSet = std::unordered_set<std::string, StringHash, std::equal_to<>>;
using StringMap = std::unordered_map<std::string, std::string, StringHash, std::equal_to<>>;

// Every lookup is exact and case-sensitive; the maps list the case variants
// they accept as separate keys.
struct Terms {
  StringSet languages;
  StringSet r_packages;
  StringMap canonical;
  StringMap publisher_canonical;
  StringMap journal_canonical;
  std::vector<std::pair<std::string, std::string>> publisher_prefix_canonical;  // in order
};

// The embedded terms.json text.
std::string_view terms_json_text();

// Reads a terms document. Exactly the six members must be present, each once
// and of its type; other members are ignored. Throws InternalError when the
// document is not valid.
Terms parse_terms(std::string_view json_text);

// The process-wide lexicon, built from the embedded document on first use
// (thread-safe) and read-only afterwards.
const Terms& TERMS();

}  // namespace kvt

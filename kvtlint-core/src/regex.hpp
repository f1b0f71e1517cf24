// The one pattern type of the system: PCRE2 (8-bit, UTF) behind a small API.
//
// Patterns are written in the dialect the rule tables quote: leftmost-first
// alternation; Unicode-aware \w \d \s \b unless a leading (?-u) turns Unicode
// classes off; inline flags (?i) (?m) (?s) (?x); named groups (?P<name>...);
// \z for the end of the text; \u{2019} for one code point; `$` only at the very
// end without (?m). The constructor translates the few spellings PCRE2 writes
// differently. All offsets are byte offsets into the UTF-8 subject; callers
// convert to character positions through text.hpp.
//
// Subjects must be valid UTF-8 (the front doors guarantee it), and offsets
// passed in must lie on character boundaries. Searches never throw: a match
// that hits an engine limit counts as no match.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvt {

struct Span {
  std::size_t start = 0;
  std::size_t end = 0;
  std::size_t size() const { return end - start; }
  bool empty() const { return start == end; }
  friend bool operator==(const Span&, const Span&) = default;
};

class Regex;

// The groups of one match. Group 0 is the whole match.
class Captures {
 public:
  std::size_t size() const { return groups_.size(); }
  bool matched(std::size_t group) const;
  std::optional<Span> span(std::size_t group) const;
  // The group's text, or "" when it did not take part.
  std::string_view str(std::size_t group) const;
  std::optional<Span> span(std::string_view name) const;
  std::string_view str(std::string_view name) const;
  Span whole() const { return *span(0); }

 private:
  friend class Regex;
  std::string_view subject_;
  std::vector<std::optional<Span>> groups_;
  const Regex* regex_ = nullptr;
};

class Regex {
 public:
  enum Option : unsigned {
    kDefault = 0,
    kCaseInsensitive = 1u << 0,
    kDotMatchesNewline = 1u << 1,
  };

  // A pattern that fails to compile is a programming error: the process aborts
  // with the pattern and PCRE2's message.
  explicit Regex(std::string_view pattern, unsigned options = kDefault);
  ~Regex();
  Regex(const Regex&) = delete;
  Regex& operator=(const Regex&) = delete;

  const std::string& pattern() const { return pattern_; }

  bool is_match(std::string_view text) const;
  // First match at or after byte `start`; text before `start` is still seen by
  // \b and friends, and ^ (without (?m)) matches only at 0.
  std::optional<Span> find(std::string_view text, std::size_t start = 0) const;
  // Search limited to text[start, end): the subject ends at `end`.
  std::optional<Span> find_in(std::string_view text, std::size_t start, std::size_t end) const;
  // All non-overlapping matches, left to right. An empty match directly after
  // the previous match is skipped.
  std::vector<Span> find_all(std::string_view text) const;
  std::size_t count(std::string_view text) const;
  // Calls fn(Span) for each match of find_all without building a vector;
  // fn returns false to stop early.
  template <typename Fn>
  void for_each(std::string_view text, Fn&& fn) const;

  std::optional<Captures> captures(std::string_view text, std::size_t start = 0) const;
  std::vector<Captures> captures_all(std::string_view text) const;

  std::size_t group_count() const { return group_count_; }
  // Index of a named group, or -1.
  int group_index(std::string_view name) const;

  std::vector<std::string_view> split(std::string_view text) const;
  // Replaces every match. `$1`, `${1}`, `$name`, `${name}` insert groups
  // (a missing group inserts nothing); `$$` is one dollar.
  std::string replace_all(std::string_view text, std::string_view replacement) const;
  std::string replace_all_literal(std::string_view text, std::string_view replacement) const;

  static std::string escape(std::string_view literal);

 private:
  // Raw match at byte `start` within text; fills `ovector_out` when given.
  bool match_at(std::string_view text, std::size_t start, Span& whole,
                std::vector<std::optional<Span>>* groups) const;
  std::optional<Span> next_match(std::string_view text, std::size_t& cursor,
                                 std::optional<std::size_t>& last_end) const;

  std::string pattern_;
  void* code_ = nullptr;  // pcre2_code_8*
  std::size_t group_count_ = 0;
};

template <typename Fn>
void Regex::for_each(std::string_view text, Fn&& fn) const {
  std::size_t cursor = 0;
  std::optional<std::size_t> last_end;
  while (auto m = next_match(text, cursor, last_end)) {
    if (!fn(*m)) return;
  }
}

// A pattern compiled on first use, once per process, safe when several threads
// get there together. Constant-initialised, so it can be a namespace-scope or
// function-local static without start-up cost.
class LazyRegex {
 public:
  constexpr explicit LazyRegex(const char* pattern, unsigned options = Regex::kDefault)
      : pattern_(pattern), options_(options) {}
  const Regex& get() const;
  const Regex* operator->() const { return &get(); }
  const Regex& operator*() const { return get(); }

 private:
  const char* pattern_;
  unsigned options_;
  mutable std::once_flag once_;
  mutable std::unique_ptr<Regex> regex_;
};

}  // namespace kvt

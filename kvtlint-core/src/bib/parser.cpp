// Part 3.1: the tolerant BibTeX parser. Iterative throughout: nesting in the
// input only ever raises a counter, never the call depth. Linear in the input
// apart from the per-entry field bookkeeping, which is hashed.
#include "bib/parser.hpp"

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "text.hpp"

namespace kvt {

namespace {

using bibtex_detail::Macros;

inline bool is_ascii_letter(char32_t c) {
  return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
}

inline bool is_name_char(char32_t c) {
  return is_ascii_letter(c) || (c >= U'0' && c <= U'9') || c == U'-' || c == U'.' || c == U':' ||
         c == U'_';
}

inline bool is_ws(char32_t c) {
  if (c < 0x80) return c == U' ' || (c >= 0x09 && c <= 0x0D);
  return is_unicode_whitespace(c);
}

std::size_t skip_ws(std::u32string_view chars, std::size_t p, std::size_t limit) {
  while (p < limit && is_ws(chars[p]))
    ++p;
  return p;
}

// A run of name characters (ASCII only), lower-cased.
std::string lower_name(std::u32string_view chars, std::size_t start, std::size_t end) {
  std::string out(end - start, '\0');
  for (std::size_t i = start; i < end; ++i) {
    char c = static_cast<char>(chars[i]);
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    out[i - start] = c;
  }
  return out;
}

// Trims Unicode white space from both ends, in place.
void trim_in_place(std::string& text) {
  const std::string_view trimmed_view = trim_unicode_ws(text);
  if (trimmed_view.size() == text.size()) return;
  const auto start = static_cast<std::size_t>(trimmed_view.data() - text.data());
  const std::size_t size = trimmed_view.size();
  text.erase(0, start);
  text.resize(size);
}

std::size_t name_end(std::u32string_view chars, std::size_t p, std::size_t limit) {
  while (p < limit && is_name_char(chars[p]))
    ++p;
  return p;
}

std::string utf8(std::u32string_view chars, std::size_t start, std::size_t end) {
  return encode_utf8(chars.substr(start, end - start));
}

// The closing delimiter of a block opened at `open`, or npos when the text ends first.
std::size_t block_close(std::u32string_view chars, std::size_t open) {
  const char32_t opener = chars[open];
  const char32_t closer = opener == U'(' ? U')' : U'}';
  std::size_t depth = 1;
  for (std::size_t i = open + 1; i < chars.size(); ++i) {
    if (chars[i] == opener) {
      ++depth;
    } else if (chars[i] == closer) {
      if (depth == 1) return i;
      --depth;
    }
  }
  return std::u32string_view::npos;
}

// Fields of one entry with "last occurrence wins, at its own position":
// a replaced field leaves a tombstone, compacted once at the end. Entries
// have few fields, so names are looked up by a linear scan; an index is
// built only when an entry has many, which keeps hostile input linear.
class FieldList {
 public:
  void add(std::string name, std::string value) {
    if (const std::size_t* live = find_live(name)) {
      const std::size_t old = *live;
      slots_[old].reset();
      note_repeated(name);
      set_live(name, slots_.size(), old);
    } else {
      set_live(name, slots_.size(), kNone);
    }
    slots_.push_back(Field{std::move(name), std::move(value)});
  }

  std::vector<Field> take_fields() {
    std::vector<Field> fields;
    fields.reserve(live_count_);
    for (auto& slot : slots_) {
      if (slot) fields.push_back(std::move(*slot));
    }
    slots_.clear();
    return fields;
  }

  std::vector<std::string> take_repeated_sorted() {
    std::sort(repeated_.begin(), repeated_.end());
    std::vector<std::string> out = std::move(repeated_);
    repeated_.clear();
    return out;
  }

  // Ready for the next entry; keeps the allocated capacity.
  void reset() {
    slots_.clear();
    live_count_ = 0;
    small_.clear();
    index_.clear();
    repeated_.clear();
    repeated_set_.clear();
  }

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  static constexpr std::size_t kIndexFrom = 16;

  const std::size_t* find_live(const std::string& name) const {
    if (!index_.empty()) {
      const auto it = index_.find(name);
      return it == index_.end() ? nullptr : &it->second;
    }
    for (const auto& [live_name, slot] : small_) {
      if (live_name == name) return &slot;
    }
    return nullptr;
  }

  // Points `name` at `slot`; `old` is its previous slot or kNone.
  void set_live(const std::string& name, std::size_t slot, std::size_t old) {
    if (old == kNone) ++live_count_;
    if (!index_.empty()) {
      index_[name] = slot;
      return;
    }
    for (auto& [live_name, live_slot] : small_) {
      if (live_name == name) {
        live_slot = slot;
        return;
      }
    }
    small_.emplace_back(name, slot);
    if (small_.size() >= kIndexFrom) {
      for (auto& [live_name, live_slot] : small_)
        index_.emplace(std::move(live_name), live_slot);
      small_.clear();
    }
  }

  void note_repeated(const std::string& name) {
    if (repeated_.size() < kIndexFrom) {
      if (std::find(repeated_.begin(), repeated_.end(), name) == repeated_.end()) {
        repeated_.push_back(name);
      }
      return;
    }
    if (repeated_set_.empty()) repeated_set_.insert(repeated_.begin(), repeated_.end());
    if (repeated_set_.insert(name).second) repeated_.push_back(name);
  }

  std::vector<std::optional<Field>> slots_;
  std::size_t live_count_ = 0;
  std::vector<std::pair<std::string, std::size_t>> small_;
  std::unordered_map<std::string, std::size_t> index_;
  std::vector<std::string> repeated_;
  std::unordered_set<std::string> repeated_set_;
};

// The keys seen so far, as an open-addressing table of (hash, entry index):
// one probe sequence over a flat array per lookup, and the key text is only
// read on a hash match. Keys live in the library's entries. The caller
// announces a key with `prepare` as soon as it is read and inserts it after
// the entry's fields are parsed; the slot's cache line is fetched in between,
// so a large table costs no more per key than a small one.
class KeySet {
 public:
  // `expected` sizes the table on first use (it still grows past it).
  explicit KeySet(std::size_t expected) : expected_(expected) {}

  std::uint64_t prepare(std::string_view key) {
    if ((count_ + 1) * 2 > slots_.size()) grow();
    const std::uint64_t h = std::hash<std::string_view>{}(key);
    __builtin_prefetch(&slots_[static_cast<std::size_t>(h) & (slots_.size() - 1)]);
    return h;
  }

  // Inserts `key` with the hash from `prepare` as the key of entries[index];
  // false when it was already there.
  bool insert(std::string_view key, std::uint64_t h, std::size_t index,
              const std::vector<Entry>& entries) {
    std::size_t i = static_cast<std::size_t>(h) & (slots_.size() - 1);
    while (slots_[i].used()) {
      if (slots_[i].hash == h && entries[slots_[i].index].key == key) return false;
      i = (i + 1) & (slots_.size() - 1);
    }
    slots_[i] = Slot{h, index};
    ++count_;
    return true;
  }

 private:
  static constexpr std::size_t kEmpty = static_cast<std::size_t>(-1);
  struct Slot {
    std::uint64_t hash = 0;
    std::size_t index = kEmpty;  // entry index
    bool used() const { return index != kEmpty; }
  };

  void grow() {
    std::vector<Slot> old = std::move(slots_);
    std::size_t size = 1024;
    if (!old.empty()) {
      size = old.size() * 2;
    } else {
      while (size < 2 * expected_)
        size *= 2;
    }
    slots_.assign(size, Slot{});
    for (const Slot& slot : old) {
      if (!slot.used()) continue;
      std::size_t i = static_cast<std::size_t>(slot.hash) & (slots_.size() - 1);
      while (slots_[i].used())
        i = (i + 1) & (slots_.size() - 1);
      slots_[i] = slot;
    }
  }

  std::vector<Slot> slots_;
  std::size_t count_ = 0;
  std::size_t expected_ = 0;
};

}  // namespace

namespace bibtex_detail {

namespace {
void append_unescaped(std::string& out, std::u32string_view chars, std::size_t start,
                      std::size_t end) {
  for (std::size_t i = start; i < end; ++i) {
    const char32_t c = chars[i];
    if (c == U'\\' && i + 1 < end && chars[i + 1] == U'"') continue;
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      append_utf8(out, c);
    }
  }
}
}  // namespace

std::string unescape_quotes(std::u32string_view chars, std::size_t start, std::size_t end) {
  std::string out;
  out.reserve(end - start);
  append_unescaped(out, chars, start, end);
  return out;
}

std::pair<std::string, std::size_t> parse_value(std::u32string_view chars, std::size_t start,
                                                std::size_t limit, const Macros& macros) {
  limit = std::min(limit, chars.size());
  std::string value;
  std::size_t a = skip_ws(chars, std::min(start, limit), limit);
  while (a < limit) {
    const char32_t c = chars[a];
    if (c == U'"') {
      if (a + 1 >= limit) break;
      if (chars[a + 1] == U'"') {
        a += 2;
      } else {
        std::size_t q = a + 2;
        while (q < limit && !(chars[q] == U'"' && chars[q - 1] != U'\\'))
          ++q;
        if (q >= limit) break;
        append_unescaped(value, chars, a + 1, q);
        a = q + 1;
      }
    } else if (c == U'{') {
      std::size_t depth = 1;
      std::size_t q = a + 1;
      for (; q < limit; ++q) {
        if (chars[q] == U'{') {
          ++depth;
        } else if (chars[q] == U'}' && --depth == 0) {
          break;
        }
      }
      if (q >= limit) break;
      append_unescaped(value, chars, a + 1, q);
      a = q + 1;
    } else {
      const std::size_t e = name_end(chars, a, limit);
      if (e == a) break;
      const auto it = macros.find(lower_name(chars, a, e));
      if (it != macros.end()) {
        value += it->second;
      } else {
        for (std::size_t i = a; i < e; ++i)
          value.push_back(static_cast<char>(chars[i]));  // name characters are ASCII
      }
      a = e;
    }
    a = skip_ws(chars, a, limit);
    if (a < limit && chars[a] == U'#') {
      a = skip_ws(chars, a + 1, limit);
      continue;
    }
    break;
  }
  trim_in_place(value);
  return {std::move(value), a};
}

}  // namespace bibtex_detail

Library parse_bibtex(std::u32string_view chars) {
  using bibtex_detail::parse_value;
  Library library;
  Macros macros;
  // Real entries take a few hundred characters; sizing the key table for one
  // per 256 characters saves most rehashing of large files at a memory cost
  // of a small fraction of `chars`.
  KeySet seen_keys(chars.size() / 256);
  FieldList fields;
  const std::size_t n = chars.size();

  std::size_t p = 0;
  std::size_t lines_counted_to = 0;  // newlines before this position are in `line`
  std::uint32_t line = 0;

  while (p < n) {
    const std::size_t a = chars.find(U'@', p);
    if (a == std::u32string_view::npos) break;
    std::size_t t = a + 1;
    while (t < n && is_ascii_letter(chars[t]))
      ++t;
    const std::string entry_type = lower_name(chars, a + 1, t);
    const std::size_t open = skip_ws(chars, t, n);
    if (open >= n || (chars[open] != U'(' && chars[open] != U'{')) {
      p = a + 1;
      continue;
    }
    const std::size_t c = block_close(chars, open);
    if (c == std::u32string_view::npos) break;  // an unclosed block ends the parse

    if (entry_type == "comment" || entry_type == "preamble") {
      // ignored
    } else if (entry_type == "string") {
      std::size_t q = skip_ws(chars, open + 1, c);
      const std::size_t e = name_end(chars, q, c);
      std::string name = lower_name(chars, q, e);
      q = skip_ws(chars, e, c);
      if (q < c && chars[q] == U'=') {
        q = skip_ws(chars, q + 1, c);
        macros[std::move(name)] = parse_value(chars, q, c, macros).first;
      }
    } else {
      for (; lines_counted_to < a; ++lines_counted_to) {
        if (chars[lines_counted_to] == U'\n') ++line;
      }
      Entry entry;
      entry.entry_type = entry_type;
      entry.line = line;

      std::size_t q = skip_ws(chars, open + 1, c);
      std::size_t comma = q;
      while (comma < c && chars[comma] != U',')
        ++comma;
      std::size_t key_end = comma;
      while (key_end > q && is_ws(chars[key_end - 1]))
        --key_end;
      entry.key = utf8(chars, q, key_end);  // q is already past leading white space
      const std::uint64_t key_hash = entry.key.empty() ? 0 : seen_keys.prepare(entry.key);
      q = comma < c ? skip_ws(chars, comma + 1, c) : c;

      fields.reset();
      while (q < c) {
        const std::size_t e = name_end(chars, q, c);
        if (e == q) break;
        std::string name = lower_name(chars, q, e);
        q = skip_ws(chars, e, c);
        if (q >= c || chars[q] != U'=') break;
        q = skip_ws(chars, q + 1, c);
        auto [value, end] = parse_value(chars, q, c, macros);
        q = skip_ws(chars, end, c);
        fields.add(std::move(name), std::move(value));
        if (q < c && chars[q] == U',') {
          q = skip_ws(chars, q + 1, c);
          continue;
        }
        break;
      }
      entry.fields = fields.take_fields();
      std::vector<std::string> repeated = fields.take_repeated_sorted();

      if (!entry.key.empty() &&
          !seen_keys.insert(entry.key, key_hash, library.entries.size(), library.entries)) {
        std::string key = entry.key;
        library.duplicate_block_keys.push_back(DuplicateBlockKey{std::move(key), std::move(entry)});
      } else {
        if (!repeated.empty()) {
          library.duplicate_field_keys.push_back(DuplicateFieldKey{std::move(repeated), entry});
        }
        library.entries.push_back(std::move(entry));
      }
    }
    p = c + 1;
  }
  return library;
}

Library parse_bibtex(std::string_view text) {
  return parse_bibtex(std::u32string_view(decode_utf8(text)));
}

}  // namespace kvt

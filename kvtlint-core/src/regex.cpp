#include "regex.hpp"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <cstdio>
#include <cstdlib>

#include "text.hpp"

namespace kvt {

namespace {

// Rewrites the spellings of our pattern dialect that PCRE2 writes otherwise.
// - \u{XXXX} becomes \x{XXXX};
// - with Unicode classes on, \s and \S also cover U+0085 (NEXT LINE), which is
//   White_Space but outside PCRE2's \s.
std::string translate(std::string_view pattern, bool unicode) {
  std::string out;
  out.reserve(pattern.size() + 16);
  bool in_class = false;
  std::size_t class_start = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '\\' && i + 1 < pattern.size()) {
      const char next = pattern[i + 1];
      if (next == 'u' && i + 2 < pattern.size() && pattern[i + 2] == '{') {
        out += "\\x";
        ++i;
        continue;
      }
      if (unicode && next == 's') {
        out += in_class ? "\\s\\x{85}" : "[\\s\\x{85}]";
        ++i;
        continue;
      }
      if (unicode && next == 'S' && !in_class) {
        out += "[^\\s\\x{85}]";
        ++i;
        continue;
      }
      out += c;
      out += next;
      ++i;
      continue;
    }
    if (!in_class && c == '[') {
      in_class = true;
      class_start = out.size();
      out += c;
      // A ']' right after '[' or '[^' is a literal member.
      if (i + 1 < pattern.size() && pattern[i + 1] == '^') {
        out += '^';
        ++i;
      }
      if (i + 1 < pattern.size() && pattern[i + 1] == ']') {
        out += ']';
        ++i;
      }
      continue;
    }
    if (in_class && c == '[' && i + 1 < pattern.size() && pattern[i + 1] == ':') {
      // POSIX class such as [:alpha:] inside a bracket expression.
      const std::size_t close = pattern.find(":]", i + 2);
      if (close != std::string_view::npos) {
        out.append(pattern.substr(i, close + 2 - i));
        i = close + 1;
        continue;
      }
    }
    if (in_class && c == ']' && out.size() > class_start) {
      in_class = false;
    }
    out += c;
  }
  return out;
}

struct ThreadMatchState {
  pcre2_match_data* data = nullptr;
  pcre2_match_context* context = nullptr;
  pcre2_jit_stack* jit_stack = nullptr;

  ThreadMatchState() {
    data = pcre2_match_data_create(64, nullptr);
    context = pcre2_match_context_create(nullptr);
    jit_stack = pcre2_jit_stack_create(64 * 1024, 64 * 1024 * 1024, nullptr);
    if (context != nullptr && jit_stack != nullptr) {
      pcre2_jit_stack_assign(context, nullptr, jit_stack);
    }
  }
  ~ThreadMatchState() {
    pcre2_match_data_free(data);
    pcre2_match_context_free(context);
    pcre2_jit_stack_free(jit_stack);
  }
  ThreadMatchState(const ThreadMatchState&) = delete;
  ThreadMatchState& operator=(const ThreadMatchState&) = delete;
};

ThreadMatchState& match_state() {
  thread_local ThreadMatchState state;
  return state;
}

inline pcre2_code* as_code(void* p) {
  return static_cast<pcre2_code*>(p);
}

std::size_t next_char(std::string_view text, std::size_t i) {
  ++i;
  while (i < text.size() && !is_char_boundary(text, i))
    ++i;
  return i;
}

bool is_name_char(char c) {
  return c == '_' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

bool Captures::matched(std::size_t group) const {
  return group < groups_.size() && groups_[group].has_value();
}

std::optional<Span> Captures::span(std::size_t group) const {
  if (group >= groups_.size()) return std::nullopt;
  return groups_[group];
}

std::string_view Captures::str(std::size_t group) const {
  const auto s = span(group);
  if (!s) return {};
  return subject_.substr(s->start, s->size());
}

std::optional<Span> Captures::span(std::string_view name) const {
  const int index = regex_ == nullptr ? -1 : regex_->group_index(name);
  if (index < 0) return std::nullopt;
  return span(static_cast<std::size_t>(index));
}

std::string_view Captures::str(std::string_view name) const {
  const auto s = span(name);
  if (!s) return {};
  return subject_.substr(s->start, s->size());
}

Regex::Regex(std::string_view pattern, unsigned options) : pattern_(pattern) {
  bool unicode = true;
  std::string_view body = pattern;
  if (body.substr(0, 5) == "(?-u)") {
    unicode = false;
    body.remove_prefix(5);
  }
  const std::string translated = translate(body, unicode);
  uint32_t flags = PCRE2_UTF | PCRE2_DOLLAR_ENDONLY | PCRE2_ALT_CIRCUMFLEX;
  if (unicode) flags |= PCRE2_UCP;
  if (options & kCaseInsensitive) flags |= PCRE2_CASELESS;
  if (options & kDotMatchesNewline) flags |= PCRE2_DOTALL;

  pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
  pcre2_set_newline(context, PCRE2_NEWLINE_LF);
  int error = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(translated.data()),
                                   translated.size(), flags, &error, &offset, context);
  pcre2_compile_context_free(context);
  if (code == nullptr) {
    PCRE2_UCHAR message[256];
    pcre2_get_error_message(error, message, sizeof message);
    std::fprintf(stderr, "kvtlint: internal error: pattern %s does not compile at %zu: %s\n",
                 pattern_.c_str(), static_cast<std::size_t>(offset),
                 reinterpret_cast<const char*>(message));
    std::abort();
  }
  pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);  // falls back to the interpreter on failure
  uint32_t captures = 0;
  pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &captures);
  group_count_ = captures + 1;
  code_ = code;
}

Regex::~Regex() {
  pcre2_code_free(as_code(code_));
}

bool Regex::match_at(std::string_view text, std::size_t start, Span& whole,
                     std::vector<std::optional<Span>>* groups) const {
  if (start > text.size()) return false;
  ThreadMatchState& state = match_state();
  pcre2_match_data* data = state.data;
  pcre2_match_data* own = nullptr;
  if (data == nullptr || group_count_ > pcre2_get_ovector_count(data)) {
    own = pcre2_match_data_create_from_pattern(as_code(code_), nullptr);
    data = own;
  }
  const int rc = pcre2_match(as_code(code_), reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(),
                             start, PCRE2_NO_UTF_CHECK, data, state.context);
  bool found = rc > 0;
  if (found) {
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data);
    whole = Span{ov[0], ov[1]};
    if (whole.end < whole.start) found = false;  // \K tricks; never in our patterns
    if (found && groups != nullptr) {
      groups->assign(group_count_, std::nullopt);
      const std::size_t usable = static_cast<std::size_t>(rc);
      for (std::size_t g = 0; g < group_count_ && g < usable; ++g) {
        if (ov[2 * g] != PCRE2_UNSET) (*groups)[g] = Span{ov[2 * g], ov[2 * g + 1]};
      }
    }
  }
  if (own != nullptr) pcre2_match_data_free(own);
  return found;
}

bool Regex::is_match(std::string_view text) const {
  Span whole;
  return match_at(text, 0, whole, nullptr);
}

std::optional<Span> Regex::find(std::string_view text, std::size_t start) const {
  Span whole;
  if (!match_at(text, start, whole, nullptr)) return std::nullopt;
  return whole;
}

std::optional<Span> Regex::find_in(std::string_view text, std::size_t start,
                                   std::size_t end) const {
  if (end > text.size()) end = text.size();
  return find(text.substr(0, end), start);
}

std::optional<Span> Regex::next_match(std::string_view text, std::size_t& cursor,
                                      std::optional<std::size_t>& last_end) const {
  while (cursor <= text.size()) {
    Span m;
    if (!match_at(text, cursor, m, nullptr)) {
      cursor = text.size() + 1;
      return std::nullopt;
    }
    if (m.empty() && last_end && m.start == *last_end) {
      if (m.start >= text.size()) {
        cursor = text.size() + 1;
        return std::nullopt;
      }
      cursor = next_char(text, m.start);
      continue;
    }
    last_end = m.end;
    cursor = m.empty() ? (m.end >= text.size() ? text.size() + 1 : next_char(text, m.end)) : m.end;
    return m;
  }
  return std::nullopt;
}

std::vector<Span> Regex::find_all(std::string_view text) const {
  std::vector<Span> out;
  for_each(text, [&](Span m) {
    out.push_back(m);
    return true;
  });
  return out;
}

std::size_t Regex::count(std::string_view text) const {
  std::size_t n = 0;
  for_each(text, [&](Span) {
    ++n;
    return true;
  });
  return n;
}

std::optional<Captures> Regex::captures(std::string_view text, std::size_t start) const {
  Captures caps;
  Span whole;
  if (!match_at(text, start, whole, &caps.groups_)) return std::nullopt;
  caps.subject_ = text;
  caps.regex_ = this;
  return caps;
}

std::vector<Captures> Regex::captures_all(std::string_view text) const {
  std::vector<Captures> out;
  for_each(text, [&](Span m) {
    auto caps = captures(text, m.start);
    if (caps) out.push_back(std::move(*caps));
    return true;
  });
  return out;
}

int Regex::group_index(std::string_view name) const {
  const std::string key(name);
  const int n =
      pcre2_substring_number_from_name(as_code(code_), reinterpret_cast<PCRE2_SPTR>(key.c_str()));
  return n < 0 ? -1 : n;
}

std::vector<std::string_view> Regex::split(std::string_view text) const {
  std::vector<std::string_view> out;
  std::size_t last = 0;
  for_each(text, [&](Span m) {
    out.push_back(text.substr(last, m.start - last));
    last = m.end;
    return true;
  });
  out.push_back(text.substr(last));
  return out;
}

std::string Regex::replace_all_literal(std::string_view text, std::string_view replacement) const {
  std::string out;
  out.reserve(text.size());
  std::size_t last = 0;
  for_each(text, [&](Span m) {
    out.append(text.substr(last, m.start - last));
    out.append(replacement);
    last = m.end;
    return true;
  });
  out.append(text.substr(last));
  return out;
}

std::string Regex::replace_all(std::string_view text, std::string_view replacement) const {
  if (replacement.find('$') == std::string_view::npos)
    return replace_all_literal(text, replacement);
  std::string out;
  out.reserve(text.size());
  std::size_t last = 0;
  for_each(text, [&](Span m) {
    out.append(text.substr(last, m.start - last));
    const auto caps = captures(text, m.start);
    std::size_t i = 0;
    while (i < replacement.size()) {
      const char c = replacement[i];
      if (c != '$' || i + 1 >= replacement.size()) {
        out += c;
        ++i;
        continue;
      }
      if (replacement[i + 1] == '$') {
        out += '$';
        i += 2;
        continue;
      }
      std::string_view name;
      std::size_t next = i + 1;
      if (replacement[next] == '{') {
        const std::size_t close = replacement.find('}', next + 1);
        if (close == std::string_view::npos) {
          out += c;
          ++i;
          continue;
        }
        name = replacement.substr(next + 1, close - next - 1);
        next = close + 1;
      } else {
        std::size_t end = next;
        while (end < replacement.size() && is_name_char(replacement[end]))
          ++end;
        name = replacement.substr(next, end - next);
        next = end;
      }
      if (name.empty()) {
        out += c;
        ++i;
        continue;
      }
      if (caps) {
        bool numeric = true;
        for (char d : name)
          numeric = numeric && d >= '0' && d <= '9';
        if (numeric) {
          std::size_t index = 0;
          for (char d : name)
            index = index * 10 + static_cast<std::size_t>(d - '0');
          out.append(caps->str(index));
        } else {
          out.append(caps->str(name));
        }
      }
      i = next;
    }
    last = m.end;
    return true;
  });
  out.append(text.substr(last));
  return out;
}

std::string Regex::escape(std::string_view literal) {
  static constexpr std::string_view kMeta = "\\.+*?()|[]{}^$#&-~";
  std::string out;
  out.reserve(literal.size() * 2);
  for (char c : literal) {
    if (kMeta.find(c) != std::string_view::npos) out += '\\';
    out += c;
  }
  return out;
}

const Regex& LazyRegex::get() const {
  std::call_once(once_, [this] { regex_ = std::make_unique<Regex>(pattern_, options_); });
  return *regex_;
}

}  // namespace kvt

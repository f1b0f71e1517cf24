// The recursive-descent TeX parser over characters.
//
// Nesting guard. Each `parse_nodelist` call knows its depth: the top-level
// list is depth 0, and every construct opened from a list at depth d (brace
// group, math, environment, argument group) parses its content at depth d + 1.
// When a list's depth has reached kMaxNesting, nothing is opened any more:
//   - `{`, `$`, `$$`, `\[` and `\(` are read as ordinary characters (they join
//     the pending run of the current list);
//   - `\begin` is a `Macro` named `begin` without slots (the shape the parser
//     already gives `\begin` without `{`), and the `{name}` after it is then
//     ordinary text because `{` no longer opens;
//   - a macro with an argument specification takes no slots at all, as if it
//     had no specification; whatever would have been its arguments is read as
//     the following text of the same list.
// Stop conditions are still tested first, so closing delimiters of the
// enclosing constructs keep closing them. `\verb` and comments open nothing
// and behave as usual. Every list still tiles its text, and the tree depth
// stays below a small multiple of kMaxNesting, which bounds the recursion of
// the traversals and of node destruction as well.
#include "tex/parser.hpp"

#include <array>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "limits.hpp"
#include "tex/argspecs.hpp"
#include "tex/neutralize.hpp"
#include "text.hpp"

namespace kvt {

namespace {

enum class StopKind : std::uint8_t {
  EndOfInput,
  CloseBrace,
  CloseBracket,
  InlineDollar,
  DisplayDollars,
  CloseDisplayMath,
  CloseInlineMath,
  EndEnvironment,
};

struct Stop {
  StopKind kind = StopKind::EndOfInput;
  std::u32string_view end_tag;  // `\end{name}` for EndEnvironment
};

inline bool is_letter(char32_t c) {
  return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') || c == U'@';
}

// Characters at which parse_nodelist has anything to do besides extending the
// pending run: stop characters, openers, comment, and the first characters of
// the special tokens.
struct Interesting {
  std::array<bool, 128> table{};
  constexpr Interesting() {
    for (char c : std::string_view("\\{}]$%-!'?`&~"))
      table[static_cast<unsigned char>(c)] = true;
  }
};
constexpr Interesting kInteresting{};

inline bool is_interesting(char32_t c) {
  return c < 128 && kInteresting.table[c];
}

struct SpecialToken {
  std::u32string_view chars;
  std::string_view utf8;
};
// Tried in this order: `---` before `--`.
constexpr std::array<SpecialToken, 8> kSpecialTokens = {{
    {U"---", "---"},
    {U"!`", "!`"},
    {U"''", "''"},
    {U"--", "--"},
    {U"?`", "?`"},
    {U"``", "``"},
    {U"&", "&"},
    {U"~", "~"},
}};

using Slots = std::vector<std::optional<Node>>;

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

class Parser {
 public:
  // Depths run from 0 to kMaxNesting (nothing opens at kMaxNesting), so the
  // scratch lists are allocated once and never move.
  explicit Parser(std::u32string_view chars)
      : c_(chars), n_(chars.size()), scratch_(kMaxNesting + 1) {}

  std::pair<std::vector<Node>, std::size_t> parse_nodelist(std::size_t start, Stop stop,
                                                           std::size_t depth);

 private:
  std::pair<Slots, std::size_t> parse_args(std::string_view spec, std::size_t start,
                                           std::size_t depth);
  std::pair<Node, std::size_t> parse_environment(std::size_t b, std::size_t w, std::size_t depth);

  // Stop test at p: the returned end, or nothing when the stop does not hold.
  std::optional<std::size_t> stop_end(std::size_t p, const Stop& stop) const;

  bool starts_with(std::size_t pos, std::u32string_view s) const {
    return pos <= n_ && n_ - pos >= s.size() && c_.compare(pos, s.size(), s) == 0;
  }

  // chars[start..end] as UTF-8 into `out` (replacing its contents).
  void utf8_into(std::string& out, std::size_t start, std::size_t end) const {
    out.resize(end - start);
    char* d = out.data();
    std::size_t i = start;
    for (; i < end; ++i) {
      const char32_t ch = c_[i];
      if (ch >= 0x80) break;
      *d++ = static_cast<char>(ch);
    }
    if (i == end) return;
    out.resize(i - start);
    for (; i < end; ++i)
      append_utf8(out, c_[i]);
  }

  std::string utf8(std::size_t start, std::size_t end) const {
    std::string out;
    utf8_into(out, start, end);
    return out;
  }

  // Appends a node in place (no temporary Node to move).
  static Node& add(std::vector<Node>& nodes, NodeKind kind, std::size_t pos, std::size_t len) {
    Node& node = nodes.emplace_back();
    node.kind = kind;
    node.pos = pos;
    node.len = len;
    return node;
  }

  // `pending` is the start of the current run of ordinary characters, or kNone.
  void flush_chars(std::vector<Node>& nodes, std::size_t& pending, std::size_t pos) const {
    if (pending != kNone && pending < pos) {
      utf8_into(add(nodes, NodeKind::Chars, pending, pos - pending).text, pending, pos);
    }
    pending = kNone;
  }

  // White space skipping with the blank-line rule.
  std::size_t skip_whitespace(std::size_t p) const {
    const std::size_t first = p;
    while (p < n_ && is_unicode_whitespace(c_[p])) {
      if (p > first && c_[p] == U'\n' && c_[p - 1] == U'\n') return p - 1;
      ++p;
    }
    return p;
  }

  std::size_t letter_run_end(std::size_t p) const {
    while (p < n_ && is_letter(c_[p]))
      ++p;
    return p;
  }

  std::u32string_view c_;
  std::size_t n_;
  std::vector<std::vector<Node>> scratch_;
};

std::optional<std::size_t> Parser::stop_end(std::size_t p, const Stop& stop) const {
  const char32_t ch = c_[p];
  switch (stop.kind) {
    case StopKind::EndOfInput:
      return std::nullopt;
    case StopKind::CloseBrace:
      if (ch == U'}') return p + 1;
      return std::nullopt;
    case StopKind::CloseBracket:
      if (ch == U']') return p + 1;
      return std::nullopt;
    case StopKind::InlineDollar:
      if (ch == U'$' && !starts_with(p, U"$$")) return p + 1;
      return std::nullopt;
    case StopKind::DisplayDollars:
      if (ch == U'$' && starts_with(p, U"$$")) return p + 2;
      return std::nullopt;
    case StopKind::CloseDisplayMath:
      if (ch == U'\\' && starts_with(p, U"\\]")) return p + 2;
      return std::nullopt;
    case StopKind::CloseInlineMath:
      if (ch == U'\\' && starts_with(p, U"\\)")) return p + 2;
      return std::nullopt;
    case StopKind::EndEnvironment:
      if (ch == U'\\' && starts_with(p, stop.end_tag)) return p + stop.end_tag.size();
      return std::nullopt;
  }
  return std::nullopt;
}

std::pair<std::vector<Node>, std::size_t> Parser::parse_nodelist(std::size_t start, Stop stop,
                                                                 std::size_t depth) {
  // The list is built in a scratch vector kept per depth (the active calls
  // have strictly increasing depths, so no two share one; depth never
  // exceeds kMaxNesting) and moved into an
  // exactly sized vector at the end: no regrowth per list.
  std::vector<Node>& nodes = scratch_[depth];
  nodes.clear();
  const auto finish = [&nodes]() {
    std::vector<Node> out(std::make_move_iterator(nodes.begin()),
                          std::make_move_iterator(nodes.end()));
    nodes.clear();
    return out;
  };
  std::size_t pending = kNone;
  const bool can_open = depth < kMaxNesting;
  std::size_t p = start;

  while (true) {
    // Fast path: a run of characters that can neither stop the list nor
    // start anything joins the pending run.
    if (p < n_ && !is_interesting(c_[p])) {
      if (pending == kNone) pending = p;
      ++p;
      while (p < n_ && !is_interesting(c_[p]))
        ++p;
    }
    if (p >= n_) {
      flush_chars(nodes, pending, p);
      return {finish(), p};
    }
    if (const std::optional<std::size_t> end = stop_end(p, stop)) {
      flush_chars(nodes, pending, p);
      return {finish(), *end};
    }

    bool special = false;
    for (const SpecialToken& token : kSpecialTokens) {
      if (c_[p] == token.chars[0] && starts_with(p, token.chars)) {
        flush_chars(nodes, pending, p);
        add(nodes, NodeKind::Specials, p, token.chars.size()).text = token.utf8;
        p += token.chars.size();
        special = true;
        break;
      }
    }
    if (special) continue;

    const char32_t ch = c_[p];
    if (ch == U'\\') {
      if (p + 1 == n_) {
        flush_chars(nodes, pending, p);
        nodes.push_back(Node::make_macro(std::string(), {}, p, 1));
        p += 1;
        continue;
      }
      const char32_t next = c_[p + 1];
      if (next == U'[' || next == U'(') {
        if (!can_open) {  // read as two ordinary characters
          if (pending == kNone) pending = p;
          p += 2;
          continue;
        }
        flush_chars(nodes, pending, p);
        const bool display = next == U'[';
        auto [children, e] = parse_nodelist(
            p + 2, Stop{display ? StopKind::CloseDisplayMath : StopKind::CloseInlineMath, {}},
            depth + 1);
        nodes.push_back(Node::make_math(std::move(children), p, e - p, display));
        p = e;
        continue;
      }
      flush_chars(nodes, pending, p);
      std::string name;
      std::size_t w;
      if (is_letter(next)) {
        const std::size_t q = letter_run_end(p + 1);
        name = utf8(p + 1, q);
        w = q < n_ ? skip_whitespace(q) : n_;
        if (name == "begin") {
          if (can_open) {
            auto [node, e] = parse_environment(p, w, depth);
            nodes.push_back(std::move(node));
            p = e;
          } else {
            nodes.push_back(Node::make_macro(std::move(name), {}, p, w - p));
            p = w;
          }
          continue;
        }
        if (is_verbatim_macro(name)) {
          if (w >= n_) {
            nodes.push_back(Node::make_macro(std::move(name), {}, p, w - p));
            p = w;
            continue;
          }
          const char32_t delimiter = c_[w];
          const std::size_t k = c_.find(delimiter, w + 1);
          const std::size_t content_end = k == std::u32string_view::npos ? n_ : k;
          const std::size_t end = k == std::u32string_view::npos ? n_ : k + 1;
          Slots args;
          args.emplace_back(
              Node::make_chars(utf8(w + 1, content_end), w + 1, content_end - (w + 1)));
          nodes.push_back(Node::make_macro(std::move(name), std::move(args), p, end - p));
          p = end;
          continue;
        }
      } else {
        name = utf8(p + 1, p + 2);
        w = p + 2;
      }
      // Argument step.
      const std::optional<std::string_view> spec = can_open ? macro_argspec(name) : std::nullopt;
      if (spec) {
        auto [slots, e] = parse_args(*spec, w, depth);
        nodes.push_back(Node::make_macro(std::move(name), std::move(slots), p, e - p));
        p = e;
      } else {
        Node& macro = add(nodes, NodeKind::Macro, p, w - p);
        macro.text = std::move(name);
        macro.classify();
        p = w;
      }
      continue;
    }

    if (ch == U'{' && can_open) {
      flush_chars(nodes, pending, p);
      auto [children, e] = parse_nodelist(p + 1, Stop{StopKind::CloseBrace, {}}, depth + 1);
      nodes.push_back(Node::make_group(std::move(children), p, e - p, false));
      p = e;
      continue;
    }

    if (ch == U'$' && can_open) {
      flush_chars(nodes, pending, p);
      const bool display = starts_with(p, U"$$");
      auto [children, e] =
          display ? parse_nodelist(p + 2, Stop{StopKind::DisplayDollars, {}}, depth + 1)
                  : parse_nodelist(p + 1, Stop{StopKind::InlineDollar, {}}, depth + 1);
      nodes.push_back(Node::make_math(std::move(children), p, e - p, display));
      p = e;
      continue;
    }

    if (ch == U'%') {
      flush_chars(nodes, pending, p);
      std::size_t k = p + 1;
      while (k < n_ && c_[k] != U'\n' && c_[k] != U'\r')
        ++k;
      std::size_t end;
      if (k >= n_) {
        end = n_;
      } else if (k + 1 < n_ && (c_[k + 1] == U'\n' || c_[k + 1] == U'\r')) {
        end = k;
      } else {
        end = k + 1;
      }
      utf8_into(add(nodes, NodeKind::Comment, p, end - p).text, p + 1, k);
      p = end;
      continue;
    }

    // Any other character, including `}` and `]` that do not stop this list,
    // and openers at the nesting limit.
    if (pending == kNone) pending = p;
    ++p;
  }
}

std::pair<Slots, std::size_t> Parser::parse_args(std::string_view spec, std::size_t start,
                                                 std::size_t depth) {
  Slots slots;
  slots.reserve(spec.size());
  std::size_t p = start;
  for (const char letter : spec) {
    if (letter == '*') {
      if (p < n_ && c_[p] == U'*') {
        slots.emplace_back(Node::make_chars("*", p, 1));
        ++p;
      } else {
        slots.emplace_back(std::nullopt);
      }
    } else if (letter == '[') {
      const std::size_t q = skip_whitespace(p);
      if (q < n_ && c_[q] == U'[') {
        auto [children, e] = parse_nodelist(q + 1, Stop{StopKind::CloseBracket, {}}, depth + 1);
        slots.emplace_back(Node::make_group(std::move(children), q, e - q, true));
        p = e;
      } else {
        slots.emplace_back(std::nullopt);
      }
    } else if (letter == '{') {
      const std::size_t q = skip_whitespace(p);
      if (q >= n_) {
        slots.emplace_back(std::nullopt);
        p = n_;
        continue;
      }
      p = q;
      const char32_t ch = c_[p];
      if (ch == U'{') {
        auto [children, e] = parse_nodelist(p + 1, Stop{StopKind::CloseBrace, {}}, depth + 1);
        slots.emplace_back(Node::make_group(std::move(children), p, e - p, false));
        p = e;
      } else if (ch == U'\\') {
        if (p + 1 == n_) {
          slots.emplace_back(Node::make_macro(std::string(), {}, p, 1));
          p += 1;
        } else if (is_letter(c_[p + 1])) {
          const std::size_t q2 = letter_run_end(p + 1);
          const std::size_t w = q2 < n_ ? skip_whitespace(q2) : n_;
          slots.emplace_back(Node::make_macro(utf8(p + 1, q2), {}, p, w - p));
          p = w;
        } else {
          slots.emplace_back(Node::make_macro(utf8(p + 1, p + 2), {}, p, 2));
          p += 2;
        }
      } else if (ch == U'}') {
        slots.emplace_back(Node::make_chars(std::string(), p, 0));
      } else {
        slots.emplace_back(Node::make_chars(utf8(p, p + 1), p, 1));
        p += 1;
      }
    }
    // Any other letter: no slot.
  }
  return {std::move(slots), p};
}

std::pair<Node, std::size_t> Parser::parse_environment(std::size_t b, std::size_t w,
                                                       std::size_t depth) {
  if (w >= n_ || c_[w] != U'{') {
    return {Node::make_macro("begin", {}, b, w - b), w};
  }
  const std::size_t found = c_.find(U'}', w + 1);
  const std::size_t k = found == std::u32string_view::npos ? n_ : found;
  std::string name = utf8(w + 1, k);
  std::size_t c = found == std::u32string_view::npos ? n_ : k + 1;

  Slots args;
  if (const std::optional<std::string_view> spec = environment_argspec(name)) {
    auto parsed = parse_args(*spec, c, depth);
    args = std::move(parsed.first);
    c = parsed.second;
  }

  std::u32string end_tag = U"\\end{";
  end_tag.append(c_.substr(w + 1, k - (w + 1)));
  end_tag.push_back(U'}');

  if (is_verbatim_environment(name)) {
    const std::size_t m0 = c_.find(end_tag, c);
    const std::size_t m = m0 == std::u32string_view::npos ? n_ : m0;
    const std::size_t end = m0 == std::u32string_view::npos ? n_ : m + end_tag.size();
    Slots raw;
    raw.emplace_back(Node::make_chars(utf8(c, m), c, m - c));
    return {Node::make_environment(std::move(name), std::move(raw), {}, b, end - b), end};
  }

  auto [children, e] = parse_nodelist(c, Stop{StopKind::EndEnvironment, end_tag}, depth + 1);
  return {Node::make_environment(std::move(name), std::move(args), std::move(children), b, e - b),
          e};
}

// decode_utf8 with a fast path for ASCII runs; tells whether any byte was
// invalid (each such byte decodes to one U+FFFD, exactly as in decode_utf8).
std::u32string decode_checked(std::string_view text, bool& invalid) {
  std::u32string out;
  out.resize(text.size());  // an upper bound; one store per character below
  char32_t* dst = out.data();
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = 0;
  invalid = false;
  while (i < n) {
    if (bytes[i] < 0x80) {
      *dst++ = bytes[i++];
      continue;
    }
    const std::size_t before = i;
    const char32_t c = decode_utf8_at(text, i);
    if (c == 0xFFFD && i == before + 1) invalid = true;
    *dst++ = c;
  }
  out.resize(static_cast<std::size_t>(dst - out.data()));
  return out;
}

}  // namespace

ParsedTex parse_tex_source(std::string_view text) {
  ParsedTex parsed;
  // Neutralization only touches ASCII bytes, so it can run before invalid
  // bytes are replaced: the result is the same as replacing first. Each
  // invalid byte then becomes one U+FFFD in `chars` and in `source`, so the
  // two always agree and `source` is valid UTF-8; valid input is left byte
  // for byte as it is.
  parsed.source = preprocess(text);
  bool invalid = false;
  parsed.chars = decode_checked(parsed.source, invalid);
  if (invalid) parsed.source = sanitize_utf8(parsed.source);
  Parser parser(parsed.chars);
  parsed.nodes = parser.parse_nodelist(0, Stop{StopKind::EndOfInput, {}}, 0).first;
  parsed.line_offset = 0;
  return parsed;
}

}  // namespace kvt

// Fixture manuscripts with inline expectations. Every .tex file under
// tests/fixtures/rules/ is parsed and linted by every registered TeX rule; the
// findings must be exactly the ones its comments announce:
//
//   We fit the model in R.
//   % expect: KVT-MARKUP-001 @-1:21
//
// An expectation is a rule id and a line:column, where the line is absolute
// (`12:9`) or relative to the comment's own line (`@-1:21`, `@0:5`); several
// may share one comment, separated by commas. A line starting with
// `% rules:` and a list of id prefixes (`% rules: KVT-MARKUP KVT-XREF-002`)
// limits the fixture to the rules whose ids start with one of them, so one
// family's fixture is not disturbed by another family's findings.
//
// Every fixture must also converge under its fixes: applying all of them
// (non-overlapping, from the end) and linting again leaves exactly the findings
// that had no fix.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "registry.hpp"
#include "tex/parser.hpp"
#include "text.hpp"

namespace kvt {
namespace {

namespace fs = std::filesystem;

const fs::path kFixtureDir = fs::path(KVT_SOURCE_DIR) / "tests" / "fixtures" / "rules";

struct Fixture {
  std::string name;
  std::string text;
  std::vector<std::string> rule_prefixes;  // empty: every rule
  std::multiset<std::string> expected;     // "RULE-ID line:column"
  std::vector<std::string> errors;         // malformed expectation comments
};

std::vector<std::string> words(std::string_view text) {
  std::vector<std::string> out;
  std::istringstream in{std::string(text)};
  for (std::string w; in >> w;)
    out.push_back(w);
  return out;
}

Fixture load_fixture(const fs::path& path) {
  Fixture fixture;
  fixture.name = path.filename().string();
  std::ifstream file(path, std::ios::binary);
  std::stringstream contents;
  contents << file.rdbuf();
  fixture.text = contents.str();

  std::istringstream lines(fixture.text);
  long line_no = 0;
  for (std::string line; std::getline(lines, line);) {
    ++line_no;
    if (line.starts_with("% rules:")) {
      for (const std::string& prefix : words(std::string_view(line).substr(8)))
        fixture.rule_prefixes.push_back(prefix);
    }
    const auto at = line.find("% expect:");
    if (at == std::string::npos) continue;
    std::string items = line.substr(at + 9);
    std::replace(items.begin(), items.end(), ',', ' ');
    const std::vector<std::string> tokens = words(items);
    for (std::size_t i = 0; i < tokens.size(); i += 2) {
      if (i + 1 >= tokens.size()) {
        fixture.errors.push_back("line " + std::to_string(line_no) + ": no position after " +
                                 tokens[i]);
        break;
      }
      const std::string& where = tokens[i + 1];
      const auto colon = where.find(':');
      if (colon == std::string::npos) {
        fixture.errors.push_back("line " + std::to_string(line_no) + ": bad position " + where);
        continue;
      }
      long target = 0;
      try {
        target = where[0] == '@' ? line_no + std::stol(where.substr(1, colon - 1))
                                 : std::stol(where.substr(0, colon));
        (void)std::stol(where.substr(colon + 1));
      } catch (const std::exception&) {
        fixture.errors.push_back("line " + std::to_string(line_no) + ": bad position " + where);
        continue;
      }
      fixture.expected.insert(tokens[i] + " " + std::to_string(target) + ":" +
                              where.substr(colon + 1));
    }
  }
  return fixture;
}

bool selected(const Fixture& fixture, std::string_view rule_id) {
  if (fixture.rule_prefixes.empty()) return true;
  return std::any_of(fixture.rule_prefixes.begin(), fixture.rule_prefixes.end(),
                     [&](const std::string& prefix) { return rule_id.starts_with(prefix); });
}

std::vector<Violation> lint_fixture(const Fixture& fixture, std::string_view text) {
  const ParsedTex tex = parse_tex_source(text);
  std::vector<Violation> out;
  for (const TexRuleEntry& rule : tex_rules()) {
    if (!selected(fixture, rule.rule_id)) continue;
    for (Violation& v : rule.check(fixture.name, tex, 80))
      out.push_back(std::move(v));
  }
  return out;
}

std::string describe(const Violation& v) {
  return v.rule_id + " " + std::to_string(v.line) + ":" +
         (v.column ? std::to_string(*v.column) : std::string("-"));
}

// Applies every fix that does not overlap an earlier one (by start), from the
// end of the text backwards. Returns the new text and the findings whose fix
// was left out.
std::pair<std::string, std::vector<const Violation*>> apply_fixes(
    std::u32string chars, const std::vector<Violation>& findings) {
  std::vector<const Violation*> fixable;
  for (const Violation& v : findings)
    if (v.fix) fixable.push_back(&v);
  std::stable_sort(fixable.begin(), fixable.end(), [](const Violation* a, const Violation* b) {
    return a->fix->start < b->fix->start;
  });
  std::vector<const Violation*> applied;
  std::vector<const Violation*> left_out;
  std::uint64_t last_end = 0;
  for (const Violation* v : fixable) {
    // Two edits at one point would be ambiguous; keep the first.
    const bool overlaps = !applied.empty() &&
                          (v->fix->start < last_end || v->fix->start == applied.back()->fix->start);
    if (overlaps) {
      left_out.push_back(v);
      continue;
    }
    applied.push_back(v);
    last_end = v->fix->end;
  }
  for (auto it = applied.rbegin(); it != applied.rend(); ++it) {
    const Fix& fix = *(*it)->fix;
    chars.replace(fix.start, fix.end - fix.start, decode_utf8(fix.replacement));
  }
  return {encode_utf8(chars), left_out};
}

std::vector<fs::path> fixture_paths() {
  std::vector<fs::path> out;
  if (!fs::is_directory(kFixtureDir)) return out;
  for (const auto& entry : fs::directory_iterator(kFixtureDir)) {
    const std::string ext = entry.path().extension().string();
    if (entry.is_regular_file() && (ext == ".tex" || ext == ".ltx")) out.push_back(entry.path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

class RuleFixture : public testing::TestWithParam<fs::path> {};

TEST_P(RuleFixture, FindingsMatchExpectations) {
  const Fixture fixture = load_fixture(GetParam());
  for (const std::string& error : fixture.errors)
    ADD_FAILURE() << fixture.name << ": " << error;
  std::multiset<std::string> unexpected;
  std::multiset<std::string> missing = fixture.expected;
  for (const Violation& v : lint_fixture(fixture, fixture.text)) {
    const auto it = missing.find(describe(v));
    if (it != missing.end()) {
      missing.erase(it);
    } else {
      unexpected.insert(describe(v) + "  (" + v.suggestion.value_or("") + ")");
    }
  }
  for (const std::string& m : missing)
    ADD_FAILURE() << fixture.name << ": missing " << m;
  for (const std::string& u : unexpected)
    ADD_FAILURE() << fixture.name << ": unexpected " << u;
}

TEST_P(RuleFixture, FixesConverge) {
  const Fixture fixture = load_fixture(GetParam());
  const std::vector<Violation> before = lint_fixture(fixture, fixture.text);
  const auto [fixed_text, left_out] = apply_fixes(decode_utf8(fixture.text), before);

  // What may remain: findings without a fix and fixes that could not be applied.
  // Fixes never add or remove lines here, so (rule, line, suggestion) identifies them.
  const auto key = [](const Violation& v) {
    return v.rule_id + " line " + std::to_string(v.line) + ": " + v.suggestion.value_or("");
  };
  std::multiset<std::string> allowed;
  for (const Violation& v : before) {
    if (!v.fix) allowed.insert(key(v));
    if (v.fix) {
      EXPECT_EQ(v.fix->replacement.find('\n'), std::string::npos) << describe(v);
      EXPECT_LE(v.fix->start, v.fix->end) << describe(v);
    }
  }
  for (const Violation* v : left_out)
    allowed.insert(key(*v));
  std::multiset<std::string> after;
  for (const Violation& v : lint_fixture(fixture, fixed_text))
    after.insert(key(v));
  EXPECT_EQ(after, allowed) << fixture.name << " after fixes:\n" << fixed_text;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RuleFixture, testing::ValuesIn(fixture_paths()),
                         [](const testing::TestParamInfo<fs::path>& param) {
                           std::string name = param.param.stem().string();
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

TEST(RuleFixtures, FolderHoldsFixtures) {
  EXPECT_FALSE(fixture_paths().empty()) << kFixtureDir;
}

}  // namespace
}  // namespace kvt

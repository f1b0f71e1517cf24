#include "terms.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "errors.hpp"

namespace kvt {
namespace {

TEST(Terms, CompiledInTextIsTheSourceFile) {
  std::ifstream file(KVT_SOURCE_DIR "/kvtlint-core/src/terms.json", std::ios::binary);
  ASSERT_TRUE(file);
  std::stringstream contents;
  contents << file.rdbuf();
  EXPECT_EQ(terms_json_text(), contents.str());
}

TEST(Terms, Contents) {
  const Terms& terms = TERMS();
  EXPECT_EQ(terms.languages,
            (StringSet{"C", "C++", "Fortran", "Java", "Julia", "MATLAB", "Matlab", "Python", "R",
                       "S-PLUS", "S-Plus", "SAS", "Stan", "Stata"}));
  EXPECT_EQ(terms.r_packages, (StringSet{"MASS", "ggplot2", "knitr", "mgcv", "pscl", "quantreg",
                                         "sandwich", "xts", "zoo"}));
  EXPECT_EQ(terms.canonical, (StringMap{{"FORTRAN", "Fortran"},
                                        {"JAVA", "Java"},
                                        {"SPLUS", "S-Plus"},
                                        {"Splus", "S-Plus"},
                                        {"fortran", "Fortran"},
                                        {"java", "Java"},
                                        {"matlab", "MATLAB"},
                                        {"splus", "S-Plus"}}));
  EXPECT_EQ(terms.publisher_canonical,
            (StringMap{{"Chapman and Hall", "Chapman & Hall/CRC"},
                       {"Chapman and Hall/CRC", "Chapman & Hall/CRC"},
                       {"John Wiley", "John Wiley & Sons"},
                       {"Springer", "Springer-Verlag"},
                       {"Springer Science+Business Media", "Springer-Verlag"},
                       {"Wiley", "John Wiley & Sons"}}));
  EXPECT_EQ(terms.journal_canonical,
            (StringMap{{"Annals of Statistics", "The Annals of Statistics"},
                       {"Annals of statistics", "The Annals of Statistics"},
                       {"JASA", "Journal of the American Statistical Association"},
                       {"Journal of the Royal Statistical Society Series B",
                        "Journal of the Royal Statistical Society B"},
                       {"Journal of the Royal Statistical Society, Series B",
                        "Journal of the Royal Statistical Society B"}}));
  EXPECT_EQ(terms.publisher_prefix_canonical,
            (std::vector<std::pair<std::string, std::string>>{{"Springer", "Springer-Verlag"}}));
}

TEST(Terms, LookupsAreExactAndCaseSensitive) {
  const Terms& terms = TERMS();
  EXPECT_EQ(terms.canonical.at("matlab"), "MATLAB");
  EXPECT_TRUE(terms.languages.contains(std::string_view("Matlab")));
  EXPECT_TRUE(terms.languages.contains(std::string_view("MATLAB")));
  EXPECT_FALSE(terms.languages.contains(std::string_view("MatLab")));
  EXPECT_FALSE(terms.canonical.contains(std::string_view("MatLab")));
  EXPECT_FALSE(terms.languages.contains(std::string_view("r")));
  EXPECT_EQ(terms.publisher_canonical.at("Wiley"), "John Wiley & Sons");
  EXPECT_FALSE(terms.publisher_canonical.contains(std::string_view("wiley")));
}

TEST(Terms, BuiltOnceWhenFirstUsedFromSeveralThreads) {
  const Terms* seen[4] = {};
  std::vector<std::thread> threads;
  for (auto& slot : seen)
    threads.emplace_back([&slot] { slot = &TERMS(); });
  for (auto& t : threads)
    t.join();
  for (const Terms* t : seen)
    EXPECT_EQ(t, &TERMS());
}

TEST(Terms, InvalidDocumentsAreInternalFailures) {
  const std::string all_members =
      R"("languages": ["R"], "r_packages": [], "canonical": {}, "publisher_canonical": {},
         "journal_canonical": {}, "publisher_prefix_canonical": [])";
  // Valid, with an extra member that is ignored and duplicate array items that collapse.
  const Terms ok = parse_terms("{" + all_members + R"(, "extra": 1, "r_packages2": [1]})");
  EXPECT_EQ(ok.languages, StringSet{"R"});
  EXPECT_EQ(parse_terms(R"({"languages": ["R", "R"], "r_packages": [], "canonical": {},
      "publisher_canonical": {}, "journal_canonical": {}, "publisher_prefix_canonical": []})")
                .languages.size(),
            1u);

  const std::string invalid[] = {
      "",
      "not json",
      "[]",
      // A member missing.
      R"({"languages": [], "r_packages": [], "canonical": {}, "publisher_canonical": {},
          "journal_canonical": {}})",
      // A member given twice.
      "{" + all_members + R"(, "languages": ["C"]})",
      // Members of the wrong type.
      R"({"languages": "R", "r_packages": [], "canonical": {}, "publisher_canonical": {},
          "journal_canonical": {}, "publisher_prefix_canonical": []})",
      R"({"languages": [1], "r_packages": [], "canonical": {}, "publisher_canonical": {},
          "journal_canonical": {}, "publisher_prefix_canonical": []})",
      R"({"languages": [], "r_packages": [], "canonical": {"a": 1}, "publisher_canonical": {},
          "journal_canonical": {}, "publisher_prefix_canonical": []})",
      R"({"languages": [], "r_packages": [], "canonical": {}, "publisher_canonical": {},
          "journal_canonical": {}, "publisher_prefix_canonical": [["Springer"]]})",
  };
  for (const std::string& text : invalid) {
    try {
      parse_terms(text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const InternalError& e) {
      EXPECT_STREQ(e.what(), "terms.json must parse (generated by tools/generate_terms_json.py)");
    }
  }
}

}  // namespace
}  // namespace kvt

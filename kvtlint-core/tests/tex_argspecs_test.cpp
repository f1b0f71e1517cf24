#include "tex/argspecs.hpp"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace kvt {
namespace {

TEST(Specs, TableSizes) {
  EXPECT_EQ(specs_detail::macro_spec_count(), 198u);
  EXPECT_EQ(specs_detail::environment_spec_count(), 42u);
}

TEST(Specs, MacroSpotChecks) {
  EXPECT_EQ(macro_argspec("section"), "*[{");
  EXPECT_FALSE(macro_argspec("section*"));
  EXPECT_FALSE(macro_argspec("Section"));
  EXPECT_EQ(macro_argspec("\\"), "*[");
  EXPECT_FALSE(macro_argspec("end"));
  EXPECT_FALSE(macro_argspec("begin"));
  EXPECT_FALSE(macro_argspec("verb"));
  EXPECT_EQ(macro_argspec("nopagecolor"), "");
  EXPECT_EQ(macro_argspec("item"), "[");
  EXPECT_EQ(macro_argspec("hspace"), "*{");
  EXPECT_EQ(macro_argspec("includegraphics"), "[{");
  EXPECT_EQ(macro_argspec("uebung"), "{[");
  EXPECT_EQ(macro_argspec("frac"), "{{");
  EXPECT_EQ(macro_argspec("DeclareMathOperator"), "*{{");
  EXPECT_EQ(macro_argspec("citeyearpar"), "[[{");
  EXPECT_EQ(macro_argspec("textcolor"), "[{{");
  EXPECT_EQ(macro_argspec("boxframe"), "{{{");
  EXPECT_EQ(macro_argspec("Citep"), "*[[{");
  EXPECT_EQ(macro_argspec("citet"), "*[[{");
  EXPECT_EQ(macro_argspec("colorlet"), "[{[{");
  EXPECT_EQ(macro_argspec("providecolor"), "[{{{");
  EXPECT_EQ(macro_argspec("rowcolors"), "*[{{{");
  EXPECT_EQ(macro_argspec("renewcommand"), "*{[[{");
  EXPECT_EQ(macro_argspec("fcolorbox"), "[{[{{");
  EXPECT_EQ(macro_argspec("provideenvironment"), "*{[[{{");
  for (const char* name : {"\"",
                           "'",
                           ".",
                           "=",
                           "^",
                           "`",
                           "~",
                           "H",
                           "b",
                           "v",
                           "emph",
                           "label",
                           "url",
                           "mathbb",
                           "not",
                           "ket",
                           "underrightarrow",
                           "subuebung",
                           "UebungsblattTitleTips",
                           "UebungAttachedSolutionTitle"}) {
    EXPECT_EQ(macro_argspec(name), "{") << name;
  }
  for (const char* name : {"pkg", "proglang", "code", "cite*", "Emph", "a", "nocite", "pageref"})
    EXPECT_FALSE(macro_argspec(name)) << name;
}

TEST(Specs, EnvironmentSpotChecks) {
  EXPECT_EQ(environment_argspec("abstract"), "");
  EXPECT_EQ(environment_argspec("align*"), "");
  EXPECT_EQ(environment_argspec("split"), "");
  EXPECT_EQ(environment_argspec("figure*"), "[");
  EXPECT_EQ(environment_argspec("thm"), "[");
  EXPECT_EQ(environment_argspec("alignat*"), "{");
  EXPECT_EQ(environment_argspec("tabular"), "{");
  EXPECT_EQ(environment_argspec("array"), "[{");
  EXPECT_EQ(environment_argspec("tabular*"), "{{");
  EXPECT_EQ(environment_argspec("tabularx"), "{[{");
  EXPECT_FALSE(environment_argspec("verbatim"));
  EXPECT_FALSE(environment_argspec("document"));
  EXPECT_FALSE(environment_argspec("Figure"));
}

TEST(Specs, VerbatimNames) {
  EXPECT_TRUE(is_verbatim_macro("verb"));
  EXPECT_FALSE(is_verbatim_macro("verb*"));
  EXPECT_FALSE(is_verbatim_macro("code"));
  EXPECT_TRUE(is_verbatim_environment("verbatim"));
  EXPECT_FALSE(is_verbatim_environment("Verbatim"));
  EXPECT_FALSE(is_verbatim_environment("lstlisting"));
  EXPECT_FALSE(is_verbatim_environment("verbatim*"));
}

TEST(Specs, ConcurrentFirstUse) {
  // The tables may already be built by other tests; the lookups must agree
  // from every thread either way.
  std::vector<std::thread> threads;
  std::vector<int> ok(8, 0);
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&ok, i] {
      ok[i] = macro_argspec("section") == std::optional<std::string_view>("*[{") &&
              environment_argspec("array") == std::optional<std::string_view>("[{");
    });
  }
  for (auto& t : threads)
    t.join();
  for (int v : ok)
    EXPECT_EQ(v, 1);
}

}  // namespace
}  // namespace kvt

// Throughput benchmarks: the front-ends, the whole lint pass, the rules and the renderers.
//
//   kvt_bench            runs every benchmark
//   kvt_bench NAME...    runs the named ones
//   kvt_bench --list     lists the names
//   KVT_BENCH_VERBOSE=1  also prints every timed run of the throughput figures
//
// Inputs are built from the fixture manuscripts in tests/fixtures: about
// 10 MB of LaTeX (the .tex fixtures repeated) and about 10 MB of BibTeX (the
// fixture database repeated with unique keys). Each figure is the best of a
// few runs. A benchmark returns false when a check it makes fails (the
// linearity checks), and the program then exits with status 1.
//
// Adding a figure: write a function `bool bench_xxx(Inputs&)` and add a row
// to kBenchmarks.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "bib/parser.hpp"
#include "catalogue.hpp"
#include "document.hpp"
#include "pipeline.hpp"
#include "rmd.hpp"
#include "rnw.hpp"
#include "tex/neutralize.hpp"
#include "tex/parser.hpp"
#include "tex/walk.hpp"

void run_rules_bench();   // rules_bench.cpp
void run_render_bench();  // render_bench.cpp

namespace {

constexpr std::size_t kTargetBytes = 10u << 20;  // about 10 MB
constexpr int kRuns = 5;

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "kvt_bench: cannot read %s\n", path.c_str());
    std::exit(2);
  }
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string fixture(const char* name) {
  return read_file(std::string(KVT_FIXTURES_DIR) + "/" + name);
}

// The .bib fixture with every entry key (not @string/@comment/@preamble)
// suffixed by `-copy`, so repeated copies never collide.
std::string bib_copy(const std::string& bib, std::size_t copy) {
  std::string out;
  out.reserve(bib.size() + 256);
  std::string suffix = "-";  // (built in two steps: GCC 12 warns falsely on "-" + string)
  suffix += std::to_string(copy);
  std::size_t p = 0;
  while (p < bib.size()) {
    const std::size_t at = bib.find('@', p);
    if (at == std::string::npos) break;
    std::size_t t = at + 1;
    while (t < bib.size() && std::isalpha(static_cast<unsigned char>(bib[t])))
      ++t;
    std::string type = bib.substr(at + 1, t - at - 1);
    std::transform(type.begin(), type.end(), type.begin(), ::tolower);
    const std::size_t comma = bib.find(',', t);
    if (type == "string" || type == "comment" || type == "preamble" || comma == std::string::npos) {
      out.append(bib, p, t - p);
      p = t;
      continue;
    }
    out.append(bib, p, comma - p);
    out += suffix;
    p = comma;
  }
  out.append(bib, p, std::string::npos);
  return out;
}

struct Inputs {
  std::string tex_unit;  // the .tex fixtures once
  std::string bib_fixture;
  std::string tex;  // about kTargetBytes of LaTeX
  std::string bib;  // about kTargetBytes of BibTeX

  void build() {
    if (!tex.empty()) return;
    tex_unit = fixture("paper_basic.tex") + "\n" + fixture("paper_code.tex") + "\n";
    bib_fixture = fixture("refs.bib");
    tex = repeat_tex(kTargetBytes);
    bib = repeat_bib(kTargetBytes);
  }
  std::string repeat_tex(std::size_t bytes) const {
    std::string out;
    out.reserve(bytes + tex_unit.size());
    while (out.size() < bytes)
      out += tex_unit;
    return out;
  }
  std::string repeat_bib(std::size_t bytes) const {
    std::string out;
    out.reserve(bytes + 2 * bib_fixture.size());
    for (std::size_t copy = 0; out.size() < bytes; ++copy)
      out += bib_copy(bib_fixture, copy);
    return out;
  }
};

// Best wall time of `runs` calls, in seconds.
double best_of(int runs, const std::function<void()>& fn) {
  double best = 1e300;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    fn();
    const double s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    best = std::min(best, s);
    if (std::getenv("KVT_BENCH_VERBOSE")) std::printf("    run %.4f s\n", s);
  }
  return best;
}

double mb(std::size_t bytes) {
  return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

void report_rate(const char* what, std::size_t bytes, double seconds) {
  std::printf("  %-34s %8.2f MB in %8.4f s  = %8.1f MB/s\n", what, mb(bytes), seconds,
              mb(bytes) / seconds);
}

std::size_t sink = 0;  // keeps results alive

bool bench_tex_parse(Inputs& in) {
  const double s = best_of(kRuns, [&] {
    const kvt::ParsedTex parsed = kvt::parse_tex_source(in.tex);
    sink += parsed.nodes.size();
  });
  report_rate("neutralize + parse (.tex)", in.tex.size(), s);
  // The same split into building the tree and freeing it.
  double build = 1e300;
  double destroy = 1e300;
  for (int i = 0; i < kRuns; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    auto parsed = std::make_unique<kvt::ParsedTex>(kvt::parse_tex_source(in.tex));
    const auto t1 = std::chrono::steady_clock::now();
    sink += parsed->nodes.size();
    parsed.reset();
    const auto t2 = std::chrono::steady_clock::now();
    build = std::min(build, std::chrono::duration<double>(t1 - t0).count());
    destroy = std::min(destroy, std::chrono::duration<double>(t2 - t1).count());
  }
  report_rate("  of which building the tree", in.tex.size(), build);
  std::printf("  %-34s %8.4f s\n", "  and freeing it", destroy);
  return true;
}

bool bench_tex_neutralize(Inputs& in) {
  const double s = best_of(kRuns, [&] { sink += kvt::preprocess(in.tex).size(); });
  report_rate("neutralize only (.tex)", in.tex.size(), s);
  return true;
}

bool bench_tex_walk(Inputs& in) {
  const kvt::ParsedTex parsed = kvt::parse_tex_source(in.tex);
  std::size_t nodes = 0;
  const double s = best_of(kRuns, [&] {
    nodes = 0;
    kvt::walk(parsed.nodes, [&](const kvt::Node&, const kvt::Ancestors&) { ++nodes; });
    sink += nodes;
  });
  report_rate("walk the parsed tree (.tex)", in.tex.size(), s);
  std::printf("  %-34s %zu nodes\n", "", nodes);
  return true;
}

bool bench_bib_parse(Inputs& in) {
  std::size_t entries = 0;
  const double s = best_of(kRuns, [&] {
    const kvt::Library lib = kvt::parse_bibtex(std::string_view(in.bib));
    entries = lib.entries.size();
    sink += entries;
  });
  report_rate("parse (.bib)", in.bib.size(), s);
  std::printf("  %-34s %zu entries\n", "", entries);
  return true;
}

// Linearity: the time for one call on 16x the input over the time for one
// call on 1x. A linear front-end gives 16; an n log n one about 19 at these
// sizes, a quadratic one 256.
//
// The 1x figure is the time of 16 calls on 16 copies of the 1x input made
// back to back, with all 16 results kept, divided by 16. Both sides then
// read, build and hold the same amount of memory, so the ratio shows how the
// front-end scales rather than how much better a single small result fits in
// the processor caches and the TLB than a 16x larger one. The timers stop
// when the results are built; freeing them (glibc's work, reported by
// tex_parse) happens outside. The 1x input is the full ~10 MB input.
template <typename Result>
bool linearity(const char* what, const std::string& small, const std::string& large,
               Result (*run)(const std::string&), double limit = 17.0) {
  using Clock = std::chrono::steady_clock;
  double t16 = 1e300;
  for (int i = 0; i < kRuns; ++i) {
    const auto start = Clock::now();
    const Result result = run(large);
    t16 = std::min(t16, std::chrono::duration<double>(Clock::now() - start).count());
    sink += sizeof(result);
  }
  // Sixteen separate copies, so that the batch reads 16 distinct inputs from
  // memory as the large call does, rather than one input kept in cache.
  const std::vector<std::string> copies(16, small);
  double batch = 1e300;
  for (int i = 0; i < kRuns; ++i) {
    std::vector<Result> results;
    results.reserve(copies.size());
    const auto start = Clock::now();
    for (const std::string& copy : copies)
      results.push_back(run(copy));
    batch = std::min(batch, std::chrono::duration<double>(Clock::now() - start).count());
    sink += results.size();
  }
  const double t1 = batch / 16;
  const double ratio = t16 / t1;
  const bool ok = ratio <= limit;
  std::printf("  %-34s 1x %.2f MB: %.4f s, 16x %.2f MB: %.4f s, ratio %.2f (limit %g) %s\n", what,
              mb(small.size()), t1, mb(large.size()), t16, ratio, limit, ok ? "ok" : "FAILED");
  return ok;
}

kvt::ParsedTex run_tex(const std::string& text) {
  return kvt::parse_tex_source(text);
}
kvt::Library run_bib(const std::string& text) {
  return kvt::parse_bibtex(std::string_view(text));
}

bool bench_tex_linearity(Inputs& in) {
  std::string large;
  large.reserve(16 * in.tex.size());
  for (int i = 0; i < 16; ++i)
    large += in.tex;
  return linearity("linearity neutralize + parse", in.tex, large, run_tex);
}

bool bench_bib_linearity(Inputs& in) {
  // Keys stay unique across the 16 copies.
  std::string large;
  large.reserve(16 * in.bib.size() + 16 * in.bib_fixture.size());
  for (std::size_t copy = 0; large.size() < 16 * in.bib.size(); ++copy)
    large += bib_copy(in.bib_fixture, copy);
  return linearity("linearity BibTeX parse", in.bib, large, run_bib);
}

// The whole lint pass as `render` runs it (intake, configuration, engine,
// terminal report) on the same 10 MB LaTeX input as tex_parse, once with every
// registered rule and once with every rule ignored, so the cost of the rules
// shows beside the cost of everything else.
double time_lint(const std::string& tex, const kvt::RawOverrides& overrides,
                 std::size_t& findings) {
  const std::vector<kvt::SourceFile> files = {{"bench.tex", tex}};
  return best_of(3, [&] {
    const kvt::LintOutcome outcome = kvt::lint_and_render(files, overrides);
    findings = outcome.report.violations.size();
  });
}

bool bench_render(Inputs& in) {
  std::size_t findings = 0;
  const double with_rules = time_lint(in.tex, {}, findings);
  std::printf("  render, all registered rules  %8.1f MB/s  (%.3f s, %zu findings)\n",
              mb(in.tex.size()) / with_rules, with_rules, findings);
  kvt::RawOverrides none;
  std::vector<std::string> every_rule;
  for (const kvt::RuleMeta& rule : kvt::catalogue())
    every_rule.emplace_back(rule.id);
  none.ignore_rules = every_rule;
  const double without = time_lint(in.tex, none, findings);
  std::printf("  render, every rule ignored    %8.1f MB/s  (%.3f s, %zu findings)\n",
              mb(in.tex.size()) / without, without, findings);
  return true;
}

// Hostile nesting: each input opens far more constructs than the nesting guard
// lets the parser follow, so the tree is as deep as it can get and everything
// past the guard is a long run of siblings under the deepest node.
bool bench_deep(Inputs&) {
  const std::pair<const char*, std::string> cases[] = {
      {"1M nested braces", std::string(1'000'000, '{') + "R" + std::string(1'000'000, '}')},
      {"300k nested \\\\[",
       [] {
         std::string t;
         for (int i = 0; i < 300'000; ++i)
           t += "\\\\[";
         return t;
       }()},
      {"300k nested \\section{",
       [] {
         std::string t;
         for (int i = 0; i < 300'000; ++i)
           t += "\\section{";
         return t;
       }()},
      {"200k \\begin{x}$\\emph{[",
       [] {
         std::string t;
         for (int i = 0; i < 200'000; ++i)
           t += "\\begin{x}$\\emph{[";
         return t;
       }()},
  };
  for (const auto& [label, text] : cases) {
    std::size_t findings = 0;
    const double seconds = time_lint(text, {}, findings);
    std::printf("  %-28s %6.2f MB  %7.3f s  (%zu findings)\n", label, mb(text.size()), seconds,
                findings);
  }
  return true;
}

bool bench_rules(Inputs&) {
  run_rules_bench();
  return true;
}

bool bench_renderers(Inputs&) {
  run_render_bench();
  return true;
}

// Sweave and R Markdown intake, through ParsedDocument::from_sources as a run
// does it. Ordinary manuscripts of about kTargetBytes, and the inputs that
// would be quadratic in a naive front-end: chunks that never close, tens of
// thousands of backticks in one paragraph, fences left open, comments that
// never end.

kvt::ParsedDocument intake(const char* path, const std::string& text) {
  auto parsed = kvt::ParsedDocument::from_sources({{path, text}});
  return std::move(std::get<kvt::ParsedDocument>(parsed));
}
kvt::ParsedDocument run_rnw(const std::string& text) {
  return intake("paper.Rnw", text);
}
kvt::ParsedDocument run_rmd(const std::string& text) {
  return intake("paper.Rmd", text);
}

std::string repeat_to(std::string_view unit, std::size_t bytes) {
  std::string out;
  out.reserve(bytes + unit.size());
  while (out.size() < bytes)
    out += unit;
  return out;
}

// Prose with \Sexpr{} between an echoed and a hidden chunk: about 5,000
// chunks per MB.
std::string rnw_manuscript(std::size_t bytes) {
  return repeat_to(
      "We fit the model in \\proglang{R}; the mean is \\Sexpr{round(mean(x), 2)}.\n"
      "<<fit, echo=TRUE>>=\n"
      "fit <- lm(y ~ x, data = d)  # {braces} and \\backslashes, 50% $\n"
      "@\n"
      "<<setup, echo=FALSE>>=\n"
      "library(kvt)\n"
      "@\n",
      bytes);
}

// `chunks` closed chunks, then `chunks` x 10 headers that never close.
std::string rnw_unclosed(std::size_t chunks) {
  std::string out;
  for (std::size_t i = 0; i < chunks; ++i)
    out += "Text \\Sexpr{x}.\n<<a>>=\nx <- 1\n@\n";
  for (std::size_t i = 0; i < 10 * chunks; ++i)
    out += "<<b>>=\ny <- 2\n";
  return out;
}

// `n` code blocks and a last fence left open.
std::string rmd_fences(std::size_t n) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i)
    out += "```{r}\nx <- 1\n```\n";
  out += "```\nx\n";
  return out;
}

// One paragraph line of markers that open and never close: backticks, `<!--`
// after the last `-->`, `<https://` without `>`, `](` without `)`, `*`.
std::string markdown_markers(std::size_t n) {
  std::string out(n, '`');
  out += " --> ";
  for (std::size_t i = 0; i < n / 5; ++i)
    out += "<!-- ";
  for (std::size_t i = 0; i < n / 5; ++i)
    out += "<https://";
  for (std::size_t i = 0; i < n / 5; ++i)
    out += "](";
  for (std::size_t i = 0; i < n / 5; ++i)
    out += "x *";
  return out;
}

std::string run_blank_markdown(const std::string& paragraph) {
  return kvt::blank_markdown(paragraph);
}
kvt::RnwRewrite run_rnw_rewrite(const std::string& text) {
  return kvt::rewrite_rnw(text);
}

std::string rmd_manuscript(std::size_t bytes) {
  return "---\ntitle: \"A paper\"\ndate: !r Sys.Date()\n---\n\n" +
         repeat_to(
             "# Section\n\n"
             "We fit the model in R with `lm()`, **bold** and *italic* text, a "
             "[link](http://example.org/a) <!-- a note -->, <https://example.org/b>,\n"
             "inline `r 1 + 1` and https://example.org/c on a second line.\n\n"
             "```{r fit, echo=FALSE}\nfit <- lm(y ~ x)\n```\n\n",
             bytes);
}

// `n` backticks in one paragraph, then n / 5 unclosed `<!--` and n / 5
// `<https://` without a closing `>` in one paragraph each, then n code
// blocks and a last fence left open.
std::string rmd_markers(std::size_t n) {
  std::string out(n, '`');
  out += "\n\n-->";
  for (std::size_t i = 0; i < n / 5; ++i)
    out += " <!--";
  out += "\n\n";
  for (std::size_t i = 0; i < n / 5; ++i)
    out += "<https://";
  out += " >\n\n";
  out += rmd_fences(n);
  return out;
}

void report_seconds(const char* what, std::size_t bytes, double seconds) {
  std::printf("  %-34s %8.2f MB in %8.4f s\n", what, mb(bytes), seconds);
}

bool bench_rnw_intake(Inputs&) {
  const std::string text = rnw_manuscript(kTargetBytes);
  const double s = best_of(kRuns, [&] { sink += run_rnw(text).tex_files.size(); });
  report_rate("Sweave rewrite + parse (.Rnw)", text.size(), s);
  const std::string unclosed = rnw_unclosed(5000);
  report_seconds("5,000 chunks + 50,000 unclosed", unclosed.size(),
                 best_of(kRuns, [&] { sink += run_rnw(unclosed).tex_files.size(); }));
  return true;
}

bool bench_rmd_intake(Inputs&) {
  const std::string text = rmd_manuscript(kTargetBytes);
  std::size_t fragments = 0;
  const double s = best_of(kRuns, [&] {
    fragments = run_rmd(text).rmd_files[0].fragments.size();
    sink += fragments;
  });
  report_rate("R Markdown split + parse (.Rmd)", text.size(), s);
  std::printf("  %-34s %zu paragraphs\n", "", fragments);
  const std::string markers = rmd_markers(50000);
  report_seconds("50,000 backticks, open fences", markers.size(),
                 best_of(kRuns, [&] { sink += run_rmd(markers).rmd_files.size(); }));
  return true;
}

// The 1x inputs are near kTargetBytes, like the other linearity checks. These
// front-ends run several passes over a text one after the other (rewrite or
// blank, then neutralize and parse); at 1x a pass finds much of the text
// still in cache from the one before, at 16x it does not, which alone lifts
// the ratio to about 18 on a linear pipeline. The limit of 20 leaves room for
// that; anything quadratic gives hundreds. The marker and unclosed-chunk inputs
// are checked on the rewrite and the blanking alone: they make TeX nodes of
// many megabytes, whose parse is tex_linearity's figure, not these front-ends'.
constexpr double kPassChainLimit = 20.0;

bool bench_rnw_linearity(Inputs&) {
  bool ok = linearity("linearity .Rnw intake", rnw_manuscript(kTargetBytes),
                      rnw_manuscript(16 * kTargetBytes), run_rnw, kPassChainLimit);
  // Unclosed headers all in one file: 16x as many of them.
  ok = linearity("linearity rewrite, unclosed chunks", rnw_unclosed(60000), rnw_unclosed(960000),
                 run_rnw_rewrite, kPassChainLimit) &&
       ok;
  return ok;
}

bool bench_rmd_linearity(Inputs&) {
  bool ok = linearity("linearity .Rmd intake", rmd_manuscript(kTargetBytes),
                      rmd_manuscript(16 * kTargetBytes), run_rmd, kPassChainLimit);
  // One paragraph of 16x as many markers; 16x as many fences.
  ok = linearity("linearity blanking, marker runs", markdown_markers(1500000),
                 markdown_markers(24000000), run_blank_markdown, kPassChainLimit) &&
       ok;
  ok = linearity("linearity .Rmd intake, open fences", rmd_fences(500000), rmd_fences(8000000),
                 run_rmd, kPassChainLimit) &&
       ok;
  return ok;
}

struct Benchmark {
  const char* name;
  const char* description;
  bool (*run)(Inputs&);
};

constexpr Benchmark kBenchmarks[] = {
    {"tex_parse", "neutralization + TeX parse throughput", bench_tex_parse},
    {"tex_neutralize", "neutralization alone", bench_tex_neutralize},
    {"tex_walk", "walk over the parsed tree", bench_tex_walk},
    {"bib_parse", "BibTeX parse throughput", bench_bib_parse},
    {"tex_linearity", "TeX: time of 16x input / time of 1x (must be <= 17)", bench_tex_linearity},
    {"bib_linearity", "BibTeX: time of 16x input / time of 1x (must be <= 17)",
     bench_bib_linearity},
    {"render", "whole lint pass on the tex_parse input, with and without the rules", bench_render},
    {"deep", "whole lint pass on hostile, deeply nested inputs", bench_deep},
    {"rules", "each registered TeX rule on large manuscripts", bench_rules},
    {"renderers", "each report format on 100,000 findings", bench_renderers},
    {"rnw_intake", "Sweave intake throughput; 50,000 unclosed chunks", bench_rnw_intake},
    {"rmd_intake", "R Markdown intake throughput; 50,000 backticks, open fences", bench_rmd_intake},
    {"rnw_linearity", "Sweave: time of 16x input / time of 1x (must be <= 20)",
     bench_rnw_linearity},
    {"rmd_linearity", "R Markdown: time of 16x input / time of 1x (must be <= 20)",
     bench_rmd_linearity},
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<const Benchmark*> selected;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--list") == 0) {
      for (const Benchmark& b : kBenchmarks)
        std::printf("%-16s %s\n", b.name, b.description);
      return 0;
    }
    const Benchmark* found = nullptr;
    for (const Benchmark& b : kBenchmarks)
      if (std::strcmp(argv[i], b.name) == 0) found = &b;
    if (found == nullptr) {
      std::fprintf(stderr, "kvt_bench: unknown benchmark '%s' (see --list)\n", argv[i]);
      return 2;
    }
    selected.push_back(found);
  }
  if (selected.empty()) {
    for (const Benchmark& b : kBenchmarks)
      selected.push_back(&b);
  }

#if defined(__GLIBC__)
  // Serve every allocation from the heap and never give freed memory back:
  // every run after the first then works on memory that is already mapped,
  // whatever its size. Without this, glibc maps buffers above its mmap
  // threshold (at most 32 MB) afresh for every run and unmaps them after, so
  // only the large runs pay the kernel's page faults and the 16x / 1x ratios
  // would measure that rather than the front-ends.
  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, std::numeric_limits<int>::max());
#endif
  Inputs inputs;
  inputs.build();
  std::printf("kvt_bench: %.2f MB LaTeX, %.2f MB BibTeX, best of %d runs\n", mb(inputs.tex.size()),
              mb(inputs.bib.size()), kRuns);
  bool ok = true;
  for (const Benchmark* b : selected) {
    std::printf("%s\n", b->name);
    ok = b->run(inputs) && ok;
  }
  return ok ? 0 : 1;
}

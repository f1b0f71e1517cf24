"""The module surface: argument conversion, errors, intake dispatch and configuration layering."""
import json

import pytest

import kvtlint

TEX = "\\documentclass[article]{kvt}\n\\begin{document}\nHello.\n\\end{document}\n"


def test_render_signature_and_docstring():
    assert kvtlint.render.__text_signature__ == (
        "(files, journal=None, mode=None, output=None, ignore_rules=None, "
        "min_confidence=None, fail_on=None, source_root=None, verbose=None)"
    )
    assert kvtlint.render.__doc__.startswith("Lints `files` (a list of `(path, contents)` pairs — `path`'s\n")
    assert kvtlint.render.__doc__.endswith("the CLI) and `ToolConfig::default()`.")
    assert [name for name in dir(kvtlint) if not name.startswith("__")] == ["render", "version"]


@pytest.mark.parametrize(
    "call",
    [
        lambda: kvtlint.render("paper.tex"),
        lambda: kvtlint.render(b"paper.tex"),
        lambda: kvtlint.render(42),
        lambda: kvtlint.render([("paper.tex",)]),
        lambda: kvtlint.render([("paper.tex", TEX, "extra")]),
        lambda: kvtlint.render([["paper.tex", TEX]]),
        lambda: kvtlint.render([(b"paper.tex", TEX)]),
        lambda: kvtlint.render([("paper.tex", None)]),
        lambda: kvtlint.render([], journal=1),
        lambda: kvtlint.render([], mode=b"reviewer"),
        lambda: kvtlint.render([], ignore_rules=["KVT-XREF-002"]),
        lambda: kvtlint.render([], verbose=1),
        lambda: kvtlint.render([], verbose="yes"),
        lambda: kvtlint.render([], colour="never"),
        lambda: kvtlint.render([], None, journal="kvt"),
        lambda: kvtlint.render(),
        lambda: kvtlint.render([], *([None] * 9)),
    ],
)
def test_wrong_types_raise_type_error(call):
    with pytest.raises(TypeError):
        call()


def test_type_error_names_the_argument():
    with pytest.raises(TypeError, match="verbose"):
        kvtlint.render([], verbose=0)
    with pytest.raises(TypeError, match="files"):
        kvtlint.render("paper.tex")


def test_positional_and_keyword_use():
    by_position = kvtlint.render([("a.tex", TEX)], "kvt", "reviewer", "json")
    by_keyword = kvtlint.render(files=[("a.tex", TEX)], output="json", mode="reviewer", journal="kvt")
    assert by_position == by_keyword
    assert kvtlint.render([], None, None, None, None, None, None, None, None) == kvtlint.render([])


def test_lone_surrogate_contents_raise_a_clear_error():
    with pytest.raises(ValueError, match=r"paper\.tex.*not valid Unicode"):
        kvtlint.render([("paper.tex", "text \ud800 more")])
    with pytest.raises(ValueError, match="path"):
        kvtlint.render([("pa\udc80per.tex", "x")])


@pytest.mark.parametrize(
    "path, shown",
    [
        ("notes.docx", "notes.docx"),
        ("chapter/notes.txt", "notes.txt"),
        ("notes", "notes"),
        ("tex", "tex"),
        ("dir\\notes.txt", "dir\\notes.txt"),
        ("a/b/", ""),
    ],
)
def test_unsupported_extension(path, shown):
    expected = f"unsupported file extension: '{shown}'. Supported: .tex, .ltx, .bib, .Rnw, .Rmd (case-insensitive)."
    with pytest.raises(ValueError) as info:
        kvtlint.render([("good.tex", TEX), (path, "x")])
    assert str(info.value) == expected


@pytest.mark.parametrize("path", ["paper.TEX", "paper.Tex", "paper.ltx", ".tex", "refs.BIB"])
def test_extensions_are_case_insensitive(path):
    report = json.loads(kvtlint.render([(path, TEX)], output="json"))
    assert report["categories"][0]["category_id"] == "preamble"


def test_byte_order_mark_only_is_an_empty_document():
    assert kvtlint.render([("a.tex", "\ufeff")], output="json") == kvtlint.render([("a.tex", "")], output="json")


def test_output_and_mode_words_are_exact():
    assert kvtlint.render([], output="JSON") == kvtlint.render([])
    assert kvtlint.render([], output="json").startswith("{\n")
    assert kvtlint.render([], output="sarif").startswith('{\n  "$schema"')
    assert kvtlint.render([], output="html").startswith("<!DOCTYPE html>")
    assert "Journal compliance" not in kvtlint.render([], mode="Reviewer")
    assert "Journal compliance — kvt" in kvtlint.render([], mode="reviewer")
    assert "<title>kvt-lint compliance — jok</title>" in kvtlint.render([], mode="reviewer", output="html", journal="jok")


def test_configuration_file_layers_under_the_caller(hermetic_cwd):
    (hermetic_cwd / ".kvt-lint.toml").write_text('output = "json"\njournal = "jok"\n')
    report = json.loads(kvtlint.render([]))
    assert report["journal_id"] == "jok"
    assert kvtlint.render([], output="sarif").startswith('{\n  "$schema"')
    assert json.loads(kvtlint.render([], journal="other"))["journal_id"] == "other"


def test_invalid_configuration_file_behaves_like_none(hermetic_cwd, capfd):
    (hermetic_cwd / ".kvt-lint.toml").write_text('output = "json\njornal = 1\n')
    assert kvtlint.render([], verbose=True) == kvtlint.render([], verbose=True, journal="kvt")
    assert kvtlint.render([]).startswith("No findings does not mean compliant.")
    assert capfd.readouterr().err == ""


def test_unknown_keys_warning_only_when_verbose(hermetic_cwd, capfd):
    config = hermetic_cwd / ".kvt-lint.toml"
    config.write_text('verbose = true\njornal = "x"\nzeta = 1\n')
    kvtlint.render([])
    assert capfd.readouterr().err == "\twarning: .kvt-lint.toml has unrecognised keys: jornal, zeta\n"
    kvtlint.render([], verbose=False)
    assert capfd.readouterr().err == ""
    config.write_text('jornal = "x"\n')
    kvtlint.render([])
    assert capfd.readouterr().err == ""
    kvtlint.render([], verbose=True)
    assert capfd.readouterr().err == "\twarning: .kvt-lint.toml has unrecognised keys: jornal\n"


def test_no_inputs_skips_every_category():
    report = json.loads(kvtlint.render([], output="json"))
    assert [c["status"] for c in report["categories"]] == ["SKIPPED"] * 16
    assert report["compliance_percentage"] is None
    assert report["violations"] == []
    reasons = {s["reason"] for s in report["skipped_rules"]}
    assert reasons <= {"format mismatch (rule formats=['rnw', 'tex']; inputs=[])"}


def test_only_a_bib_runs_the_project_rules():
    report = json.loads(kvtlint.render([("refs.bib", "@misc{k, title={T}}")], output="json"))
    project = report["categories"][15]
    assert (project["category_id"], project["status"], project["rules_applied"]) == ("project", "PASS", 2)
    for skipped in report["skipped_rules"]:
        assert skipped["reason"] == "format mismatch (rule formats=['rnw', 'tex']; inputs=['bib'])"


def test_many_files_and_large_input():
    files = [(f"part{i:04}.tex", f"Section {i}.\n") for i in range(3000)]
    files.append(("refs.bib", "@misc{k, title={T}}\n" * 2000))
    report = json.loads(kvtlint.render(files, output="json"))
    assert report["categories"][15]["rules_applied"] == 2
    big = "Some prose with $x^2$ and \\emph{words}. " * 150_000
    assert kvtlint.render([("big.tex", big)], output="json").startswith("{")
    assert kvtlint.render([("empty.tex", "")]) == kvtlint.render([("other.tex", "")])


NO_INPUT_REVIEWER = """\
                    Journal compliance — kvt                     
┏━━━━━━━━━━━━━━━━━━┳━━━━━━━━━┳━━━━━━━━━┳━━━━━━━━┳━━━━━━━━━━━━━━━┓
┃ Category         ┃ Status  ┃ Applied ┃ Passed ┃ Recall        ┃
┡━━━━━━━━━━━━━━━━━━╇━━━━━━━━━╇━━━━━━━━━╇━━━━━━━━╇━━━━━━━━━━━━━━━┩
│ Preamble         │ SKIPPED │       0 │      0 │ limited (n=8) │
│ Structure        │ SKIPPED │       0 │      0 │ 86%           │
│ Markup           │ SKIPPED │       0 │      0 │ 63%           │
│ Citations        │ SKIPPED │       0 │      0 │ 93%           │
│ References       │ SKIPPED │       0 │      0 │ 79%           │
│ BibTeX           │ SKIPPED │       0 │      0 │ 88%           │
│ Naming           │ SKIPPED │       0 │      0 │ 92%           │
│ Capitalization   │ SKIPPED │       0 │      0 │ 80%           │
│ Typography       │ SKIPPED │       0 │      0 │ 91%           │
│ Abbreviations    │ SKIPPED │       0 │      0 │ limited (n=4) │
│ Code style       │ SKIPPED │       0 │      0 │ 92%           │
│ Code width       │ SKIPPED │       0 │      0 │ 68%           │
│ Operators        │ SKIPPED │       0 │      0 │ 68%           │
│ Cross-references │ SKIPPED │       0 │      0 │ 100%          │
│ House style      │ SKIPPED │       0 │      0 │ 63%           │
│ Project          │ SKIPPED │       0 │      0 │ unmeasured    │
└──────────────────┴─────────┴─────────┴────────┴───────────────┘
Overall: n/a
Measured recall: 81% (1967 annotated instances, 17 papers, run 2026-09-09)
""" + "─" * 47 + " Not checked by kvt-lint " + "─" * 48 + "\n" + """\
┏━━━━━━━━━━━┳━━━━━━━━━━━━━┳━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━┓
┃ Directive ┃ Status      ┃ Provision                                                                                  ┃
┡━━━━━━━━━━━╇━━━━━━━━━━━━━╇━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━┩
│ SG-008    │ partial     │ MUST: All titles in the BibTeX file are in title style                                     │
│ SG-013    │ partial     │ MUST: In sentence style, capitalise only the first word and the first word after           │
│           │             │ colon/hyphen; proper names remain uppercase                                                │
│ SG-017    │ partial     │ MUST: BibTeX is valid, title is in title style, `\\proglang`/`\\pkg`/`\\code` markup used     │
│           │             │ appropriately                                                                              │
│ SG-022    │ partial     │ MUST: Captions are in sentence style and end with a period                                 │
│ SG-010    │ not checked │ MUST: Figure/table captions (annotations) are in sentence style                            │
│ SG-024    │ not checked │ MUST: All table row/column headers are in sentence style                                   │
│ SG-041    │ not checked │ SHOULD: Use `\\documentclass[nokvt]{kvt}` to turn off KVT header/footer in the vignette     │
│ SG-043    │ not checked │ SHOULD (advisory): Set `options(prompt = "R> ", continue = "+  ", width = 70,              │
│           │             │ useFancyQuotes = FALSE)` invisibly at the start of the vignette                            │
│ TEX-023   │ not checked │ R code inputs use `R> ` as the prompt and `+  ` as the continuation prompt                 │
└───────────┴─────────────┴────────────────────────────────────────────────────────────────────────────────────────────┘
Run kvt-lint coverage for the full matrix (76 checked, 4 partial, 5 not checked, 64 out of scope).
"""


def test_no_input_reviewer_report_whole_text():
    assert kvtlint.render([], mode="reviewer") == NO_INPUT_REVIEWER
    # Every table line is within the 120-character console.
    assert max(len(line) for line in NO_INPUT_REVIEWER.splitlines()) <= 120


def test_no_input_author_report_is_the_footer():
    assert kvtlint.render([]) == (
        "No findings does not mean compliant. Measured recall: 81% (1967 annotated instances, 17 papers).\n"
        "kvt-lint checks 80 of 85 guide directives (5 not checked, 4 partial). Run kvt-lint coverage for the list.\n"
    )

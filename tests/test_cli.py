"""The kvt-lint command, run as a subprocess exactly as authors run it."""
import json
import os
import shutil
import subprocess
import sys
import sysconfig

import pytest

import kvtlint


def kvt_lint_path():
    candidate = os.path.join(sysconfig.get_path("scripts"), "kvt-lint")
    if os.path.exists(candidate):
        return candidate
    found = shutil.which("kvt-lint")
    assert found, "kvt-lint is not installed beside the module"
    return found


def run(*args, cwd=None):
    return subprocess.run([kvt_lint_path(), *args], cwd=cwd, capture_output=True, text=True, encoding="utf-8")


@pytest.fixture
def submission(hermetic_cwd):
    root = hermetic_cwd / "paper"
    (root / "sections").mkdir(parents=True)
    (root / ".hidden").mkdir()
    (root / "build").mkdir()
    (root / "main.tex").write_text("\\documentclass[article]{kvt}\n\\input{sections/intro}\n")
    (root / "sections" / "intro.TEX").write_text("\\section{Introduction}\nText.\n")
    (root / "refs.bib").write_text("@misc{k, title = {T}, year = 2020}\n")
    (root / "notes.txt").write_text("not a manuscript")
    (root / ".hidden" / "skip.tex").write_text("hidden")
    (root / "build" / "skip.tex").write_text("build output")
    return root


def test_directory_expansion_is_sorted_and_skips_hidden_and_build(submission):
    result = run("--format", "json", "paper")
    assert result.returncode == 0, result.stderr
    expected = kvtlint.render(
        [
            ("paper/main.tex", (submission / "main.tex").read_text()),
            ("paper/refs.bib", (submission / "refs.bib").read_text()),
            ("paper/sections/intro.TEX", (submission / "sections" / "intro.TEX").read_text()),
        ],
        output="json",
    )
    assert result.stdout == expected


@pytest.mark.parametrize("fmt", ["terminal", "json", "sarif", "html"])
@pytest.mark.parametrize("mode", ["author", "reviewer"])
def test_output_equals_render_for_every_format(submission, fmt, mode):
    files = ["paper/main.tex", "paper/refs.bib"]
    result = run("--format", fmt, "--mode", mode, "--verbose", *files)
    assert result.returncode == 0, result.stderr
    pairs = [(f, (submission.parent / f).read_text()) for f in files]
    assert result.stdout == kvtlint.render(pairs, output=fmt, mode=mode, verbose=True)


def test_output_file_and_configuration(submission):
    (submission.parent / ".kvt-lint.toml").write_text('output = "json"\njournal = "jok"\n')
    result = run("-o", "report.json", "paper/main.tex")
    assert result.returncode == 0, result.stderr
    assert result.stdout == ""
    report = json.loads((submission.parent / "report.json").read_text())
    assert report["journal_id"] == "jok"


def test_invalid_utf8_file_is_an_input_error(hermetic_cwd):
    (hermetic_cwd / "good.tex").write_text("fine\n")
    (hermetic_cwd / "bad.tex").write_bytes(b"caf\xe9\n")
    result = run("good.tex", "bad.tex")
    assert result.returncode == 2
    assert result.stdout == ""
    assert "bad.tex" in result.stderr and "UTF-8" in result.stderr


@pytest.mark.parametrize(
    "args, message",
    [
        ((), "no input files"),
        (("missing.tex",), "no such file"),
        (("--format", "xml", "a.tex"), "invalid value for --format"),
        (("--fail-on", "fatal", "a.tex"), "invalid value for --fail-on"),
        (("--bogus", "a.tex"), "unknown option"),
        (("notes.txt",), "unsupported file extension: 'notes.txt'"),
    ],
)
def test_usage_errors_exit_2(hermetic_cwd, args, message):
    (hermetic_cwd / "a.tex").write_text("x\n")
    (hermetic_cwd / "notes.txt").write_text("x\n")
    result = run(*args)
    assert result.returncode == 2
    assert message in result.stderr


def test_version_and_help():
    result = run("--version")
    assert result.returncode == 0
    info = kvtlint.version()
    assert result.stdout == "".join(f"{key}: {value}\n" for key, value in info.items())
    help_text = run("--help")
    assert help_text.returncode == 0
    assert "usage: kvt-lint" in help_text.stdout and "--fail-on" in help_text.stdout


def test_coverage_listing():
    table = run("coverage")
    assert table.returncode == 0
    assert "SG-043" in table.stdout and "AI-024" in table.stdout
    assert table.stdout.endswith("76 checked, 4 partial, 5 not checked, 64 out of scope\n")
    data = json.loads(run("coverage", "--format", "json").stdout)
    assert data["counts"] == {"checked": 76, "not_checked": 5, "out_of_scope": 64, "partial": 4}
    assert len(data["directives"]) == 149
    first = data["directives"][0]
    assert first["id"] == "CLS-001" and first["rules"] == ["KVT-PRE-001"] and first["status"] == "checked"


def test_rules_listing():
    data = json.loads(run("rules", "--format", "json").stdout)
    assert [rule["id"] for rule in data][:2] == ["KVT-ABBR-001", "KVT-BIBTEX-001"]
    assert len(data) == 62
    markup = next(rule for rule in data if rule["id"] == "KVT-MARKUP-001")
    assert markup["confidence"] == "medium" and markup["severity"] == "warning"
    table = run("rules")
    assert table.returncode == 0 and "KVT-XREF-007" in table.stdout
    assert max(len(line) for line in table.stdout.splitlines()) <= 120


@pytest.mark.parametrize(
    "overrides, fail_on, code",
    [
        ("", None, 1),  # default fail-on warning
        ("", "error", 0),
        ("", "warning", 1),
        ("", "info", 1),
        ('[severity_overrides]\nKVT-MARKUP-001 = "info"\n', "warning", 0),
        ('[severity_overrides]\nKVT-MARKUP-001 = "info"\n', "info", 1),
        ('fail_on = "error"\n', None, 0),
        ('[severity_overrides]\nKVT-MARKUP-001 = "error"\n', "error", 1),
    ],
)
def test_exit_codes_follow_fail_on(hermetic_cwd, overrides, fail_on, code):
    (hermetic_cwd / ".kvt-lint.toml").write_text(overrides)
    (hermetic_cwd / "paper.tex").write_text("We fit the model in R and compare it.\n")
    args = ["paper.tex"] + (["--fail-on", fail_on] if fail_on else [])
    result = run(*args)
    assert result.returncode == code, result.stderr
    assert "KVT-MARKUP-001" in result.stdout


def test_clean_file_exits_0(hermetic_cwd):
    (hermetic_cwd / "paper.tex").write_text("Plain prose without names.\n")
    assert run("paper.tex").returncode == 0

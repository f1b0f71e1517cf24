"""Report formats through render: JSON equals Python's own serialisation, SARIF validates, HTML renders."""
import json
import os
import shutil
import subprocess

import pytest

import kvtlint

DATA = os.path.join(os.path.dirname(__file__), "data")

WORKED = "We fit the model in R and compare it.\n"
NON_ASCII = "Café — naïve 😀 text.\n\tWe use R, “quoted” and \\texttt{é}.\n"

CASES = {
    "no_input": ([], {}),
    "no_input_reviewer": ([], {"mode": "reviewer"}),
    "worked_example": ([("paper.tex", WORKED)], {}),
    "non_ascii": ([("café/é.tex", NON_ASCII)], {"journal": "jök"}),
    "two_files": ([("b.tex", WORKED), ("B.tex", "\\section{Using \\pkg{zoo}}\nIt returns NULL.\n")], {}),
    "bib_only": ([("refs.bib", "@misc{k, title = {T}}\n")], {"min_confidence": "high"}),
}


def render(case, output):
    files, options = CASES[case]
    return kvtlint.render(files, output=output, **options)


@pytest.mark.parametrize("case", sorted(CASES))
@pytest.mark.parametrize("output", ["json", "sarif"])
def test_json_text_equals_pythons_serialisation(case, output):
    text = render(case, output)
    value = json.loads(text)
    assert text == json.dumps(value, indent=2, sort_keys=True, ensure_ascii=True) + "\n"


def test_json_payload_shape():
    value = json.loads(render("non_ascii", "json"))
    assert value["journal_id"] == "jök"
    assert "\\u00f6" in render("non_ascii", "json")
    assert isinstance(value["compliance_percentage"], float)
    assert value["coverage"]["counts"] == {"checked": 76, "not_checked": 5, "out_of_scope": 64, "partial": 4}
    assert [item["id"] for item in value["coverage"]["items"]] == [
        "SG-010", "SG-024", "SG-041", "SG-043", "TEX-023", "SG-008", "SG-013", "SG-017", "SG-022"]
    assert value["rule_set"]["recall"] == {
        "corpus_hash": "70951d5371df0734", "fn": 380, "min_plants": 10, "papers": 17, "percent": 81,
        "run_timestamp": "2026-09-09T19:13:46Z", "tp": 1587}
    assert value["rule_set"]["guide_source"] == "kvt.cls 3.3 (2021-05-23)"
    for category in value["categories"]:
        assert set(category) == {"category_id", "recall", "rules_applied", "rules_passed", "status", "title"}
        assert category["recall"]["state"] in {"unmeasured", "limited", "measured"}


@pytest.fixture(scope="module")
def sarif_validator():
    jsonschema = pytest.importorskip("jsonschema")
    with open(os.path.join(DATA, "sarif-schema-2.1.0.json"), encoding="utf-8") as handle:
        schema = json.load(handle)
    cls = jsonschema.validators.validator_for(schema)
    cls.check_schema(schema)
    return cls(schema)


@pytest.mark.parametrize("case", sorted(CASES))
def test_sarif_validates_against_the_schema(case, sarif_validator):
    log = json.loads(render(case, "sarif"))
    errors = sorted(sarif_validator.iter_errors(log), key=lambda e: list(e.path))
    assert not errors, errors[0].message
    run = log["runs"][0]
    assert log["version"] == "2.1.0"
    ids = [rule["id"] for rule in run["tool"]["driver"]["rules"]]
    assert len(ids) == 63 and ids == sorted(ids)
    assert ids.index("KVT-PARSE-000") == ids.index("KVT-OPER-004") + 1


def test_sarif_uris_are_relative_to_the_source_root(hermetic_cwd):
    (hermetic_cwd / "chapters").mkdir()
    files = [("chapters/intro.tex", WORKED), (str(hermetic_cwd / "chapters" / "intro.tex"), WORKED)]
    log = json.loads(kvtlint.render(files, output="sarif"))
    uris = {r["locations"][0]["physicalLocation"]["artifactLocation"]["uri"] for r in log["runs"][0]["results"]}
    assert uris == {"chapters/intro.tex"}
    def uri(files, root):
        log = json.loads(kvtlint.render(files, output="sarif", source_root=root))
        return log["runs"][0]["results"][0]["locations"][0]["physicalLocation"]["artifactLocation"]["uri"]

    # Relative paths are read relative to the root; absolute ones are made relative to it.
    assert uri(files[:1], "chapters") == "chapters/intro.tex"
    assert uri(files[1:], "chapters") == "intro.tex"
    assert uri(files[1:], "no/such/dir") == "../../../chapters/intro.tex"


def chromium():
    for name in ("chromium", "chromium-browser", "google-chrome"):
        path = shutil.which(name)
        if path:
            return path
    return None


@pytest.mark.skipif(chromium() is None, reason="headless Chromium is not installed (Debian package 'chromium')")
@pytest.mark.parametrize("case", ["worked_example", "non_ascii", "two_files", "no_input_reviewer"])
def test_html_renders_in_headless_chromium(case, hermetic_cwd):
    page = hermetic_cwd / "report.html"
    page.write_text(render(case, "html"), encoding="utf-8")
    result = subprocess.run(
        [chromium(), "--headless", "--no-sandbox", "--disable-gpu", "--enable-logging=stderr",
         "--dump-dom", page.as_uri()],
        capture_output=True, text=True, timeout=120,
    )
    assert result.returncode == 0, result.stderr[-2000:]
    assert "CONSOLE" not in result.stderr and "Uncaught" not in result.stderr
    dom = result.stdout
    assert "<table" in dom and "</html>" in dom
    if case == "two_files":
        assert dom.index("<h2>B.tex</h2>") < dom.index("<h2>b.tex</h2>")
    if case == "non_ascii":
        assert "jök" in dom and "Café" not in dom  # the finding's file name, not its text, is shown

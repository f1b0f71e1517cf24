"""Sweave and R Markdown submissions through render: routing, line numbers, parse findings in every format."""
import json

import pytest

import kvtlint

RMD = (
    "---\n"
    "title: \"Rates\"\n"
    "author: [a, b\n"
    "---\n"
    "\n"
    "We use R here.\n"
    "Then we call\n"
    "Python in a second line.\n"
    "\n"
    "```{r}\n"
    "x <- R\n"
)


def findings(files, **options):
    report = json.loads(kvtlint.render(files, output="json", **options))
    return [(v["rule_id"], v["line"], v["column"], v["severity"], v["message"]) for v in report["violations"]], report


def test_rmd_parse_findings_and_prose_lines():
    found, report = findings([("paper.Rmd", RMD)])
    parse = [f for f in found if f[0] == "KVT-PARSE-000"]
    assert parse[0][:4] == ("KVT-PARSE-000", 1, None, "warning")
    assert parse[0][4].startswith("Malformed YAML frontmatter (ignored): ")
    assert parse[1] == ("KVT-PARSE-000", 10, None, "error", "Unterminated fenced code block.")
    # Prose lines are lines of the .Rmd file, the second line of a paragraph included.
    markup = [(f[1], f[2]) for f in found if f[0] == "KVT-MARKUP-001"]
    assert markup == [(6, 8), (8, 1)]
    assert report["categories"][-1]["category_id"] == "parse"
    assert report["categories"][-1]["status"] == "FAIL"


def test_unterminated_front_matter_yields_no_prose():
    found, _ = findings([("doc.rmd", "---\ntitle: x\n\nWe use R here.\n")])
    assert found == [("KVT-PARSE-000", 1, None, "error", "Unterminated YAML frontmatter.")]


def test_crlf_rmd_gives_the_same_lines():
    lf, _ = findings([("a.Rmd", RMD)])
    crlf, _ = findings([("a.Rmd", RMD.replace("\n", "\r\n"))])
    assert [f[:3] for f in crlf] == [f[:3] for f in lf]


def test_parse_findings_in_every_format():
    files = [("paper.Rmd", RMD)]
    terminal = kvtlint.render(files)
    assert "KVT-PARSE-000" in terminal and "Unterminated fenced code block." in terminal
    reviewer = kvtlint.render(files, mode="reviewer")
    assert "│ Parse errors " in reviewer
    sarif = json.loads(kvtlint.render(files, output="sarif"))
    run = sarif["runs"][0]
    notes = run["invocations"][0]["toolExecutionNotifications"]
    assert [n["message"]["text"] for n in notes][1] == "Unterminated fenced code block."
    assert all(r["ruleId"] != "KVT-PARSE-000" for r in run["results"])
    html = kvtlint.render(files, output="html")
    assert "Unterminated fenced code block." in html
    assert '<span class="none">internal</span>' in html


def test_rnw_findings_keep_file_lines_after_hidden_chunks():
    text = "Intro.\n<<echo=FALSE>>=\nx <- 1\ny <- 2\n@\nWe use R here.\n<<fit>>=\nlm(y ~ x)\n@\nIt returns NULL now.\n"
    found, _ = findings([("paper.Rnw", text)])
    assert [(f[0], f[1], f[2]) for f in found] == [("KVT-MARKUP-001", 6, 8), ("KVT-MARKUP-003", 10, 12)]


def test_rnw_fix_offsets_point_into_the_submitted_file():
    text = "Intro.\n<<echo=FALSE>>=\nx <- 1\n@\nWe use R here.\n\\Sexpr{mean(x)} is NULL.\n"
    log = json.loads(kvtlint.render([("paper.RNW", text)], output="sarif"))
    for result in log["runs"][0]["results"]:
        region = result["fixes"][0]["artifactChanges"][0]["replacements"][0]["deletedRegion"]
        start, length = region["byteOffset"], region["byteLength"]
        assert text[start:start + length] in {"R", "NULL"}


def test_rnw_and_rmd_extensions_route_case_insensitively():
    for name in ("paper.Rnw", "paper.RNW", "paper.rnw"):
        found, _ = findings([(name, "<<>>=\nR\n@\nWe use R here.\n")])
        assert [(f[0], f[1]) for f in found] == [("KVT-MARKUP-001", 4)]
    for name in ("notes.Rmd", "notes.RMD"):
        found, _ = findings([(name, "```\nR\n```\nWe use R here.\n")])
        assert [(f[0], f[1]) for f in found] == [("KVT-MARKUP-001", 4)]


@pytest.mark.parametrize(
    "name, text",
    [
        ("backticks.Rmd", "`" * 50_000 + "\n```\n" * 3 + "text R here\n"),
        ("fences.Rmd", "```{r}\n" * 20_000),
        ("chunks.Rnw", "<<>>=\nx <- 1\n@\nText with R here.\n" * 5_000 + "<<>>=\nunclosed\n" * 2_000),
    ],
)
def test_hostile_sweave_and_markdown_inputs(name, text):
    report = json.loads(kvtlint.render([(name, text)], output="json"))
    assert report["tool_version"] == "1.2.0"

"""Engine behaviour seen through render: rule selection, suppression, overrides and the worked example."""
import json

import pytest

import kvtlint

WORKED = "We fit the model in R and compare it.\n"

WORKED_REPORT = (
    "─" * 54 + " paper.tex " + "─" * 55 + "\n"
    "┏━━━━━━━━━━┳━━━━━━━━━━┳━━━━━━━━━━━━━━━━┳" + "━" * 51 + "┳" + "━" * 27 + "┓\n"
    "┃ Line:Col ┃ Severity ┃ Rule           ┃ Message" + " " * 43 + "┃ Suggestion                ┃\n"
    "┡━━━━━━━━━━╇━━━━━━━━━━╇━━━━━━━━━━━━━━━━╇" + "━" * 51 + "╇" + "━" * 27 + "┩\n"
    "│ 1:21     │ warning  │ KVT-MARKUP-001 │ Programming-language names in prose are wrapped   │ Wrap 'R' in \\proglang{R}. │\n"
    "│          │          │ (medium conf.) │ in \\proglang{} (see §4.1 Markup)                  │                           │\n"
    "└──────────┴──────────┴────────────────┴" + "─" * 51 + "┴" + "─" * 27 + "┘\n"
    "No findings does not mean compliant. Measured recall: 81% (1967 annotated instances, 17 papers).\n"
    "kvt-lint checks 80 of 85 guide directives (5 not checked, 4 partial). Run kvt-lint coverage for the list.\n"
)


def lint_json(files, **options):
    return json.loads(kvtlint.render(files, output="json", **options))


def test_worked_example_terminal_report():
    assert kvtlint.render([("paper.tex", WORKED)]) == WORKED_REPORT


def test_worked_example_finding_and_fix_in_sarif():
    report = lint_json([("paper.tex", WORKED)])
    [finding] = [v for v in report["violations"] if v["rule_id"] == "KVT-MARKUP-001"]
    assert finding == {
        "column": 21,
        "confidence": "medium",
        "file": "paper.tex",
        "fix": None,
        "guide_section": "§4.1 Markup",
        "guide_url": finding["guide_url"],
        "line": 1,
        "message": "Programming-language names in prose are wrapped in \\proglang{}",
        "rule_id": "KVT-MARKUP-001",
        "severity": "warning",
        "suggestion": "Wrap 'R' in \\proglang{R}.",
    }
    assert finding["guide_url"].endswith("/about/submissions#markup")
    markup = next(c for c in report["categories"] if c["category_id"] == "markup")
    assert markup["status"] == "FAIL"
    sarif = json.loads(kvtlint.render([("paper.tex", WORKED)], output="sarif"))
    [result] = [r for r in sarif["runs"][0]["results"] if r["ruleId"] == "KVT-MARKUP-001"]
    change = result["fixes"][0]["artifactChanges"][0]
    assert change["replacements"][0] == {
        "deletedRegion": {"byteLength": 1, "byteOffset": 20},
        "insertedContent": {"text": "\\proglang{R}"},
    }
    assert result["fixes"][0]["description"] == {"text": "wrap R in \\proglang{}"}


def test_min_confidence_and_ignore_rules():
    skipped = lint_json([("a.tex", WORKED)], min_confidence="high")["skipped_rules"]
    assert {"rule_id": "KVT-MARKUP-001", "reason": "confidence medium below min_confidence=high"} in skipped
    for level in ("medium", "low", "HIGH", "bogus"):
        assert not any("confidence" in s["reason"] for s in lint_json([("a.tex", WORKED)], min_confidence=level)["skipped_rules"])
    # Spaces and an empty piece are dropped; the ignored rule is neither skipped nor applied.
    report = lint_json([("a.tex", WORKED)], min_confidence="high", ignore_rules=" KVT-MARKUP-001 ,, KVT-MARKUP-002 ")
    assert not any(s["rule_id"] == "KVT-MARKUP-001" for s in report["skipped_rules"])
    assert not any(v["rule_id"].startswith("KVT-MARKUP-00") and v["rule_id"] in ("KVT-MARKUP-001", "KVT-MARKUP-002") for v in report["violations"])


def test_empty_ignore_rules_clears_the_configured_list(hermetic_cwd):
    (hermetic_cwd / ".kvt-lint.toml").write_text('ignore_rules = ["KVT-MARKUP-001"]\n')
    assert not any(v["rule_id"] == "KVT-MARKUP-001" for v in lint_json([("a.tex", WORKED)])["violations"])
    assert any(v["rule_id"] == "KVT-MARKUP-001" for v in lint_json([("a.tex", WORKED)], ignore_rules="")["violations"])


def test_ignoring_every_rule_of_a_category_skips_it():
    report = lint_json(
        [("a.tex", WORKED)],
        ignore_rules="KVT-MARKUP-001,KVT-MARKUP-002,KVT-MARKUP-003,KVT-MARKUP-004",
    )
    markup = next(c for c in report["categories"] if c["category_id"] == "markup")
    assert (markup["status"], markup["rules_applied"]) == ("SKIPPED", 0)


@pytest.mark.parametrize(
    "text, suppressed",
    [
        ("We use R here. % kvt-lint: ignore KVT-MARKUP-001\n", True),
        ("% kvt-lint: ignore KVT-MARKUP-001\nWe use R here.\n", True),
        ("%% KVT-LINT: IGNORE kvt-markup-001, kvt-xref-002\nWe use R here.\n", True),
        ("% kvt-lint: ignore\nWe use R here.\n", True),
        ("% kvt-lint: ignore KVT-MARKUP-002\nWe use R here.\n", False),
        ("% kvt-lint: ignored KVT-MARKUP-001\nWe use R here.\n", False),
        ("\\% kvt-lint: ignore KVT-MARKUP-001 We use R here.\n", False),
        ("% kvt-lint: ignore KVT-MARKUP-001\n\nWe use R here.\n", False),
    ],
)
def test_suppression_comments(text, suppressed):
    report = lint_json([("a.tex", text)])
    found = [v for v in report["violations"] if v["rule_id"] == "KVT-MARKUP-001"]
    assert (not found) == suppressed
    markup = next(c for c in report["categories"] if c["category_id"] == "markup")
    if suppressed:
        # A rule whose findings are all suppressed counts as passed.
        assert markup["rules_passed"] == markup["rules_applied"]


def test_a_directive_in_one_file_does_not_affect_another():
    report = lint_json([("a.tex", "% kvt-lint: ignore\nWe use R here.\n"), ("b.tex", "Intro.\nWe use R here.\n")])
    assert [v["file"] for v in report["violations"] if v["rule_id"] == "KVT-MARKUP-001"] == ["b.tex"]


def test_severity_override_from_the_configuration(hermetic_cwd):
    (hermetic_cwd / ".kvt-lint.toml").write_text('[severity_overrides]\nkvt-markup-001 = " Error "\nKVT-MARKUP-003 = "fatal"\n')
    report = lint_json([("a.tex", WORKED + "It returns NULL.\n")])
    severities = {v["rule_id"]: v["severity"] for v in report["violations"]}
    assert severities["KVT-MARKUP-001"] == "error"
    assert severities["KVT-MARKUP-003"] == "warning"


def test_compliance_percentage_rounding():
    # Two files: markup fails, every other category with applied rules passes.
    report = lint_json([("a.tex", WORKED)])
    qualifying = [c for c in report["categories"] if c["status"] != "SKIPPED"]
    passing = [c for c in qualifying if c["status"] == "PASS"]
    expected = float(f"{100 * len(passing) / len(qualifying):.1f}")
    assert report["compliance_percentage"] == expected


def test_findings_are_sorted_across_files():
    report = lint_json([("b.tex", WORKED), ("B.tex", WORKED), ("a.tex", "x\n" + WORKED)])
    keys = [(v["file"], v["line"], v["column"] or 0, v["rule_id"]) for v in report["violations"]]
    assert [k[0] for k in keys if k[3] == "KVT-MARKUP-001"] == ["B.tex", "a.tex", "b.tex"]
    assert keys == sorted(keys, key=lambda k: (k[0].encode(), k[1], k[2], k[3].encode()))

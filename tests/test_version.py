import kvtlint


def test_version_has_four_facts_in_order():
    info = kvtlint.version()
    assert list(info) == ["tool", "engine", "rulesetVersion", "guideSource"]
    assert info["tool"] == "1.2.0"
    assert info["engine"].startswith("kvtlint-core/")
    tag = info["engine"][len("kvtlint-core/"):]
    assert tag and tag == tag.lower()
    assert info["rulesetVersion"] == "2026-09-07"
    assert info["guideSource"] == "kvt.cls 3.3 (2021-05-23)"
    assert kvtlint.version() is not kvtlint.version()


def test_module_attributes():
    assert kvtlint.__version__ == "1.2.0"
    assert kvtlint.version.__doc__.startswith("Which engine and which rule set this wheel carries")
    assert kvtlint.version.__text_signature__ == "()"

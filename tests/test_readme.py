"""The README's examples run as written (doctest)."""
import doctest
import pathlib
import re

README = pathlib.Path(__file__).resolve().parent.parent / "README.md"


def test_readme_examples():
    # A code fence ends an example's expected output, as a blank line would.
    text = re.sub(r"^```.*$", "", README.read_text(), flags=re.M)
    test = doctest.DocTestParser().get_doctest(text, {}, README.name, str(README), 0)
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    report = []
    result = runner.run(test, out=report.append)
    assert result.attempted > 0
    assert result.failed == 0, "".join(report)

"""Every ```python block of README.md is a doctest session, run in order against the built
module: the examples a new user copies must be what the module does."""

import doctest
import re

import pytest
from conftest import REPO

BLOCKS = re.findall(r"^```python\n(.*?)^```$", (REPO / "README.md").read_text(), re.S | re.M)


def test_readme_has_examples():
    assert len(BLOCKS) >= 4


@pytest.mark.parametrize("index", range(len(BLOCKS)))
def test_readme_block(index, codec):
    # Later blocks rely on the first block's import, as they would in one interpreter session.
    parser = doctest.DocTestParser()
    names = {"vantor_codec": codec}
    test = parser.get_doctest(BLOCKS[index], names, f"README.md block {index + 1}",
                              str(REPO / "README.md"), 0)
    # A block without ">>>" would pass without running anything.
    assert test.examples, f"README.md block {index + 1} has no >>> examples"
    runner = doctest.DocTestRunner(optionflags=doctest.REPORT_NDIFF)
    failures = []
    runner.run(test, out=failures.append)
    assert runner.failures == 0, "".join(failures)

"""The README is for users and sends the rest to the pages in docs/: every relative link of
README.md, CHANGELOG.md and those pages must name a file of the repository, and a #fragment a
heading of the page it names, with the anchor GitHub makes of that heading."""

import re

import pytest
from conftest import REPO

PAGES = [REPO / "README.md", REPO / "CHANGELOG.md", *sorted((REPO / "docs").glob("*.md"))]
# The README is read in a few minutes; the detail it had goes to docs/.
README_MAX_LINES = 260

FENCE = re.compile(r"^\s*(```|~~~)")
CODE_SPAN = re.compile(r"(`+)(.+?)\1")
# [text](target) and ![alt](target), with an optional "title"; the target may be in <...>.
INLINE_LINK = re.compile(r"!?\[(?:[^\[\]]|\[[^\]]*\])*\]\(\s*<?([^()\s<>]*)>?(?:\s+\"[^\"]*\")?\s*\)")
REFERENCE_DEFINITION = re.compile(r"^\s{0,3}\[[^\]]+\]:\s*<?(\S+?)>?(?:\s+\"[^\"]*\")?\s*$")
HEADING = re.compile(r"^\s{0,3}(#{1,6})\s+(.*?)\s*#*\s*$")
SCHEME = re.compile(r"^[a-zA-Z][a-zA-Z0-9+.-]*:")


def prose_lines(text):
    """(line number, line) outside fenced code blocks, code spans blanked."""
    inside = None
    for number, line in enumerate(text.splitlines(), 1):
        fence = FENCE.match(line)
        if fence:
            if inside is None:
                inside = fence.group(1)
            elif fence.group(1) == inside:
                inside = None
            continue
        if inside is None:
            yield number, line


def anchor(heading):
    """GitHub's anchor of a heading: its text as shown, lower case, without punctuation but
    hyphens and underscores, spaces made hyphens."""
    text = re.sub(r"!?\[([^\]]*)\]\([^)]*\)", r"\1", heading)  # a link shows its text
    text = text.replace("`", "")
    return re.sub(r"[^\w\- ]", "", text.lower()).replace(" ", "-")


def anchors(path):
    """Every anchor a page offers; a repeated heading gets -1, -2, ... as on GitHub."""
    seen = {}
    result = set()
    for _, line in prose_lines(path.read_text()):
        match = HEADING.match(line)
        if not match:
            continue
        base = anchor(match.group(2))
        count = seen.get(base, 0)
        seen[base] = count + 1
        result.add(base if count == 0 else f"{base}-{count}")
    return result


def links(text):
    """(line number, target) of every link and image of a page outside code."""
    found = []
    for number, line in prose_lines(text):
        line = CODE_SPAN.sub(lambda span: " " * len(span.group(0)), line)
        definition = REFERENCE_DEFINITION.match(line)
        if definition:
            found.append((number, definition.group(1)))
            continue
        found.extend((number, match.group(1)) for match in INLINE_LINK.finditer(line))
    return found


def broken_links(page, root):
    """What is wrong with the relative links of one page: a target outside root, a file that
    is not there, or an anchor that no heading of the target makes."""
    problems = []
    for number, target in links(page.read_text()):
        where = f"{page.relative_to(root)}:{number}: {target}"
        if not target:
            problems.append(f"{where}: empty link")
            continue
        if SCHEME.match(target) or target.startswith("//"):
            continue  # an address on the web, not a file of the repository
        path_part, _, fragment = target.partition("#")
        destination = (page.parent / path_part).resolve() if path_part else page
        if not destination.is_relative_to(root.resolve()):
            problems.append(f"{where}: outside the repository")
            continue
        if not destination.exists():
            problems.append(f"{where}: no such file")
            continue
        if fragment:
            if destination.suffix != ".md":
                problems.append(f"{where}: an anchor into a file that is not a page")
            elif fragment not in anchors(destination):
                problems.append(f"{where}: no heading makes #{fragment}")
    return problems


@pytest.mark.parametrize("page", PAGES, ids=lambda page: str(page.relative_to(REPO)))
def test_page_links_lead_somewhere(page):
    assert links(page.read_text()) or page.name == "CHANGELOG.md", f"{page.name} links nowhere"
    assert broken_links(page, REPO) == []


def test_readme_links_every_docs_page():
    linked = set()
    for _, target in links((REPO / "README.md").read_text()):
        if not SCHEME.match(target):
            linked.add((REPO / target.partition("#")[0]).resolve())
    pages = {page.resolve() for page in (REPO / "docs").glob("*.md")}
    assert pages, "docs/ has no pages"
    assert sorted(str(page.relative_to(REPO)) for page in pages - linked) == []


def test_readme_stays_short():
    lines = len((REPO / "README.md").read_text().splitlines())
    assert lines <= README_MAX_LINES, (
        f"README.md has {lines} lines: it is for users; move build, platform, benchmark and "
        "development detail to docs/")


# The checker itself, on pages made for the purpose: each case is a page docs/page.md beside
# docs/other.md (headings "Other page", "Same", "Same") and README.md, and the problems expected.
CHECKER_CASES = [
    ("[a](other.md)", []),
    ("[a](other.md#other-page) [b](other.md#same-1) [c](#here) ![d](../README.md)", []),
    ("[a](<other.md>) [b](other.md \"title\")\n\n[c]: other.md#same-1", []),
    ("[c]: other.md#same-2", ["no heading makes #same-2"]),
    ("[a](https://example.org/x.md) [b](mailto:x@example.org)", []),
    ("`[a](missing.md)`\n```\n[b](missing.md)\n```", []),
    ("[a](missing.md)", ["no such file"]),
    ("[a](other.md#same-2)", ["no heading makes #same-2"]),
    ("[a](#nowhere)", ["no heading makes #nowhere"]),
    ("[a](../../outside.md)", ["outside the repository"]),
    ("[a]: missing.md", ["no such file"]),
    ("[a]()", ["empty link"]),
    ("[a](other.md) and [b](gone/page.md)", ["no such file"]),
]


@pytest.mark.parametrize("body, expected", CHECKER_CASES)
def test_checker(tmp_path, body, expected):
    root = tmp_path / "repo"
    (root / "docs").mkdir(parents=True)
    (root / "README.md").write_text("# Readme\n")
    (root / "docs" / "other.md").write_text("# Other page\n\n## Same\n\n## Same\n")
    page = root / "docs" / "page.md"
    page.write_text(f"# Here\n\n{body}\n")
    problems = broken_links(page, root)
    assert len(problems) == len(expected), problems
    for problem, words in zip(problems, expected):
        assert problem.endswith(words), problems


@pytest.mark.parametrize("heading, expected", [
    ("What `columnarize` returns", "what-columnarize-returns"),
    ("Linux x86-64, glibc 2.17 or later", "linux-x86-64-glibc-217-or-later"),
    ("Free-threaded CPython 3.14t", "free-threaded-cpython-314t"),
    ("Classifying beside simdjson's stage 1", "classifying-beside-simdjsons-stage-1"),
    ("The [benchmark](docs/benchmark.md) ÷ peers", "the-benchmark--peers"),
    ("vantor_codec", "vantor_codec"),
])
def test_anchor(heading, expected):
    assert anchor(heading) == expected

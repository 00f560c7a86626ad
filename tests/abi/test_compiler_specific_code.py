"""GCC's and Clang's own spellings, which MSVC rejects, stay in src/platform/compiler.h, inside its
branch for those compilers: the rest of src/ builds with any C++20 compiler. Clang in MSVC mode
(tools/dev/msvc_check.py, run by ./dev wheel --arch win_amd64) accepts these spellings, as Clang
does everywhere, so that compile cannot find them: this reading of the sources does. The
[[gnu::...]] attributes are standard attribute syntax, which other compilers ignore, and are
allowed."""

import pathlib
import re

import pytest

REPO = pathlib.Path(__file__).resolve().parents[2]
HEADER = "platform/compiler.h"
# The GNU-only spellings, each with a name for the report.
GNU_ONLY = {
    "__attribute__": re.compile(r"\b__attribute__\b"),
    "__int128": re.compile(r"\b__int128\b"),
    "__builtin_*": re.compile(r"\b__builtin_\w+"),
    "__extension__": re.compile(r"\b__extension__\b"),
    "inline assembly": re.compile(r"\b(?:__asm__|__asm|asm)\s*(?:volatile\s*)?\("),
    "typeof": re.compile(r"\b(?:__typeof__|typeof)\b"),
}


def without_comments_and_strings(text):
    """The text with comments and string and character literals blanked, lines kept."""
    pattern = re.compile(r'//[^\n]*|/\*.*?\*/|"(?:\\.|[^"\\\n])*"|\'(?:\\.|[^\'\\\n])*\'', re.S)
    return pattern.sub(lambda m: re.sub(r"[^\n]", " ", m.group(0)), text)


def gnu_branch_lines(text):
    """Numbers of the lines inside `#if defined(VANTOR_COMPILER_GNU)` blocks (their #elif and #else
    parts excluded), nested conditionals followed."""
    inside = set()
    stack = []  # per open conditional: is its current part the GNU branch?
    for number, line in enumerate(text.splitlines(), 1):
        directive = re.match(r"\s*#\s*(if|ifdef|ifndef|elif|else|endif)\b(.*)", line)
        if directive:
            word, rest = directive.groups()
            if word in ("if", "ifdef", "ifndef"):
                stack.append(word != "ifndef" and "VANTOR_COMPILER_GNU" in rest
                             and "!" not in rest and "||" not in rest)
            elif word in ("elif", "else") and stack:
                stack[-1] = False
            elif word == "endif" and stack:
                stack.pop()
            continue
        if any(stack):
            inside.add(number)
    return inside


def findings(path_name, text):
    """(line, spelling) of each GNU-only spelling outside the header's GNU branch."""
    allowed = gnu_branch_lines(text) if path_name == HEADER else set()
    found = []
    for number, line in enumerate(without_comments_and_strings(text).splitlines(), 1):
        for name, pattern in GNU_ONLY.items():
            if pattern.search(line) and number not in allowed:
                found.append((number, name))
    return found


def test_gnu_only_spellings_stay_in_the_gnu_branch_of_the_portability_header():
    report = []
    for path in sorted((REPO / "src").rglob("*")):
        if path.suffix in (".h", ".cpp"):
            name = path.relative_to(REPO / "src").as_posix()
            report += [f"src/{name}:{line}: {spelling}"
                       for line, spelling in findings(name, path.read_text())]
    assert report == []


def test_the_portability_header_has_a_branch_for_msvc():
    text = (REPO / "src" / HEADER).read_text()
    for intrinsic in ("_umul128", "__umulh", "__cpuid", "__cpuidex", "_xgetbv"):
        assert re.search(rf"\b{intrinsic}\(", text), intrinsic


# The reading itself, on small texts whose answers are known.
CASES = [
    ("plain use", "a.h", "int x = __builtin_ctz(y);", [(1, "__builtin_*")]),
    ("attribute on a lambda", "a.h", "auto f = [] __attribute__((always_inline)) {};",
     [(1, "__attribute__")]),
    ("wide integer", "a.cpp", "__extension__ using u = unsigned __int128;",
     [(1, "__int128"), (1, "__extension__")]),
    ("inline assembly", "a.cpp", 'asm volatile("pause");', [(1, "inline assembly")]),
    ("in a comment", "a.h", "// __builtin_expect is not used\n/* __int128\n */", []),
    ("in a string", "a.cpp", 'const char* s = "__attribute__";', []),
    ("standard attribute", "a.h", "[[gnu::always_inline]] inline int f();", []),
    ("a longer name", "a.h", "int my__int128_count;", []),
    ("the header's GNU branch", HEADER,
     "#if defined(VANTOR_COMPILER_GNU)\n__builtin_cpu_supports(\"avx2\");\n#endif", []),
    ("the header's other branch", HEADER,
     "#if defined(VANTOR_COMPILER_GNU)\nint a;\n#else\n__builtin_trap();\n#endif",
     [(4, "__builtin_*")]),
    ("nested in the GNU branch", HEADER,
     "#if defined(VANTOR_COMPILER_GNU)\n#if defined(X)\n__int128 a;\n#endif\n__int128 b;\n"
     "#endif\n__int128 c;", [(7, "__int128")]),
    ("a negated test is not the GNU branch", HEADER,
     "#if !defined(VANTOR_COMPILER_GNU)\n__int128 a;\n#endif", [(2, "__int128")]),
    ("the same branch in another file", "text/a.h",
     "#if defined(VANTOR_COMPILER_GNU)\n__int128 a;\n#endif", [(2, "__int128")]),
]


@pytest.mark.parametrize("name, text, expected", [case[1:] for case in CASES],
                         ids=[case[0] for case in CASES])
def test_the_reading_finds_gnu_only_spellings(name, text, expected):
    assert findings(name, text) == expected

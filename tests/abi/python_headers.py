"""The names CPython's headers declare PyAPI_FUNC or PyAPI_DATA, for one build of the interpreter.

A build is described by the macros it leaves undefined (the release build with the global lock
defines none of Py_DEBUG, Py_REF_DEBUG, Py_TRACE_REFS and Py_GIL_DISABLED) and those it defines.
Conditional blocks are judged by those macros alone: a condition that also depends on anything
else (Py_LIMITED_API, the compiler, the platform) counts as possibly true, so the declarations
inside it count, since a DLL exports them whatever its users define. The header text itself is
read, not preprocessed, so that the answer does not depend on the pyconfig.h being checked."""

import pathlib
import re

RELEASE_WITH_GIL = frozenset({"Py_DEBUG", "Py_REF_DEBUG", "Py_TRACE_REFS", "Py_GIL_DISABLED"})

_TOKEN = re.compile(r"\s*(defined|[A-Za-z_]\w*|\d\w*|&&|\|\||==|!=|<=|>=|[!()<>+\-*/%])")
_DIRECTIVE = re.compile(r"#\s*(\w+)\s*(.*)")
# The name is the last word before the parameters: attributes (_Py_NO_RETURN) may come first.
_FUNCTION = re.compile(r"\bPyAPI_FUNC\s*\((?:[^()]|\([^()]*\))*\)\s*(?:\w+\s+)*(\w+)\s*\(")
_DATA = re.compile(r"\bPyAPI_DATA\s*\((?:[^()]|\([^()]*\))*\)\s*(\w+)")


class _Condition:
    """Evaluates a #if expression to True, False or None (cannot tell)."""

    def __init__(self, text, undefined, defined):
        self.tokens = _TOKEN.findall(text)
        if "".join(self.tokens) != re.sub(r"\s+", "", text):
            self.tokens = None  # something this reader does not know: cannot tell
        self.position = 0
        self.undefined = undefined
        self.defined = defined

    def value(self):
        if self.tokens is None:
            return None
        try:
            result = self._or()
        except IndexError:
            return None
        return result if self.position == len(self.tokens) else None

    def _peek(self):
        return self.tokens[self.position] if self.position < len(self.tokens) else None

    def _take(self):
        token = self.tokens[self.position]
        self.position += 1
        return token

    def _or(self):
        result = self._and()
        while self._peek() == "||":
            self._take()
            right = self._and()
            result = True if True in (result, right) else (None if None in (result, right)
                                                            else False)
        return result

    def _and(self):
        result = self._comparison()
        while self._peek() == "&&":
            self._take()
            right = self._comparison()
            result = False if False in (result, right) else (None if None in (result, right)
                                                              else True)
        return result

    def _comparison(self):
        result = self._unary()
        # Arithmetic and comparisons: the value of the operands is not known here.
        while self._peek() in ("==", "!=", "<", ">", "<=", ">=", "+", "-", "*", "/", "%"):
            self._take()
            self._unary()
            result = None
        return result

    def _unary(self):
        token = self._take()
        if token == "!":
            operand = self._unary()
            return None if operand is None else not operand
        if token == "(":
            result = self._or()
            if self._take() != ")":
                raise IndexError
            return result
        if token == "defined":
            parenthesised = self._peek() == "("
            if parenthesised:
                self._take()
            name = self._take()
            if parenthesised and self._take() != ")":
                raise IndexError
            if name in self.undefined:
                return False
            return True if name in self.defined else None
        if token in self.undefined:
            return False  # an undefined macro is 0 in #if
        if token[0].isdigit():
            try:
                return int(token.rstrip("uUlL"), 0) != 0
            except ValueError:
                return None
        return None


def _logical_lines(text):
    """The header's lines with comments removed and continuation lines joined."""
    text = re.sub(r"/\*.*?\*/", lambda m: "\n" * m.group().count("\n"), text, flags=re.S)
    text = re.sub(r"//[^\n]*", "", text)
    return text.replace("\\\n", " ").splitlines()


def included_text(text, undefined=RELEASE_WITH_GIL, defined=frozenset()):
    """The lines of a header that the build may compile, its directives left out."""
    # One frame per open conditional: [this branch's condition, whether an earlier branch may
    # have been taken]. A line counts unless some frame's branch is certainly not taken.
    frames = []
    kept = []
    for line in _logical_lines(text):
        directive = _DIRECTIVE.match(line.strip())
        if directive is None:
            if all(branch is not False for branch, _ in frames):
                kept.append(line)
            continue
        keyword, rest = directive.groups()
        if keyword in ("if", "ifdef", "ifndef"):
            if keyword == "if":
                condition = _Condition(rest, undefined, defined).value()
            else:
                condition = _Condition(f"defined({rest.strip()})", undefined, defined).value()
                if keyword == "ifndef":
                    condition = None if condition is None else not condition
            frames.append([condition, condition])
        elif keyword in ("elif", "else") and frames:
            earlier = frames[-1][1]
            if keyword == "elif":
                condition = _Condition(rest, undefined, defined).value()
            else:
                condition = True
            if earlier is True:
                branch = False
            elif earlier is False:
                branch = condition
            else:
                branch = False if condition is False else None
            frames[-1] = [branch, True if True in (earlier, branch) else (
                None if None in (earlier, branch) else False)]
        elif keyword == "endif" and frames:
            frames.pop()
    return "\n".join(kept)


def declared_names(text, undefined=RELEASE_WITH_GIL, defined=frozenset()):
    """{name: "FUNC" or "DATA"} for the declarations of one header that the build keeps."""
    kept = included_text(text, undefined, defined)
    names = {name: "FUNC" for name in _FUNCTION.findall(kept)}
    names.update((name, "DATA") for name in _DATA.findall(kept))
    return names


def declared_in_headers(include_dir, undefined=RELEASE_WITH_GIL, defined=frozenset()):
    """declared_names over the headers an extension module includes: Include/ and
    Include/cpython/, but not Include/internal/, which needs Py_BUILD_CORE."""
    include_dir = pathlib.Path(include_dir)
    names = {}
    for header in sorted(include_dir.glob("*.h")) + sorted(include_dir.glob("cpython/*.h")):
        if header.name == "pyconfig.h":
            continue
        names.update(declared_names(header.read_text(errors="replace"), undefined, defined))
    return names

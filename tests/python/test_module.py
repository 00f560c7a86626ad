"""What the interpreter finds when it loads the module."""

import inspect
import pydoc

import pytest
from conftest import PATHS, load_module_from


def test_module_attributes_after_import(codec):
    assert codec.__doc__ == ""
    assert codec.__all__ == ["columnarize"]
    assert codec.__name__ == "vantor_codec"
    function = codec.columnarize
    assert function.__name__ == "columnarize"
    assert function.__self__ is None
    assert function.__module__ == "vantor_codec"
    public = {name for name in vars(codec) if not name.startswith("_")}
    assert public == {"columnarize"}


def test_signature_and_docstring(codec):
    function = codec.columnarize
    assert str(inspect.signature(function)) == "(payload, min_rows=20)"
    assert function.__text_signature__ == "(payload, min_rows=20)"
    doc = function.__doc__
    assert doc.startswith(
        "Columnarize a row-oriented JSON payload (bytes or str), GIL released\n"
        "for the duration of the transform.\n\nArgs:\n"
    )
    assert "columnarize(payload" not in doc and "\n--\n" not in doc
    assert not doc.endswith("\n")
    panic_safety = doc[doc.index("Panic safety: `columnarize_json` is run inside") :]
    assert panic_safety.endswith("a residual, documented limitation.")
    assert '"a broken codec must never break a tool call"' in panic_safety
    # The paragraph's three statements, in their order.
    order = [panic_safety.index(word) for word in ("RuntimeError", "BaseException", "stack overflow")]
    assert order == sorted(order)


def test_help_shows_the_signature_then_the_docstring(codec):
    shown = pydoc.render_doc(codec.columnarize, renderer=pydoc.plaintext).splitlines()
    start = next(n for n, line in enumerate(shown) if line.startswith("columnarize("))
    assert shown[start] == "columnarize(payload, min_rows=20)"
    assert shown[start + 1].strip() == (
        "Columnarize a row-oriented JSON payload (bytes or str), GIL released"
    )
    assert not any(line.strip() == "--" for line in shown)


@pytest.mark.parametrize("existing", [["first"], ["first", "columnarize"], []])
def test_an_existing_all_list_is_appended_to(existing):
    def set_all(module):
        module.__all__ = existing

    module = load_module_from(PATHS["VANTOR_MODULE"], set_all)
    assert module.__all__ is existing
    assert existing[-1] == "columnarize"
    assert module.columnarize(b"[]") == b'{"columns":[],"rows":[],"constants":{}}'


def test_an_all_list_subclass_is_a_list():
    class Names(list):
        pass

    names = Names(["first"])
    module = load_module_from(PATHS["VANTOR_MODULE"], lambda m: setattr(m, "__all__", names))
    assert names == ["first", "columnarize"]


@pytest.mark.parametrize("value, message", [
    (("first",), "'tuple' object is not an instance of 'list'"),
    ("columnarize", "'str' object is not an instance of 'list'"),
    (None, "'None' is not an instance of 'list'"),
])
def test_an_all_that_is_not_a_list_fails_the_import(value, message):
    captured = {}

    def set_all(module):
        module.__all__ = value
        captured["module"] = module

    with pytest.raises(TypeError) as caught:
        load_module_from(PATHS["VANTOR_MODULE"], set_all)
    assert str(caught.value) == message
    assert not hasattr(captured["module"], "columnarize")
    assert captured["module"].__all__ == value


def test_each_import_makes_a_new_function():
    first = load_module_from(PATHS["VANTOR_MODULE"])
    second = load_module_from(PATHS["VANTOR_MODULE"])
    assert first.columnarize is not second.columnarize
    assert first.columnarize(b"[]") == second.columnarize(b"[]")

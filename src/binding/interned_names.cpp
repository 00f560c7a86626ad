#include "binding/interned_names.h"

#include <string_view>

#include "binding/once_object.h"

namespace vantor::binding {
namespace {

PyObject* interned(OnceObject& slot, std::string_view text) {
    return slot.get([text]() -> PyObject* {
        PyObject* name =
            PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
        if (name != nullptr) PyUnicode_InternInPlace(&name);
        return name;
    });
}

OnceObject name_dunder_slot;
OnceObject all_dunder_slot;
OnceObject add_note_slot;

}  // namespace

PyObject* name_dunder_name() {
    return interned(name_dunder_slot, "__name__");
}
PyObject* all_dunder_name() {
    return interned(all_dunder_slot, "__all__");
}
PyObject* add_note_name() {
    return interned(add_note_slot, "add_note");
}

}  // namespace vantor::binding

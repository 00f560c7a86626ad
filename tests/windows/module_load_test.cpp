// Loads the Windows module the way CPython loads an extension module and calls its init function,
// with the stand-in python314.dll that cmake/WindowsModule.cmake puts beside this program (Wine
// runs it: ./dev test-windows-core). Passes when the module loads, its init function hands over
// the module's definition as the 3.14 headers describe it, and the module unloads again.
#include <Python.h>
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

int failed(const char* what) {
    std::fprintf(stderr, "module_load_test: %s (error %lu)\n", what, GetLastError());
    return 1;
}

const PyModuleDef_Slot* find_slot(const PyModuleDef* definition, int id) {
    for (const PyModuleDef_Slot* slot = definition->m_slots; slot && slot->slot != 0; ++slot) {
        if (slot->slot == id) return slot;
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return failed("usage: module_load_test MODULE.pyd");
    // CPython loads an extension by its full path, with the folders a DLL may come from limited
    // to the system's and the module's own (python314.dll is already in the process there; here
    // it comes from this program's folder, which the default folders include).
    char path[MAX_PATH];
    if (GetFullPathNameA(argv[1], MAX_PATH, path, nullptr) == 0) return failed("no full path");
    HMODULE module = LoadLibraryExA(
        path, nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS | LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR);
    if (module == nullptr) return failed("the module did not load");
    if (GetModuleHandleA("python314.dll") == nullptr) return failed("python314.dll is not loaded");

    using InitFunction = PyObject* (*)();
    auto init = reinterpret_cast<InitFunction>(
        reinterpret_cast<void*>(GetProcAddress(module, "PyInit_vantor_codec")));
    if (init == nullptr) return failed("no PyInit_vantor_codec");
    // The stand-in PyModuleDef_Init returns the definition it is given, as CPython's does.
    const auto* definition = reinterpret_cast<const PyModuleDef*>(init());
    if (definition == nullptr) return failed("PyInit_vantor_codec returned null");
    if (definition->m_name == nullptr || std::strcmp(definition->m_name, "vantor_codec") != 0) {
        return failed("the definition does not name vantor_codec");
    }
    if (definition->m_size != 0) return failed("the module asks for per-module state");
    const PyModuleDef_Slot* exec = find_slot(definition, Py_mod_exec);
    if (exec == nullptr || exec->value == nullptr) return failed("no Py_mod_exec slot");
    const PyModuleDef_Slot* gil = find_slot(definition, Py_mod_gil);
    if (gil == nullptr || gil->value != Py_MOD_GIL_NOT_USED) {
        return failed("no Py_mod_gil slot saying Py_MOD_GIL_NOT_USED");
    }
    if (!FreeLibrary(module)) return failed("the module did not unload");
    std::puts("module_load_test: vantor_codec loaded, handed over its definition, and unloaded");
    return 0;
}

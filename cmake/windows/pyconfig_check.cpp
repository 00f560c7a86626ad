// Compiled into the Windows module (cmake/WindowsModule.cmake): the sizes that pyconfig.h states
// for python314.dll must be those of the compiler building the module, or the structures the two
// share would be laid out differently on each side. (pid_t is left out on purpose: see there.)
#include <Python.h>

#include <cstddef>

static_assert(sizeof(void*) == SIZEOF_VOID_P);
static_assert(sizeof(std::size_t) == SIZEOF_SIZE_T);
static_assert(sizeof(Py_ssize_t) == SIZEOF_SIZE_T);
static_assert(sizeof(int) == SIZEOF_INT);
static_assert(sizeof(long) == SIZEOF_LONG);
static_assert(sizeof(long long) == SIZEOF_LONG_LONG);
static_assert(sizeof(wchar_t) == SIZEOF_WCHAR_T);
static_assert(sizeof(double) == SIZEOF_DOUBLE);
static_assert(sizeof(PyObject) == 2 * SIZEOF_VOID_P,
              "the object header of the build with the lock");

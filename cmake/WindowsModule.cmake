# The module for 64-bit Windows CPython 3.14, cross-compiled with MinGW-w64 for the UCRT
# (cmake/toolchains/mingw-w64-ucrt-x86_64.cmake): vantor_codec.cp314-win_amd64.pyd.
#
# No Windows interpreter is at hand, so its parts come from elsewhere:
#   the headers     the 3.14 headers of VANTOR_WINDOWS_PYTHON_HEADERS (Debian's python3.14-dev),
#                   copied into the build folder with cmake/windows/pyconfig.h in place of their
#                   Linux pyconfig.h (Python.h includes "pyconfig.h" from its own folder first, so
#                   the replacement has to sit beside it);
#   python314.dll   an import library made by dlltool from cmake/windows/python314.def, which
#                   lists the interpreter's names the module uses (tests/abi checks them
#                   against the headers and against what the module imports).
# The module cannot be loaded here; tests/abi checks what it imports and exports.
set(VANTOR_WINDOWS_PYTHON_HEADERS /usr/include/python3.14
    CACHE PATH "CPython 3.14's headers (Include/), whose pyconfig.h is replaced for Windows")
if(NOT EXISTS ${VANTOR_WINDOWS_PYTHON_HEADERS}/Python.h)
    message(FATAL_ERROR "no Python.h in ${VANTOR_WINDOWS_PYTHON_HEADERS} (VANTOR_WINDOWS_PYTHON_HEADERS)")
endif()
if(NOT CMAKE_DLLTOOL)
    message(FATAL_ERROR "the toolchain names no dlltool (CMAKE_DLLTOOL)")
endif()

set(VANTOR_WINDOWS_DIR ${PROJECT_SOURCE_DIR}/cmake/windows)
set(python_include ${CMAKE_BINARY_DIR}/python3.14-windows)
file(COPY ${VANTOR_WINDOWS_PYTHON_HEADERS}/ DESTINATION ${python_include}
    PATTERN pyconfig.h EXCLUDE)
configure_file(${VANTOR_WINDOWS_DIR}/pyconfig.h ${python_include}/pyconfig.h COPYONLY)

set(python_def ${VANTOR_WINDOWS_DIR}/python314.def)
set(python_import_library ${CMAKE_BINARY_DIR}/libpython314.dll.a)
add_custom_command(OUTPUT ${python_import_library}
    COMMAND ${CMAKE_DLLTOOL} --input-def ${python_def} --dllname python314.dll
            --output-lib ${python_import_library}
    DEPENDS ${python_def}
    COMMENT "Making the import library of python314.dll")
add_custom_target(vantor_python314_import_library DEPENDS ${python_import_library})

add_library(vantor_codec MODULE ${VANTOR_BINDING_SOURCES})
add_dependencies(vantor_codec vantor_python314_import_library)
set_target_properties(vantor_codec PROPERTIES
    PREFIX ""
    OUTPUT_NAME vantor_codec
    SUFFIX ".cp314-win_amd64.pyd"
    LINK_DEPENDS ${python_import_library})
target_include_directories(vantor_codec SYSTEM PRIVATE ${python_include})
target_include_directories(vantor_codec PRIVATE ${PROJECT_SOURCE_DIR}/src)
# Only PyInit_vantor_codec, which the headers declare __declspec(dllexport), is exported: nothing
# of the core or of the linked-in runtime is exported automatically. The linked-in runtime brings
# only the sections the module reaches, and the COFF symbol table, which Windows debuggers do not
# read, is left out (a third of the size).
target_link_options(vantor_codec PRIVATE LINKER:--exclude-all-symbols LINKER:--gc-sections -s)
target_link_libraries(vantor_codec PRIVATE vantor_core vantor_warnings ${python_import_library})

# Read by tests/abi (KEY=VALUE lines; paths are absolute).
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/windows_module.env CONTENT
"VANTOR_WINDOWS_MODULE=$<TARGET_FILE:vantor_codec>
VANTOR_WINDOWS_PYTHON_DEF=${python_def}
VANTOR_WINDOWS_PYTHON_HEADERS=${VANTOR_WINDOWS_PYTHON_HEADERS}
VANTOR_WINDOWS_OBJDUMP=${CMAKE_OBJDUMP}
")

# The module for 64-bit Windows CPython 3.14, cross-compiled with MinGW-w64 for the UCRT
# (cmake/toolchains/mingw-w64-ucrt-x86_64.cmake): vantor_codec.cp314-win_amd64.pyd.
#
# No Windows interpreter is at hand, so its parts come from elsewhere:
#   the headers     the 3.14 headers of VANTOR_WINDOWS_PYTHON_HEADERS (Debian's python3.14-dev),
#                   copied into the build folder with cmake/windows/pyconfig.h in place of their
#                   Linux pyconfig.h (Python.h includes "pyconfig.h" from its own folder first, so
#                   the replacement has to sit beside it); windows/pyconfig_check.cpp, compiled
#                   into the module, holds its sizes against the compiler's;
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

add_library(vantor_codec MODULE ${VANTOR_BINDING_SOURCES} ${VANTOR_WINDOWS_DIR}/pyconfig_check.cpp)
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

option(VANTOR_WINDOWS_LOAD_TEST "Build the Windows module's load test without the core's tests" OFF)
# Read by tests/abi (KEY=VALUE lines; paths are absolute), with the load test and its stand-in
# python314.dll when they are built.
set(load_test_lines "")
if(VANTOR_BUILD_TESTS OR VANTOR_WINDOWS_LOAD_TEST)
    set(load_test_lines "VANTOR_WINDOWS_LOAD_TEST=${CMAKE_BINARY_DIR}/load_test/module_load_test.exe
VANTOR_WINDOWS_STAND_IN=${CMAKE_BINARY_DIR}/load_test/python314.dll
")
endif()
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/windows_module.env CONTENT
"VANTOR_WINDOWS_MODULE=$<TARGET_FILE:vantor_codec>
VANTOR_WINDOWS_PYTHON_DEF=${python_def}
VANTOR_WINDOWS_PYTHON_HEADERS=${VANTOR_WINDOWS_PYTHON_HEADERS}
VANTOR_WINDOWS_OBJDUMP=${CMAKE_OBJDUMP}
${load_test_lines}")

# With the tests (./dev test-windows-core, under Wine): the module loaded into a Windows process
# the way CPython loads extension modules, against a stand-in python314.dll that exports the
# .def's names (functions that abort, data that is zero) and whose PyModuleDef_Init returns the
# definition it is given. This proves what the import and export checks cannot: that the loader
# resolves every import, that the linked-in runtime starts and stops (its static constructors and
# thread-local callbacks), and that PyInit_vantor_codec hands over a module definition that reads
# right through these headers. It is not CPython: nothing of the module runs past its init.
# ./dev wheel --arch win_amd64 builds the two without the core's tests (VANTOR_WINDOWS_LOAD_TEST)
# and runs them on the wheel's module where pip installs it.
if(VANTOR_BUILD_TESTS OR VANTOR_WINDOWS_LOAD_TEST)
    set(load_test_dir ${CMAKE_BINARY_DIR}/load_test)
    set(stand_in_source ${CMAKE_BINARY_DIR}/python314_stand_in.cpp)
    file(STRINGS ${python_def} def_lines)
    set(stand_in_text "// Generated by cmake/WindowsModule.cmake from python314.def.\n#include <cstdlib>\n")
    set(in_exports OFF)
    foreach(line IN LISTS def_lines)
        string(REGEX REPLACE ";.*" "" line "${line}")
        string(STRIP "${line}" line)
        if(line STREQUAL "EXPORTS")
            set(in_exports ON)
        elseif(in_exports AND line MATCHES "^([A-Za-z_][A-Za-z0-9_]*)( +DATA)?$")
            if(CMAKE_MATCH_2)
                string(APPEND stand_in_text
                    "extern \"C\" __declspec(dllexport) alignas(16) unsigned char ${CMAKE_MATCH_1}[256];\n")
            elseif(CMAKE_MATCH_1 STREQUAL "PyModuleDef_Init")
                string(APPEND stand_in_text
                    "extern \"C\" __declspec(dllexport) void* PyModuleDef_Init(void* definition) { return definition; }\n")
            else()
                string(APPEND stand_in_text
                    "extern \"C\" __declspec(dllexport) void ${CMAKE_MATCH_1}() { std::abort(); }\n")
            endif()
        endif()
    endforeach()
    file(CONFIGURE OUTPUT ${stand_in_source} CONTENT "${stand_in_text}")
    add_library(vantor_python314_stand_in SHARED ${stand_in_source})
    set_target_properties(vantor_python314_stand_in PROPERTIES
        PREFIX "" OUTPUT_NAME python314 RUNTIME_OUTPUT_DIRECTORY ${load_test_dir}
        ARCHIVE_OUTPUT_DIRECTORY ${load_test_dir})

    add_executable(module_load_test ${PROJECT_SOURCE_DIR}/tests/windows/module_load_test.cpp)
    target_include_directories(module_load_test SYSTEM PRIVATE ${python_include})
    target_link_libraries(module_load_test PRIVATE vantor_warnings)
    set_target_properties(module_load_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${load_test_dir})
    add_dependencies(module_load_test vantor_python314_stand_in vantor_codec)
    if(VANTOR_BUILD_TESTS)
        add_test(NAME module_load_test COMMAND module_load_test $<TARGET_FILE:vantor_codec>)
    endif()
endif()

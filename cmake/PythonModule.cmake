# The Python extension module `vantor_codec`, built against the full C API of CPython 3.14.
#
# Two builds of the same sources:
#   vantor_codec                 the shipped module, in the build folder's root;
#   vantor_codec_fault_injection the test-only variant (VANTOR_FAULT_INJECTION), whose transform
#                                and boundary can be made to fault on demand, in fault_injection/.
# Both files are named vantor_codec<suffix>, since the interpreter derives the entry point's name
# from the module name. python_paths.env tells the Python tests where each one is.
# 3.14 or later, as requires-python in pyproject.toml says.
find_package(Python 3.14 REQUIRED COMPONENTS Interpreter Development.Module)

set(VANTOR_BINDING_SOURCES
    ${PROJECT_SOURCE_DIR}/src/module.cpp
    ${PROJECT_SOURCE_DIR}/src/binding/arguments.cpp
    ${PROJECT_SOURCE_DIR}/src/binding/barriers.cpp
    ${PROJECT_SOURCE_DIR}/src/binding/columnarize_entry.cpp
    ${PROJECT_SOURCE_DIR}/src/binding/errors.cpp
    ${PROJECT_SOURCE_DIR}/src/binding/process_objects.cpp)

function(vantor_add_python_module target output_dir)
    Python_add_library(${target} MODULE WITH_SOABI ${VANTOR_BINDING_SOURCES} ${ARGN})
    set_target_properties(${target} PROPERTIES
        OUTPUT_NAME vantor_codec
        LIBRARY_OUTPUT_DIRECTORY ${output_dir}
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON)
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${target} PRIVATE vantor_core vantor_warnings)
    # PyInit_vantor_codec alone is exported, also of a statically linked libstdc++.
    if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
        set(exports ${PROJECT_SOURCE_DIR}/cmake/module_exports.map)
        target_link_options(${target} PRIVATE "LINKER:--version-script=${exports}")
        set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${exports})
    endif()
endfunction()

vantor_add_python_module(vantor_codec ${CMAKE_BINARY_DIR})

if(VANTOR_BUILD_TESTS)
    vantor_add_python_module(vantor_codec_fault_injection ${CMAKE_BINARY_DIR}/fault_injection
        ${PROJECT_SOURCE_DIR}/src/binding/fault_injection.cpp)
    target_compile_definitions(vantor_codec_fault_injection PRIVATE VANTOR_FAULT_INJECTION)
    set(VANTOR_FAULT_MODULE_LINE
        "VANTOR_FAULT_INJECTION_MODULE=$<TARGET_FILE:vantor_codec_fault_injection>\n")
else()
    set(VANTOR_FAULT_MODULE_LINE "")
endif()

# Read by tests/python/conftest.py (KEY=VALUE lines; paths are absolute).
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/python_paths.env CONTENT
"VANTOR_MODULE_DIR=$<TARGET_FILE_DIR:vantor_codec>
VANTOR_MODULE=$<TARGET_FILE:vantor_codec>
${VANTOR_FAULT_MODULE_LINE}")

# Wheel contents, for scikit-build-core (which sets SKBUILD): the shipped module and its type
# stub side by side at the top of the wheel's platform library folder. Type checkers that follow
# PEP 561 (mypy) skip a lone .pyi in site-packages, so the same stub also goes in as the stub-only
# package vantor_codec-stubs. Ordinary builds install nothing.
if(SKBUILD)
    set(VANTOR_STUB ${PROJECT_SOURCE_DIR}/src/vantor_codec.pyi)
    install(TARGETS vantor_codec LIBRARY DESTINATION . COMPONENT python_module)
    install(FILES ${VANTOR_STUB} DESTINATION . COMPONENT python_module)
    install(FILES ${VANTOR_STUB} DESTINATION vantor_codec-stubs RENAME __init__.pyi
        COMPONENT python_module)
endif()

# Cross-compiles for Linux on 64-bit Arm with Debian's GCC cross compiler and runs the results
# under qemu-user, so that ctest runs the tests here (./dev test-aarch64).
#
# VANTOR_AARCH64_SYSROOT names a folder with the arm64 CPython 3.14 unpacked into it (./dev makes
# it): the sysroot's headers come after the compiler's own, so the C library and the C++ runtime
# are the cross compiler's, and only what the compiler lacks (CPython's headers, with the arm64
# pyconfig.h under usr/include/aarch64-linux-gnu) comes from there. FindPython runs the arm64
# interpreter through the emulator, which gives the module its suffix
# (cpython-314-aarch64-linux-gnu).
#
# VANTOR_AARCH64_WHEEL_SYSROOT, when set, is the sysroot of the compiler and linker instead (the
# portable wheel's: an older C library and LLVM's C++ runtime, with CPython's headers copied in);
# the interpreter and the emulator stay those of the CPython folder.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
# A compiler named by CXX (the wheel's, from another root) wins over the default one.
if(NOT DEFINED ENV{CXX})
    set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
endif()
if(NOT DEFINED ENV{CC})
    set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
endif()
# Named here because CMake derives it from the compiler's name, which a wrapper does not have.
set(CMAKE_STRIP aarch64-linux-gnu-strip CACHE FILEPATH "strip for aarch64")

list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VANTOR_AARCH64_SYSROOT VANTOR_AARCH64_PREFIX
    VANTOR_AARCH64_WHEEL_SYSROOT)
if(NOT VANTOR_AARCH64_SYSROOT)
    message(FATAL_ERROR "set VANTOR_AARCH64_SYSROOT to the folder with the arm64 CPython 3.14")
endif()
if(VANTOR_AARCH64_WHEEL_SYSROOT)
    set(CMAKE_SYSROOT ${VANTOR_AARCH64_WHEEL_SYSROOT})
    # FindPython would take the headers beside the interpreter, which the wheel's compiler, in
    # another root, does not see: their copy in its sysroot instead.
    set(Python_INCLUDE_DIR ${VANTOR_AARCH64_WHEEL_SYSROOT}/usr/include/python3.14)
else()
    set(CMAKE_SYSROOT ${VANTOR_AARCH64_SYSROOT})
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L ${VANTOR_AARCH64_SYSROOT})
if(NOT Python_EXECUTABLE)
    set(Python_EXECUTABLE ${VANTOR_AARCH64_SYSROOT}/usr/bin/python3.14)
endif()

# Headers, libraries and packages from the sysroots and from VANTOR_AARCH64_PREFIX (where ./dev
# installs GoogleTest built for arm64), never from the build machine; programs from the build
# machine.
set(CMAKE_FIND_ROOT_PATH ${CMAKE_SYSROOT} ${VANTOR_AARCH64_SYSROOT} ${VANTOR_AARCH64_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 for the Universal C runtime (UCRT), the
# C runtime that Windows CPython itself uses, so that the module shares its C runtime with the
# interpreter. The C++ runtime, libgcc and winpthread (this GCC's thread model is posix) are
# linked in statically: neither the module nor the test programs need a MinGW DLL. Programs built
# with it run under Wine, so that ctest runs the core's tests on Linux (./dev test-windows-core).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VANTOR_MINGW_PREFIX x86_64-w64-mingw32ucrt)
set(CMAKE_C_COMPILER ${VANTOR_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${VANTOR_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${VANTOR_MINGW_PREFIX}-windres)
set(CMAKE_DLLTOOL ${VANTOR_MINGW_PREFIX}-dlltool)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
# Headers, libraries and packages from the MinGW sysroot and from VANTOR_WINDOWS_PREFIX (where
# ./dev installs GoogleTest built for Windows), never from the Linux system; programs from Linux.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VANTOR_WINDOWS_PREFIX)
set(CMAKE_FIND_ROOT_PATH /usr/${VANTOR_MINGW_PREFIX} ${VANTOR_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

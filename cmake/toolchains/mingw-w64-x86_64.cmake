# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (posix threads) and runs the results
# under Wine, so that ctest can run the core's tests on Linux (./dev test-windows-core).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
# Static runtime: the executables then need no MinGW DLLs on Wine's search path.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
# Headers, libraries and packages from the MinGW sysroot and from VANTOR_WINDOWS_PREFIX (where
# ./dev installs GoogleTest built for Windows), never from the Linux system; programs from Linux.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VANTOR_WINDOWS_PREFIX)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${VANTOR_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

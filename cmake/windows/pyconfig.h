/* The pyconfig.h of 64-bit Windows CPython 3.14 (python314.dll, the release build with the global
 * interpreter lock), for compiling extension modules against the 3.14 headers with MinGW-w64.
 *
 * CPython's Windows build does not run configure: it ships a hand-written PC/pyconfig.h instead.
 * This file holds what an extension module needs of it. Each setting below says where it comes
 * from: "PC/pyconfig.h" means the same setting in CPython's Windows header (read in the 3.13
 * release, whose Windows settings 3.14 keeps but for the version in the names of its libraries);
 * "3.14 headers" names the public header of 3.14 that reads it, and why its value matters for a
 * module that must match python314.dll's structures and calling conventions. Settings that only
 * the interpreter's own build reads (HAVE_* of functions, the socket and locale switches, COMPILER,
 * PLATFORM) are left out: the public headers never read them.
 *
 * cmake/WindowsModule.cmake puts this file in front of Debian's python3.14 headers, in place of
 * their Linux pyconfig.h.
 */
#ifndef Py_CONFIG_H
#define Py_CONFIG_H

#if !defined(_WIN64) || !(defined(__x86_64__) || defined(_M_AMD64))
#error "this pyconfig.h describes 64-bit Windows (AMD64) CPython only"
#endif

/* <limits.h> for LLONG_MAX below (PC/pyconfig.h gets it through <io.h> and <stdio.h>). */
#include <limits.h>

/* The platform: PC/pyconfig.h defines all three on 64-bit Windows. The 3.14 headers read
 * MS_WINDOWS (Python.h: no <unistd.h>; pyerrors.h and cpython/pyerrors.h: the Windows error
 * functions and OSError's winerror member, which changes PyOSErrorObject's layout;
 * unicodeobject.h, osdefs.h, pylifecycle.h, cpython/initconfig.h: Windows-only declarations). */
#define MS_WIN32
#define MS_WIN64
#define MS_WINDOWS

/* Windows threads: PC/pyconfig.h. cpython/pythread.h reads NT_THREADS to make Py_tss_t's key an
 * unsigned long (a DWORD) as python314.dll has it. HAVE_PTHREAD_H must stay undefined although
 * MinGW-w64 has <pthread.h>: it would make that key a pthread_key_t. */
#define NT_THREADS
#define WITH_THREAD

/* python314.dll: PC/pyconfig.h defines Py_ENABLE_SHARED (the core is a DLL) and
 * HAVE_DECLSPEC_DLL; with both, exports.h declares every PyAPI_FUNC and PyAPI_DATA
 * __declspec(dllimport) and PyMODINIT_FUNC __declspec(dllexport). The interpreter's data (the
 * exception types, the type objects) can only be reached through the import table that way. */
#define Py_ENABLE_SHARED 1
#define HAVE_DECLSPEC_DLL

/* Py_GIL_DISABLED stays undefined: PC/pyconfig.h defines it only in the free-threaded build
 * (python314t.dll), whose objects have another layout. Py_DEBUG stays undefined too: PC/pyconfig.h
 * derives it from _DEBUG, which only the debug interpreter's (python314_d.dll) builds define. */

/* Py_ssize_t: PC/pyconfig.h's own typedef (__int64, which is long long), with HAVE_PY_SSIZE_T so
 * that pyport.h takes it and its PY_SSIZE_T_MAX instead of looking for ssize_t. */
typedef long long Py_ssize_t;
#define PY_SSIZE_T_MAX LLONG_MAX
#define HAVE_PY_SSIZE_T 1

/* Sizes, from PC/pyconfig.h's MS_WIN64 and MS_WIN32 sections; Windows is LLP64, so long stays
 * 4 bytes. The 3.14 headers read SIZEOF_VOID_P (refcount.h: the split reference count of 64-bit
 * builds; cpython/objimpl.h, cpython/pyhash.h), SIZEOF_SIZE_T (pyport.h: Py_hash_t),
 * SIZEOF_LONG (pyport.h: LONG_BIT; cpython/pyatomic.h), SIZEOF_INT and SIZEOF_LONG_LONG
 * (longobject.h: the pid functions) and SIZEOF_WCHAR_T (unicodeobject.h refuses to build
 * without it; wchar_t is UTF-16 on Windows). */
#define SIZEOF_VOID_P 8
#define SIZEOF_SIZE_T 8
#define SIZEOF_TIME_T 8
#define SIZEOF_SHORT 2
#define SIZEOF_INT 4
#define SIZEOF_LONG 4
#define SIZEOF_LONG_LONG 8
#define SIZEOF_DOUBLE 8
#define SIZEOF_FLOAT 4
#define SIZEOF_WCHAR_T 2
#define SIZEOF__BOOL 1
#define ALIGNOF_SIZE_T 8
#define ALIGNOF_LONG 4
/* pyport.h otherwise takes _Alignof(long double), 16 with GCC; PC/pyconfig.h says 8 (MSVC's
 * long double is a double). No public structure depends on it. */
#define ALIGNOF_MAX_ALIGN_T 8
/* PC/pyconfig.h: pid_t is int for MSVC. longobject.h picks PyLong_FromPid's conversion by it;
 * MinGW-w64's own pid_t is 8 bytes, so the module must not hand pids to those macros. */
#define SIZEOF_PID_T SIZEOF_INT

/* PC/pyconfig.h; pyport.h reads PY_LONG_LONG and its limits. */
#define PY_LONG_LONG long long
#define PY_LLONG_MIN LLONG_MIN
#define PY_LLONG_MAX LLONG_MAX
#define PY_ULLONG_MAX ULLONG_MAX
#define PY_UINT32_T uint32_t
#define PY_UINT64_T uint64_t
#define PY_INT32_T int32_t
#define PY_INT64_T int64_t

/* Headers Windows has: PC/pyconfig.h. Python.h reads HAVE_SYS_TYPES_H, fileutils.h
 * HAVE_SYS_STAT_H, unicodeobject.h HAVE_WCHAR_H. HAVE_FORK stays undefined (intrcheck.h
 * declares the fork hooks only with it). */
#define HAVE_SYS_TYPES_H 1
#define HAVE_SYS_STAT_H 1
#define HAVE_WCHAR_H 1
#define HAVE_ERRNO_H 1
#define HAVE_FCNTL_H 1
#define HAVE_PROCESS_H 1
#define HAVE_SIGNAL_H 1
#define HAVE_STDDEF_H 1
#define STDC_HEADERS 1
#define HAVE_PROTOTYPES

/* The interpreter's build options: PC/pyconfig.h. cpython/pymem.h numbers PyMemAllocatorName's
 * members by WITH_PYMALLOC and WITH_MIMALLOC; pymacro.h keeps PyDoc_STR's text only with
 * WITH_DOC_STRINGS. */
#define WITH_PYMALLOC 1
#define WITH_MIMALLOC 1
#define WITH_DOC_STRINGS 1
#define WITH_FREELISTS 1

/* PC/pyconfig.h: IEEE 754 doubles, least significant byte first. */
#define DOUBLE_IS_LITTLE_ENDIAN_IEEE754 1

#endif /* !Py_CONFIG_H */

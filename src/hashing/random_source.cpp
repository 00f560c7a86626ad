// The operating system's random source, behind one small function per platform.
#include "hashing/random_source.h"

#include <cstddef>

#if defined(_WIN32)
#include <windows.h>
#elif defined(__linux__)
#include <errno.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>
#elif defined(__APPLE__) || defined(__FreeBSD__) || defined(__OpenBSD__) || defined(__NetBSD__)
#include <stdlib.h>
#endif

#if defined(_WIN32)
// ProcessPrng lives in bcryptprimitives.dll (Windows 10 and later) and has no import library in
// every toolchain, so it is looked up at run time.
extern "C" {
typedef BOOL(WINAPI* ProcessPrngFunction)(PBYTE, SIZE_T);
}
#endif

namespace vantor::hashing {

#if defined(__linux__)
bool read_random_device(void* buffer, std::size_t size, const char* path) noexcept {
    int device = open(path, O_RDONLY | O_CLOEXEC);
    if (device < 0) return false;
    auto* out = static_cast<unsigned char*>(buffer);
    while (size > 0) {
        ssize_t got = read(device, out, size);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        out += got;
        size -= static_cast<std::size_t>(got);
    }
    close(device);
    return size == 0;
}
#endif

bool fill_random_bytes(void* buffer, std::size_t size) noexcept {
#if defined(_WIN32)
    // Looked up once per process. Threads that reach it together (calls run without the
    // interpreter lock) are safe: C++ initialises a function's static once, the others waiting
    // (GCC's guard, and MSVC's thread-safe statics, on by default). ProcessPrng itself is safe to
    // call from any thread. Run-time lookup keeps the module's imports to the C runtime, KERNEL32
    // and python314.dll.
    static ProcessPrngFunction process_prng = [] {
        HMODULE library = LoadLibraryW(L"bcryptprimitives.dll");
        return library ? reinterpret_cast<ProcessPrngFunction>(
                             reinterpret_cast<void*>(GetProcAddress(library, "ProcessPrng")))
                       : nullptr;
    }();
    return process_prng != nullptr && process_prng(static_cast<PBYTE>(buffer), size);
#elif defined(__linux__)
    // The system call rather than glibc's getrandom(), which only glibc 2.25 and later have: the
    // portable wheel loads on glibc 2.17. Kernels before 3.17 lack the call; the device then
    // serves the same bytes.
#if defined(SYS_getrandom)
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t left = size;
    while (left > 0) {
        long got = syscall(SYS_getrandom, out, left, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            if (errno == ENOSYS) return read_random_device(buffer, size, "/dev/urandom");
            return false;
        }
        out += got;
        left -= static_cast<std::size_t>(got);
    }
    return true;
#else
    return read_random_device(buffer, size, "/dev/urandom");
#endif
#elif defined(__APPLE__) || defined(__FreeBSD__) || defined(__OpenBSD__) || defined(__NetBSD__)
    arc4random_buf(buffer, size);
    return true;
#else
    (void)buffer;
    (void)size;
    return false;
#endif
}

}  // namespace vantor::hashing

#pragma once
// The scan for where a long string's plain text stops (its first quote, backslash or control
// byte, in text of checked UTF-8), a whole vector register per step: 32 bytes with AVX2, 64 with
// AVX-512 where AVX2 is missing, chosen at run time, and sixteen with the baseline scan
// (text/string_scan.h) on machines without either. Strings of sixteen bytes and more are most of
// the bytes of payloads of long texts, and the tape reader settles shorter ones with one block of
// the baseline scan, so only the long ones come here, behind one call.
#include <cstdint>

namespace vantor::text {

enum class StringStopKernel : std::uint8_t { baseline, avx2, avx512 };

bool string_stop_kernel_available(StringStopKernel kernel);

// The kernel the reader runs on this machine.
StringStopKernel best_string_stop_kernel();

// The first quote, backslash or control byte at or after `p`, or `end`, found by `kernel`, which
// must be available.
const unsigned char* find_string_stop(const unsigned char* p, const unsigned char* end,
                                      StringStopKernel kernel);

// The same by the kernel the reader runs.
inline const unsigned char* find_long_string_stop(const unsigned char* p,
                                                  const unsigned char* end) {
    static const StringStopKernel best = best_string_stop_kernel();
    return find_string_stop(p, end, best);
}

}  // namespace vantor::text

#pragma once
// The payload's one copy, made so that it also tells whether the payload is all ASCII: text that
// is, is well-formed UTF-8, and the reader then skips its UTF-8 pass (text/utf8_check.h), one
// read of the whole payload fewer. The copy looks where it can at no cost to its speed, with
// AVX2; elsewhere it is a plain copy that tells nothing.
#include <cstddef>

namespace vantor::text {

enum class AsciiCopyKernel : unsigned char { plain, avx2 };

bool ascii_copy_kernel_available(AsciiCopyKernel kernel);

// Copies `size` bytes from `source` to `target` (which do not overlap) with `kernel`, which must
// be available. True only when every byte is below 0x80; false when a byte is not, or when the
// kernel does not look (the plain one never does).
bool copy_telling_ascii(char* target, const char* source, std::size_t size, AsciiCopyKernel kernel);

// The same with this machine's kernel.
bool copy_telling_ascii(char* target, const char* source, std::size_t size);

}  // namespace vantor::text

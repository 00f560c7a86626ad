#pragma once
// What the tests, the fuzz targets and the benchmarks feed the core with: a private copy of a
// payload followed by the padding the walk may read (text/padded_text.h), in a buffer of its own
// (on huge pages when it spans several), made as the binding's one copy of a payload is, telling
// the reader when the payload is ASCII (text/ascii_copy.h); and the transform of such a copy.
#include <cstring>
#include <new>
#include <string_view>

#include "memory/huge_pages.h"
#include "text/ascii_copy.h"
#include "text/padded_text.h"
#include "transform/columnarize.h"

namespace vantor::test_support {

class PaddedCopy {
  public:
    // Throws std::bad_alloc when memory runs out.
    explicit PaddedCopy(std::string_view text) : size_(text.size()) {
        if (text.size() > static_cast<std::size_t>(-1) - text::kTextPadding) throw std::bad_alloc();
        bytes_ = static_cast<char*>(memory::allocate_buffer(text.size() + text::kTextPadding));
        if (bytes_ == nullptr) throw std::bad_alloc();
        known_ascii_ = text::copy_telling_ascii(bytes_, text.data(), text.size());
        std::memset(bytes_ + text.size(), 0, text::kTextPadding);
    }
    PaddedCopy(const PaddedCopy&) = delete;
    PaddedCopy& operator=(const PaddedCopy&) = delete;
    ~PaddedCopy() { memory::release_buffer(bytes_); }

    text::PaddedText text() const {
        return text::PaddedText::with_padding_after(std::string_view(bytes_, size_), known_ascii_);
    }

  private:
    char* bytes_ = nullptr;
    std::size_t size_;
    bool known_ascii_ = false;
};

// The transform of a padded copy of `payload`.
inline transform::TransformOutcome columnarize_copy(std::string_view payload) {
    const PaddedCopy copy(payload);
    return transform::columnarize(copy.text());
}

}  // namespace vantor::test_support

#pragma once
// A private copy of a payload followed by the padding the tape reader may read
// (text/padded_text.h), in a buffer of its own: on huge pages when it spans several.
#include <cstring>
#include <new>
#include <string_view>

#include "memory/huge_pages.h"
#include "text/padded_text.h"

namespace vantor::memory {

class PaddedCopy {
  public:
    // Throws std::bad_alloc when memory runs out.
    explicit PaddedCopy(std::string_view text) : size_(text.size()) {
        if (text.size() > static_cast<std::size_t>(-1) - text::kTextPadding) throw std::bad_alloc();
        bytes_ = static_cast<char*>(allocate_buffer(text.size() + text::kTextPadding));
        if (bytes_ == nullptr) throw std::bad_alloc();
        if (!text.empty()) std::memcpy(bytes_, text.data(), text.size());
        std::memset(bytes_ + text.size(), 0, text::kTextPadding);
    }
    PaddedCopy(const PaddedCopy&) = delete;
    PaddedCopy& operator=(const PaddedCopy&) = delete;
    ~PaddedCopy() { release_buffer(bytes_); }

    text::PaddedText text() const {
        return text::PaddedText::with_padding_after(std::string_view(bytes_, size_));
    }

  private:
    char* bytes_ = nullptr;
    std::size_t size_;
};

}  // namespace vantor::memory

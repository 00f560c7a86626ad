#pragma once
// A payload followed by padding the tape reader may read: its scans load sixteen bytes at a time
// and test the byte after a token without asking first whether the payload has ended. The padding
// is NUL bytes, a byte no token may hold and no string may hold unescaped, so every scan stops at
// the first of them and the reader refuses it wherever it would have found the payload's end.
#include <cstddef>
#include <string_view>

namespace vantor::text {

// How many readable NUL bytes follow a padded text: a block of the widest scan, with room for a
// literal's bytes read after the block's start.
inline constexpr std::size_t kTextPadding = 64;

class PaddedText {
  public:
    // `text` must be followed by kTextPadding readable NUL bytes (tests/support/padded_copy.h makes
    // such a copy; the binding makes its one copy of the payload so). `known_ascii` says that
    // every byte of `text` is below 0x80, as the copy that made it found (text/ascii_copy.h).
    static PaddedText with_padding_after(std::string_view text, bool known_ascii = false) {
        return PaddedText(text, known_ascii);
    }

    std::string_view view() const { return text_; }
    // Whether the text is known to be ASCII, and so well-formed UTF-8 without a check.
    bool known_ascii() const { return known_ascii_; }
    const char* data() const { return text_.data(); }
    std::size_t size() const { return text_.size(); }

  private:
    PaddedText(std::string_view text, bool known_ascii) : text_(text), known_ascii_(known_ascii) {}
    std::string_view text_;
    bool known_ascii_;
};

}  // namespace vantor::text

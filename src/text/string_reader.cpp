#include "text/string_reader.h"

#include <cstdint>
#include <cstring>

#include "text/byte_classes.h"
#include "text/code_points.h"
#include "text/string_scan.h"

namespace vantor::text {

namespace {

inline void append_utf8(std::string& out, std::uint32_t code_point) {
    char bytes[kMaxUtf8Bytes];
    out.append(bytes, static_cast<std::size_t>(write_utf8(code_point, bytes) - bytes));
}

class EscapeReader {
  public:
    EscapeReader(const unsigned char* input_begin, const unsigned char* end, ReadError& error)
        : input_begin_(input_begin), end_(end), error_(error) {}

    // Decodes the escape after a backslash (`p` points just after it) into `out`.
    bool read(const unsigned char*& p, std::string& out) {
        if (p == end_) return fail(ReadErrorCode::eof_string, end_);
        unsigned char kind = *p++;
        if (kind != 'u') {
            std::uint8_t byte = kSimpleEscape[kind];
            if (byte == 0) return fail(ReadErrorCode::invalid_escape, p);
            out.push_back(static_cast<char>(byte));
            return true;
        }
        std::uint32_t unit;
        if (!read_hex4(p, unit)) return false;
        if (is_low_surrogate(unit)) {
            return fail(ReadErrorCode::lone_leading_surrogate, p);
        }
        if (is_high_surrogate(unit)) {
            for (unsigned char expected : {'\\', 'u'}) {
                if (p == end_) return fail(ReadErrorCode::eof_string, end_);
                if (*p++ != expected) return fail(ReadErrorCode::unexpected_end_of_hex_escape, p);
            }
            std::uint32_t trailing;
            if (!read_hex4(p, trailing)) return false;
            if (!is_low_surrogate(trailing)) {
                return fail(ReadErrorCode::lone_leading_surrogate, p);
            }
            unit = join_surrogates(unit, trailing);
        }
        append_utf8(out, unit);
        return true;
    }

  private:
    // Exactly four bytes; fewer than four left is the end of the input.
    bool read_hex4(const unsigned char*& p, std::uint32_t& value) {
        if (end_ - p < 4) return fail(ReadErrorCode::eof_string, end_);
        std::uint32_t digits[4] = {kHexValue[p[0]], kHexValue[p[1]], kHexValue[p[2]],
                                   kHexValue[p[3]]};
        p += 4;
        if ((digits[0] | digits[1] | digits[2] | digits[3]) > 0xF) {
            return fail(ReadErrorCode::invalid_escape, p);
        }
        value = (digits[0] << 12) | (digits[1] << 8) | (digits[2] << 4) | digits[3];
        return true;
    }

    bool fail(ReadErrorCode code, const unsigned char* at) {
        error_ = {code, static_cast<std::size_t>(at - input_begin_)};
        return false;
    }

    const unsigned char* input_begin_;
    const unsigned char* end_;
    ReadError& error_;
};

}  // namespace

bool read_string(const unsigned char* input_begin, const unsigned char*& cursor,
                 const unsigned char* end, std::string& scratch, memory::Arena& arena,
                 std::string_view& out, ReadError& error) {
    const unsigned char* p = cursor;
    const unsigned char* run_start = p;  // start of the raw bytes not yet copied to `scratch`
    bool escaped = false;
    // Malformed UTF-8 is reported at the closing quote, so reading goes on past it: an error met
    // later in the string (control byte, bad escape, end of input) takes precedence.
    bool malformed = false;
    for (;;) {
        p = skip_string_text(p, end);
        if (p == end) {
            error = {ReadErrorCode::eof_string, static_cast<std::size_t>(end - input_begin)};
            return false;
        }
        unsigned char c = *p;
        if (c == '"') break;
        if (c >= 0x80) {
            malformed = true;
            ++p;
            continue;
        }
        if (c == '\\') {
            if (!escaped) {
                scratch.clear();
                escaped = true;
            }
            scratch.append(reinterpret_cast<const char*>(run_start),
                           static_cast<std::size_t>(p - run_start));
            ++p;
            if (!EscapeReader(input_begin, end, error).read(p, scratch)) return false;
            run_start = p;
            continue;
        }
        error = {ReadErrorCode::control_character, static_cast<std::size_t>(p + 1 - input_begin)};
        return false;
    }
    // An escape always decodes to complete UTF-8 starting with an ASCII or lead byte, so checking
    // the raw runs between escapes is the same as checking the decoded bytes.
    if (malformed) {
        error = {ReadErrorCode::invalid_unicode_code_point,
                 static_cast<std::size_t>(p + 1 - input_begin)};
        return false;
    }
    if (!escaped) {
        out = {reinterpret_cast<const char*>(cursor), static_cast<std::size_t>(p - cursor)};
    } else {
        scratch.append(reinterpret_cast<const char*>(run_start),
                       static_cast<std::size_t>(p - run_start));
        out = arena.copy_string(scratch);
    }
    cursor = p + 1;
    return true;
}

}  // namespace vantor::text

#include "support/agreement.h"

#include <algorithm>
#include <cstddef>

#include "oracle/exact_transform.h"
#include "support/padded_copy.h"

namespace vantor::test_support {
namespace {

using transform::TransformOutcome;

const char* kind_name(bool failed) {
    return failed ? "failure" : "result";
}

// Up to `count` bytes of `text` from `at`, in quotes.
std::string excerpt(std::string_view text, std::size_t at, std::size_t count = 60) {
    return "\"" + std::string(text.substr(std::min(at, text.size()), count)) + "\"";
}

}  // namespace

bool is_well_formed_utf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t length;
        char32_t code_point;
        char32_t smallest;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code_point = lead & 0x1F;
            smallest = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code_point = lead & 0x0F;
            smallest = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code_point = lead & 0x07;
            smallest = 0x10000;
        } else {
            return false;
        }
        if (text.size() - i < length) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code_point = (code_point << 6) | (next & 0x3F);
        }
        if (code_point < smallest || code_point > 0x10FFFF) return false;
        if (code_point >= 0xD800 && code_point <= 0xDFFF) return false;
        i += length;
    }
    return true;
}

std::string disagreement(const TransformOutcome& product, const oracle::ExactOutcome& reference) {
    const std::string_view mine = product.text.view();
    const std::string_view theirs = reference.text;
    const bool product_failed = product.kind == TransformOutcome::Kind::failure;
    if (product_failed != reference.failed) {
        return std::string("the transform gives a ") + kind_name(product_failed) + " " +
               excerpt(mine, 0, 200) + ", the reference a " + kind_name(reference.failed) + " " +
               excerpt(theirs, 0, 200);
    }
    if (mine != theirs) {
        const auto differ = std::mismatch(mine.begin(), mine.end(), theirs.begin(), theirs.end());
        const auto at = static_cast<std::size_t>(differ.first - mine.begin());
        const std::size_t from = at < 20 ? 0 : at - 20;
        return "the texts (" + std::to_string(mine.size()) + " and " +
               std::to_string(theirs.size()) + " bytes) differ from byte " + std::to_string(at) +
               ": the transform's " + excerpt(mine, from) + ", the reference's " +
               excerpt(theirs, from);
    }
    if (!is_well_formed_utf8(mine)) return "the text is not well-formed UTF-8: " + excerpt(mine, 0);
    return {};
}

std::string disagreement(std::string_view payload) {
    return disagreement(columnarize_copy(payload), oracle::columnarize_exact(payload));
}

}  // namespace vantor::test_support

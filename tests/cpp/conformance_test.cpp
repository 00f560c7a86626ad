// The reader against the JSON parsing conformance corpus (JSONTestSuite's test_parsing files, kept
// with its LICENSE in tests/data/json-test-suite). y_ files must be
// accepted (or, with a top level other than an array, give the type error), n_ files refused, and
// each i_ file, where the grammar leaves the choice open, gives exactly the outcome set here.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "json/reader.h"
#include "oracle/value_reader.h"

namespace vantor::json {

using memory::Arena;
namespace {

namespace fs = std::filesystem;

fs::path corpus_dir() {
    return fs::path(VANTOR_TEST_DATA_DIR) / "json-test-suite/test_parsing";
}

std::string read_file(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// "OK" or the error text, as the exact reader explains a refusal; the reference reader, which
// builds the values, must say the same.
std::string outcome(const std::string& input) {
    Arena arena(reader_arena_first_block(input.size()));
    ReadResult result = read_payload(input, arena);
    const std::string explained = explain_refusal(input);
    EXPECT_EQ(explained, result.error) << input;
    return explained.empty() ? "OK" : explained;
}

// Corpus files whose name starts with `prefix`, sorted; fails the test when there are none.
std::vector<fs::path> corpus_files(const std::string& prefix) {
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(corpus_dir(), error)) {
        if (entry.path().filename().string().rfind(prefix, 0) == 0) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool top_level_is_array(const std::string& input) {
    for (char c : input) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
        return c == '[';
    }
    return false;
}

TEST(Conformance, CorpusIsPresent) {
    ASSERT_TRUE(fs::is_directory(corpus_dir())) << corpus_dir();
    EXPECT_GE(corpus_files("y_").size(), 90u);
    EXPECT_GE(corpus_files("n_").size(), 180u);
    EXPECT_EQ(corpus_files("i_").size(), 35u);
}

TEST(Conformance, AcceptedFiles) {
    auto files = corpus_files("y_");
    ASSERT_FALSE(files.empty()) << "missing corpus " << corpus_dir();
    for (const fs::path& path : files) {
        std::string input = read_file(path);
        std::string result = outcome(input);
        if (top_level_is_array(input)) {
            EXPECT_EQ(result, "OK") << path.filename();
        } else {
            EXPECT_EQ(result.rfind("invalid type: ", 0), 0u) << path.filename() << ": " << result;
            EXPECT_NE(result.find(", expected a sequence at line "), std::string::npos)
                << path.filename() << ": " << result;
        }
    }
}

TEST(Conformance, RefusedFiles) {
    auto files = corpus_files("n_");
    ASSERT_FALSE(files.empty()) << "missing corpus " << corpus_dir();
    for (const fs::path& path : files) {
        std::string result = outcome(read_file(path));
        EXPECT_NE(result, "OK") << path.filename();
        EXPECT_NE(result.find(" at line "), std::string::npos) << path.filename() << ": " << result;
    }
}

TEST(Conformance, ImplementationDefinedFiles) {
    const std::map<std::string, std::string> expected = {
        {"i_number_double_huge_neg_exp.json", "OK"},
        {"i_number_huge_exp.json", "number out of range at line 1 column 17"},
        {"i_number_neg_int_huge_exp.json", "number out of range at line 1 column 9"},
        {"i_number_pos_double_huge_exp.json", "number out of range at line 1 column 10"},
        {"i_number_real_neg_overflow.json", "number out of range at line 1 column 15"},
        {"i_number_real_pos_overflow.json", "number out of range at line 1 column 14"},
        {"i_number_real_underflow.json", "OK"},
        {"i_number_too_big_neg_int.json", "OK"},
        {"i_number_too_big_pos_int.json", "OK"},
        {"i_number_very_big_negative_int.json", "OK"},
        {"i_object_key_lone_2nd_surrogate.json",
         "invalid type: map, expected a sequence at line 1 column 0"},
        {"i_string_1st_surrogate_but_2nd_missing.json",
         "unexpected end of hex escape at line 1 column 9"},
        {"i_string_1st_valid_surrogate_2nd_invalid.json",
         "lone leading surrogate in hex escape at line 1 column 14"},
        {"i_string_UTF-16LE_with_BOM.json", "expected value at line 1 column 1"},
        {"i_string_UTF-8_invalid_sequence.json", "invalid unicode code point at line 1 column 9"},
        {"i_string_UTF8_surrogate_U+D800.json", "invalid unicode code point at line 1 column 6"},
        {"i_string_incomplete_surrogate_and_escape_valid.json",
         "unexpected end of hex escape at line 1 column 10"},
        {"i_string_incomplete_surrogate_pair.json",
         "lone leading surrogate in hex escape at line 1 column 8"},
        {"i_string_incomplete_surrogates_escape_valid.json",
         "lone leading surrogate in hex escape at line 1 column 14"},
        {"i_string_invalid_lonely_surrogate.json",
         "unexpected end of hex escape at line 1 column 9"},
        {"i_string_invalid_surrogate.json", "unexpected end of hex escape at line 1 column 9"},
        {"i_string_invalid_utf-8.json", "invalid unicode code point at line 1 column 4"},
        {"i_string_inverted_surrogates_U+1D11E.json",
         "lone leading surrogate in hex escape at line 1 column 8"},
        {"i_string_iso_latin_1.json", "invalid unicode code point at line 1 column 4"},
        {"i_string_lone_second_surrogate.json",
         "lone leading surrogate in hex escape at line 1 column 8"},
        {"i_string_lone_utf8_continuation_byte.json",
         "invalid unicode code point at line 1 column 4"},
        {"i_string_not_in_unicode_range.json", "invalid unicode code point at line 1 column 7"},
        {"i_string_overlong_sequence_2_bytes.json",
         "invalid unicode code point at line 1 column 5"},
        {"i_string_overlong_sequence_6_bytes.json",
         "invalid unicode code point at line 1 column 9"},
        {"i_string_overlong_sequence_6_bytes_null.json",
         "invalid unicode code point at line 1 column 9"},
        {"i_string_truncated-utf-8.json", "invalid unicode code point at line 1 column 5"},
        {"i_string_utf16BE_no_BOM.json", "expected value at line 1 column 1"},
        {"i_string_utf16LE_no_BOM.json", "expected value at line 1 column 2"},
        {"i_structure_500_nested_arrays.json", "recursion limit exceeded at line 1 column 128"},
        {"i_structure_UTF-8_BOM_empty_object.json", "expected value at line 1 column 1"},
    };
    auto files = corpus_files("i_");
    ASSERT_EQ(files.size(), expected.size()) << "missing corpus " << corpus_dir();
    for (const fs::path& path : files) {
        auto it = expected.find(path.filename().string());
        ASSERT_NE(it, expected.end()) << "no expected outcome for " << path.filename();
        EXPECT_EQ(outcome(read_file(path)), it->second) << path.filename();
    }
}

}  // namespace
}  // namespace vantor::json

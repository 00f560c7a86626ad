// The reference points behind the "yyjson read+write", "simdjson parse" and "simdjson validating
// walk" columns of bench/python/bench.py. Each call does what a Python caller handing over a bytes
// object would need done, no more and no less, so that the figures set beside columnarize's stay
// fair. simdjson's UTF-8 validation and stage 1 stand beside the reader's UTF-8 check in the C++
// benchmark instead, on the same terms as that check: a payload already in memory, not copied.
#include "c_peers.h"

#include <cstdlib>
#include <cstring>

#if defined(VANTOR_HAVE_YYJSON)
#include <yyjson.h>
#endif
#if defined(VANTOR_HAVE_SIMDJSON)
#include <simdjson.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>
#endif

extern "C" {

long long vantor_bench_nothing(const char* data, std::size_t size) {
    // Read the arguments so that the call cannot be anything but a call.
    return (data == nullptr && size != 0) ? -1 : 0;
}

#if defined(VANTOR_HAVE_YYJSON)
long long vantor_bench_yyjson_round_trip(const char* data, std::size_t size) {
    // Without YYJSON_READ_INSITU yyjson leaves the caller's bytes alone (a Python bytes object
    // must not change) and copies what it needs into its own document.
    yyjson_doc* document = yyjson_read(data, size, 0);
    if (document == nullptr) return -1;
    std::size_t length = 0;
    char* text = yyjson_write(document, 0, &length);
    yyjson_doc_free(document);
    if (text == nullptr) return -1;
    std::free(text);
    return static_cast<long long>(length);
}
#endif

#if defined(VANTOR_HAVE_SIMDJSON)
namespace {

// One parser per thread, kept from call to call: simdjson is meant to be used that way (its
// parser keeps the buffers sized for the largest document it has seen), so a fresh parser per
// call would charge it for allocations its users do not pay. One per thread because a parser
// serves one document at a time, and ctypes lets go of the interpreter lock during the call.
struct ThreadParser {
    simdjson::dom::parser parser;
    simdjson::ondemand::parser walker;
    // simdjson reads up to SIMDJSON_PADDING bytes past the end of its input, which a Python
    // bytes object does not promise to have. Every call copies the payload into this padded
    // buffer, and that copy is counted in simdjson's time: the module copies its payload too.
    // The buffer itself is kept, like the parser, so only the first call at a size allocates.
    std::unique_ptr<char[]> padded;
    std::size_t capacity = 0;

    // The payload copied into `padded`, with the padding zeroed.
    void copy_in(const char* data, std::size_t size) {
        if (capacity < size + simdjson::SIMDJSON_PADDING) {
            capacity = size + simdjson::SIMDJSON_PADDING;
            padded = std::make_unique<char[]>(capacity);
        }
        std::memcpy(padded.get(), data, size);
        std::memset(padded.get() + size, 0, simdjson::SIMDJSON_PADDING);
    }
};

// Each thread's state lives on the heap, reached through a thread_local pointer: GCC, given the
// address of a thread_local object in a shared library as a constant `this`, fetched it again
// through __tls_get_addr at every member access of the inlined walk (a quarter of the walk's
// instructions under callgrind).
ThreadParser& thread_parser() {
    thread_local std::unique_ptr<ThreadParser> state;
    if (!state) state = std::make_unique<ThreadParser>();
    return *state;
}

// The state of one validating walk over the rows with simdjson's On-Demand API: the least a
// columnarize that refuses what is not JSON must do, and nothing it may leave out. Every key and
// every string is unescaped, every number parsed, every literal read, every object and array
// inside a row walked to its end with the same checks on what it holds, and the end of the
// document checked. Each row's members are matched to columns (the previous row's at the same
// position, else a hash map on the unescaped name), and every row value's text goes to one output
// buffer, compact: a scalar's text as it stands in the payload, an object or array rebuilt from
// its members' and elements' texts without the blanks between them. No constant test, no null
// filling, no escapes written anew.
struct Walk {
    std::unordered_map<std::string_view, std::uint32_t> columns;
    std::vector<std::string_view> names;
    std::vector<std::uint32_t> previous_row;
    std::vector<std::uint32_t> current_row;
    std::string output;

    // The column of the member `name` at `position` in its row: the one at the same position in
    // the previous row when the name is the same, else the one the map holds, else a new one.
    // The names are views into the parser's string buffer, which lives as long as the document.
    std::uint32_t column_of(std::string_view name, std::size_t position) {
        if (position < previous_row.size()) {
            const std::uint32_t guess = previous_row[position];
            if (names[guess] == name) return guess;
        }
        auto [found, added] = columns.try_emplace(name, static_cast<std::uint32_t>(names.size()));
        if (added) names.push_back(name);
        return found->second;
    }

    // A scalar's token runs to the next token, blanks included: the blanks are not copied.
    void append_token(std::string_view text) {
        while (!text.empty() && (text.back() == ' ' || text.back() == '\n' || text.back() == '\r' ||
                                 text.back() == '\t')) {
            text.remove_suffix(1);
        }
        output.append(text);
    }

    // The value checked to its end and its text appended, compact.
    bool copy_value(simdjson::ondemand::value value) {
        simdjson::ondemand::json_type type;
        if (value.type().get(type) != simdjson::SUCCESS) return false;
        switch (type) {
            case simdjson::ondemand::json_type::number: {
                const std::string_view text = value.raw_json_token();
                simdjson::ondemand::number number;
                const simdjson::error_code error = value.get_number().get(number);
                // An integer of more than 64 bits is valid JSON that simdjson does not convert.
                if (error != simdjson::SUCCESS && error != simdjson::BIGINT_ERROR) return false;
                append_token(text);
                return true;
            }
            case simdjson::ondemand::json_type::string: {
                const std::string_view text = value.raw_json_token();
                std::string_view unescaped;
                if (value.get_string().get(unescaped) != simdjson::SUCCESS) return false;
                append_token(text);
                return true;
            }
            case simdjson::ondemand::json_type::boolean: {
                const std::string_view text = value.raw_json_token();
                bool ignored = false;
                if (value.get_bool().get(ignored) != simdjson::SUCCESS) return false;
                append_token(text);
                return true;
            }
            case simdjson::ondemand::json_type::null: {
                bool is_null = false;
                if (value.is_null().get(is_null) != simdjson::SUCCESS || !is_null) return false;
                output.append("null");
                return true;
            }
            case simdjson::ondemand::json_type::object: {
                simdjson::ondemand::object object;
                if (value.get_object().get(object) != simdjson::SUCCESS) return false;
                output.push_back('{');
                bool first = true;
                for (auto member_result : object) {
                    simdjson::ondemand::field member;
                    if (std::move(member_result).get(member) != simdjson::SUCCESS) return false;
                    if (!first) output.push_back(',');
                    first = false;
                    // The key's text as it stands, taken before unescaping lets go of it (false:
                    // a lone surrogate is an error, not a replacement character).
                    const std::string_view escaped = member.escaped_key();
                    std::string_view key;
                    if (member.unescaped_key(false).get(key) != simdjson::SUCCESS) return false;
                    output.push_back('"');
                    output.append(escaped);
                    output.append("\":");
                    if (!copy_value(member.value())) return false;
                }
                output.push_back('}');
                return true;
            }
            case simdjson::ondemand::json_type::array: {
                simdjson::ondemand::array array;
                if (value.get_array().get(array) != simdjson::SUCCESS) return false;
                output.push_back('[');
                bool first = true;
                for (auto element_result : array) {
                    simdjson::ondemand::value element;
                    if (std::move(element_result).get(element) != simdjson::SUCCESS) return false;
                    if (!first) output.push_back(',');
                    first = false;
                    if (!copy_value(element)) return false;
                }
                output.push_back(']');
                return true;
            }
            default:  // a token that starts no JSON value
                return false;
        }
    }

    long long run(simdjson::ondemand::parser& parser, const char* padded, std::size_t size,
                  std::size_t capacity) {
        columns.clear();
        names.clear();
        previous_row.clear();
        output.clear();
        output.reserve(size);
        simdjson::ondemand::document document;
        if (parser.iterate(padded, size, capacity).get(document) != simdjson::SUCCESS) return -1;
        simdjson::ondemand::array rows;
        if (document.get_array().get(rows) != simdjson::SUCCESS) return -1;
        for (auto row_result : rows) {
            simdjson::ondemand::object row;
            if (std::move(row_result).get_object().get(row) != simdjson::SUCCESS) return -1;
            current_row.clear();
            for (auto member_result : row) {
                simdjson::ondemand::field member;
                if (std::move(member_result).get(member) != simdjson::SUCCESS) return -1;
                std::string_view name;
                if (member.unescaped_key(false).get(name) != simdjson::SUCCESS) return -1;
                current_row.push_back(column_of(name, current_row.size()));
                if (!copy_value(member.value())) return -1;
                output.push_back(',');
            }
            previous_row.swap(current_row);
        }
        // Text after the array, or an array left open, is an error too.
        if (!document.at_end()) return -1;
        // The columns' names close the output, as the module's result names its columns.
        for (std::string_view name : names) {
            output.push_back('"');
            output.append(name);
            output.append("\",");
        }
        return static_cast<long long>(output.size());
    }
};

Walk& thread_walk() {
    thread_local std::unique_ptr<Walk> walk;
    if (!walk) walk = std::make_unique<Walk>();
    return *walk;
}

}  // namespace

long long vantor_bench_simdjson_parse(const char* data, std::size_t size) {
    ThreadParser& state = thread_parser();
    state.copy_in(data, size);
    simdjson::dom::element document;
    bool refused =
        state.parser.parse(state.padded.get(), size, false).get(document) != simdjson::SUCCESS;
    return refused ? -1 : 0;
}

long long vantor_bench_simdjson_validating_walk(const char* data, std::size_t size) {
    ThreadParser& state = thread_parser();
    state.copy_in(data, size);
    return thread_walk().run(state.walker, state.padded.get(), size, state.capacity);
}

// The kernel's name from the macro that chose it in this translation unit:
// simdjson::builtin_implementation() answers for the shared library, built for another target.
#define VANTOR_BENCH_NAME_OF(kernel) #kernel
#define VANTOR_BENCH_NAME(kernel) VANTOR_BENCH_NAME_OF(kernel)

const char* vantor_bench_simdjson_ondemand_kernel() {
    return VANTOR_BENCH_NAME(SIMDJSON_BUILTIN_IMPLEMENTATION);
}

static_assert(vantor_bench_simdjson_padding == simdjson::SIMDJSON_PADDING,
              "c_peers.h names simdjson's padding for callers that pad a payload themselves");

long long vantor_bench_simdjson_validate_utf8(const char* data, std::size_t size) {
    return simdjson::validate_utf8(data, size) ? 0 : -1;
}

long long vantor_bench_simdjson_stage1(const char* data, std::size_t size, std::size_t capacity) {
    // The walk's parser: a parser serves one document at a time, and this document is done with
    // when the call returns.
    simdjson::ondemand::document document;
    bool refused =
        thread_parser().walker.iterate(data, size, capacity).get(document) != simdjson::SUCCESS;
    return refused ? -1 : 0;
}

const char* vantor_bench_simdjson_active_kernel() {
    // The choice is made once per process; its name is kept for the caller.
    static const std::string name = simdjson::get_active_implementation()->name();
    return name.c_str();
}
#endif
}

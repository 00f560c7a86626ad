// The transform (transform::columnarize) called on several threads at once, with different
// payloads, as the module does once it has released the interpreter lock (or on a free-threaded
// interpreter, which has no lock at all). Each call must give the result it gives alone. The
// ThreadSanitizer build
// (-DVANTOR_SANITIZE_THREAD=ON, ./dev test) runs these tests to find data races on the state the
// core keeps outside a call: the per-thread hash keys and anything static.
#include "support/padded_copy.h"
#include "transform/columnarize.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <latch>
#include <string>
#include <thread>
#include <vector>

namespace {

using vantor::test_support::columnarize_copy;
using vantor::transform::TransformOutcome;

struct Call {
    std::string name;
    std::string payload;
    TransformOutcome::Kind kind;
    std::string expected;  // the result, or the failure's message
};

// Rows of one shape, with their result written out independently of the transform:
// {"id":i,"kind":"call","tool":"t<i%7>"} makes "id" and "tool" columns and "kind" a constant.
Call tool_call_rows(std::size_t count) {
    std::string payload = "[";
    std::string rows;
    for (std::size_t i = 0; i < count; ++i) {
        std::string id = std::to_string(i), tool = "\"t" + std::to_string(i % 7) + "\"";
        payload += (i ? "," : "") + std::string("{\"id\":") + id +
                   ",\"kind\":\"call\",\"tool\":" + tool + "}";
        rows += (i ? "," : "") + std::string("[") + id + "," + tool + "]";
    }
    payload += "]";
    return {"tool_calls_" + std::to_string(count), payload, TransformOutcome::Kind::result,
            R"({"columns":["id","tool"],"rows":[)" + rows + R"(],"constants":{"kind":"call"}})"};
}

// Row i has the one member "k<i%width>": as many columns as `width`, nearly all cells null.
Call sparse_rows(std::size_t count, std::size_t width) {
    std::string payload = "[", columns, rows;
    for (std::size_t c = 0; c < width && c < count; ++c)
        columns += (c ? ",\"k" : "\"k") + std::to_string(c) + "\"";
    const std::size_t column_count = width < count ? width : count;
    for (std::size_t i = 0; i < count; ++i) {
        payload +=
            (i ? ",{\"k" : "{\"k") + std::to_string(i % width) + "\":" + std::to_string(i) + "}";
        rows += i ? ",[" : "[";
        for (std::size_t c = 0; c < column_count; ++c) {
            rows += c ? "," : "";
            rows += c == i % width ? std::to_string(i) : "null";
        }
        rows += "]";
    }
    payload += "]";
    return {"sparse_" + std::to_string(count), payload, TransformOutcome::Kind::result,
            "{\"columns\":[" + columns + "],\"rows\":[" + rows + "],\"constants\":{}}"};
}

// A key given twice in every row: each row's repeated name is settled on the tape.
Call repeated_key_rows(std::size_t count) {
    std::string payload = "[", rows;
    for (std::size_t i = 0; i < count; ++i) {
        payload += (i ? "," : "") + std::string("{\"a\":") + std::to_string(i) +
                   ",\"b\":\"x\",\"a\":" + std::to_string(i + 1) + "}";
        rows += (i ? ",[" : "[") + std::to_string(i + 1) + "]";
    }
    payload += "]";
    return {"repeated_key_" + std::to_string(count), payload, TransformOutcome::Kind::result,
            R"({"columns":["a"],"rows":[)" + rows + R"(],"constants":{"b":"x"}})"};
}

std::vector<Call> calls() {
    return {
        tool_call_rows(3),
        tool_call_rows(400),
        // About 1 MB of payload and more of result: the buffers that span huge pages.
        tool_call_rows(30000),
        sparse_rows(300, 40),
        repeated_key_rows(50),
        {"escapes_and_utf8", R"([{"s":"Zoë \"q\"\n","n":-1.5},{"s":"Zoë \"q\"\n","n":2e3}])",
         TransformOutcome::Kind::result,
         R"({"columns":["n"],"rows":[[-1.5],[2000.0]],"constants":{"s":"Zoë \"q\"\n"}})"},
        {"unfinished_array", R"([{"a":1},)", TransformOutcome::Kind::failure,
         "invalid row-oriented JSON: EOF while parsing a value at line 1 column 9"},
        {"row_that_is_not_an_object", R"([{"a":1},[1, 2]])", TransformOutcome::Kind::failure,
         "expected a JSON object row, got: [1,2]"},
    };
}

// What one call gave, comparable with what it should give.
std::string outcome_text(const TransformOutcome& outcome) {
    return (outcome.kind == TransformOutcome::Kind::result ? "result: " : "failure: ") +
           std::string(outcome.text.view());
}

std::string expected_text(const Call& call) {
    return (call.kind == TransformOutcome::Kind::result ? "result: " : "failure: ") + call.expected;
}

TEST(ConcurrentCalls, EachCallAloneGivesItsExpectedOutcome) {
    // The table's own check, so that the threaded test below compares against the right answers.
    for (const Call& call : calls()) {
        SCOPED_TRACE(call.name);
        EXPECT_EQ(outcome_text(columnarize_copy(call.payload)), expected_text(call));
    }
}

TEST(ConcurrentCalls, CallsOnSeveralThreadsGiveTheSameOutcomesAsAlone) {
    constexpr std::size_t kThreads = 4;
    constexpr std::size_t kRounds = 3;
    const std::vector<Call> table = calls();
    // Each thread goes through the table from its own starting point, so that different payloads
    // run at the same time; the latch lets all of them start together.
    std::vector<std::vector<std::string>> wrong(kThreads);
    std::latch start(kThreads);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            for (std::size_t n = 0; n < kRounds * table.size(); ++n) {
                const Call& call = table[(t + n) % table.size()];
                std::string got = outcome_text(columnarize_copy(call.payload));
                if (got != expected_text(call)) {
                    wrong[t].push_back(call.name + " gave " + got.substr(0, 200));
                }
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (std::size_t t = 0; t < kThreads; ++t) {
        EXPECT_EQ(wrong[t], std::vector<std::string>{}) << "thread " << t;
    }
}

}  // namespace

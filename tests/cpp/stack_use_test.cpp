// The core on threads with little stack: the deepest payloads that the reader accepts are read,
// compared and written with a small constant amount of stack, whatever their nesting, so
// a call cannot overflow the stack of a thread that has little of it left.
#include <gtest/gtest.h>

#if defined(__linux__)

#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "json/reader.h"
#include "memory/arena.h"
#include "oracle/value.h"
#include "oracle/writer.h"
#include "support/padded_copy.h"
#include "transform/columnarize.h"

namespace vantor {
namespace {

using json::JsonValue;
using memory::Arena;

std::string repeat(std::string_view text, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i)
        out += text;
    return out;
}

// A value `levels` deep as compact text, innermost `leaf`: arrays, objects with member "k", or
// the two alternating (an array first).
enum class Shape { arrays, objects, mixed };

std::string nested(Shape shape, std::size_t levels, std::string_view leaf) {
    std::string open;
    std::string close;
    for (std::size_t level = 0; level < levels; ++level) {
        bool array = shape == Shape::arrays || (shape == Shape::mixed && level % 2 == 0);
        open += array ? "[" : "{\"k\":";
        close.insert(0, array ? "]" : "}");
    }
    return open + std::string(leaf) + close;
}

// The deepest value a row member can hold: the top-level array is level 1 and the row level 2,
// so the member's value may take levels 3 to 127.
constexpr std::size_t kMemberLevels = 125;

// A thread stack of mmap'd memory of which only the top `usable` bytes can be touched, so that
// running past them faults at once. The system may want thread stacks larger than that (at least
// PTHREAD_STACK_MIN: 16 KiB on x86-64, 128 KiB on aarch64): the thread is then given the larger
// stack, with all of it below the usable part inaccessible, so a test means the same everywhere.
// Before each run the usable part is filled with a pattern; afterwards the lowest byte that no
// longer holds it tells how much of the stack the thread used.
class MeasuredStack {
  public:
    explicit MeasuredStack(std::size_t usable) : usable_(usable) {
        page_ = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        long minimum = sysconf(_SC_THREAD_STACK_MIN);
        bytes_ = std::max(usable_, minimum > 0 ? static_cast<std::size_t>(minimum) : 0);
        bytes_ = (bytes_ + page_ - 1) / page_ * page_;
        void* memory = mmap(nullptr, bytes_ + page_, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) throw std::bad_alloc();
        mapping_ = static_cast<unsigned char*>(memory);
        // The guard page and whatever lies below the usable part.
        mprotect(mapping_, page_ + bytes_ - usable_, PROT_NONE);
    }
    ~MeasuredStack() { munmap(mapping_, bytes_ + page_); }
    MeasuredStack(const MeasuredStack&) = delete;
    MeasuredStack& operator=(const MeasuredStack&) = delete;

    // Runs `work` on a new thread on this stack and returns the bytes of stack it used (the
    // thread's own control block, which the system keeps at the stack's top, included).
    std::size_t run(const std::function<void()>& work) {
        unsigned char* stack = mapping_ + page_;
        unsigned char* usable = stack + bytes_ - usable_;
        std::memset(usable, kPattern, usable_);
        pthread_attr_t attributes;
        pthread_attr_init(&attributes);
        EXPECT_EQ(pthread_attr_setstack(&attributes, stack, bytes_), 0);
        pthread_t thread;
        auto* task = const_cast<std::function<void()>*>(&work);
        int created = pthread_create(&thread, &attributes, &MeasuredStack::start, task);
        pthread_attr_destroy(&attributes);
        EXPECT_EQ(created, 0);
        if (created != 0) return usable_;
        pthread_join(thread, nullptr);
        std::size_t untouched = 0;
        while (untouched < usable_ && usable[untouched] == kPattern)
            ++untouched;
        return usable_ - untouched;
    }

  private:
    static constexpr unsigned char kPattern = 0xA5;
    static void* start(void* task) {
        (*static_cast<std::function<void()>*>(task))();
        return nullptr;
    }

    std::size_t usable_;
    std::size_t bytes_;
    std::size_t page_;
    unsigned char* mapping_;
};

// Enough for the core in the sanitizer build too, whose frames are several times larger.
constexpr std::size_t kSmallStack = 32 * 1024;

struct DeepCase {
    const char* name;
    std::string shallow;  // the same shape one level deep
    std::string deepest;
    std::string expected;  // for the deepest payload: the result, or the failure message
};

std::vector<DeepCase> deep_cases() {
    std::vector<DeepCase> cases;
    for (auto [shape, name] :
         {std::pair{Shape::arrays, "arrays"}, std::pair{Shape::objects, "objects"},
          std::pair{Shape::mixed, "mixed"}}) {
        std::string shallow = nested(shape, 1, "1");
        std::string deep = nested(shape, kMemberLevels, "1");
        // One row: the value is written in the row matrix.
        cases.push_back({name, "[{\"a\":" + shallow + "}]", "[{\"a\":" + deep + "}]",
                         R"({"columns":["a"],"rows":[[)" + deep + R"(]],"constants":{}})"});
        // Two equal rows: the constant test compares the values, and the first is a constant.
        cases.push_back({name, "[{\"a\":" + shallow + "},{\"a\":" + shallow + "}]",
                         "[{\"a\":" + deep + "},{\"a\":" + deep + "}]",
                         R"({"columns":[],"rows":[[],[]],"constants":{"a":)" + deep + "}}"});
        // Two rows that differ only at the bottom: the comparison walks all the way down.
        std::string other = nested(shape, kMemberLevels, "2");
        cases.push_back(
            {name, "[{\"a\":" + shallow + "},{\"a\":" + nested(shape, 1, "2") + "}]",
             "[{\"a\":" + deep + "},{\"a\":" + other + "}]",
             R"({"columns":["a"],"rows":[[)" + deep + "],[" + other + R"(]],"constants":{}})"});
        if (shape == Shape::objects) continue;
        // A row that is not an object, as deep as the reader allows: the failure message
        // writes it whole.
        std::string element = nested(shape, kMemberLevels + 1, "1");
        // Its shallow form holds an object too where the deep one does (mixed: an array of
        // objects), so that both write the same kinds of containers and only the nesting differs.
        cases.push_back({name, "[" + nested(shape, 2, "1") + "]", "[" + element + "]",
                         "expected a JSON object row, got: " + element});
    }
    // Refused at the first level too deep, and a syntax error at the bottom of the deepest nesting.
    // Their shallow forms hold as many containers, one level deep, so that the tape grows out of
    // the room it keeps in itself in both, and only the nesting differs.
    const std::string many_shallow = "[" + repeat("[],", 127) + "[x";
    cases.push_back({"too_deep", many_shallow, repeat("[", 128),
                     "invalid row-oriented JSON: recursion limit exceeded at line 1 column 128"});
    cases.push_back({"error_at_the_bottom", many_shallow, repeat("[", 127) + "x",
                     "invalid row-oriented JSON: expected value at line 1 column 128"});
    return cases;
}

std::string outcome_text(const std::string& payload) {
    transform::TransformOutcome outcome = test_support::columnarize_copy(payload);
    return std::string(outcome.text.view());
}

TEST(SmallStack, DeepestPayloadsTransformOnASmallThreadStack) {
    MeasuredStack stack(kSmallStack);
    for (const DeepCase& c : deep_cases()) {
        std::string text;
        stack.run([&] { text = outcome_text(c.deepest); });
        EXPECT_EQ(text, c.expected) << c.name;
    }
}

TEST(SmallStack, StackUseDoesNotGrowWithNesting) {
    // Large enough that a walk that recursed once per level would finish and show its use.
    MeasuredStack stack(1024 * 1024);
    for (const DeepCase& c : deep_cases()) {
        std::string text;
        std::size_t shallow = stack.run([&] { text = outcome_text(c.shallow); });
        std::size_t deepest = stack.run([&] { text = outcome_text(c.deepest); });
        EXPECT_LE(deepest, shallow + 256) << c.name << ": " << shallow << " bytes one level deep";
    }
}

// Values built by hand may nest deeper than a read document; walks over them still take constant
// stack (the levels beyond the reader's go to the heap).
JsonValue hand_built(Arena& arena, std::size_t levels, bool objects, std::uint64_t leaf) {
    JsonValue value = JsonValue::number(text::JsonNumber::from_unsigned(leaf));
    for (std::size_t level = 0; level < levels; ++level) {
        if (objects) {
            const json::JsonMember member{"k", value};
            value = JsonValue::object(json::JsonObject::from_members(arena, {&member, 1}));
        } else {
            auto* items = arena.allocate_array<JsonValue>(1);
            new (items) JsonValue(value);
            value = JsonValue::array({items, 1});
        }
    }
    return value;
}

TEST(SmallStack, ValueWalksBeyondTheReadersNestingTakeConstantStack) {
    constexpr std::size_t kLevels = 5000;
    for (bool objects : {false, true}) {
        Arena arena;
        JsonValue one = hand_built(arena, kLevels, objects, 1);
        JsonValue same = hand_built(arena, kLevels, objects, 1);
        JsonValue other = hand_built(arena, kLevels, objects, 2);
        std::string written;
        bool equal_same = false;
        bool equal_other = true;
        MeasuredStack stack(kSmallStack);
        stack.run([&] {
            memory::ByteBuffer out;
            json::write_json(one, out);
            written = std::string(out.view());
            equal_same = one == same;
            equal_other = one == other;
        });
        EXPECT_EQ(written, nested(objects ? Shape::objects : Shape::arrays, kLevels, "1"));
        EXPECT_TRUE(equal_same);
        EXPECT_FALSE(equal_other);
    }
}

}  // namespace
}  // namespace vantor

#endif  // defined(__linux__)

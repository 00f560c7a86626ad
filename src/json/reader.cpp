#include "json/reader.h"

#include "json/exact_reader.h"
#include "memory/arena.h"

namespace vantor::json {
namespace {

// Reading only to find the error: nothing is made of the values.
struct NoValues {
    void value(const Token& /*token*/) {}
    void open(bool /*object*/) {}
    void key(std::string_view /*name*/) {}
    void close(bool /*object*/) {}
};

}  // namespace

std::string explain_refusal(std::string_view payload) {
    // Decoded strings go to the arena and are dropped with it.
    memory::Arena arena(4096);
    NoValues nothing;
    ExactReader<NoValues> reader(payload, arena, nothing);
    if (reader.read()) return {};
    return refusal_message(payload, reader);
}

}  // namespace vantor::json

// The vector UTF-8 check, written once over a vector type: included once per kernel, inside that
// kernel's namespace in utf8_check.cpp, after its `Ops` (the vector type V of kBytes bytes and
// the operations below), with VANTOR_UTF8_KERNEL set to the attributes of its inlined functions
// (its instruction set) and VANTOR_UTF8_ENTRY to those of the function that runs it. Only the
// operations differ between kernels; the algorithm is this one.
//
// Each step checks 64 bytes, kStep / Ops::kBytes vectors. For every byte, three table lookups on
// the halves of the byte before it and of its own high half, ANDed together, name the error that
// pair of bytes makes (utf8_check.cpp's tables); a byte two back that leads a sequence of three or
// four bytes, or three back that leads one of four, must be followed by continuations, which the
// pair tables mark as two continuations in a row. A step of ASCII costs one test, and a run of
// them carries no state from step to step; a sequence the last vector of a step leaves open is an
// error unless the next step continues it.
//     static V load(const unsigned char* p);         kBytes bytes from p
//     static V zero();
//     static V splat(unsigned char byte);
//     static V and_(V a, V b), or_(V a, V b), xor_(V a, V b);
//     static V subs(V a, V b);                        per byte a - b, or 0 below 0
//     static V lookup(const unsigned char (&table)[16], V v, bool high);
//                                                     table[high half of each byte], or of its
//                                                     low half
//     template <int kBack> static V before(V current, V previous);
//                                                     the bytes kBack (1 to 3) before each one
//     static bool is_ascii(V v);                      no byte has its high bit set
//     static bool is_zero(V v);
//     static V last_complete_maximum();               the last kBytes of kLastCompleteMaximum

using V = Ops::V;

struct Utf8State {
    V error;
    V previous;
    // Non-zero where the vector checked last ends inside a sequence.
    V incomplete;
};

VANTOR_UTF8_KERNEL inline void check_vector(typename Ops::V current, Utf8State& state) {
    const V before1 = Ops::before<1>(current, state.previous);
    const V pair_errors = Ops::and_(Ops::and_(Ops::lookup(kFirstHighHalf, before1, true),
                                              Ops::lookup(kFirstLowHalf, before1, false)),
                                    Ops::lookup(kSecondHighHalf, current, true));
    const V third = Ops::subs(Ops::before<2>(current, state.previous), Ops::splat(0xe0 - 0x80));
    const V fourth = Ops::subs(Ops::before<3>(current, state.previous), Ops::splat(0xf0 - 0x80));
    const V must_continue = Ops::and_(Ops::or_(third, fourth), Ops::splat(0x80));
    state.error = Ops::or_(state.error, Ops::xor_(must_continue, pair_errors));
    state.previous = current;
}

constexpr int kVectors = static_cast<int>(kStep / Ops::kBytes);

VANTOR_UTF8_KERNEL inline bool step_is_ascii(const unsigned char* p) {
    V any = Ops::load(p);
    for (int i = 1; i < kVectors; ++i)
        any = Ops::or_(any, Ops::load(p + i * Ops::kBytes));
    return Ops::is_ascii(any);
}

// A step holding a byte above ASCII: every vector checked.
VANTOR_UTF8_KERNEL inline void check_mixed_step(const unsigned char* p, Utf8State& state) {
    V last = Ops::zero();
    for (int i = 0; i < kVectors; ++i) {
        last = Ops::load(p + i * Ops::kBytes);
        check_vector(last, state);
    }
    state.incomplete = Ops::subs(last, Ops::last_complete_maximum());
}

VANTOR_UTF8_ENTRY bool check(const unsigned char* begin, const unsigned char* end) {
    Utf8State state{Ops::zero(), Ops::zero(), Ops::zero()};
    const unsigned char* p = begin;
    while (end - p >= static_cast<std::ptrdiff_t>(kStep)) {
        if (!step_is_ascii(p)) {
            check_mixed_step(p, state);
            p += kStep;
            continue;
        }
        // A run of ASCII steps, one test each and nothing carried from one to the next, so that
        // the run goes at the speed of its loads; then the state the steps would have left: a
        // sequence open before the run is cut short, and the run's last vector comes before the
        // next step.
        do {
            p += kStep;
        } while (end - p >= static_cast<std::ptrdiff_t>(kStep) && step_is_ascii(p));
        state.error = Ops::or_(state.error, state.incomplete);
        state.incomplete = Ops::zero();
        state.previous = Ops::load(p - Ops::kBytes);
    }
    return Ops::is_zero(state.error) && check_rest(begin, p, end);
}

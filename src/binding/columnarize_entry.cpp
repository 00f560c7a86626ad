#include "binding/columnarize_entry.h"

#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "binding/arguments.h"
#include "binding/barriers.h"
#include "binding/errors.h"
#include "binding/fault_injection.h"
#include "binding/messages.h"
#include "memory/huge_pages.h"
#include "memory/page_release.h"
#include "text/ascii_copy.h"
#include "text/padded_text.h"
#include "transform/columnarize.h"

namespace vantor::binding {
namespace {

struct BufferDeleter {
    void operator()(char* bytes) const { memory::release_buffer(bytes); }
};
using PayloadCopy = std::unique_ptr<char[], BufferDeleter>;

// Payloads up to this size are copied into the call's own frame: no allocation for the many
// small calls, at a stack cost that stays small.
constexpr std::size_t kFramePayloadBytes = 512;
constexpr std::size_t kFrameBytes = kFramePayloadBytes + text::kTextPadding;

// Without the lock the transform may touch no interpreter object, the contents of the `bytes`
// object included, so it works on a private copy made while the lock is held: in `frame` when it
// fits, else at the front of the call's block (memory/scratch_area.h), else, for payloads too
// large for a block, in a buffer of its own; followed by the padding the tape reader may read.
// Returns the copy's bytes, or nullptr when memory runs out; `known_ascii` tells whether the copy
// found every byte below 0x80 (text/ascii_copy.h). A `bytes` object never changes once made, so
// on a free-threaded interpreter too the copy reads what the caller passed, whatever other
// threads do meanwhile (mutable buffers are refused).
const char* copy_payload(std::string_view payload, char (&frame)[kFrameBytes],
                         memory::ScratchArea& block, PayloadCopy& copy, bool& known_ascii) {
    char* bytes = frame;
    if (payload.size() > kFramePayloadBytes) {
        // A payload's size is at most PY_SSIZE_T_MAX, so adding the padding cannot wrap.
        const std::size_t size = payload.size() + text::kTextPadding;
        bytes = static_cast<char*>(block.take(size));
        if (bytes == nullptr) {
            // A buffer on huge pages spares a large copy most page faults.
            copy.reset(static_cast<char*>(memory::allocate_buffer(size)));
            if (!copy) return nullptr;
            bytes = copy.get();
        }
    }
    known_ascii = text::copy_telling_ascii(bytes, payload.data(), payload.size());
    std::memset(bytes + payload.size(), 0, text::kTextPadding);
    return bytes;
}

// Results of a huge page or more are copied into a `bytes` object whose buffer is first advised
// for huge pages: its fresh pages then fault in 2 MiB at a time (but for its first and last
// partial huge pages), while the lock is held. The result buffer gives its pages back as they are
// copied, so a large result is not held twice, and the huge pages it frees back the `bytes`
// object's next ones without compaction.
//
// A result in the call's block is copied plainly unless it is large: the C library keeps a block
// of a usual size for the next call, whose pages would fault in again had they been given back.
constexpr std::size_t kReleasedBlockResult = std::size_t{16} << 20;

PyObject* new_result_bytes(memory::ByteBuffer& text) {
    const auto size = static_cast<Py_ssize_t>(text.size());
    if (text.size() < memory::kHugePageBytes ||
        (text.borrowed() && text.size() < kReleasedBlockResult)) {
        return PyBytes_FromStringAndSize(text.data(), size);
    }
    PyObject* result = PyBytes_FromStringAndSize(nullptr, size);
    if (result == nullptr) return nullptr;
    char* bytes = PyBytes_AS_STRING(result);
    memory::advise_huge_pages(bytes, text.size());  // its whole huge pages only
    memory::copy_releasing_source(bytes, text.data(), text.size());
    text.clear();  // its contents are gone
    return result;
}

PyObject* make_result(memory::ByteBuffer& text) {
    PyObject* result = new_result_bytes(text);
    if (result != nullptr) return result;
    // An output far larger than its input is expected of sparse payloads: running out of memory
    // here is the caller's MemoryError. Anything else is a defect.
    if (PyErr_ExceptionMatches(PyExc_MemoryError)) return nullptr;
    PyErr_WriteUnraisable(nullptr);
    throw BindingFault(messages::kResultNotMade);
}

// Payloads up to this size are transformed with the interpreter lock held: letting go of the lock
// and taking it back costs a small call a fair part of its time, and hands the lock to a waiting
// thread for less work than the hand-over itself. Larger ones let other threads run meanwhile.
constexpr std::size_t kLockedTransformBytes = 2048;

// The body of a call once its arguments are converted. `payload` is the contents of a `bytes`
// object that the caller keeps alive. Called and returns with the interpreter lock held.
PyObject* run_call_body(std::string_view payload) {
    char frame[kFrameBytes];
    // Declared first, so that it is released last: the result may live in it.
    memory::ScratchArea block(transform::call_block_bytes(payload.size()));
    PayloadCopy copy;
    bool known_ascii = false;
    const char* bytes = copy_payload(payload, frame, block, copy, known_ascii);
    if (bytes == nullptr) return PyErr_NoMemory();

    PyThreadState* saved = payload.size() > kLockedTransformBytes ? PyEval_SaveThread() : nullptr;
    TransformRun run = run_transform(
        text::PaddedText::with_padding_after(std::string_view(bytes, payload.size()), known_ascii),
        block);
    // A copy of its own is given back before the lock is taken again; one in the block goes
    // with the block, after the result is made.
    copy.reset();
    if (saved != nullptr) PyEval_RestoreThread(saved);

    inject_boundary_fault(payload);
    switch (run.kind) {
        case TransformRun::Kind::outcome:
            if (run.outcome.kind == transform::TransformOutcome::Kind::result) {
                return make_result(run.outcome.text);
            }
            PendingError(PyExc_RuntimeError, std::string(run.outcome.text.view())).raise();
            return nullptr;
        case TransformRun::Kind::out_of_memory:
            return PyErr_NoMemory();
        case TransformRun::Kind::fault:
            PendingError(PyExc_RuntimeError,
                         messages::fill_message(messages::kTransformFault, {run.fault_text}))
                .raise();
            return nullptr;
    }
    throw BindingFault(messages::kUnknownTransformOutcome);
}

}  // namespace

PyObject* columnarize_entry(PyObject* /*self*/, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) {
    return boundary_barrier<PyObject*>("columnarize", nullptr, [&]() -> PyObject* {
        BoundArguments bound;
        if (auto error = bind_arguments(args, nargs, kwnames, bound)) {
            error->raise();
            return nullptr;
        }
        // The payload is converted first, so when both arguments are bad its error wins.
        auto payload = convert_payload(bound.payload);
        if (!payload) return nullptr;
        if (!convert_min_rows(bound.min_rows)) return nullptr;
        return run_call_body(*payload);
    });
}

}  // namespace vantor::binding

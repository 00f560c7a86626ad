#pragma once
// The explicit stack of the exact reader's walk over nested values: one entry per open array or
// object. The tape reader and
// writer keep fixed stacks of their own, sized by the same limit (text/json_limits.h). Nothing here
// recurses once per level, so the C stack that a walk needs is the same for any nesting, and a call
// is safe however little stack its thread has left.
//
// The first kDepthStackInlineLevels levels (the exact reader's nesting budget, so every level of a
// read document) live in the walk's own frame; any deeper level goes to the heap.
#include <cstddef>
#include <type_traits>
#include <vector>

#include "text/json_limits.h"

namespace vantor::json {

// The exact reader's budget (text/json_limits.h): the deepest document it accepts, counting the
// top-level array as level 1, and the level it refuses.
inline constexpr std::size_t kDepthStackInlineLevels = text::kNestingBudget;
static_assert(kDepthStackInlineLevels > text::kMaxNestingDepth,
              "every level of a document the readers accept is walked in the walk's own frame");

template <class Entry>
class DepthStack {
    static_assert(std::is_trivially_copyable_v<Entry> &&
                  std::is_trivially_default_constructible_v<Entry>);

  public:
    DepthStack() = default;
    DepthStack(const DepthStack&) = delete;
    DepthStack& operator=(const DepthStack&) = delete;

    bool empty() const { return size_ == 0; }
    std::size_t size() const { return size_; }

    Entry& top() {
        return size_ <= kDepthStackInlineLevels ? levels_[size_ - 1]
                                                : deeper_[size_ - 1 - kDepthStackInlineLevels];
    }

    void push(const Entry& entry) {
        if (size_ < kDepthStackInlineLevels) {
            levels_[size_] = entry;
        } else if (size_ - kDepthStackInlineLevels < deeper_.size()) {
            deeper_[size_ - kDepthStackInlineLevels] = entry;
        } else {
            deeper_.push_back(entry);
        }
        ++size_;
    }

    void pop() { --size_; }

  private:
    Entry levels_[kDepthStackInlineLevels];
    std::vector<Entry> deeper_;
    std::size_t size_ = 0;
};

}  // namespace vantor::json

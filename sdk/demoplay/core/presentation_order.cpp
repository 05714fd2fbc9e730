#include "core/presentation_order.h"

namespace demoplay {

void PresentationOrder::Reset() {
    pending_ = decltype(pending_)();
    leadingDropped_ = 0;
}

void PresentationOrder::Fed(uint64_t position) { pending_.push(position); }

uint64_t PresentationOrder::Next(uint64_t fedPosition, bool key) {
    for (; leadingDropped_ > 0 && !pending_.empty(); --leadingDropped_) pending_.pop();
    leadingDropped_ = 0;
    if (key) {
        while (!pending_.empty() && pending_.top() < fedPosition) pending_.pop();
    }
    if (pending_.empty()) return fedPosition;  // not fed through Fed: trust its own
    const uint64_t position = pending_.top();
    pending_.pop();
    return position;
}

}  // namespace demoplay

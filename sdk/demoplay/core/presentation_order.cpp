#include "core/presentation_order.h"

namespace demoplay {

void PresentationOrder::Reset() { pending_ = decltype(pending_)(); }

void PresentationOrder::Fed(uint64_t position) { pending_.push(position); }

uint64_t PresentationOrder::Next(uint64_t fedPosition, bool key) {
  if (key) {
    while (!pending_.empty() && pending_.top() < fedPosition) pending_.pop();
  }
  if (pending_.empty()) return fedPosition;  // not fed through Fed: trust its own
  const uint64_t position = pending_.top();
  pending_.pop();
  return position;
}

}  // namespace demoplay

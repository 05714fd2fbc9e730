// Presentation order with arbitrary positions, repeats and gaps: every
// position handed out was fed and not yet handed out (or is the picture's
// own when nothing is pending), a key picture never comes out before its own
// position, and while positions are fed in increasing order they come out in
// increasing order. Each input byte pair is one step.
#include <cstdlib>
#include <map>

#include "core/presentation_order.h"

using demoplay::PresentationOrder;

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PresentationOrder order;
    std::map<uint64_t, size_t> pending;  // fed and not yet handed out, with repeats
    size_t count = 0;
    uint64_t lastFed = 0, lastOut = 0, base = 0;
    bool fed = false, increasing = true, handedOut = false;
    for (size_t i = 0; i + 1 < size; i += 2) {
        const uint8_t op = data[i], arg = data[i + 1];
        // Positions near the last one (repeats and gaps of up to 31 either way)
        // or, now and then, anywhere.
        uint64_t position = (op & 0x40) ? base + uint64_t(arg) * 0x01000193u : lastFed + (arg & 31) - 8;
        switch (op & 3) {
            case 0:
            case 1:
                if (fed && position <= lastFed) increasing = false;
                fed = true;
                order.Fed(position);
                ++pending[position];
                ++count;
                lastFed = position;
                break;
            case 2: {
                const bool key = (op & 4) != 0;
                const bool fromPending = !pending.empty() && !(key && pending.rbegin()->first < position);
                const uint64_t out = order.Next(position, key);
                if (key) {
                    Check(out >= position);
                    while (!pending.empty() && pending.begin()->first < position) {
                        count -= pending.begin()->second;
                        pending.erase(pending.begin());
                    }
                }
                if (fromPending) {
                    auto it = pending.find(out);
                    Check(it != pending.end() && it == pending.begin());
                    if (--it->second == 0) pending.erase(it);
                    --count;
                    if (increasing && handedOut) Check(out > lastOut);
                    lastOut = out;
                    handedOut = true;
                } else {
                    Check(out == position);
                }
                break;
            }
            default:
                order.Reset();
                pending.clear();
                count = 0;
                fed = false;
                increasing = true;
                handedOut = false;
                base = position;
                break;
        }
        Check(order.pending() == count);
    }
    return 0;
}

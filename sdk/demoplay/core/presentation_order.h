// Puts the pictures a decoder hands back into their places in time.
//
// AVI stores compressed pictures in decoding order; with B-pictures the
// decoder returns them in presentation order, some pictures later. Among the
// pictures of a group, presentation positions are the same numbers as the
// decoding positions, just reordered, so the next picture out takes the
// smallest position fed and not yet handed out. A key picture (IDR) is shown
// after everything decoded before it: what is still pending below it was lost
// in decoding, and is dropped, so a lost picture shifts no stamp beyond its
// group.
#ifndef DEMOPLAY_CORE_PRESENTATION_ORDER_H
#define DEMOPLAY_CORE_PRESENTATION_ORDER_H

#include <cstddef>
#include <cstdint>
#include <queue>
#include <vector>

namespace demoplay {

class PresentationOrder {
public:
    // Decoding restarts (a seek, a new stream): nothing is pending.
    void Reset();
    // A picture at this decoding position went into the decoder.
    void Fed(uint64_t position);
    // A leading picture that was fed but dropped undecoded (decoding started
    // at its random-access point): leading pictures come before that point,
    // so the smallest place pending is its.
    void DropLeading() { ++leadingDropped_; }
    // The decoder returned a picture; `fedPosition` is the position of the
    // picture as fed (carried through the decoder), `key` whether it is a key
    // picture. Returns its presentation position.
    uint64_t Next(uint64_t fedPosition, bool key);
    size_t pending() const { return pending_.size(); }

private:
    std::priority_queue<uint64_t, std::vector<uint64_t>, std::greater<uint64_t>> pending_;
    size_t leadingDropped_ = 0;
};

}  // namespace demoplay

#endif  // DEMOPLAY_CORE_PRESENTATION_ORDER_H

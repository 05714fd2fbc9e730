// The play position shared by every port: each picture the display threads
// draw counts 40 ms (25 pictures per second, whatever the stream's own rate).
// Display threads count pictures; the client's thread folds the count into
// the position when it asks for it.
#ifndef VD_PORT_POSITION_CLOCK_H
#define VD_PORT_POSITION_CLOCK_H

#include <atomic>
#include <cstdint>

namespace vd {

class PositionClock {
public:
    static constexpr int kMsPerPicture = 1000 / 25;

    void Reset() {
        pendingFrames_.store(0);
        positionMs_.store(0);
    }

    // One more picture drawn (display threads).
    void CountPicture() { pendingFrames_.fetch_add(1, std::memory_order_relaxed); }

    // Folds the pictures drawn since the last call into the position and
    // returns it in milliseconds. The sums wrap at 32 bits rather than
    // overflow.
    int UpToDateMs() {
        const int pending = pendingFrames_.exchange(0);
        if (pending != 0) positionMs_.fetch_add(Wrap(static_cast<std::int64_t>(pending) * kMsPerPicture));
        return positionMs_.load();
    }

    // The position after a seek; pictures drawn and not yet folded in are
    // added on top at the next UpToDateMs.
    void SeekToSeconds(int seconds) { positionMs_.store(Wrap(static_cast<std::int64_t>(seconds) * 1000)); }

    int pendingFrames() const { return pendingFrames_.load(); }

private:
    static int Wrap(std::int64_t value) { return static_cast<int>(static_cast<std::uint32_t>(value)); }

    std::atomic<int> pendingFrames_{0};
    std::atomic<int> positionMs_{0};
};

}  // namespace vd

#endif

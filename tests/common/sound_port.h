// The plug-in playing a stream port in a window of its own, deployed next
// to the scriptable SDK, so that a test can hand it sound blocks as the SDK's
// decoding thread would (the frame intake queues sound only for a port that
// plays in a window). Needs a display (with_display.sh).
#ifndef TESTS_COMMON_SOUND_PORT_H
#define TESTS_COMMON_SOUND_PORT_H

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "common/test_window.h"
#include "common/plugin_fixture.h"

namespace vdtest {

using SoundBlock = std::vector<std::uint8_t>;

class SoundPort {
public:
    SoundPort();
    // Stops feeding, switches the sound off, stops and closes the port and
    // releases the decoder.
    ~SoundPort();
    SoundPort(const SoundPort&) = delete;
    SoundPort& operator=(const SoundPort&) = delete;

    // "" when everything up to playing the port succeeded; otherwise what failed.
    const std::string& failure() const { return failure_; }
    Orvane::IVideoDecoder_M& decoder() { return *decoder_; }
    int port() const { return port_; }
    TestSdk& sdk() { return deployment_.sdk; }

    // One block through the SDK's frame callback, on the calling thread; the
    // call returns when the plug-in's does (it holds it while the port's
    // sound queue is full). The callback's result, or -1.
    int Deliver(const SoundBlock& block, unsigned int stamp);

    // Delivers the blocks in order on a thread of its own; with repeat, over
    // and over until StopFeeding.
    void StartFeeding(std::vector<SoundBlock> blocks, bool repeat = false);
    // Blocks delivered so far by the feeder.
    long long fed() const { return fed_.load(); }
    // True once the feeder has delivered everything, at most deadlineMs.
    bool WaitFed(DWORD deadlineMs);
    // Ends the feeder. A feeder still held by the plug-in after a while is
    // released by stopping the port. False when it had to be.
    bool StopFeeding();

private:
    static DWORD WINAPI FeederMain(void* self);

    Deployment deployment_;
    TestWindow window_;
    Orvane::IVideoDecoder_M* decoder_ = nullptr;
    int port_ = -1;
    bool initialized_ = false;
    std::string failure_;
    TestSdkDeliverFn deliver_ = nullptr;

    HANDLE feeder_ = nullptr;
    std::vector<SoundBlock> blocks_;
    bool repeat_ = false;
    std::atomic<bool> stopFeeding_{false};
    std::atomic<bool> fedAll_{false};
    std::atomic<long long> fed_{0};
};

}  // namespace vdtest

#endif

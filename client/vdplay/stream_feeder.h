// Feeds a recording to stream ports as a camera would send it: the rest of
// the headers at once, then the chunks in file order, each picture when it is
// due in real time (sound and other chunks go with the picture before them).
// Runs on a thread of its own; InputData is the only call it makes.
#ifndef VD_VDPLAY_STREAM_FEEDER_H
#define VD_VDPLAY_STREAM_FEEDER_H

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include <Orvane/VideoDecoderPlugin.h>

#include "player/avi_stream_plan.h"

namespace vdplay {

class StreamFeeder {
public:
    // `from`: the first byte not yet given (what OpenStream took as header).
    StreamFeeder(Orvane::IVideoDecoder_M* decoder, std::vector<int> ports, std::string path, uint64_t from,
                 vdplay::StreamTiming timing);
    ~StreamFeeder();
    StreamFeeder(const StreamFeeder&) = delete;
    StreamFeeder& operator=(const StreamFeeder&) = delete;

    bool Start();
    // Asks the thread to end and waits for it.
    void Stop();

    bool finished() const { return finished_.load(); }
    int64_t picturesFed() const { return picturesFed_.load(); }
    int64_t bytesFed() const { return bytesFed_.load(); }
    // The first InputData failure or read error ("" when none); valid once finished.
    std::string error() const;

private:
    static DWORD WINAPI ThreadMain(void* self);
    void Run();
    bool ReadAt(uint64_t offset, uint8_t* out, size_t length);
    bool Feed(uint64_t offset, uint64_t length);
    bool WaitUntil(ULONGLONG due);  // false when asked to stop

    Orvane::IVideoDecoder_M* decoder_;
    std::vector<int> ports_;
    std::string path_;
    uint64_t from_;
    vdplay::StreamTiming timing_;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    uint64_t fileSize_ = 0;
    HANDLE thread_ = nullptr;
    HANDLE stop_ = nullptr;
    std::atomic<bool> finished_{false};
    std::atomic<int64_t> picturesFed_{0};
    std::atomic<int64_t> bytesFed_{0};
    std::string error_;
};

}  // namespace vdplay

#endif  // VD_VDPLAY_STREAM_FEEDER_H

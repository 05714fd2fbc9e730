// The audio thread over a stand-in device that records what it is given:
// how blocks are cut into buffers, the start and end handshakes, playing
// without a device, and what happens once sound is switched off.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "port/port_record.h"
#include "audio/audio_thread.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const HWAVEOUT kFakeDevice = reinterpret_cast<HWAVEOUT>(static_cast<UINT_PTR>(0x5A00));

// What the stand-in device saw; shared with the test, which outlives the
// thread's own output object.
struct DeviceLog {
    std::mutex lock;
    bool available = true;     // Open succeeds and writes are taken
    bool holdBuffers = false;  // written buffers stay with the device until Release
    std::vector<Bytes> writes;
    std::vector<WAVEHDR*> held;
    int prepared = 0;
    int closes = 0;
    int closedHeaders = 0;
    DWORD callbackThread = 0;

    std::size_t WriteCount() {
        std::lock_guard<std::mutex> guard(lock);
        return writes.size();
    }
    // Gives every held buffer back, as played.
    void Release() {
        std::lock_guard<std::mutex> guard(lock);
        for (WAVEHDR* header : held)
            PostThreadMessageA(callbackThread, MM_WOM_DONE, 0, reinterpret_cast<LPARAM>(header));
        held.clear();
    }
};

class FakeOutput : public vd::AudioOutput {
public:
    explicit FakeOutput(std::shared_ptr<DeviceLog> log) : log_(std::move(log)) {}
    bool Open(DWORD callbackThread) override {
        std::lock_guard<std::mutex> guard(log_->lock);
        log_->callbackThread = callbackThread;
        open_ = log_->available;
        return open_;
    }
    HWAVEOUT device() const override { return open_ ? kFakeDevice : nullptr; }
    void Prepare(WAVEHDR& header) override {
        if (!open_) return;
        std::lock_guard<std::mutex> guard(log_->lock);
        EXPECT_EQ(header.dwBufferLength, vd::kSoundBufferBytes) << "prepared for less than the whole buffer";
        header.dwFlags |= WHDR_PREPARED;
        ++log_->prepared;
    }
    bool Write(WAVEHDR& header) override {
        if (!open_) return false;
        std::lock_guard<std::mutex> guard(log_->lock);
        EXPECT_LE(header.dwBufferLength, vd::kSoundBufferBytes);
        log_->writes.emplace_back(header.lpData, header.lpData + header.dwBufferLength);
        if (log_->holdBuffers) {
            log_->held.push_back(&header);
        } else {
            PostThreadMessageA(log_->callbackThread, MM_WOM_DONE, 0, reinterpret_cast<LPARAM>(&header));
        }
        return true;
    }
    void Close(WAVEHDR* headers, int count) override {
        std::lock_guard<std::mutex> guard(log_->lock);
        ++log_->closes;
        log_->closedHeaders = count;
        for (int i = 0; i < count; ++i) headers[i].dwFlags &= ~WHDR_PREPARED;
        open_ = false;
    }

private:
    std::shared_ptr<DeviceLog> log_;
    bool open_ = false;
};

// A block whose bytes tell where they came from.
Bytes Block(int size, int seed) {
    Bytes block(static_cast<std::size_t>(size));
    for (int i = 0; i < size; ++i) block[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(seed * 31 + i * 7);
    return block;
}

vd::QueuedFrame Frame(const Bytes& bytes) {
    vd::QueuedFrame frame;
    frame.Allocate(static_cast<int>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), frame.data.get());
    frame.kind = vd::kKindSound;
    return frame;
}

// Queues a block as the frame intake does, waiting while the queue is full.
bool Queue(vd::PortRecord& record, const Bytes& bytes, DWORD deadlineMs = 10000) {
    vd::QueuedFrame frame = Frame(bytes);
    const DWORD start = GetTickCount();
    while (!record.audioQueue.TryPush(frame)) {
        if (GetTickCount() - start > deadlineMs) return false;
        Sleep(1);
    }
    return true;
}

bool WaitUntil(const std::function<bool()>& done, DWORD deadlineMs = 10000) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > deadlineMs) return false;
        Sleep(1);
    }
    return true;
}

class SoundThread : public ::testing::Test {
protected:
    void Start() {
        thread = vd::StartAudioThread(record, std::unique_ptr<vd::AudioOutput>(new FakeOutput(device)), &threadId);
        ASSERT_NE(thread, nullptr);
        ASSERT_NE(threadId, 0u);
    }
    // Switches the sound off as CloseSound does; true when the thread ended.
    bool End() {
        if (!thread) return true;
        PostThreadMessageA(threadId, WM_QUIT, 0, 0);
        record->audioQuitEvent.Set();
        const bool ended = WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0;
        CloseHandle(thread);
        thread = nullptr;
        return ended;
    }
    void TearDown() override { EXPECT_TRUE(End()) << "the audio thread did not end"; }

    std::shared_ptr<vd::PortRecord> record = std::make_shared<vd::PortRecord>(1, 0);
    std::shared_ptr<DeviceLog> device = std::make_shared<DeviceLog>();
    HANDLE thread = nullptr;
    DWORD threadId = 0;
};

// Every block is played whole and in order; one larger than a buffer goes
// over as many buffers as it needs, and no buffer mixes two blocks.
TEST_F(SoundThread, PlaysEveryBlockWholeInOrderOverAsManyBuffersAsItNeeds) {
    const int sizes[] = {2, 640, 1280, 6398, 6400, 6402, 12800, 16000, 32001, 64002, 2};
    Start();
    std::vector<std::size_t> expectedWrites;
    Bytes expectedBytes;
    int seed = 0;
    for (int size : sizes) {
        SCOPED_TRACE(size);
        const Bytes block = Block(size, ++seed);
        ASSERT_TRUE(Queue(*record, block));
        expectedBytes.insert(expectedBytes.end(), block.begin(), block.end());
        for (int left = size; left > 0; left -= static_cast<int>(vd::kSoundBufferBytes)) {
            expectedWrites.push_back(static_cast<std::size_t>(std::min(left, static_cast<int>(vd::kSoundBufferBytes))));
        }
    }
    ASSERT_TRUE(WaitUntil([&] { return device->WriteCount() >= expectedWrites.size(); }))
        << "only " << device->WriteCount() << " of " << expectedWrites.size() << " buffers were played";
    ASSERT_TRUE(End());
    std::vector<std::size_t> writeSizes;
    Bytes played;
    for (const Bytes& write : device->writes) {
        writeSizes.push_back(write.size());
        played.insert(played.end(), write.begin(), write.end());
    }
    EXPECT_EQ(writeSizes, expectedWrites);
    EXPECT_TRUE(played == expectedBytes) << "the bytes played differ from the bytes queued";
    EXPECT_EQ(record->audioQueue.Size(), 0u);
}

// The record's waveOut names the device from the start until the end, and
// the thread prepares its five buffers and closes the device with them.
TEST_F(SoundThread, WaveOutNamesTheOpenDeviceUntilTheThreadEnds) {
    Start();
    EXPECT_EQ(record->waveOut.load(), kFakeDevice) << "the device was opened after start returned";
    ASSERT_TRUE(End());
    EXPECT_EQ(record->waveOut.load(), nullptr);
    EXPECT_EQ(device->prepared, vd::kSoundBufferCount);
    EXPECT_EQ(device->closes, 1);
    EXPECT_EQ(device->closedHeaders, vd::kSoundBufferCount);
}

// Start returns only once the thread has its message queue, so a WM_QUIT
// posted at once is never lost and always ends the thread.
TEST_F(SoundThread, AQuitPostedRightAfterStartAlwaysEndsTheThread) {
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        HANDLE started =
            vd::StartAudioThread(record, std::unique_ptr<vd::AudioOutput>(new FakeOutput(device)), &threadId);
        ASSERT_NE(started, nullptr);
        EXPECT_TRUE(PostThreadMessageA(threadId, WM_QUIT, 0, 0)) << "the thread had no message queue yet";
        const bool ended = WaitForSingleObject(started, 10000) == WAIT_OBJECT_0;
        CloseHandle(started);
        ASSERT_TRUE(ended) << "the quit message was lost";
    }
}

// Without a device the blocks are still taken off the queue (and
// dropped), so the frame intake is never held for good.
TEST_F(SoundThread, WithoutADeviceTheQueueStillDrains) {
    device->available = false;
    Start();
    EXPECT_EQ(record->waveOut.load(), nullptr);
    for (int i = 0; i < 60; ++i) {
        ASSERT_TRUE(Queue(*record, Block(6400, i))) << "block " << i << " found the queue full for good";
    }
    EXPECT_TRUE(WaitUntil([&] { return record->audioQueue.Size() == 0; }));
    EXPECT_TRUE(device->writes.empty());
}

// Once the quit event is set, buffers the device gives back are not
// refilled, even when sound is waiting; the thread then ends on its own.
TEST_F(SoundThread, NoBufferReachesTheDeviceOnceSoundIsSwitchedOff) {
    device->holdBuffers = true;
    Start();
    for (int i = 0; i < vd::kSoundBufferCount; ++i) ASSERT_TRUE(Queue(*record, Block(3200, i)));
    ASSERT_TRUE(WaitUntil([&] { return device->WriteCount() == static_cast<std::size_t>(vd::kSoundBufferCount); }));
    record->audioQuitEvent.Set();
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(Queue(*record, Block(3200, 10 + i)));
    device->Release();
    ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0) << "the thread did not end on the event alone";
    EXPECT_EQ(device->WriteCount(), static_cast<std::size_t>(vd::kSoundBufferCount));
    EXPECT_EQ(record->audioQueue.Size(), 3u);
}

// A block the thread is waiting for when sound is switched off is not
// waited for any longer.
TEST_F(SoundThread, AThreadWaitingForSoundEndsWhenSwitchedOff) {
    Start();
    Sleep(20);  // let it wait for a block that never comes
    EXPECT_TRUE(End());
    EXPECT_TRUE(device->writes.empty());
}

// Done messages that do not carry one of the thread's own buffers are
// ignored, and playing goes on.
TEST_F(SoundThread, DoneMessagesForForeignBuffersAreIgnored) {
    device->holdBuffers = true;
    Start();
    WAVEHDR foreign = {};
    char bytes[16] = {};
    foreign.lpData = bytes;
    ASSERT_TRUE(PostThreadMessageA(threadId, MM_WOM_DONE, 0, reinterpret_cast<LPARAM>(&foreign)));
    ASSERT_TRUE(PostThreadMessageA(threadId, MM_WOM_DONE, 0, 0));
    ASSERT_TRUE(Queue(*record, Block(100, 1)));
    ASSERT_TRUE(WaitUntil([&] { return device->WriteCount() == 1; }));
    ASSERT_TRUE(End());
    ASSERT_EQ(device->held.size(), 1u);
    EXPECT_NE(device->held[0], &foreign);
    EXPECT_EQ(foreign.dwBufferLength, 0u);
}

}  // namespace

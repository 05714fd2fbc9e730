// The frame intake holds the SDK's thread while a port is paused or its
// queue is full. Each of those waits ends on what it waits for (a resume,
// room in the queue, a seek, sound no longer wanted, the stop) and on
// nothing else: the intake waits on events without a time-out, so a wake-up
// that went missing would hold the delivery until the test's deadline.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <ostream>
#include <memory>
#include <thread>
#include <vector>

#include "common/eventually.h"
#include "engine/frame_intake.h"
#include "engine/play_engine.h"
#include "port/frame_layout.h"
#include "port/port_table.h"

namespace vdtest {
namespace {

constexpr int kPort = 3;
using vd::kKindSound;
using vd::kKindYv12;
constexpr int kWidth = 16, kHeight = 16;
constexpr int kPictureBytes = kWidth * kHeight * 3 / 2;
// Long enough for a delivery that is not held to come back on a busy
// machine; a held one is only checked not to have come back by then.
constexpr DWORD kHeldCheckMs = 200;

// One frame handed to the intake on a thread of its own, as the SDK does.
class Delivery {
public:
    Delivery(vd::PlayShared& shared, vd::PortRecord& record, vd::FrameKind kind, std::uint8_t fill)
        : record_(record), bytes_(kind == kKindSound ? 3200 : kPictureBytes, fill) {
        thread_ = std::thread([this, &shared, kind] {
            vd::VideoCallBack(kPort, bytes_.data(), static_cast<int>(bytes_.size()), kWidth, kHeight, 40, kind, 25,
                              &shared);
            returned_.store(true);
        });
    }
    // A delivery still held (a failed test) is let go by the stop.
    ~Delivery() {
        record_.stopEvent.Set();
        if (thread_.joinable()) thread_.join();
    }
    bool Returned() const { return returned_.load(); }
    bool WaitReturned() {
        return Eventually([this] { return Returned(); });
    }

private:
    vd::PortRecord& record_;
    std::vector<std::uint8_t> bytes_;
    std::atomic<bool> returned_{false};
    std::thread thread_;
};

// A frame of the given kind whose first byte tells it apart.
vd::QueuedFrame Filler(vd::FrameKind kind, std::uint8_t fill) {
    vd::QueuedFrame frame;
    frame.Allocate(kind == kKindSound ? 3200 : kPictureBytes);
    frame.data[0] = fill;
    frame.kind = kind;
    return frame;
}

enum class Hold { kPaused, kFullQueue, kPausedAndFull };

struct Case {
    const char* name;
    vd::FrameKind kind;
    Hold hold;
    // What lets the delivery go on: a control operation or what a
    // consumer thread does with the queue.
    std::function<void(vd::PlayEngine&, vd::PortRecord&)> release;
    std::size_t queuedAfter;  // frames in the queue once the delivery came back
    bool ours;                // the delivered frame is the last one queued
};

// Failure messages name the case rather than dump its bytes.
void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class IntakeWaits : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        record_ = std::make_shared<vd::PortRecord>(0, 0);  // a file port: it can step
        ASSERT_TRUE(record_->valid());
        shared_.ports.Insert(kPort, record_);
        // As Play leaves a port shown in a window (the intake only looks
        // whether there is one).
        record_->videoWindow.store(reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234)));
        record_->stopEvent.Reset();
        record_->soundOn.store(1);
    }
    vd::FrameQueue& Queue(vd::FrameKind kind) { return kind == kKindSound ? record_->audioQueue : record_->videoQueue; }

    vd::PlayShared shared_;
    vd::PlayEngine engine_{"no-sdk.dll"};  // for its control operations only; never bound
    std::shared_ptr<vd::PortRecord> record_;
};

TEST_P(IntakeWaits, TheHeldDeliveryGoesOnWhenReleased) {
    const Case& c = GetParam();
    vd::FrameQueue& queue = Queue(c.kind);
    if (c.hold != Hold::kFullQueue) {
        ASSERT_EQ(engine_.Pause(*record_, 1), 0);
    }
    for (std::uint8_t i = 0; c.hold != Hold::kPaused && i < vd::FrameQueue::kCapacity; ++i) {
        vd::QueuedFrame frame = Filler(c.kind, i);
        ASSERT_TRUE(queue.TryPush(frame)) << "frame " << int(i);
    }
    Delivery delivery(shared_, *record_, c.kind, 0xEE);
    Sleep(kHeldCheckMs);
    ASSERT_FALSE(delivery.Returned()) << "the delivery was not held";

    c.release(engine_, *record_);
    ASSERT_TRUE(delivery.WaitReturned()) << "the delivery was not woken";
    EXPECT_EQ(queue.Size(), c.queuedAfter);
    std::vector<vd::QueuedFrame> left;
    vd::QueuedFrame frame;
    while (queue.TryPop(frame)) left.push_back(std::move(frame));
    const bool ours = !left.empty() && left.back().data[0] == 0xEE;
    EXPECT_EQ(ours, c.ours);
}

void Resume(vd::PlayEngine& engine, vd::PortRecord& record) { engine.Pause(record, 0); }
void Stop(vd::PlayEngine&, vd::PortRecord& record) { record.stopEvent.Set(); }
void TakeVideo(vd::PlayEngine&, vd::PortRecord& record) {
    vd::QueuedFrame frame;
    record.videoQueue.TryPop(frame);
}
void TakeSound(vd::PlayEngine&, vd::PortRecord& record) {
    vd::QueuedFrame frame;
    record.audioQueue.TryPop(frame);
}

const Case kCases[] = {
    {"PausedPictureResumed", kKindYv12, Hold::kPaused, Resume, 1, true},
    {"PausedPictureStopped", kKindYv12, Hold::kPaused, Stop, 0, false},
    {"PausedSoundResumed", kKindSound, Hold::kPaused, Resume, 1, true},
    {"PausedSoundStopped", kKindSound, Hold::kPaused, Stop, 0, false},
    {"FullPictureQueueGivesRoom", kKindYv12, Hold::kFullQueue, TakeVideo, 5, true},
    {"FullPictureQueueStopped", kKindYv12, Hold::kFullQueue, Stop, 5, false},
    // A seek empties the queue; the frame from before it is dropped.
    {"FullPictureQueueSeeked", kKindYv12, Hold::kFullQueue,
     [](vd::PlayEngine&, vd::PortRecord& record) { record.videoQueue.Clear(); }, 0, false},
    {"FullSoundQueueGivesRoom", kKindSound, Hold::kFullQueue, TakeSound, 5, true},
    {"FullSoundQueueStopped", kKindSound, Hold::kFullQueue, Stop, 5, false},
    // Sound waiting for room is dropped once it is no longer wanted.
    {"FullSoundQueueSpeedChanged", kKindSound, Hold::kFullQueue,
     [](vd::PlayEngine& engine, vd::PortRecord& record) { engine.SetPlaySpeed(record, 1); }, 5, false},
    {"FullSoundQueueStepping", kKindSound, Hold::kFullQueue,
     [](vd::PlayEngine& engine, vd::PortRecord& record) { engine.OneByOne(record); }, 5, false},
    // Paused with a full queue: the resume alone does not queue the
    // picture, the room then does.
    {"PausedAndFullResumedThenRoom", kKindYv12, Hold::kPausedAndFull,
     [](vd::PlayEngine& engine, vd::PortRecord& record) {
         Resume(engine, record);
         Sleep(kHeldCheckMs);
         EXPECT_EQ(record.videoQueue.Size(), vd::FrameQueue::kCapacity);
         TakeVideo(engine, record);
     },
     5, true},
    {"PausedAndFullRoomThenResumed", kKindYv12, Hold::kPausedAndFull,
     [](vd::PlayEngine& engine, vd::PortRecord& record) {
         TakeVideo(engine, record);
         Sleep(kHeldCheckMs);
         EXPECT_EQ(record.videoQueue.Size(), vd::FrameQueue::kCapacity - 1) << "queued while paused";
         Resume(engine, record);
     },
     5, true},
};

INSTANTIATE_TEST_SUITE_P(Intake, IntakeWaits, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vdtest

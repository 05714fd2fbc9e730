// Many ports played, fed, paused, sought, stopped and closed over and over,
// with pictures delivered from two threads as an SDK's decoding threads
// would: nothing hangs, nothing crashes, and handles and memory do not grow.
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "engine/playback_fixture.h"

namespace vdtest {
namespace {

std::size_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    return counters.PrivateUsage;
}

DWORD Handles() {
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    return count;
}

class Stress : public PlaybackTest {};

TEST_F(Stress, FourPortsTwoFeedersManyCyclesHoldNoHandlesOrMemory) {
    constexpr int kPorts = 4;
    constexpr int kCycles = 200;
    constexpr int kWarmUp = 20;
    const int ports[kPorts] = {11, 12, 13, 14};
    std::vector<std::unique_ptr<TestWindow>> windows;
    for (int i = 0; i < kPorts; ++i)
        windows.emplace_back(new TestWindow(160, 120, 32 + 170 * i, 700));  // clear of the other tests' windows
    const std::vector<std::uint8_t> picture = Encode(Flat(64, 48, 0x3080C0), kYv12);

    // Two feeders deliver to every port all the time; deliveries to a port
    // that is not playing are refused by the SDK and cost nothing.
    std::atomic<bool> done{false};
    std::atomic<long> delivered{0};
    auto feed = [&](int first) {
        unsigned int stamp = 0;
        while (!done.load()) {
            for (int i = first; i < kPorts; i += 2) {
                if (Deliver(ports[i], picture, 64, 48, kYv12, stamp += 40) == 0) delivered.fetch_add(1);
            }
            Sleep(0);
        }
    };
    std::thread feeders[2] = {std::thread(feed, 0), std::thread(feed, 1)};

    DWORD handlesBefore = 0;
    std::size_t bytesBefore = 0;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        if (cycle % 20 == 0) {
            std::printf("cycle %d, %ld pictures delivered\n", cycle, delivered.load());
            std::fflush(stdout);
        }
        if (cycle == kWarmUp) {
            handlesBefore = Handles();
            bytesBefore = PrivateBytes();
        }
        for (int i = 0; i < kPorts; ++i) {
            ASSERT_EQ(OpenFilePort(ports[i]), ports[i]);
            ASSERT_EQ(decoder_->Play(ports[i], windows[i]->handle()), 0) << "cycle " << cycle;
        }
        for (auto& window : windows) window->Pump();
        for (int i = 0; i < kPorts; ++i) {
            EXPECT_EQ(decoder_->Pause(ports[i], 1), 0);
            EXPECT_EQ(decoder_->SetPlayTime(ports[i], cycle % 7), 0);
            EXPECT_EQ(decoder_->Pause(ports[i], 0), 0);
        }
        for (int i = 0; i < kPorts; ++i) {
            ASSERT_EQ(decoder_->Stop(ports[i]), 0) << "cycle " << cycle;  // -99: a callback was never released
            ASSERT_EQ(decoder_->CloseFile(ports[i]), 0);
        }
    }
    const DWORD handlesAfter = Handles();
    const std::size_t bytesAfter = PrivateBytes();
    done.store(true);
    for (auto& feeder : feeders) feeder.join();

    EXPECT_GT(delivered.load(), 0);
    // A leak of one handle or one picture per cycle would show as 180 or more.
    EXPECT_LE(handlesAfter, handlesBefore + 10) << handlesBefore << " -> " << handlesAfter;
    EXPECT_LE(bytesAfter, bytesBefore + 8u * 1024 * 1024) << bytesBefore << " -> " << bytesAfter;
    RecordProperty("delivered", static_cast<int>(delivered.load()));
    RecordProperty("handles", std::to_string(handlesBefore) + "->" + std::to_string(handlesAfter));
    RecordProperty("private_bytes", std::to_string(bytesBefore) + "->" + std::to_string(bytesAfter));
}

}  // namespace
}  // namespace vdtest

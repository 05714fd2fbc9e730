// Switching a port's sound on and off: the answers of the three sound
// operations, one audio thread per port, a CloseSound that always returns
// with the thread ended, and nothing left behind after many rounds. Runs
// under with_display.sh and with_sound_server.sh.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "common/process_counts.h"
#include "common/sound_port.h"
#include "common/sound_signal.h"

namespace vdtest {
namespace {

constexpr int kClosedPort = 99;

// Runs the calls on a thread of their own, so that a call that hangs fails
// the test instead of stopping it. False when they did not finish in time.
struct Job {
    std::function<void()> calls;
};

DWORD WINAPI RunJob(void* argument) {
    static_cast<Job*>(argument)->calls();
    return 0;
}

bool FinishesWithin(DWORD deadlineMs, const std::function<void()>& calls) {
    Job* job = new Job{calls};
    HANDLE thread = CreateThread(nullptr, 0, RunJob, job, 0, nullptr);
    if (!thread) {
        delete job;
        return false;
    }
    const bool finished = WaitForSingleObject(thread, deadlineMs) == WAIT_OBJECT_0;
    CloseHandle(thread);
    if (finished) delete job;  // a hung job keeps its calls
    return finished;
}

// Threads and handles settle after a change (Wine ends some of its own
// helpers a little later): gives the count as soon as it is down to the
// expected value, or the last one seen after a while.
int SettledCount(int (*count)(), int expected) {
    int now = count();
    for (int i = 0; i < 200 && now > expected; ++i) {
        Sleep(10);
        now = count();
    }
    return now;
}

// Which of `ids` still run once they have had a while to end.
std::set<unsigned long> StillRunning(const std::set<unsigned long>& ids) {
    std::set<unsigned long> left;
    for (int i = 0; i < 200; ++i) {
        left.clear();
        for (unsigned long id : ThreadIds()) {
            if (ids.count(id)) left.insert(id);
        }
        if (left.empty()) break;
        Sleep(10);
    }
    return left;
}

// Switches the sound of a port that is being fed on, after one round on and
// off so that the system's own sound threads exist; `started` gets the
// threads that switching it on started.
void SwitchOnFedSound(SoundPort& sound, std::set<unsigned long>& started) {
    Orvane::IVideoDecoder_M& decoder = sound.decoder();
    ASSERT_EQ(decoder.OpenSound(sound.port()), 0);
    ASSERT_EQ(decoder.CloseSound(sound.port()), 0);
    sound.StartFeeding(SineBlocks(440, 8000, 16000, 1600), true);
    const std::set<unsigned long> before = ThreadIds();
    ASSERT_EQ(decoder.OpenSound(sound.port()), 0);
    for (unsigned long id : ThreadIds()) {
        if (!before.count(id)) started.insert(id);
    }
    ASSERT_FALSE(started.empty()) << "no audio thread";
}

TEST(SoundControl, TheSoundOperationsRefuseAPortThatIsNotOpen) {
    SoundPort sound;
    ASSERT_EQ(sound.failure(), "");
    struct Case {
        const char* operation;
        std::function<int()> call;
    } cases[] = {
        {"OpenSound", [&] { return sound.decoder().OpenSound(kClosedPort); }},
        {"CloseSound", [&] { return sound.decoder().CloseSound(kClosedPort); }},
        {"SetVolume", [&] { return sound.decoder().SetVolume(kClosedPort, 0xFFFF); }},
    };
    for (const Case& c : cases) EXPECT_EQ(c.call(), static_cast<int>(E_FAIL)) << c.operation;
}

// SetVolume is refused while the port's device is not open: before sound
// is on, and after it is off again.
TEST(SoundControl, SetVolumeIsTakenOnlyWhileTheSoundIsOn) {
    SoundPort sound;
    ASSERT_EQ(sound.failure(), "");
    Orvane::IVideoDecoder_M& decoder = sound.decoder();
    const int port = sound.port();
    EXPECT_EQ(decoder.SetVolume(port, 0xFFFF), static_cast<int>(E_FAIL));
    EXPECT_EQ(decoder.CloseSound(port), 0) << "sound that is off is switched off again";
    EXPECT_EQ(decoder.SetVolume(port, 0xFFFF), static_cast<int>(E_FAIL));
    ASSERT_EQ(decoder.OpenSound(port), 0);
    EXPECT_EQ(decoder.SetVolume(port, 0xFFFF), 0);
    ASSERT_EQ(decoder.CloseSound(port), 0);
    EXPECT_EQ(decoder.SetVolume(port, 0xFFFF), static_cast<int>(E_FAIL));
}

// A second OpenSound while the sound is on does nothing: still one audio
// thread, and one CloseSound switches the sound off.
TEST(SoundControl, OpenSoundOnASoundThatIsOnDoesNothing) {
    SoundPort sound;
    ASSERT_EQ(sound.failure(), "");
    Orvane::IVideoDecoder_M& decoder = sound.decoder();
    const int port = sound.port();
    // Once round, so that the system's own sound threads exist.
    ASSERT_EQ(decoder.OpenSound(port), 0);
    ASSERT_EQ(decoder.CloseSound(port), 0);
    const int threadsOff = ThreadCount();

    ASSERT_EQ(decoder.OpenSound(port), 0);
    const int threadsOn = ThreadCount();
    EXPECT_GT(threadsOn, threadsOff);
    EXPECT_EQ(decoder.OpenSound(port), 0);
    EXPECT_EQ(decoder.OpenSound(port), 0);
    EXPECT_LE(ThreadCount(), threadsOn) << "another audio thread was started";
    EXPECT_EQ(decoder.SetVolume(port, 0xFFFF), 0);
    ASSERT_EQ(decoder.CloseSound(port), 0);
    EXPECT_LE(SettledCount(ThreadCount, threadsOff), threadsOff) << "an audio thread is left running";
    EXPECT_EQ(decoder.SetVolume(port, 0xFFFF), static_cast<int>(E_FAIL));
}

// OpenSound and CloseSound 500 times in a row, while the SDK keeps
// delivering sound: every call returns, the audio thread always ends, and
// neither threads nor handles pile up.
TEST(SoundControl, FiveHundredRoundsOfOnAndOffLeaveNothingBehind) {
    SoundPort sound;
    ASSERT_EQ(sound.failure(), "");
    Orvane::IVideoDecoder_M& decoder = sound.decoder();
    const int port = sound.port();
    sound.StartFeeding(SineBlocks(440, 8000, 4000, 1600), true);
    ASSERT_EQ(decoder.OpenSound(port), 0);
    ASSERT_EQ(decoder.CloseSound(port), 0);
    const int threads = ThreadCount();
    const int handles = OpenHandleCount();
    ASSERT_GT(handles, 0);

    int failures = 0;
    int rounds = 0;
    const bool finished = FinishesWithin(400000, [&] {
        for (rounds = 0; rounds < 500; ++rounds) {
            if (decoder.OpenSound(port) != 0) ++failures;
            if (decoder.CloseSound(port) != 0) ++failures;
        }
    });
    ASSERT_TRUE(finished) << "hung after " << rounds << " rounds";
    EXPECT_EQ(failures, 0);
    const int threadsAfter = SettledCount(ThreadCount, threads);
    const int handlesAfter = SettledCount(OpenHandleCount, handles);
    std::printf("threads %d -> %d, handles %d -> %d over 500 rounds\n", threads, threadsAfter, handles, handlesAfter);
    // A thread or handle lost per round would show 500 times over; the
    // system may make a few helpers of its own on the way.
    EXPECT_LE(threadsAfter, threads + 2) << "audio threads are left running";
    EXPECT_LE(handlesAfter, handles + 10);
    EXPECT_TRUE(sound.StopFeeding()) << "the intake held the SDK's thread";
}

// Closing a port whose sound is on (and that still plays) switches its
// sound off: every thread that switching it on started has ended.
TEST(SoundControl, ClosingAPortWithTheSoundOnEndsItsAudioThread) {
    SoundPort sound;
    ASSERT_EQ(sound.failure(), "");
    Orvane::IVideoDecoder_M& decoder = sound.decoder();
    const int port = sound.port();
    std::set<unsigned long> started;
    ASSERT_NO_FATAL_FAILURE(SwitchOnFedSound(sound, started));
    EXPECT_EQ(decoder.CloseStream(port), 0);
    EXPECT_TRUE(sound.StopFeeding()) << "the intake held the SDK's thread after the close";
    const std::set<unsigned long> left = StillRunning(started);
    EXPECT_TRUE(left.empty()) << left.size() << " thread(s) of the closed port's sound still run";
    EXPECT_EQ(decoder.SetVolume(port, 0xFFFF), static_cast<int>(E_FAIL));
}

// A client that releases the decoder with a port still playing and its
// sound on: the port is stopped before the SDK is freed, and the audio
// thread has ended, so nothing of ours runs once the client unloads us.
TEST(SoundControl, ReleaseWithAPortStillPlayingEndsItsThreads) {
    SoundPort sound;
    ASSERT_EQ(sound.failure(), "");
    Orvane::IVideoDecoder_M& decoder = sound.decoder();
    const int port = sound.port();
    std::set<unsigned long> started;
    ASSERT_NO_FATAL_FAILURE(SwitchOnFedSound(sound, started));
    const int stops = sound.sdk().CallCount("KV_Stop");
    EXPECT_EQ(decoder.Release(), 0);
    EXPECT_EQ(sound.sdk().CallCount("KV_Stop"), stops + 1) << "the playing port was not stopped";
    EXPECT_TRUE(sound.StopFeeding()) << "the intake held the SDK's thread after the release";
    const std::set<unsigned long> left = StillRunning(started);
    EXPECT_TRUE(left.empty()) << left.size() << " sound thread(s) still run after the release";
    // The port went with the release: bound again, the decoder has no record of it.
    ASSERT_EQ(decoder.Initialize(0), 0);
    EXPECT_EQ(decoder.Pause(port, 1), static_cast<int>(E_FAIL)) << "the port outlived the release";
}

}  // namespace
}  // namespace vdtest

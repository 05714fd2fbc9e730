// Switching a port's sound on and off: the answers of the three sound
// operations, one audio thread per port, a CloseSound that always returns
// with the thread ended, and nothing left behind after many rounds. Runs
// under with_display.sh and with_sound_server.sh.
#include <gtest/gtest.h>

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
// helpers a little later); gives the count once it has stopped falling to
// the expected value, or the last one seen.
int SettledCount(int (*count)(), int expected) {
    int now = count();
    for (int i = 0; i < 200 && now > expected; ++i) {
        Sleep(10);
        now = count();
    }
    return now;
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
    const int threadsOff = SettledCount(ThreadCount, 0);

    ASSERT_EQ(decoder.OpenSound(port), 0);
    const int threadsOn = ThreadCount();
    EXPECT_GT(threadsOn, threadsOff);
    EXPECT_EQ(decoder.OpenSound(port), 0);
    EXPECT_EQ(decoder.OpenSound(port), 0);
    EXPECT_EQ(ThreadCount(), threadsOn) << "another audio thread was started";
    EXPECT_EQ(decoder.SetVolume(port, 0xFFFF), 0);
    ASSERT_EQ(decoder.CloseSound(port), 0);
    EXPECT_EQ(SettledCount(ThreadCount, threadsOff), threadsOff) << "an audio thread is left running";
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
    const int threads = SettledCount(ThreadCount, 0);
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
    EXPECT_TRUE(sound.StopFeeding()) << "the intake held the SDK's thread";
    EXPECT_EQ(SettledCount(ThreadCount, threads), threads);
    // A handle lost per round would show 500 times over; the system may
    // keep a few of its own.
    EXPECT_LE(SettledCount(OpenHandleCount, handles), handles + 10);
}

// Closing a port whose sound is on (and that still plays) switches its
// sound off: the audio thread ends with it.
TEST(SoundControl, ClosingAPortWithTheSoundOnEndsItsAudioThread) {
    SoundPort sound;
    ASSERT_EQ(sound.failure(), "");
    Orvane::IVideoDecoder_M& decoder = sound.decoder();
    const int port = sound.port();
    ASSERT_EQ(decoder.OpenSound(port), 0);
    ASSERT_EQ(decoder.CloseSound(port), 0);
    const int threadsOff = SettledCount(ThreadCount, 0);

    ASSERT_EQ(decoder.OpenSound(port), 0);
    sound.StartFeeding(SineBlocks(440, 8000, 16000, 1600), true);
    ASSERT_GT(ThreadCount(), threadsOff + 1);  // the audio and feeder threads at least
    EXPECT_EQ(decoder.CloseStream(port), 0);
    EXPECT_TRUE(sound.StopFeeding()) << "the intake held the SDK's thread after the close";
    EXPECT_EQ(SettledCount(ThreadCount, threadsOff), threadsOff) << "a thread of the closed port is left running";
    EXPECT_EQ(decoder.SetVolume(port, 0xFFFF), static_cast<int>(E_FAIL));
}

}  // namespace
}  // namespace vdtest

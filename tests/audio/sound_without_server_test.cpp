// With no sound server at all there is no wave-out device: sound can still
// be switched on and off, the volume is refused, and the port's sound queue
// keeps draining so that the SDK's thread is never held for good. Runs
// under with_display.sh and with_sound_server.sh --none.
#include <gtest/gtest.h>

#include "common/sink_recorder.h"
#include "common/sound_port.h"
#include "common/sound_signal.h"
#include "audio/mixer.h"

namespace vdtest {
namespace {

TEST(SoundWithoutServer, SoundGoesOnAndOffWithoutADeviceAndTheVolumeIsRefused) {
    ASSERT_EQ(SoundSinkName(), "") << "a sound server is there";
    SoundPort sound;
    ASSERT_EQ(sound.failure(), "");
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(sound.decoder().OpenSound(sound.port()), 0);
        // The device was tried before OpenSound returned, and failed.
        EXPECT_EQ(sound.decoder().SetVolume(sound.port(), 0xFFFF), static_cast<int>(E_FAIL));
        ASSERT_EQ(sound.decoder().CloseSound(sound.port()), 0);
    }
}

TEST(SoundWithoutServer, TheSoundQueueKeepsDrainingSoTheIntakeIsNeverHeld) {
    SoundPort sound;
    ASSERT_EQ(sound.failure(), "");
    ASSERT_EQ(sound.decoder().OpenSound(sound.port()), 0);
    // Ten times what the queue and the device's buffers could hold.
    const auto blocks = SineBlocks(440, 8000, 100 * 3200, 6400);
    sound.StartFeeding(blocks);
    EXPECT_TRUE(sound.WaitFed(60000)) << "only " << sound.fed() << " of " << blocks.size() << " blocks were taken";
    EXPECT_EQ(sound.decoder().CloseSound(sound.port()), 0);
}

TEST(SoundWithoutServer, TheMixerRefusesTheVolume) {
    vd::CMixer mixer;
    EXPECT_FALSE(mixer.SetVolume(0xFFFF));
}

}  // namespace
}  // namespace vdtest

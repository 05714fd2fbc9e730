// The recording checks of the sound tests find what they are there for: a
// break in the sound, a lost or changed piece, a wrong pitch or level.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "common/sound_signal.h"

namespace vdtest {
namespace {

constexpr double kTone = 440;
constexpr double kAmplitude = 12000;

std::vector<std::int16_t> Silence(int count) { return std::vector<std::int16_t>(static_cast<std::size_t>(count), 0); }

void Append(std::vector<std::int16_t>& to, const std::vector<std::int16_t>& more) {
    to.insert(to.end(), more.begin(), more.end());
}

// The tone is found between silences; breaks of silence in it are measured
// and taken out, and what remains is the tone itself.
TEST(SoundAnalysis, BreaksAreMeasuredAndTakenOutOfTheTone) {
    const std::vector<std::int16_t> tone = SineSamples(kTone, kAmplitude, 0, 32000);
    std::vector<std::int16_t> recording = Silence(4000);
    recording.insert(recording.end(), tone.begin(), tone.begin() + 10000);
    Append(recording, Silence(80));  // 5 ms of a sound server running dry
    recording.insert(recording.end(), tone.begin() + 10000, tone.begin() + 20000);
    Append(recording, Silence(160));
    recording.insert(recording.end(), tone.begin() + 20000, tone.end());
    Append(recording, Silence(4000));
    const SoundAnalysis a = AnalyseSound(recording);
    SCOPED_TRACE(Describe(a));
    ASSERT_TRUE(a.heard);
    EXPECT_EQ(a.firstLoud, 4000);
    EXPECT_EQ(a.lastLoud, 4000 + 32000 + 240 - 1);
    EXPECT_EQ(a.breaks, 2);
    EXPECT_DOUBLE_EQ(a.breakMs, 15);
    EXPECT_DOUBLE_EQ(a.longestBreakMs, 10);
    EXPECT_EQ(a.longestBreakAt, 4000 + 20080);
    EXPECT_EQ(FirstMismatch(a.sound, tone, 0), -1);
    EXPECT_NEAR(a.frequency, kTone, 0.1);
    EXPECT_NEAR(a.rms, kAmplitude / std::sqrt(2.0), 20);
    EXPECT_LE(a.largestStep, SineMaxStep(kTone, kAmplitude) + 1);
}

TEST(SoundAnalysis, FaultsOfPlayingShowInTheMeasures) {
    const std::vector<std::int16_t> tone = SineSamples(kTone, kAmplitude, 0, 32000);
    // A buffer of 3200 samples holds a whole number of the tone's periods,
    // so losing or repeating one shows only in the length; any other piece
    // shows where it happened, and as a jump.
    std::vector<std::int16_t> lostBuffer = SineSamples(kTone, kAmplitude, 0, 16000);
    Append(lostBuffer, SineSamples(kTone, kAmplitude, 16000 + 3200, 32000 - 16000 - 3200));
    std::vector<std::int16_t> lostPiece = SineSamples(kTone, kAmplitude, 0, 10013);
    Append(lostPiece, SineSamples(kTone, kAmplitude, 10013 + 1001, 16000));
    std::vector<std::int16_t> repeated = SineSamples(kTone, kAmplitude, 0, 16000);
    Append(repeated, SineSamples(kTone, kAmplitude, 16000 - 3200, 32000 - 16000 + 3200));
    std::vector<std::int16_t> cutShort(tone.begin(), tone.end() - 100);

    struct Case {
        const char* fault;
        std::vector<std::int16_t> recording;
        std::function<bool(const SoundAnalysis&)> shows;
    } cases[] = {
        {"a lost buffer", lostBuffer,
         [&](const SoundAnalysis& a) { return a.seconds < 1.9 && FirstMismatch(a.sound, tone, 2) != -1; }},
        {"a lost piece", lostPiece,
         [&](const SoundAnalysis& a) {
             return a.largestStep > 1.5 * SineMaxStep(kTone, kAmplitude) && FirstMismatch(a.sound, tone, 2) == 10013;
         }},
        {"a buffer played twice", repeated,
         [&](const SoundAnalysis& a) { return a.seconds > 2.1 && FirstMismatch(a.sound, tone, 2) != -1; }},
        {"the end cut off", cutShort, [&](const SoundAnalysis& a) { return FirstMismatch(a.sound, tone, 2) == 31900; }},
        {"a wrong pitch", SineSamples(445, kAmplitude, 0, 16000),
         [](const SoundAnalysis& a) { return std::fabs(a.frequency - kTone) > 4; }},
        {"half the level", SineSamples(kTone, kAmplitude / 2, 0, 16000),
         [](const SoundAnalysis& a) { return a.rms < 0.6 * kAmplitude / std::sqrt(2.0); }},
        {"nothing", Silence(16000), [](const SoundAnalysis& a) { return !a.heard; }},
    };
    for (const Case& c : cases) {
        const SoundAnalysis a = AnalyseSound(c.recording);
        EXPECT_TRUE(c.shows(a)) << c.fault << ": " << Describe(a) << " mismatch at " << FirstMismatch(a.sound, tone, 2);
    }
}

TEST(SoundAnalysis, BlocksJoinIntoOneSeamlessTone) {
    const auto blocks = SineBlocks(kTone, kAmplitude, 32000, 6000);
    ASSERT_EQ(blocks.size(), 11u);
    EXPECT_EQ(blocks.front().size(), 6000u);
    EXPECT_EQ(blocks.back().size(), 4000u);  // what is left of the tone
    std::string joined;
    for (const auto& b : blocks) joined.append(b.begin(), b.end());
    EXPECT_EQ(SamplesOf(joined), SineSamples(kTone, kAmplitude, 0, 32000));
}

}  // namespace
}  // namespace vdtest

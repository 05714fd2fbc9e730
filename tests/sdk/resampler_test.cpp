#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <random>

#include "core/resampler.h"
#include "core/sound_format.h"

using namespace demoplay;

namespace {

constexpr double kPi = 3.14159265358979323846;

std::vector<uint8_t> Tone16(int rate, int channels, double hz, double seconds, double amplitude) {
    int n = int(rate * seconds);
    std::vector<uint8_t> out;
    out.reserve(size_t(n) * channels * 2);
    for (int i = 0; i < n; ++i) {
        int16_t v = int16_t(std::lround(amplitude * std::sin(2 * kPi * hz * i / rate)));
        for (int c = 0; c < channels; ++c) {
            out.push_back(uint8_t(v));
            out.push_back(uint8_t(uint16_t(v) >> 8));
        }
    }
    return out;
}

double Rms(const std::vector<int16_t>& s, size_t from, size_t to) {
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += double(s[i]) * s[i];
    return std::sqrt(sum / double(to - from));
}

// Rising zero crossings per second over [from, to).
double Frequency(const std::vector<int16_t>& s, size_t from, size_t to) {
    int crossings = 0;
    size_t first = 0, last = 0;
    for (size_t i = from + 1; i < to; ++i) {
        if (s[i - 1] < 0 && s[i] >= 0) {
            if (crossings == 0) first = i;
            last = i;
            ++crossings;
        }
    }
    return crossings > 1 ? double(crossings - 1) * kOutputRate / double(last - first) : 0;
}

TEST(Resampler, TonePassesAtItsFrequencyAndLevel) {
    struct Case {
        int rate, channels;
    };
    for (Case c : {Case{8000, 1}, Case{11025, 2}, Case{16000, 1}, Case{22050, 1}, Case{44100, 2}, Case{48000, 6},
                   Case{96000, 2}}) {
        Resampler r;
        ASSERT_TRUE(r.Configure(uint32_t(c.rate), c.channels, 16));
        std::vector<uint8_t> in = Tone16(c.rate, c.channels, 1000, 1.0, 8000);
        std::vector<int16_t> out;
        r.Process(in.data(), in.size(), &out);
        // One second in, one second out, less the filter's reach at the end.
        EXPECT_NEAR(double(out.size()), 16000.0, 16000.0 * r.halfWidth() / c.rate + 2) << c.rate;
        EXPECT_LE(out.size(), 16000u);
        EXPECT_NEAR(Rms(out, 2000, 14000), 8000 / std::sqrt(2.0), 8000 * 0.02) << c.rate;
        EXPECT_NEAR(Frequency(out, 2000, 14000), 1000.0, 5.0) << c.rate;
    }
}

TEST(Resampler, TonesAboveTheOutputNyquistRateAreRemoved) {
    // Without the low-pass filter these would fold back to 4 kHz and 6 kHz.
    struct Case {
        int rate;
        double hz;
    };
    for (Case c : {Case{48000, 12000}, Case{44100, 10000}, Case{32000, 9500}}) {
        Resampler r;
        ASSERT_TRUE(r.Configure(uint32_t(c.rate), 1, 16));
        std::vector<uint8_t> in = Tone16(c.rate, 1, c.hz, 0.5, 16000);
        std::vector<int16_t> out;
        r.Process(in.data(), in.size(), &out);
        ASSERT_GT(out.size(), 6000u);
        EXPECT_LT(Rms(out, 1000, 6000), 16000 * 0.01) << c.rate << " Hz input, tone " << c.hz;
    }
}

TEST(Resampler, OutputDoesNotDependOnHowTheInputIsCut) {
    for (int channels : {1, 3}) {
        std::vector<uint8_t> in = Tone16(44100, channels, 440, 0.3, 12000);
        Resampler whole;
        ASSERT_TRUE(whole.Configure(44100, channels, 16));
        std::vector<int16_t> expected;
        whole.Process(in.data(), in.size(), &expected);

        Resampler pieces;
        ASSERT_TRUE(pieces.Configure(44100, channels, 16));
        std::vector<int16_t> got;
        std::mt19937 rng(channels);
        for (size_t pos = 0; pos < in.size();) {
            size_t n = std::min<size_t>(in.size() - pos, 1 + rng() % 700);
            pieces.Process(in.data() + pos, n, &got);
            pos += n;
        }
        EXPECT_EQ(got, expected);
    }
}

TEST(Resampler, ResetStartsAfresh) {
    std::vector<uint8_t> in = Tone16(22050, 1, 1000, 0.2, 8000);
    Resampler a, b;
    ASSERT_TRUE(a.Configure(22050, 1, 16));
    ASSERT_TRUE(b.Configure(22050, 1, 16));
    std::vector<int16_t> first, second, fresh;
    a.Process(in.data(), 1001, &first);  // leaves half a sample behind
    a.Reset();
    a.Process(in.data(), in.size(), &second);
    b.Process(in.data(), in.size(), &fresh);
    EXPECT_EQ(second, fresh);
}

TEST(Resampler, EightBitSoundIsCentredAndScaled) {
    std::vector<uint8_t> in(16000);
    for (size_t i = 0; i < in.size(); ++i) in[i] = uint8_t(128 + std::lround(60 * std::sin(2 * kPi * 500 * i / 16000)));
    Resampler r;
    ASSERT_TRUE(r.Configure(16000, 1, 8));
    std::vector<int16_t> out;
    r.Process(in.data(), in.size(), &out);
    ASSERT_GT(out.size(), 14000u);
    EXPECT_NEAR(Rms(out, 1000, 14000), 60 * 256 / std::sqrt(2.0), 60 * 256 * 0.03);
}

// 16 kHz mono 16-bit sound needs no conversion: every sample comes out as
// it went in, from the first one on, however the input is cut.
TEST(Resampler, SixteenKilohertzMonoPassesThroughUnchanged) {
    std::mt19937 rng(5);
    std::vector<uint8_t> in(2 * 20000);
    for (uint8_t& b : in) b = uint8_t(rng());
    in[0] = 0x00, in[1] = 0x80;  // -32768
    in[2] = 0xFF, in[3] = 0x7F;  // 32767
    for (size_t maxPiece : {size_t(1), size_t(333), in.size()}) {
        Resampler r;
        ASSERT_TRUE(r.Configure(16000, 1, 16));
        std::vector<int16_t> out;
        for (size_t pos = 0; pos < in.size();) {
            size_t n = std::min<size_t>(in.size() - pos, 1 + rng() % maxPiece);
            r.Process(in.data() + pos, n, &out);
            pos += n;
        }
        ASSERT_EQ(out.size() * 2, in.size()) << maxPiece;
        EXPECT_EQ(std::memcmp(out.data(), in.data(), in.size()), 0) << maxPiece;
    }
}

// Each stored format, holding the values of a 16-bit tone, gives that tone:
// exactly at 16 kHz, and at 44.1 kHz the same as the 16-bit samples give.
TEST(Resampler, EverySampleFormatGivesItsFullValue) {
    struct Case {
        const char* name;
        int bits;
        SampleFormat format;
    };
    const Case cases[] = {
        {"8-bit", 8, SampleFormat::kInteger},   {"24-bit", 24, SampleFormat::kInteger},
        {"32-bit", 32, SampleFormat::kInteger}, {"float", 32, SampleFormat::kFloat},
        {"double", 64, SampleFormat::kFloat},
    };
    for (int rate : {16000, 44100}) {
        for (int channels : {1, 2}) {
            // 8-bit sound holds only multiples of 256.
            std::vector<uint8_t> tone16 = Tone16(rate, channels, 700, 0.25, 8000);
            for (size_t i = 0; i < tone16.size(); i += 2) tone16[i] = 0;
            Resampler reference;
            ASSERT_TRUE(reference.Configure(uint32_t(rate), channels, 16));
            std::vector<int16_t> expected;
            reference.Process(tone16.data(), tone16.size(), &expected);
            ASSERT_GT(expected.size(), 3000u);
            for (const Case& c : cases) {
                std::vector<uint8_t> in;
                for (size_t i = 0; i < tone16.size(); i += 2) {
                    const int16_t v = int16_t(uint16_t(tone16[i] | (tone16[i + 1] << 8)));
                    uint8_t bytes[8] = {0};
                    if (c.format == SampleFormat::kFloat && c.bits == 32) {
                        float f = float(v) / 32768.0f;
                        std::memcpy(bytes, &f, 4);
                    } else if (c.format == SampleFormat::kFloat) {
                        double d = double(v) / 32768.0;
                        std::memcpy(bytes, &d, 8);
                    } else if (c.bits == 8) {
                        bytes[0] = uint8_t(128 + v / 256);
                    } else {
                        // The value in the top 16 bits, lower bits that round away.
                        uint32_t x = (uint32_t(int32_t(v)) << (c.bits - 16)) | (1u << (c.bits - 19));
                        for (int k = 0; k < c.bits / 8; ++k) bytes[k] = uint8_t(x >> (8 * k));
                    }
                    in.insert(in.end(), bytes, bytes + c.bits / 8);
                }
                Resampler r;
                ASSERT_TRUE(r.Configure(uint32_t(rate), channels, c.bits, c.format)) << c.name;
                std::vector<int16_t> got;
                r.Process(in.data(), in.size(), &got);
                ASSERT_EQ(got.size(), expected.size()) << c.name << " " << rate;
                int worst = 0;
                for (size_t i = 0; i < got.size(); ++i) worst = std::max(worst, std::abs(got[i] - expected[i]));
                EXPECT_LE(worst, rate == 16000 ? 0 : 1)
                    << c.name << " at " << rate << " Hz, " << channels << " channels";
            }
        }
    }
}

// Float sound beyond full scale is clipped; values that are not numbers are
// silence.
TEST(Resampler, FloatSoundBeyondFullScaleIsClipped) {
    const float values[] = {2.0f, -2.0f, NAN, INFINITY, 0.5f};
    const int16_t expected[] = {32767, -32768, 0, 0, 16384};
    std::vector<uint8_t> in(sizeof values);
    std::memcpy(in.data(), values, sizeof values);
    Resampler r;
    ASSERT_TRUE(r.Configure(16000, 1, 32, SampleFormat::kFloat));
    std::vector<int16_t> out;
    r.Process(in.data(), in.size(), &out);
    EXPECT_EQ(out, std::vector<int16_t>(std::begin(expected), std::end(expected)));
}

TEST(Resampler, RefusesFormatsItCannotRead) {
    Resampler r;
    EXPECT_FALSE(r.Configure(0, 1, 16));
    EXPECT_FALSE(r.Configure(999, 1, 16));
    EXPECT_FALSE(r.Configure(500000, 1, 16));
    EXPECT_FALSE(r.Configure(44100, 0, 16));
    EXPECT_FALSE(r.Configure(44100, 17, 16));
    EXPECT_FALSE(r.Configure(44100, 2, 12));
    EXPECT_FALSE(r.Configure(44100, 2, 16, SampleFormat::kFloat));
    EXPECT_FALSE(r.Configure(44100, 2, 24, SampleFormat::kFloat));
    std::vector<int16_t> out;
    uint8_t data[4] = {1, 2, 3, 4};
    r.Process(data, sizeof data, &out);  // unconfigured: nothing
    EXPECT_TRUE(out.empty());
}

// The sound formats the resampler is fed from: which stream formats are
// played, and where their positions lie in time.
struct SoundFormatCase {
    const char* what;
    uint16_t tag;
    int channels;
    uint32_t rate;
    uint16_t blockAlign;
    uint16_t bits;
    std::vector<uint8_t> extra;  // after the WAVEFORMATEX, counted in its cbSize
    SoundCodec codec;
    // Expected: the time of a position, and the position 300 ms falls in.
    uint64_t units, ms;
    uint64_t unitsAt300;
    std::vector<uint8_t> setUp;
};

AudioStreamInfo StreamOf(const SoundFormatCase& c) {
    AudioStreamInfo a;
    a.formatTag = c.tag;
    a.pcm = c.tag == 1;
    a.ieeeFloat = c.tag == 3;
    a.channels = uint16_t(c.channels);
    a.samplesPerSec = c.rate;
    a.blockAlign = c.blockAlign;
    a.bitsPerSample = c.bits;
    a.strf.assign(18, 0);
    a.strf[16] = uint8_t(c.extra.size());
    a.strf.insert(a.strf.end(), c.extra.begin(), c.extra.end());
    return a;
}

class SoundFormats : public ::testing::TestWithParam<SoundFormatCase> {};

TEST_P(SoundFormats, EachFormatIsPlayedWithItsOwnTiming) {
    const SoundFormatCase& c = GetParam();
    const SoundFormat f = DescribeSound(StreamOf(c));
    EXPECT_EQ(f.codec, c.codec) << c.what;
    if (c.codec == SoundCodec::kNone) {
        EXPECT_FALSE(f.usable()) << c.what;
        return;
    }
    ASSERT_TRUE(f.usable()) << c.what;
    EXPECT_EQ(f.Ms(c.units), c.ms) << c.what;
    EXPECT_EQ(f.UnitsAt(300), c.unitsAt300) << c.what;
    EXPECT_LE(f.Ms(f.UnitsAt(300)), 300u) << c.what;
    EXPECT_EQ(f.setUp, c.setUp) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Tags, SoundFormats,
    ::testing::Values(
        SoundFormatCase{"PCM 16-bit mono 16 kHz", 1, 1, 16000, 2, 16, {}, SoundCodec::kPcm, 32000, 1000, 9600, {}},
        SoundFormatCase{"A-law mono 8 kHz", 6, 1, 8000, 1, 8, {}, SoundCodec::kAlaw, 8000, 1000, 2400, {}},
        SoundFormatCase{"mu-law stereo 8 kHz", 7, 2, 8000, 2, 8, {}, SoundCodec::kMulaw, 16000, 1000, 4800, {}},
        SoundFormatCase{"A-law whose block is not a sample", 6, 1, 8000, 2, 8, {}, SoundCodec::kNone, 0, 0, 0, {}},
        // 1 + (1024 - 4) / 4 * 8 = 2041 samples a block, 255.1 ms: four blocks
        // end at 1020.5 ms; 300 ms falls in the second.
        SoundFormatCase{
            "IMA ADPCM mono 8 kHz", 0x11, 1, 8000, 1024, 4, {0xF9, 0x07}, SoundCodec::kImaAdpcm, 4096, 1020, 1024, {}},
        SoundFormatCase{"IMA ADPCM stereo 8 kHz",
                        0x11,
                        2,
                        8000,
                        2048,
                        4,
                        {0xF9, 0x07},
                        SoundCodec::kImaAdpcm,
                        8192,
                        1020,
                        2048,
                        {}},
        SoundFormatCase{"IMA ADPCM of 3 bits", 0x11, 1, 8000, 1024, 3, {}, SoundCodec::kNone, 0, 0, 0, {}},
        SoundFormatCase{
            "IMA ADPCM of a block that is no whole group", 0x11, 1, 8000, 1022, 4, {}, SoundCodec::kNone, 0, 0, 0, {}},
        // A chunk a frame of 1024 samples: 64 ms at 16 kHz, 128 ms at 8 kHz.
        SoundFormatCase{"AAC with its AudioSpecificConfig",
                        0xFF,
                        1,
                        16000,
                        0,
                        0,
                        {0x14, 0x08},
                        SoundCodec::kAac,
                        15,
                        960,
                        4,
                        {0x14, 0x08}},
        SoundFormatCase{
            "AAC without one: made for LC", 0xFF, 1, 8000, 1, 16, {}, SoundCodec::kAac, 7, 896, 2, {0x15, 0x88}},
        SoundFormatCase{
            "ADTS AAC stereo 48 kHz", 0x1600, 2, 48000, 0, 0, {}, SoundCodec::kAac, 46, 981, 14, {0x11, 0x90}},
        SoundFormatCase{"MPEG layer 3", 0x55, 1, 8000, 1, 0, {}, SoundCodec::kNone, 0, 0, 0, {}},
        SoundFormatCase{"A-law at 500 Hz", 6, 1, 500, 1, 8, {}, SoundCodec::kNone, 0, 0, 0, {}}),
    [](const ::testing::TestParamInfo<SoundFormatCase>& i) {
        std::string name;
        for (const char* p = i.param.what; *p; ++p) name += std::isalnum(uint8_t(*p)) ? *p : '_';
        return name;
    });

}  // namespace

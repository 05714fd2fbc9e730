#include "sdk/sample_avi.h"

#include "sdk/riff_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#endif
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace vdsample {
namespace {

using demoplay_test::Fcc;
using Buf = demoplay_test::Writer;

struct ChunkPos {
    uint64_t headerAt;
    uint32_t size;
};

const char* CompressionCode(Video v) {
    switch (v) {
        case Video::kI420:
            return "I420";
        case Video::kYv12:
            return "YV12";
        case Video::kYuy2:
            return "YUY2";
        case Video::kUyvy:
            return "UYVY";
        case Video::kMjpeg:
            return "MJPG";
        default:
            return nullptr;
    }
}

uint16_t BitCount(Video v) {
    switch (v) {
        case Video::kI420:
        case Video::kYv12:
            return 12;
        case Video::kYuy2:
        case Video::kUyvy:
            return 16;
        case Video::kMjpeg:
        case Video::kRgb24:
            return 24;
        default:
            return 32;
    }
}

uint8_t Pattern(int x, int y, int n, int plane) { return uint8_t(x * 3 + y * 5 + n * 7 + plane * 50); }

void JpegWrite(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    const uint8_t* p = static_cast<const uint8_t*>(data);
    out->insert(out->end(), p, p + size);
}

}  // namespace

const char* VideoName(Video v) {
    static const char* const names[] = {"I420", "YV12", "YUY2", "UYVY", "RGB32", "RGB32topdown", "MJPEG", "RGB24"};
    return names[int(v)];
}

const char* IndexName(Index i) {
    static const char* const names[] = {"idx1", "idx1absolute", "noindex", "OpenDML"};
    return names[int(i)];
}

const char* SoundName(Sound sound) {
    static const char* const names[] = {"pcm16", "pcm24", "pcm32", "float32", "float64", "pcm24ext", "float32ext"};
    return names[int(sound)];
}

int SoundSampleBytes(Sound sound) {
    switch (sound) {
        case Sound::kPcm16:
            return 2;
        case Sound::kPcm24:
        case Sound::kPcm24Extensible:
            return 3;
        case Sound::kFloat64:
            return 8;
        default:
            return 4;
    }
}

int JpegLevel(int n) { return 30 + (n * 17) % 190; }
int BottomFieldLevel(int n) { return 255 - JpegLevel(n); }
int StudioLevel(int level) { return 16 + (level * 219 + 127) / 255; }

std::vector<int16_t> ToneSamples(const Recipe& s) {
    std::vector<int16_t> out;
    if (s.audioRate <= 0) return out;
    const int64_t total = int64_t(s.frames) * s.audioRate / s.fps;
    out.reserve(size_t(total));
    for (int64_t i = 0; i < total; ++i)
        out.push_back(
            int16_t(std::lround(8000.0 * std::sin(2 * 3.14159265358979 * s.toneHz * double(i) / s.audioRate))));
    return out;
}

int SamplesForPicture(const Recipe& recipe, int n) {
    if (recipe.audioRate <= 0) return 0;
    int64_t a = int64_t(n) * recipe.audioRate / recipe.fps;
    int64_t b = int64_t(n + 1) * recipe.audioRate / recipe.fps;
    return int(b - a);
}

std::vector<uint8_t> StoredPicture(const Recipe& s, int n) {
    const int w = s.width, h = s.height;
    std::vector<uint8_t> out;
    switch (s.video) {
        case Video::kI420:
        case Video::kYv12: {
            out.resize(size_t(w) * h * 3 / 2);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) out[size_t(y) * w + x] = Pattern(x, y, n, 0);
            size_t c = size_t(w / 2) * (h / 2);
            for (size_t i = 0; i < c; ++i) {
                out[size_t(w) * h + i] = uint8_t(Pattern(int(i), 1, n, 1));
                out[size_t(w) * h + c + i] = uint8_t(Pattern(int(i), 2, n, 2));
            }
            out[0] = uint8_t(n);
            out[1] = uint8_t(n >> 8);
            break;
        }
        case Video::kYuy2:
        case Video::kUyvy: {
            out.resize(size_t(w) * h * 2);
            for (size_t i = 0; i < out.size(); ++i) out[i] = Pattern(int(i % (w * 2)), int(i / (w * 2)), n, 0);
            size_t y0 = s.video == Video::kYuy2 ? 0 : 1;
            out[y0] = uint8_t(n);
            out[y0 + 2] = uint8_t(n >> 8);
            break;
        }
        case Video::kRgb32:
        case Video::kRgb32TopDown:
        case Video::kRgb24: {
            // Built as the picture is seen, top row first, then stored bottom-up
            // unless the file says top-down; 24-bit rows padded to 4 bytes.
            const int bytes = s.video == Video::kRgb24 ? 3 : 4;
            const size_t stride = (size_t(w) * bytes + 3) / 4 * 4;
            std::vector<uint8_t> visual(stride * h);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    for (int c = 0; c < bytes; ++c)
                        visual[size_t(y) * stride + size_t(x) * bytes + c] = Pattern(x, y, n, c);
            visual[0] = uint8_t(n);
            visual[1] = uint8_t(n >> 8);
            if (s.video == Video::kRgb32TopDown) return visual;
            out.resize(visual.size());
            for (int y = 0; y < h; ++y)
                std::memcpy(&out[size_t(h - 1 - y) * stride], &visual[size_t(y) * stride], stride);
            break;
        }
        case Video::kMjpeg: {
            if (!s.interlaced) {
                std::vector<uint8_t> rgb(size_t(w) * h * 3, uint8_t(JpegLevel(n)));
                stbi_write_jpg_to_func(JpegWrite, &out, w, h, 3, rgb.data(), 90);
                break;
            }
            // The top field, then the bottom one, each a picture of half height.
            for (int level : {JpegLevel(n), BottomFieldLevel(n)}) {
                std::vector<uint8_t> rgb(size_t(w) * (h / 2) * 3, uint8_t(level));
                stbi_write_jpg_to_func(JpegWrite, &out, w, h / 2, 3, rgb.data(), 90);
            }
            break;
        }
    }
    return out;
}

std::vector<uint8_t> DeliveredPicture(const Recipe& s, int n) {
    if (s.video != Video::kRgb32TopDown && s.video != Video::kRgb24) return StoredPicture(s, n);
    Recipe bottomUp = s;
    bottomUp.video = Video::kRgb32;
    std::vector<uint8_t> out = StoredPicture(bottomUp, n);
    if (s.video == Video::kRgb24) {
        for (size_t i = 3; i < out.size(); i += 4) out[i] = 0;  // the unused byte
    }
    return out;
}

int PictureNumber(int kind, const uint8_t* d, size_t size, int width, int height) {
    if (size < 4 || width <= 0 || height <= 0) return -1;
    switch (kind) {
        case 3:
        case 5:
            return d[0] | (d[1] << 8);
        case 6:
            return d[0] | (d[2] << 8);
        case 4:
            return d[1] | (d[3] << 8);
        case 2: {
            size_t top = size_t(height - 1) * size_t(width) * 4;
            if (top + 4 > size) return -1;
            return d[top] | (d[top + 1] << 8);
        }
    }
    return -1;
}

namespace {

bool FloatSound(Sound sound) {
    return sound == Sound::kFloat32 || sound == Sound::kFloat64 || sound == Sound::kFloat32Extensible;
}

// One sample of one channel in the recipe's format.
void PutSample(Buf& f, Sound sound, int16_t v) {
    switch (sound) {
        case Sound::kPcm16:
            f.u16(uint16_t(v));
            break;
        case Sound::kPcm24:
        case Sound::kPcm24Extensible: {
            uint32_t x = (uint32_t(int32_t(v)) << 8) | 0x40;  // the low byte rounds away
            f.u8(uint8_t(x));
            f.u8(uint8_t(x >> 8));
            f.u8(uint8_t(x >> 16));
            break;
        }
        case Sound::kPcm32:
            f.u32((uint32_t(int32_t(v)) << 16) | 0x4000);
            break;
        case Sound::kFloat32:
        case Sound::kFloat32Extensible: {
            float x = float(v) / 32768.0f;
            uint32_t bits;
            std::memcpy(&bits, &x, 4);
            f.u32(bits);
            break;
        }
        case Sound::kFloat64: {
            double x = double(v) / 32768.0;
            uint64_t bits;
            std::memcpy(&bits, &x, 8);
            f.u64(bits);
            break;
        }
    }
}

}  // namespace

File Make(const Recipe& s) {
    Buf f;
    const bool audio = s.audioRate > 0;
    const bool odml = s.index == Index::kOpenDml;
    const int ch = s.audioChannels;
    const uint32_t soundFrameBytes = uint32_t(ch * SoundSampleBytes(s.sound));
    const bool extensible = s.sound == Sound::kPcm24Extensible || s.sound == Sound::kFloat32Extensible;
    const std::vector<int16_t> tone = ToneSamples(s);
    const int riffCount = odml ? (s.frames + s.framesPerRiff - 1) / s.framesPerRiff : 1;
    const int superSlots = riffCount > 0 ? riffCount : 1;
    const int w = s.width, h = s.height;
    const bool topDown = s.video == Video::kRgb32TopDown;
    const char* comp = CompressionCode(s.video);
    const uint32_t frameBytes = s.video == Video::kMjpeg ? uint32_t(w) * h * 3 : uint32_t(StoredPicture(s, 0).size());

    size_t riff = f.open("RIFF", "AVI ");
    size_t hdrl = f.open("LIST", "hdrl");
    f.fcc("avih");
    f.u32(56);
    f.u32(uint32_t(1000000 / s.fps));
    f.u32(0);
    f.u32(0);
    f.u32(0x10);
    f.u32(uint32_t(odml ? std::min(s.frames, s.framesPerRiff) : s.frames));
    f.u32(0);
    f.u32(audio ? 2 : 1);
    f.u32(frameBytes);
    f.u32(uint32_t(w));
    f.u32(uint32_t(h));
    f.zeros(16);

    size_t superAt[2] = {0, 0};
    auto streamList = [&](bool video) {
        size_t strl = f.open("LIST", "strl");
        f.fcc("strh");
        f.u32(56);
        f.fcc(video ? "vids" : "auds");
        f.u32(video ? (comp ? Fcc(comp) : 0) : 0);
        f.u32(0);
        f.u16(0);
        f.u16(0);
        f.u32(0);
        if (video) {
            f.u32(1);
            f.u32(uint32_t(s.fps));
        } else {
            f.u32(soundFrameBytes);
            f.u32(uint32_t(s.audioRate) * soundFrameBytes);
        }
        f.u32(0);
        f.u32(video ? uint32_t(s.frames) : uint32_t(s.frames) * uint32_t(s.audioRate) / uint32_t(s.fps));
        f.u32(video ? frameBytes : uint32_t(s.audioRate) * soundFrameBytes);
        f.u32(0xFFFFFFFFu);
        f.u32(video ? 0 : soundFrameBytes);
        f.u16(0);
        f.u16(0);
        f.u16(uint16_t(w));
        f.u16(uint16_t(h));
        if (video) {
            f.fcc("strf");
            f.u32(40);
            f.u32(40);
            f.u32(uint32_t(w));
            f.u32(uint32_t(topDown ? -h : h));
            f.u16(1);
            f.u16(BitCount(s.video));
            f.u32(comp ? Fcc(comp) : 0);
            f.u32(frameBytes);
            f.zeros(16);
        } else {
            const uint16_t bits = uint16_t(8 * SoundSampleBytes(s.sound));
            const uint16_t tag = extensible ? 0xFFFE : FloatSound(s.sound) ? 3 : 1;
            f.fcc("strf");
            f.u32(extensible ? 40 : 18);
            f.u16(tag);
            f.u16(uint16_t(ch));
            f.u32(uint32_t(s.audioRate));
            f.u32(uint32_t(s.audioRate) * soundFrameBytes);
            f.u16(uint16_t(soundFrameBytes));
            f.u16(bits);
            f.u16(extensible ? 22 : 0);
            if (extensible) {
                f.u16(bits);                   // valid bits
                f.u32(ch == 1 ? 0x4u : 0x3u);  // channel mask
                // Subformat: the format tag in the first two bytes of a fixed GUID.
                f.u16(FloatSound(s.sound) ? 3 : 1);
                const uint8_t rest[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                          0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
                for (uint8_t b : rest) f.u8(b);
            }
        }
        if (odml) {
            f.fcc("indx");
            f.u32(uint32_t(24 + 16 * superSlots));
            f.u16(4);
            f.u8(0);
            f.u8(0);
            f.u32(uint32_t(riffCount));
            f.fcc(video ? "00dc" : "01wb");
            f.zeros(12);
            superAt[video ? 0 : 1] = f.pos();
            f.zeros(size_t(16) * superSlots);
        }
        f.close(strl);
    };
    streamList(true);
    if (audio) streamList(false);
    f.close(hdrl);
    // Some junk between the headers and the data, as real writers leave.
    f.fcc("JUNK");
    f.u32(10);
    f.zeros(10);

    struct Written {
        const char* id;
        uint64_t at;
        uint32_t size;
    };
    std::vector<Written> all;  // for idx1 (first RIFF only)
    const char* videoId = s.video == Video::kRgb32 || s.video == Video::kRgb24 || topDown ? "00db" : "00dc";
    int64_t sampleIndex = 0;
    size_t firstMoviAt = 0;
    size_t movi = f.open("LIST", "movi");
    firstMoviAt = movi + 4;  // the 'movi' code
    File out;
    out.streamHeaderLength = f.pos();

    int frame = 0;
    for (int r = 0; r < riffCount; ++r) {
        if (r > 0) {
            f.close(movi);
            if (r == 1) {
                // idx1 of the first RIFF
                f.fcc("idx1");
                f.u32(uint32_t(all.size() * 16));
                for (const Written& e : all) {
                    f.fcc(e.id);
                    f.u32(0x10);
                    f.u32(uint32_t(e.at - (s.index == Index::kIdx1Absolute ? 0 : firstMoviAt)));
                    f.u32(e.size);
                }
            }
            f.close(riff);
            riff = f.open("RIFF", "AVIX");
            movi = f.open("LIST", "movi");
        }
        const uint64_t base = movi + 4;
        std::vector<Written> v, a;
        int end = odml ? std::min(s.frames, (r + 1) * s.framesPerRiff) : s.frames;
        for (; frame < end; ++frame) {
            size_t rec = 0;
            if (s.recLists) rec = f.open("LIST", "rec ");
            if (audio && frame % s.soundChunkFrames == 0) {
                int n = 0;
                for (int k = frame; k < frame + s.soundChunkFrames && k < s.frames; ++k) n += SamplesForPicture(s, k);
                const uint32_t bytes = uint32_t(n) * soundFrameBytes;
                f.fcc("01wb");
                f.u32(bytes);
                Written wr{"01wb", f.pos() - 8, bytes};
                for (int i = 0; i < n; ++i, ++sampleIndex)
                    for (int c = 0; c < ch; ++c) PutSample(f, s.sound, tone[size_t(sampleIndex)]);
                if (bytes & 1) f.u8(0);
                a.push_back(wr);
                all.push_back(wr);
            }
            std::vector<uint8_t> pic = StoredPicture(s, frame);
            f.fcc(videoId);
            f.u32(uint32_t(pic.size()));
            Written wr{videoId, f.pos() - 8, uint32_t(pic.size())};
            f.bytes(pic);
            if (pic.size() & 1) f.u8(0);
            v.push_back(wr);
            all.push_back(wr);
            if (s.recLists) f.close(rec);
        }
        if (odml) {
            for (int st = 0; st < (audio ? 2 : 1); ++st) {
                const std::vector<Written>& list = st == 0 ? v : a;
                size_t ixAt = f.pos();
                f.fcc(st == 0 ? "ix00" : "ix01");
                f.u32(uint32_t(24 + 8 * list.size()));
                f.u16(2);
                f.u8(0);
                f.u8(1);
                f.u32(uint32_t(list.size()));
                f.fcc(st == 0 ? videoId : "01wb");
                f.u64(base);
                f.u32(0);
                for (const Written& e : list) {
                    f.u32(uint32_t(e.at + 8 - base));
                    f.u32(e.size);
                }
                f.set64(superAt[st] + size_t(16) * r, ixAt);
                f.set32(superAt[st] + size_t(16) * r + 8, uint32_t(f.pos() - ixAt));
                f.set32(superAt[st] + size_t(16) * r + 12, uint32_t(list.size()));
            }
        }
    }
    f.close(movi);
    if ((s.index == Index::kIdx1 || s.index == Index::kIdx1Absolute) || (odml && riffCount == 1)) {
        f.fcc("idx1");
        f.u32(uint32_t(all.size() * 16));
        for (const Written& e : all) {
            f.fcc(e.id);
            f.u32(0x10);
            f.u32(uint32_t(e.at - (s.index == Index::kIdx1Absolute ? 0 : firstMoviAt)));
            f.u32(e.size);
        }
    }
    f.close(riff);
    out.bytes = std::move(f.b);
    return out;
}

std::vector<uint8_t> SuperIndexOnOneIndex(int superEntries, int indexEntries) {
    Buf f;
    const int w = 32, h = 16;
    const uint32_t frameBytes = uint32_t(w * h * 3 / 2);
    size_t riff = f.open("RIFF", "AVI ");
    size_t hdrl = f.open("LIST", "hdrl");
    f.fcc("avih");
    f.u32(56);
    f.u32(40000);
    f.u32(0);
    f.u32(0);
    f.u32(0x10);
    f.u32(1);
    f.u32(0);
    f.u32(1);
    f.u32(frameBytes);
    f.u32(uint32_t(w));
    f.u32(uint32_t(h));
    f.zeros(16);
    size_t strl = f.open("LIST", "strl");
    f.fcc("strh");
    f.u32(56);
    f.fcc("vids");
    f.fcc("I420");
    f.u32(0);
    f.u16(0);
    f.u16(0);
    f.u32(0);
    f.u32(1);
    f.u32(25);
    f.u32(0);
    f.u32(uint32_t(indexEntries));
    f.u32(frameBytes);
    f.u32(0xFFFFFFFFu);
    f.u32(0);
    f.u16(0);
    f.u16(0);
    f.u16(uint16_t(w));
    f.u16(uint16_t(h));
    f.fcc("strf");
    f.u32(40);
    f.u32(40);
    f.u32(uint32_t(w));
    f.u32(uint32_t(h));
    f.u16(1);
    f.u16(12);
    f.fcc("I420");
    f.u32(frameBytes);
    f.zeros(16);
    f.fcc("indx");
    f.u32(uint32_t(24 + 16 * superEntries));
    f.u16(4);
    f.u8(0);
    f.u8(0);  // an index of indexes
    f.u32(uint32_t(superEntries));
    f.fcc("00dc");
    f.zeros(12);
    const size_t superAt = f.pos();
    f.zeros(size_t(16) * size_t(superEntries));
    f.close(strl);
    f.close(hdrl);
    size_t movi = f.open("LIST", "movi");
    f.fcc("00dc");
    f.u32(frameBytes);
    f.zeros(frameBytes);
    f.close(movi);
    const size_t ixAt = f.pos();
    f.fcc("ix00");
    f.u32(uint32_t(24 + 8 * indexEntries));
    f.u16(2);
    f.u8(0);
    f.u8(1);  // an index of chunks
    f.u32(uint32_t(indexEntries));
    f.fcc("00dc");
    f.u64(uint64_t(1) << 40);  // every entry lands far beyond the end
    f.u32(0);
    for (int i = 0; i < indexEntries; ++i) {
        f.u32(uint32_t(i) * (frameBytes + 8));
        f.u32(frameBytes);
    }
    for (int i = 0; i < superEntries; ++i) {
        f.set64(superAt + size_t(16) * i, ixAt);
        f.set32(superAt + size_t(16) * i + 8, uint32_t(f.pos() - ixAt));
        f.set32(superAt + size_t(16) * i + 12, uint32_t(indexEntries));
    }
    f.close(riff);
    return std::move(f.b);
}

std::vector<uint8_t> PlainFileOfSize(size_t bytes) {
    Recipe r;
    r.width = 4;
    r.height = 2;
    r.index = Index::kOpenDml;
    // Each picture takes its chunk (8 + 12 bytes), a standard index entry (8)
    // and an 'idx1' entry (16); the rest is filled with a JUNK chunk.
    r.frames = int((bytes > 2048 ? bytes - 2048 : 0) / 44);
    for (;; --r.frames) {
        r.framesPerRiff = r.frames + 1;
        std::vector<uint8_t> out = Make(r).bytes;
        if (out.size() + 8 > bytes) continue;
        const size_t junk = bytes - out.size() - 8;  // odd: one less, and its pad byte
        Buf f;
        f.b = std::move(out);
        f.fcc("JUNK");
        f.u32(uint32_t(junk & ~size_t(1)));
        f.zeros(junk);
        f.set32(4, uint32_t(f.pos() - 8));
        return std::move(f.b);
    }
}

}  // namespace vdsample

#include "player/camera_stream.h"

#include <algorithm>
#include <string>

namespace vdplay {
namespace {

void U16(std::vector<uint8_t>* b, uint32_t v) {
    b->push_back(uint8_t(v));
    b->push_back(uint8_t(v >> 8));
}

void U32(std::vector<uint8_t>* b, uint32_t v) {
    U16(b, v & 0xFFFF);
    U16(b, v >> 16);
}

void Fcc(std::vector<uint8_t>* b, const char* code) { b->insert(b->end(), code, code + 4); }

// A chunk (or, with a type, a list) around `body`, padded to an even size.
std::vector<uint8_t> Wrap(const char* id, const char* listType, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> b;
    Fcc(&b, id);
    U32(&b, uint32_t(body.size() + (listType ? 4 : 0)));
    if (listType) Fcc(&b, listType);
    b.insert(b.end(), body.begin(), body.end());
    if (body.size() & 1) b.push_back(0);
    return b;
}

void Append(std::vector<uint8_t>* to, const std::vector<uint8_t>& what) {
    to->insert(to->end(), what.begin(), what.end());
}

const char* FourCcOf(CameraCodec codec) {
    switch (codec) {
        case CameraCodec::kH264:
            return "H264";
        case CameraCodec::kH265:
            return "HEVC";
        case CameraCodec::kMjpeg:
            break;
    }
    return "MJPG";
}

// Bits of an RBSP (emulation-prevention bytes taken out), read MSB first.
class BitReader {
public:
    BitReader(const uint8_t* data, size_t size) {
        int zeros = 0;
        for (size_t i = 0; i < size; ++i) {
            if (zeros >= 2 && data[i] == 3) {
                zeros = 0;
                continue;
            }
            zeros = data[i] == 0 ? zeros + 1 : 0;
            bytes_.push_back(data[i]);
        }
    }
    uint32_t Bits(int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) v = (v << 1) | Bit();
        return v;
    }
    uint32_t Bit() {
        if (pos_ >= bytes_.size() * 8) {
            failed_ = true;
            return 0;
        }
        const uint32_t b = (bytes_[pos_ / 8] >> (7 - pos_ % 8)) & 1;
        ++pos_;
        return b;
    }
    void Skip(size_t n) {
        pos_ += n;
        if (pos_ > bytes_.size() * 8) failed_ = true;
    }
    uint32_t Ue() {
        int zeros = 0;
        while (!failed_ && Bit() == 0)
            if (++zeros > 31) failed_ = true;
        if (failed_) return 0;
        return ((uint32_t(1) << zeros) - 1) + Bits(zeros);
    }
    int32_t Se() {
        const uint32_t v = Ue();
        return v & 1 ? int32_t((v + 1) / 2) : -int32_t(v / 2);
    }
    bool failed() const { return failed_; }

private:
    std::vector<uint8_t> bytes_;
    size_t pos_ = 0;
    bool failed_ = false;
};

struct H264Sequence {
    int frameNumBits = 0;
    bool separatePlanes = false;
};

bool H264Size(BitReader& r, int* width, int* height, H264Sequence* sequence = nullptr) {
    const uint32_t profile = r.Bits(8);
    r.Skip(16);  // constraint flags, level
    r.Ue();      // seq_parameter_set_id
    uint32_t chroma = 1;
    switch (profile) {
        case 100:
        case 110:
        case 122:
        case 244:
        case 44:
        case 83:
        case 86:
        case 118:
        case 128:
        case 138:
        case 139:
        case 134:
        case 135:
            chroma = r.Ue();
            if (chroma == 3 && r.Bit() && sequence) sequence->separatePlanes = true;
            r.Ue();  // bit depths
            r.Ue();
            r.Bit();
            if (r.Bit()) {  // scaling matrices
                for (int i = 0; i < (chroma == 3 ? 12 : 8) && !r.failed(); ++i) {
                    if (!r.Bit()) continue;
                    const int count = i < 6 ? 16 : 64;
                    int last = 8, next = 8;
                    for (int j = 0; j < count && !r.failed(); ++j) {
                        if (next != 0) next = (last + r.Se() + 256) % 256;
                        last = next == 0 ? last : next;
                    }
                }
            }
            break;
        default:
            break;
    }
    const uint32_t frameNumBits = r.Ue() + 4;
    if (sequence) sequence->frameNumBits = frameNumBits <= 16 ? int(frameNumBits) : 0;
    const uint32_t pocType = r.Ue();
    if (pocType == 0) {
        r.Ue();
    } else if (pocType == 1) {
        r.Bit();
        r.Se();
        r.Se();
        const uint32_t cycle = r.Ue();
        if (cycle > 255) return false;
        for (uint32_t i = 0; i < cycle; ++i) r.Se();
    }
    r.Ue();  // max_num_ref_frames
    r.Bit();
    const uint32_t widthMbs = r.Ue() + 1;
    const uint32_t heightUnits = r.Ue() + 1;
    const uint32_t frameMbsOnly = r.Bit();
    if (!frameMbsOnly) r.Bit();
    r.Bit();  // direct_8x8_inference
    uint32_t cropLeft = 0, cropRight = 0, cropTop = 0, cropBottom = 0;
    if (r.Bit()) {
        cropLeft = r.Ue();
        cropRight = r.Ue();
        cropTop = r.Ue();
        cropBottom = r.Ue();
    }
    if (r.failed() || widthMbs > 1024 || heightUnits > 1024) return false;
    const uint32_t cropX = chroma == 0 || chroma == 3 ? 1 : 2;
    const uint32_t cropY = (chroma == 1 ? 2 : 1) * (2 - frameMbsOnly);
    const int64_t w = int64_t(widthMbs) * 16 - int64_t(cropLeft + cropRight) * cropX;
    const int64_t h = int64_t(heightUnits) * 16 * (2 - frameMbsOnly) - int64_t(cropTop + cropBottom) * cropY;
    if (w <= 0 || h <= 0) return false;
    *width = int(w);
    *height = int(h);
    return true;
}

bool H265Size(BitReader& r, int* width, int* height) {
    r.Bits(4);  // sps_video_parameter_set_id
    const uint32_t subLayers = r.Bits(3);
    r.Bit();
    // profile_tier_level
    r.Skip(88);
    r.Skip(8);  // general_level_idc
    bool profilePresent[8] = {}, levelPresent[8] = {};
    for (uint32_t i = 0; i < subLayers; ++i) {
        profilePresent[i] = r.Bit();
        levelPresent[i] = r.Bit();
    }
    if (subLayers > 0)
        for (uint32_t i = subLayers; i < 8; ++i) r.Skip(2);
    for (uint32_t i = 0; i < subLayers; ++i) {
        if (profilePresent[i]) r.Skip(88);
        if (levelPresent[i]) r.Skip(8);
    }
    r.Ue();  // sps_seq_parameter_set_id
    const uint32_t chroma = r.Ue();
    if (chroma == 3) r.Bit();
    const uint32_t w = r.Ue(), h = r.Ue();
    uint32_t left = 0, right = 0, top = 0, bottom = 0;
    if (r.Bit()) {
        left = r.Ue();
        right = r.Ue();
        top = r.Ue();
        bottom = r.Ue();
    }
    if (r.failed() || w == 0 || h == 0 || w > 16384 || h > 16384) return false;
    const uint32_t subX = chroma == 1 || chroma == 2 ? 2 : 1, subY = chroma == 1 ? 2 : 1;
    const int64_t cw = int64_t(w) - int64_t(left + right) * subX, ch = int64_t(h) - int64_t(top + bottom) * subY;
    if (cw <= 0 || ch <= 0) return false;
    *width = int(cw);
    *height = int(ch);
    return true;
}

bool JpegSize(const uint8_t* data, size_t size, int* width, int* height) {
    size_t at = 2;
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) return false;
    while (at + 4 <= size) {
        if (data[at] != 0xFF) return false;
        const uint8_t marker = data[at + 1];
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        const size_t length = size_t(data[at + 2]) << 8 | data[at + 3];
        // Start of frame: baseline, extended, progressive, lossless.
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            if (at + 9 > size || length < 7) return false;
            *height = data[at + 5] << 8 | data[at + 6];
            *width = data[at + 7] << 8 | data[at + 8];
            return *width > 0 && *height > 0;
        }
        if (marker == 0xDA || length < 2) return false;  // the scan came first
        at += 2 + length;
    }
    return false;
}

// Each unit of Annex-B bytes: its first byte and its size.
template <typename Visit>
void ForEachUnit(const uint8_t* data, size_t size, Visit visit) {
    for (size_t i = 0; i + 3 < size; ++i) {
        if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1) continue;
        const size_t start = i + 3;
        size_t end = start;
        while (end + 2 < size && !(data[end] == 0 && data[end + 1] == 0 && (data[end + 2] == 1 || data[end + 2] == 0)))
            ++end;
        if (end + 2 >= size) end = size;
        if (!visit(data + start, end - start)) return;
        i = end - 1;
    }
}

}  // namespace

bool FrameNumberCheck::Continues(const uint8_t* data, size_t size) {
    bool continues = true;
    ForEachUnit(data, size, [&](const uint8_t* unit, size_t length) {
        const int type = unit[0] & 0x1F;
        if (type == 7) {
            BitReader r(unit + 1, length - 1);
            int w = 0, h = 0;
            H264Sequence sequence;
            if (H264Size(r, &w, &h, &sequence) && sequence.frameNumBits > 0) {
                frameNumBits_ = sequence.frameNumBits;
                separatePlanes_ = sequence.separatePlanes;
            }
            return true;
        }
        if (type != 1 && type != 5) return true;
        // The first slice of the picture tells; without the parameter sets
        // nothing can be told, and the picture goes on.
        if (frameNumBits_ == 0 || length < 2) return false;
        BitReader r(unit + 1, length - 1);
        r.Ue();  // first_mb_in_slice
        r.Ue();  // slice_type
        r.Ue();  // pic_parameter_set_id
        if (separatePlanes_) r.Bits(2);
        const uint32_t frameNum = r.Bits(frameNumBits_);
        if (r.failed()) return false;
        const bool reference = (unit[0] & 0x60) != 0;
        const uint32_t next = (lastReference_ + 1) & ((uint32_t(1) << frameNumBits_) - 1);
        if (type == 5) {
            known_ = true;
        } else if (known_ && frameNum != next && frameNum != lastReference_) {
            known_ = false;  // until the next key picture
            continues = false;
        } else if (!known_) {
            continues = false;
        }
        if (known_ && reference) lastReference_ = frameNum;
        return false;
    });
    return continues;
}

std::vector<uint8_t> CameraStreamHeader(const CameraVideo& video, const CameraSound* sound) {
    const uint32_t rate = video.rate ? video.rate : 25, scale = video.scale ? video.scale : 1;
    const uint32_t pictureBytes = uint32_t(video.width) * uint32_t(video.height) * 3;

    std::vector<uint8_t> avih;
    U32(&avih, uint32_t(uint64_t(scale) * 1000000 / rate));  // microseconds per picture
    U32(&avih, 0);                                           // bytes per second
    U32(&avih, 0);                                           // padding granularity
    U32(&avih, 0);                                           // flags: no index, as a live stream has none
    U32(&avih, 0);                                           // pictures: not known
    U32(&avih, 0);
    U32(&avih, sound ? 2 : 1);
    U32(&avih, pictureBytes);
    U32(&avih, uint32_t(video.width));
    U32(&avih, uint32_t(video.height));
    for (int i = 0; i < 4; ++i) U32(&avih, 0);

    std::vector<uint8_t> strh;
    Fcc(&strh, "vids");
    Fcc(&strh, FourCcOf(video.codec));
    U32(&strh, 0);  // flags
    U32(&strh, 0);  // priority, language
    U32(&strh, 0);  // initial frames
    U32(&strh, scale);
    U32(&strh, rate);
    U32(&strh, 0);  // start
    U32(&strh, 0);  // length
    U32(&strh, pictureBytes);
    U32(&strh, 0xFFFFFFFFu);  // quality: the default
    U32(&strh, 0);            // sample size
    U16(&strh, 0);
    U16(&strh, 0);
    U16(&strh, uint32_t(video.width));
    U16(&strh, uint32_t(video.height));
    std::vector<uint8_t> strf;  // BITMAPINFOHEADER
    U32(&strf, 40);
    U32(&strf, uint32_t(video.width));
    U32(&strf, uint32_t(video.height));
    U16(&strf, 1);
    U16(&strf, 24);
    Fcc(&strf, FourCcOf(video.codec));
    U32(&strf, pictureBytes);
    for (int i = 0; i < 4; ++i) U32(&strf, 0);
    std::vector<uint8_t> videoList = Wrap("strh", nullptr, strh);
    Append(&videoList, Wrap("strf", nullptr, strf));

    std::vector<uint8_t> hdrl = Wrap("avih", nullptr, avih);
    Append(&hdrl, Wrap("LIST", "strl", videoList));
    if (sound) {
        const bool aac = sound->formatTag == kWaveRawAac;
        const uint32_t blockAlign = aac ? 1 : uint32_t(sound->channels * sound->bitsPerSample / 8);
        const uint32_t bytesPerSecond = aac ? 0 : blockAlign * uint32_t(sound->samplesPerSecond);
        std::vector<uint8_t> ah;
        Fcc(&ah, "auds");
        U32(&ah, 0);  // handler
        U32(&ah, 0);  // flags
        U32(&ah, 0);  // priority, language
        U32(&ah, 0);  // initial frames
        // AAC: one access unit (1024 samples) per block; G.711: one byte per sample.
        U32(&ah, aac ? 1024 : blockAlign);
        U32(&ah, aac ? uint32_t(sound->samplesPerSecond) : bytesPerSecond);
        U32(&ah, 0);  // start
        U32(&ah, 0);  // length
        U32(&ah, 0);  // suggested buffer size
        U32(&ah, 0xFFFFFFFFu);
        U32(&ah, aac ? 0 : blockAlign);  // sample size
        for (int i = 0; i < 4; ++i) U16(&ah, 0);
        std::vector<uint8_t> af;  // WAVEFORMATEX
        U16(&af, sound->formatTag);
        U16(&af, uint32_t(sound->channels));
        U32(&af, uint32_t(sound->samplesPerSecond));
        U32(&af, bytesPerSecond);
        U16(&af, blockAlign);
        U16(&af, uint32_t(sound->bitsPerSample));
        U16(&af, uint32_t(sound->extra.size()));
        af.insert(af.end(), sound->extra.begin(), sound->extra.end());
        std::vector<uint8_t> soundList = Wrap("strh", nullptr, ah);
        Append(&soundList, Wrap("strf", nullptr, af));
        Append(&hdrl, Wrap("LIST", "strl", soundList));
    }

    std::vector<uint8_t> out;
    Fcc(&out, "RIFF");
    U32(&out, 0);  // a live stream has no end
    Fcc(&out, "AVI ");
    Append(&out, Wrap("LIST", "hdrl", hdrl));
    Fcc(&out, "LIST");
    U32(&out, 0);  // nor has its movie list
    Fcc(&out, "movi");
    return out;
}

void AppendCameraChunk(std::vector<uint8_t>* out, bool video, const uint8_t* data, size_t size) {
    Fcc(out, video ? "00dc" : "01wb");
    U32(out, uint32_t(size));
    out->insert(out->end(), data, data + size);
    if (size & 1) out->push_back(0);
}

bool CameraPictureSize(CameraCodec codec, const uint8_t* data, size_t size, int* width, int* height) {
    if (codec == CameraCodec::kMjpeg) return JpegSize(data, size, width, height);
    // The first sequence parameter set counts.
    bool found = false, sized = false;
    ForEachUnit(data, size, [&](const uint8_t* unit, size_t length) {
        if (codec == CameraCodec::kH264 && length >= 1 && (unit[0] & 0x1F) == 7) {
            BitReader r(unit + 1, length - 1);
            sized = H264Size(r, width, height);
            found = true;
        } else if (codec == CameraCodec::kH265 && length >= 2 && ((unit[0] >> 1) & 0x3F) == 33) {
            BitReader r(unit + 2, length - 2);
            sized = H265Size(r, width, height);
            found = true;
        }
        return !found;
    });
    return sized;
}

}  // namespace vdplay

#include "sample/sample_recording.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "core/avi_writer.h"
#include "sample/file_sink.h"
#include "sample/overlay_file.h"
#include "sample/test_pattern.h"
#include "sample/yuv420.h"

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

using demoplay::FourCc;
using demoplay::PutLe16;
using demoplay::PutLe32;

constexpr int kMaxSide = 8192;

uint32_t Compression(PictureFormat f) {
    switch (f) {
        case PictureFormat::kYv12:
            return FourCc('Y', 'V', '1', '2');
        case PictureFormat::kI420:
            return FourCc('I', '4', '2', '0');
        case PictureFormat::kMjpeg:
            return FourCc('M', 'J', 'P', 'G');
    }
    return 0;
}

uint32_t RawPictureBytes(const RecordingPlan& s) { return uint32_t(s.width) * uint32_t(s.height) * 3 / 2; }

std::vector<uint8_t> StreamHeader(uint32_t type, uint32_t handler, uint32_t scale, uint32_t rate, uint32_t bufferSize,
                                  uint32_t sampleSize, int width, int height) {
    std::vector<uint8_t> h(56, 0);
    PutLe32(&h[0], type);
    PutLe32(&h[4], handler);
    PutLe32(&h[20], scale);
    PutLe32(&h[24], rate);
    PutLe32(&h[36], bufferSize);
    PutLe32(&h[40], 0xFFFFFFFFu);  // quality: default
    PutLe32(&h[44], sampleSize);
    PutLe16(&h[52], uint16_t(width));
    PutLe16(&h[54], uint16_t(height));
    return h;
}

demoplay::AviHeaders Headers(const RecordingPlan& s) {
    demoplay::AviHeaders h;
    h.width = uint32_t(s.width);
    h.height = uint32_t(s.height);
    h.microSecPerFrame = uint32_t(1000000 / s.fps);
    demoplay::VideoStreamInfo& v = h.video;
    v.number = 0;
    v.compression = Compression(s.format);
    v.handler = v.compression;
    v.width = s.width;
    v.height = s.height;
    v.bitCount = s.format == PictureFormat::kMjpeg ? 24 : 12;
    v.sizeImage = s.format == PictureFormat::kMjpeg ? uint32_t(s.width) * uint32_t(s.height) * 3 : RawPictureBytes(s);
    v.rate = uint32_t(s.fps);
    v.scale = 1;
    v.suggestedBufferSize = v.sizeImage;
    v.strh = StreamHeader(demoplay::kFccVids, v.handler, 1, v.rate, v.suggestedBufferSize, 0, s.width, s.height);
    v.strf.assign(40, 0);
    PutLe32(&v.strf[0], 40);
    PutLe32(&v.strf[4], uint32_t(s.width));
    PutLe32(&v.strf[8], uint32_t(s.height));
    PutLe16(&v.strf[12], 1);
    PutLe16(&v.strf[14], v.bitCount);
    PutLe32(&v.strf[16], v.compression);
    PutLe32(&v.strf[20], v.sizeImage);

    h.hasAudio = s.sound;
    if (s.sound) {
        demoplay::AudioStreamInfo& a = h.audio;
        a.number = 1;
        a.formatTag = 1;
        a.pcm = true;
        a.channels = 1;
        a.samplesPerSec = uint32_t(s.tone.sampleRate);
        a.blockAlign = 2;
        a.bitsPerSample = 16;
        a.avgBytesPerSec = a.samplesPerSec * a.blockAlign;
        a.suggestedBufferSize = a.avgBytesPerSec;
        a.strh = StreamHeader(demoplay::kFccAuds, 0, a.blockAlign, a.avgBytesPerSec, a.suggestedBufferSize,
                              a.blockAlign, 0, 0);
        a.strf.assign(18, 0);
        PutLe16(&a.strf[0], 1);
        PutLe16(&a.strf[2], a.channels);
        PutLe32(&a.strf[4], a.samplesPerSec);
        PutLe32(&a.strf[8], a.avgBytesPerSec);
        PutLe16(&a.strf[12], a.blockAlign);
        PutLe16(&a.strf[14], a.bitsPerSample);
    }
    return h;
}

void AppendBytes(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    const uint8_t* p = static_cast<const uint8_t*>(data);
    out->insert(out->end(), p, p + size);
}

std::vector<uint8_t> EncodePicture(const RecordingPlan& s, const Image& image) {
    if (s.format != PictureFormat::kMjpeg) return ToYuv420(image, s.format == PictureFormat::kYv12);
    std::vector<uint8_t> jpeg;
    stbi_write_jpg_to_func(AppendBytes, &jpeg, image.width, image.height, 3, image.rgb.data(), s.jpegQuality);
    return jpeg;
}

bool WriteTextFile(const std::string& path, const std::string& text) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

const char* FormatName(PictureFormat format) {
    switch (format) {
        case PictureFormat::kYv12:
            return "yv12";
        case PictureFormat::kI420:
            return "i420";
        case PictureFormat::kMjpeg:
            return "mjpeg";
    }
    return "?";
}

bool ParseFormat(const std::string& name, PictureFormat* out) {
    for (PictureFormat f : {PictureFormat::kYv12, PictureFormat::kI420, PictureFormat::kMjpeg}) {
        if (name == FormatName(f)) {
            *out = f;
            return true;
        }
    }
    return false;
}

std::string CheckPlan(const RecordingPlan& s) {
    if (s.width < 16 || s.height < 16 || s.width > kMaxSide || s.height > kMaxSide)
        return "the picture size must be between 16 and " + std::to_string(kMaxSide) + " on each side";
    if (s.width % 16 != 0 || s.height % 2 != 0)
        return "the width must be a multiple of 16 and the height even (planar 4:2:0 pictures)";
    if (s.fps < 1 || s.fps > 100) return "the frame rate must be between 1 and 100";
    if (!(s.seconds > 0.0) || s.seconds > 3600.0) return "the length must be more than 0 and at most 3600 seconds";
    if (s.format == PictureFormat::kMjpeg && (s.jpegQuality < 1 || s.jpegQuality > 100))
        return "the JPEG quality must be between 1 and 100";
    if (s.sound && (s.tone.sampleRate < 8000 || s.tone.sampleRate > 48000))
        return "the sound sample rate must be between 8000 and 48000";
    return "";
}

int PictureCount(const RecordingPlan& s) { return int(std::max<long>(1, std::lround(s.seconds * s.fps))); }

bool WriteAvi(demoplay::ByteSink* sink, const RecordingPlan& s) {
    const demoplay::AviHeaders headers = Headers(s);
    demoplay::AviWriter writer;
    if (!writer.Begin(sink, headers, s.sound)) return false;
    const int pictures = PictureCount(s);
    for (int i = 0; i < pictures; ++i) {
        if (s.sound) {
            std::vector<int16_t> samples = ToneForPicture(s.tone, i, s.fps);
            std::vector<uint8_t> bytes(samples.size() * 2);
            for (size_t n = 0; n < samples.size(); ++n) PutLe16(&bytes[2 * n], uint16_t(samples[n]));
            if (!writer.AddChunk(demoplay::ChunkClass::kAudio, bytes.data(), bytes.size())) return false;
        }
        std::vector<uint8_t> picture = EncodePicture(s, RenderPicture(s.width, s.height, i, s.fps));
        if (picture.empty() || !writer.AddChunk(demoplay::ChunkClass::kVideo, picture.data(), picture.size()))
            return false;
    }
    return writer.Finish();
}

std::string SideFilePath(const std::string& mediaPath) {
    const size_t slash = mediaPath.find_last_of("/\\");
    const size_t dot = mediaPath.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? mediaPath.substr(0, dot) : mediaPath) + ".lti";
}

std::string WriteRecording(const std::string& path, const RecordingPlan& s, WrittenFiles* written) {
    std::string problem = CheckPlan(s);
    if (!problem.empty()) return problem;
    *written = WrittenFiles();
    FileSink sink;
    if (!sink.Open(path)) return "cannot create " + path;
    const bool ok = WriteAvi(&sink, s);
    const uint64_t bytes = sink.Position();
    if (!sink.Close() || !ok) {
        std::remove(path.c_str());
        return "cannot write " + path + " (disk full?)";
    }
    written->avi = path;
    written->aviBytes = bytes;
    written->pictures = PictureCount(s);
    if (s.overlay) {
        OverlayPlan o;
        o.width = s.width;
        o.height = s.height;
        o.fps = s.fps;
        o.pictures = written->pictures;
        const std::string side = SideFilePath(path);
        if (!WriteTextFile(side, OverlayDocument(o))) return "cannot write " + side;
        written->overlay = side;
    } else {
        // A side file left from an earlier recording would not match this one.
        std::remove(SideFilePath(path).c_str());
    }
    return "";
}

}  // namespace vdsample

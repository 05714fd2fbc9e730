// Motion-JPEG pictures decoded by libavcodec: each chunk is one picture (or,
// interlaced, two fields that are woven into one picture of full height),
// handed over in studio range as YV12 (4:2:0 and grey) or YUY2 (4:2:2, and
// 4:4:4 with its chroma pairs averaged).
#ifndef DEMOPLAY_CODEC_MJPEG_DECODER_H
#define DEMOPLAY_CODEC_MJPEG_DECODER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace demoplay {

struct LibAv;

struct MjpegPicture {
    const uint8_t* data = nullptr;
    size_t size = 0;
    int width = 0;
    int height = 0;
    int kind = 0;
};

class MjpegDecoder {
public:
    // Null when the libraries are missing or hold no Motion-JPEG decoder.
    // width and height are the stream's: a picture of about half its height
    // is a field, and two fields make one picture, the first field on top.
    // fourCc is the stream's (some name their own flavours of the format).
    static std::unique_ptr<MjpegDecoder> Create(int width, int height, uint32_t fourCc,
                                                const std::vector<uint8_t>& extra);
    ~MjpegDecoder();
    MjpegDecoder(const MjpegDecoder&) = delete;
    MjpegDecoder& operator=(const MjpegDecoder&) = delete;

    enum class Result {
        kPicture,      // *out holds the picture until the next call
        kNone,         // nothing to hand over: damaged, undecodable, or a field waiting for its pair
        kOtherLayout,  // decoded, but of a layout no YUV kind holds (odd sides, 4:1:1, 12 bits, RGB)
    };
    // The chunk's bytes are all of `chunk`; it is lengthened for the decoder's
    // zero padding while it works (in place when its capacity allows) and
    // given back as it was.
    Result Decode(std::vector<uint8_t>& chunk, MjpegPicture* out);
    // Forgets a field held for its pair (after a seek or cleared data).
    void Reset();

private:
    MjpegDecoder() = default;
    bool Convert(const AVFrame* frame, MjpegPicture* out);

    std::shared_ptr<const LibAv> av_;
    AVCodecContext* context_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    std::vector<uint8_t> picture_;
};

}  // namespace demoplay

#endif  // DEMOPLAY_CODEC_MJPEG_DECODER_H

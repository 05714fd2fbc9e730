// One H.264 or H.265 decoder over libavcodec: compressed pictures in,
// I420 pictures out, with the SDK's rules for damaged data (a picture the
// decoder flags as damaged, and every picture after it up to the next key
// picture, is not handed out).
#ifndef DEMOPLAY_CODEC_VIDEO_DECODER_H
#define DEMOPLAY_CODEC_VIDEO_DECODER_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/video_codec.h"

struct AVCodecContext;
struct AVCodecParserContext;
struct AVFrame;
struct AVPacket;

namespace demoplay {

struct LibAv;

struct DecodedPicture {
    const uint8_t* data = nullptr;  // I420: Y, then U, then V, rows without padding
    size_t size = 0;
    int width = 0;
    int height = 0;
    uint64_t position = 0;  // the position the picture was fed with
    bool key = false;
};
using PictureSink = std::function<void(const DecodedPicture&)>;

class VideoDecoder {
public:
    // Null when the libraries are missing or the decoder does not open.
    // `extra`: codec set-up stored with the stream (parameter sets), may be empty.
    // `live`: each picture comes out as soon as it is decoded (threads share
    // the work within a picture), rather than a picture per extra thread later.
    static std::unique_ptr<VideoDecoder> Create(VideoCodec codec, const std::vector<uint8_t>& extra, bool live = false);
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // One compressed picture (an access unit); every picture that comes out
    // goes to `sink`, on this thread, before the call returns.
    void Decode(const uint8_t* data, size_t size, uint64_t position, const PictureSink& sink);
    // The end of the data: the pictures the decoder still holds come out.
    // Decoding can start again afterwards, at a key picture.
    void Drain(const PictureSink& sink);
    // Forgets every picture held and waits for a key picture (after a seek).
    void Reset();

    // Splits a raw Annex-B byte stream, fed in pieces of any size, into
    // access units; each complete one goes to `unit`. With size 0 the last
    // unit held is let out (the end of the stream).
    void Split(const uint8_t* data, size_t size, const std::function<void(const uint8_t*, size_t)>& unit);

    // The stream's own picture rate (its timing information), if it has one.
    bool StreamRate(uint32_t* rate, uint32_t* scale) const;
    // Pictures not handed out because they were damaged.
    uint64_t skippedPictures() const { return skipped_; }

private:
    VideoDecoder() = default;
    void Send(AVPacket* packet, const PictureSink& sink);
    void Receive(const PictureSink& sink);
    bool Convert(const AVFrame* frame);

    std::shared_ptr<const LibAv> av_;
    AVCodecContext* context_ = nullptr;
    AVCodecParserContext* parser_ = nullptr;
    AVCodecContext* parserContext_ = nullptr;
    int codecId_ = 0;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    bool waitForKey_ = false;
    uint64_t skipped_ = 0;
    std::vector<uint8_t> picture_;
    std::vector<uint8_t> padded_;
};

}  // namespace demoplay

#endif  // DEMOPLAY_CODEC_VIDEO_DECODER_H

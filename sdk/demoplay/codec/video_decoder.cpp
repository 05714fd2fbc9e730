#include "codec/video_decoder.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "codec/libav_library.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace demoplay {
namespace {

int DecodingThreads() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return int(std::max<DWORD>(1, std::min<DWORD>(info.dwNumberOfProcessors, 8)));
}

bool Damaged(const AVFrame* f) { return (f->flags & AV_FRAME_FLAG_CORRUPT) || f->decode_error_flags != 0; }

}  // namespace

std::unique_ptr<VideoDecoder> VideoDecoder::Create(VideoCodec codec, const std::vector<uint8_t>& extra, bool live) {
    if (codec == VideoCodec::kNone) return nullptr;
    std::shared_ptr<const LibAv> av = AcquireLibAv();
    if (!av) return nullptr;
    std::unique_ptr<VideoDecoder> d(new VideoDecoder());
    d->av_ = av;
    const AVCodecID id = codec == VideoCodec::kH264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_HEVC;
    const AVCodec* decoder = av->findDecoder(id);
    if (!decoder) return nullptr;
    d->context_ = av->allocContext(decoder);
    d->packet_ = av->packetAlloc();
    d->frame_ = av->frameAlloc();
    d->codecId_ = int(id);
    // The splitter works on a context of its own: it writes into the context
    // it is given, which must not be the decoder's.
    d->parserContext_ = av->allocContext(decoder);
    d->parser_ = av->parserInit(int(id));
    if (!d->context_ || !d->packet_ || !d->frame_ || !d->parserContext_ || !d->parser_) return nullptr;
    if (!SetCodecSetUp(*av, d->context_, extra)) return nullptr;
    // Files: several pictures decode at once on several threads, each thread
    // holding a picture back; the output is the same picture for picture as
    // with one thread. Live pictures cannot wait for the pictures after them:
    // one thread, which also keeps the decoder's concealment (and so its
    // damage flags), which slice threads turn off.
    d->context_->thread_count = live ? 1 : DecodingThreads();
    d->context_->thread_type = live ? 0 : FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (av->open(d->context_, decoder, nullptr) < 0) return nullptr;
    return d;
}

VideoDecoder::~VideoDecoder() {
    if (!av_) return;
    if (parser_) av_->parserClose(parser_);
    if (parserContext_) av_->freeContext(&parserContext_);
    if (frame_) av_->frameFree(&frame_);
    if (packet_) av_->packetFree(&packet_);
    if (context_) av_->freeContext(&context_);
}

void VideoDecoder::Decode(const uint8_t* data, size_t size, uint64_t position, const PictureSink& sink) {
    if (size == 0 || size > size_t(INT32_MAX) - AV_INPUT_BUFFER_PADDING_SIZE) return;
    // The decoder reads up to AV_INPUT_BUFFER_PADDING_SIZE bytes past the end.
    padded_.resize(size + AV_INPUT_BUFFER_PADDING_SIZE);
    std::memcpy(padded_.data(), data, size);
    std::memset(padded_.data() + size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    packet_->data = padded_.data();
    packet_->size = int(size);
    packet_->pts = int64_t(position);
    packet_->dts = AV_NOPTS_VALUE;
    Send(packet_, sink);
    packet_->data = nullptr;
    packet_->size = 0;
}

void VideoDecoder::Send(AVPacket* packet, const PictureSink& sink) {
    for (;;) {
        const int r = av_->sendPacket(context_, packet);
        if (r == AVERROR(EAGAIN)) {  // the decoder is full: take pictures out first
            Receive(sink);
            continue;
        }
        if (r < 0 && r != AVERROR_EOF && packet) {
            // Undecodable: what depends on it is not shown either.
            waitForKey_ = true;
            ++skipped_;
        }
        break;
    }
    Receive(sink);
}

void VideoDecoder::Receive(const PictureSink& sink) {
    while (av_->receiveFrame(context_, frame_) >= 0) {
        const bool key = frame_->key_frame != 0;
        if (Damaged(frame_)) {
            waitForKey_ = true;
            ++skipped_;
        } else if (waitForKey_ && !key) {
            ++skipped_;
        } else if (Convert(frame_)) {
            waitForKey_ = false;
            DecodedPicture p;
            p.data = picture_.data();
            p.size = picture_.size();
            p.width = frame_->width;
            p.height = frame_->height;
            p.position = frame_->pts == AV_NOPTS_VALUE ? 0 : uint64_t(frame_->pts);
            p.key = key;
            sink(p);
        } else {
            ++skipped_;
        }
        av_->frameUnref(frame_);
    }
}

// Copies the planes into one I420 picture without row padding. 8-bit 4:2:0
// is copied as it is; 8-bit grey gets neutral chroma; other formats (10-bit,
// 4:2:2, 4:4:4) are not handed out.
bool VideoDecoder::Convert(const AVFrame* f) {
    const int w = f->width, h = f->height;
    if (w <= 0 || h <= 0 || w > 16384 || h > 16384) return false;
    const bool yuv420 = f->format == AV_PIX_FMT_YUV420P || f->format == AV_PIX_FMT_YUVJ420P;
    const bool grey = f->format == AV_PIX_FMT_GRAY8;
    if (!yuv420 && !grey) return false;
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    picture_.resize(size_t(w) * h + 2 * size_t(cw) * ch);
    uint8_t* out = picture_.data();
    for (int y = 0; y < h; ++y, out += w) std::memcpy(out, f->data[0] + ptrdiff_t(y) * f->linesize[0], size_t(w));
    for (int plane = 1; plane <= 2; ++plane) {
        for (int y = 0; y < ch; ++y, out += cw) {
            if (grey)
                std::memset(out, 128, size_t(cw));
            else
                std::memcpy(out, f->data[plane] + ptrdiff_t(y) * f->linesize[plane], size_t(cw));
        }
    }
    return true;
}

void VideoDecoder::Drain(const PictureSink& sink) {
    Send(nullptr, sink);
    // Draining leaves the decoder at its end; flushing makes it take data
    // again, without the pictures later ones refer to.
    av_->flushBuffers(context_);
    waitForKey_ = true;
}

void VideoDecoder::Reset() {
    av_->flushBuffers(context_);
    waitForKey_ = true;
    // A unit split in half is dropped with the rest.
    if (AVCodecParserContext* fresh = av_->parserInit(codecId_)) {
        av_->parserClose(parser_);
        parser_ = fresh;
    }
}

void VideoDecoder::Split(const uint8_t* data, size_t size, const std::function<void(const uint8_t*, size_t)>& unit) {
    const bool end = size == 0;
    // The parser reads up to AV_INPUT_BUFFER_PADDING_SIZE bytes past the end of
    // what it is given, and may hand back units that point into it: it works
    // on a padded copy.
    if (size > size_t(INT32_MAX) - AV_INPUT_BUFFER_PADDING_SIZE) return;  // more than a port ever holds
    std::vector<uint8_t> padded;
    if (!end) {
        padded.resize(size + AV_INPUT_BUFFER_PADDING_SIZE);
        std::memcpy(padded.data(), data, size);
        data = padded.data();
    }
    do {
        uint8_t* out = nullptr;
        int outSize = 0;
        const int chunk = int(std::min<size_t>(size, 1 << 20));
        const int used = av_->parserParse(parser_, parserContext_, &out, &outSize, end ? nullptr : data, chunk,
                                          AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (used < 0 || (used == 0 && outSize == 0)) break;
        data += used;
        size -= size_t(used);
        if (outSize > 0) unit(out, size_t(outSize));
    } while (size > 0);
}

bool VideoDecoder::StreamRate(uint32_t* rate, uint32_t* scale) const {
    const AVRational r = context_->framerate;
    if (r.num <= 0 || r.den <= 0) return false;
    *rate = uint32_t(r.num);
    *scale = uint32_t(r.den);
    return true;
}

}  // namespace demoplay

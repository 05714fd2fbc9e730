#include "codec/mjpeg_decoder.h"

#include <algorithm>
#include <cstring>

#include "codec/libav_library.h"
#include "core/frame_layout.h"
#include "core/stream_assembler.h"
#include "core/studio_range.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace demoplay {

static_assert(kChunkSlack >= AV_INPUT_BUFFER_PADDING_SIZE, "stream chunks keep room for the decoder's padding");

std::unique_ptr<MjpegDecoder> MjpegDecoder::Create(int width, int height, uint32_t fourCc,
                                                   const std::vector<uint8_t>& extra) {
    if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide) return nullptr;
    std::shared_ptr<const LibAv> av = AcquireLibAv();
    if (!av) return nullptr;
    const AVCodec* codec = av->findDecoder(AV_CODEC_ID_MJPEG);
    if (!codec) return nullptr;  // a pair of libraries built without it
    std::unique_ptr<MjpegDecoder> d(new MjpegDecoder());
    d->av_ = av;
    d->context_ = av->allocContext(codec);
    d->packet_ = av->packetAlloc();
    d->frame_ = av->frameAlloc();
    if (!d->context_ || !d->packet_ || !d->frame_) return nullptr;
    // The stream's size tells the decoder that pictures of half its height
    // are fields to weave, as ffmpeg does for the same file.
    d->context_->width = width;
    d->context_->height = height;
    d->context_->codec_tag = fourCc;
    // Without a field order libavcodec guesses the bottom field first for
    // "MJPG"; the first field of a chunk is the top one here, as it always was.
    d->context_->field_order = AV_FIELD_TT;
    // No picture larger than the stream says is decoded (nor allocated for);
    // the margin is the decoder's own rounding of a picture's sides.
    d->context_->max_pixels = int64_t(width + 64) * (height + 64);
    if (!SetCodecSetUp(*av, d->context_, extra)) return nullptr;
    // JPEG leaves the inverse transform's rounding open: libavcodec's 32-bit
    // SIMD transforms round otherwise than its C and 64-bit ones, which give
    // the same pictures as each other (and as ffmpeg on a 64-bit machine).
    d->context_->idct_algo = FF_IDCT_SIMPLE;
    // A picture whose data does not decode cleanly fails as a whole: left to
    // itself the decoder hands it over with the blocks after the damage taken
    // from whatever picture its buffer last held.
    d->context_->err_recognition |= AV_EF_EXPLODE;
    // The decoder has no threads of its own for Motion-JPEG.
    d->context_->thread_count = 1;
    if (av->open(d->context_, codec, nullptr) < 0) return nullptr;
    return d;
}

MjpegDecoder::~MjpegDecoder() {
    if (!av_) return;
    if (frame_) av_->frameFree(&frame_);
    if (packet_) av_->packetFree(&packet_);
    if (context_) av_->freeContext(&context_);
}

MjpegDecoder::Result MjpegDecoder::Decode(std::vector<uint8_t>& chunk, MjpegPicture* out) {
    const size_t size = chunk.size();
    if (size == 0 || size > size_t(INT32_MAX) - AV_INPUT_BUFFER_PADDING_SIZE) return Result::kNone;
    // The decoder reads up to AV_INPUT_BUFFER_PADDING_SIZE bytes past the end.
    chunk.resize(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    std::memset(chunk.data() + size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    packet_->data = chunk.data();
    packet_->size = int(size);
    int r = av_->sendPacket(context_, packet_);
    packet_->data = nullptr;
    packet_->size = 0;
    Result result = Result::kNone;
    // One picture per chunk at most; a first field alone gives none yet.
    if (r >= 0 && av_->receiveFrame(context_, frame_) >= 0) {
        const bool damaged = (frame_->flags & AV_FRAME_FLAG_CORRUPT) || frame_->decode_error_flags != 0;
        if (!damaged) result = Convert(frame_, out) ? Result::kPicture : Result::kOtherLayout;
        av_->frameUnref(frame_);
    }
    chunk.resize(size);
    return result;
}

void MjpegDecoder::Reset() { av_->flushBuffers(context_); }

bool MjpegDecoder::Convert(const AVFrame* f, MjpegPicture* out) {
    const int w = f->width, h = f->height;
    if (w <= 0 || h <= 0 || w > kMaxPictureSide || h > kMaxPictureSide || (w & 1)) return false;
    DecodedPlanes planes;
    planes.width = w;
    planes.height = h;
    planes.fullRange = f->color_range != AVCOL_RANGE_MPEG;  // JPEG's own, unless it says otherwise
    for (int p = 0; p < 3; ++p) {
        planes.plane[p] = f->data[p];
        planes.stride[p] = f->linesize[p];
    }
    switch (f->format) {
        case AV_PIX_FMT_YUVJ420P:
        case AV_PIX_FMT_YUV420P:
        case AV_PIX_FMT_GRAY8:
            if (h & 1) return false;
            if (f->format == AV_PIX_FMT_GRAY8) planes.plane[1] = planes.plane[2] = nullptr;
            out->kind = kKindYv12;
            picture_.resize(size_t(w) * size_t(h) * 3 / 2);
            PlanesToYv12(planes, picture_.data());
            break;
        case AV_PIX_FMT_YUVJ422P:
        case AV_PIX_FMT_YUV422P:
        case AV_PIX_FMT_YUVJ444P:
        case AV_PIX_FMT_YUV444P:
            out->kind = kKindYuy2;
            picture_.resize(size_t(w) * size_t(h) * 2);
            PlanesToYuy2(planes, f->format == AV_PIX_FMT_YUVJ444P || f->format == AV_PIX_FMT_YUV444P, picture_.data());
            break;
        default:
            return false;
    }
    out->data = picture_.data();
    out->size = picture_.size();
    out->width = w;
    out->height = h;
    return true;
}

}  // namespace demoplay

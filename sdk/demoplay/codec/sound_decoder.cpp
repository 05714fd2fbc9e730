#include "codec/sound_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "codec/libav_library.h"

namespace demoplay {
namespace {

// Larger chunks are no camera's sound: they are skipped as damage would be.
constexpr size_t kMaxBlockBytes = size_t(1) << 20;

AVCodecID CodecId(SoundCodec codec) {
    switch (codec) {
        case SoundCodec::kAlaw:
            return AV_CODEC_ID_PCM_ALAW;
        case SoundCodec::kMulaw:
            return AV_CODEC_ID_PCM_MULAW;
        case SoundCodec::kImaAdpcm:
            return AV_CODEC_ID_ADPCM_IMA_WAV;
        case SoundCodec::kAac:
            return AV_CODEC_ID_AAC;
        default:
            return AV_CODEC_ID_NONE;
    }
}

}  // namespace

std::unique_ptr<SoundDecoder> SoundDecoder::Create(const SoundFormat& format) {
    const AVCodecID id = CodecId(format.codec);
    if (id == AV_CODEC_ID_NONE || !format.usable()) return nullptr;
    std::shared_ptr<const LibAv> av = AcquireLibAv();
    if (!av) return nullptr;
    const AVCodec* codec = av->findDecoder(id);
    if (!codec) return nullptr;  // a pair of libraries built without it
    std::unique_ptr<SoundDecoder> d(new SoundDecoder());
    d->av_ = av;
    d->format_ = format;
    d->float_ = format.codec == SoundCodec::kAac;
    d->context_ = av->allocContext(codec);
    d->packet_ = av->packetAlloc();
    d->frame_ = av->frameAlloc();
    if (!d->context_ || !d->packet_ || !d->frame_) return nullptr;
    AVCodecContext* c = d->context_;
    c->sample_rate = int(format.rate);
    // A channel count without a layout: the decoders ask for no more.
    c->ch_layout.order = AV_CHANNEL_ORDER_UNSPEC;
    c->ch_layout.nb_channels = format.channels;
    c->block_align = int(format.blockAlign);
    if (format.codec == SoundCodec::kImaAdpcm) c->bits_per_coded_sample = 4;
    c->thread_count = 1;
    if (!SetCodecSetUp(*av, c, format.setUp)) return nullptr;
    if (av->open(c, codec, nullptr) < 0) return nullptr;
    return d;
}

SoundDecoder::~SoundDecoder() {
    if (!av_) return;
    if (frame_) av_->frameFree(&frame_);
    if (packet_) av_->packetFree(&packet_);
    if (context_) av_->freeContext(&context_);
}

void SoundDecoder::Reset() { av_->flushBuffers(context_); }

void SoundDecoder::Decode(const uint8_t* data, size_t size, std::vector<uint8_t>* out) {
    const size_t channels = size_t(format_.channels);
    switch (format_.codec) {
        case SoundCodec::kAlaw:
        case SoundCodec::kMulaw:
            // A byte a sample; a cut sample frame at the end is left out.
            if (size >= channels) DecodeBlock(data, size - size % channels, size / channels, out);
            return;
        case SoundCodec::kImaAdpcm: {
            const size_t block = format_.blockAlign;
            size_t at = 0;
            for (; size - at >= block; at += block) DecodeBlock(data + at, block, format_.samplesPerBlock, out);
            if (at < size) {
                // A cut block: silence of the share of a block it holds.
                ++damaged_;
                Silence((size - at) * format_.samplesPerBlock / block, out);
            }
            return;
        }
        case SoundCodec::kAac: {
            if (!StartsWithAdts(data, size)) {
                // Raw: the chunk is one frame.
                DecodeBlock(data, size, kAacFrameSamples, out);
                return;
            }
            const size_t rest = SplitAdts(data, size, [&](const uint8_t* frame, size_t length, int blocks) {
                DecodeBlock(frame, length, kAacFrameSamples * size_t(blocks), out);
            });
            if (rest > 0) {
                ++damaged_;
                Silence(kAacFrameSamples, out);
            }
            return;
        }
        default:
            return;
    }
}

void SoundDecoder::DecodeBlock(const uint8_t* data, size_t size, size_t expected, std::vector<uint8_t>* out) {
    bool decoded = false;
    if (size > 0 && size <= kMaxBlockBytes) {
        // The decoder reads up to AV_INPUT_BUFFER_PADDING_SIZE bytes past the
        // block: they are zeros of our own, never the next block.
        padded_.resize(size + AV_INPUT_BUFFER_PADDING_SIZE);
        std::memcpy(padded_.data(), data, size);
        std::memset(padded_.data() + size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
        packet_->data = padded_.data();
        packet_->size = int(size);
        const int sent = av_->sendPacket(context_, packet_);
        packet_->data = nullptr;
        packet_->size = 0;
        // Whatever came out, also after an error (which drops the packet).
        while (av_->receiveFrame(context_, frame_) >= 0) {
            if (sent >= 0 && Append(frame_, out)) decoded = true;
            av_->frameUnref(frame_);
        }
    }
    if (!decoded) {
        ++damaged_;
        Silence(expected, out);
    }
}

// Interleaves the frame's samples into the decoder's output format; false for
// a frame of another rate, channel count or sample format than the stream's.
bool SoundDecoder::Append(const AVFrame* frame, std::vector<uint8_t>* out) {
    const int channels = format_.channels;
    if (frame->nb_samples <= 0 || frame->ch_layout.nb_channels != channels || frame->sample_rate != int(format_.rate))
        return false;
    const AVSampleFormat f = AVSampleFormat(frame->format);
    const bool planar = f == AV_SAMPLE_FMT_S16P || f == AV_SAMPLE_FMT_FLTP;
    const bool isFloat = f == AV_SAMPLE_FMT_FLT || f == AV_SAMPLE_FMT_FLTP;
    if (!planar && f != AV_SAMPLE_FMT_S16 && f != AV_SAMPLE_FMT_FLT) return false;
    if (planar && channels > AV_NUM_DATA_POINTERS) return false;
    const size_t count = size_t(frame->nb_samples);
    const size_t width = float_ ? 4 : 2;
    const size_t at = out->size();
    out->resize(at + count * size_t(channels) * width);
    uint8_t* o = out->data() + at;
    for (size_t i = 0; i < count; ++i) {
        for (int ch = 0; ch < channels; ++ch) {
            const size_t index = planar ? i : i * size_t(channels) + size_t(ch);
            const uint8_t* plane = frame->data[planar ? ch : 0];
            float v;
            if (isFloat) {
                std::memcpy(&v, plane + index * 4, 4);
            } else {
                int16_t s;
                std::memcpy(&s, plane + index * 2, 2);
                v = float(s) / 32768.0f;
            }
            if (float_) {
                std::memcpy(o, &v, 4);
            } else {
                const float scaled = std::max(-32768.0f, std::min(32767.0f, std::round(v * 32768.0f)));
                const int16_t s = int16_t(scaled);
                std::memcpy(o, &s, 2);
            }
            o += width;
        }
    }
    return true;
}

void SoundDecoder::Silence(size_t frames, std::vector<uint8_t>* out) {
    out->resize(out->size() + frames * size_t(format_.channels) * (float_ ? 4 : 2), 0);
}

}  // namespace demoplay

// A camera's RTSP session, through libavformat: the RTSP exchange, RTP over
// the RTSP connection (TCP, the default) or in datagrams (UDP), and the
// depacketizers that give whole pictures and blocks of sound. What comes is
// handed on as an AVI stream (player/camera_stream.h) whose header is made
// once the first key picture shows the picture size.
#include <windows.h>

#include <atomic>
#include <cstdarg>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
}

#include "player/camera_stream.h"
#include "player/exit_codes.h"
#include "vdplay/net_link.h"

namespace vdplay {
namespace {

constexpr int64_t kSocketTimeoutUs = 5000000;  // any one socket wait of the session
constexpr int kReceiveBuffer = 4 << 20;        // a few key pictures of a 1080p camera
constexpr int64_t kReorderUs = 100000;         // how long UDP packets out of order are waited for

// RTP packets lost on the way: set from libavformat's log, read by the session.
struct Losses {
    std::atomic<bool> lost{false};  // since the session last looked
    std::atomic<int64_t> packets{0};
};

// libavformat tells of RTP packets lost on the way (sequence numbers that
// never came, over UDP) only in its log, with the session's format context.
// The sessions listen for it here.
std::mutex losersMutex;
std::vector<std::pair<const void*, Losses*>> losers;  // format context, its losses

void OnLibavLog(void* context, int level, const char* format, va_list args) {
    if (format && std::strcmp(format, "RTP: missed %d packets\n") == 0) {
        va_list copy;
        va_copy(copy, args);
        const int missed = va_arg(copy, int);
        va_end(copy);
        std::lock_guard<std::mutex> lock(losersMutex);
        for (const auto& l : losers) {
            if (l.first != context) continue;
            l.second->packets += missed > 0 ? missed : 1;
            l.second->lost = true;
        }
    }
    av_log_default_callback(context, level, format, args);
}

void ListenForLosses(const void* context, Losses* lost) {
    std::lock_guard<std::mutex> lock(losersMutex);
    losers.emplace_back(context, lost);
}

void StopListening(Losses* lost) {
    std::lock_guard<std::mutex> lock(losersMutex);
    for (size_t i = 0; i < losers.size(); ++i)
        if (losers[i].second == lost) losers.erase(losers.begin() + ptrdiff_t(i--));
}

std::string AvError(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

class RtspLink : public NetLink {
public:
    RtspLink(const vdplay::NetAddress& address, const std::string& transport)
        : url_(address.text), transport_(transport) {
        av_log_set_level(AV_LOG_ERROR);
        av_log_set_callback(&OnLibavLog);
        vdplay::NetAddress port = address;
        port.protocol = vdplay::NetProtocol::kTcp;
        knock_ = MakeSocketLink(port);
    }
    ~RtspLink() override { Close(); }

    bool Open(HANDLE stop, DWORD connectMs, std::string* why, int* exitCode) override;
    ReadResult Read(HANDLE stop, DWORD waitMs, const uint8_t** data, size_t* size, std::string* why) override;
    void Close() override;
    const std::vector<uint8_t>& madeHead() const override { return head_; }
    bool LastVideo(const uint8_t** data, size_t* size) const override {
        if (!lastWasVideo_) return false;
        *data = lastVideo_.data();
        *size = lastVideo_.size();
        return true;
    }
    bool reopensPorts() const override { return true; }
    int64_t picturesHeld() const override { return held_.load(); }
    int64_t packetsLost() const override { return lost_.packets.load(); }

private:
    static int Interrupt(void* self) {
        auto* link = static_cast<RtspLink*>(self);
        if (WaitForSingleObject(link->stop_, 0) == WAIT_OBJECT_0) return 1;
        return link->deadline_ != 0 && GetTickCount64() > link->deadline_;
    }
    // The next packet of the video or sound: 0, or libavformat's error.
    int NextPacket();
    ReadResult ResultOf(int error, std::string* why);
    void Chunk(bool video, const uint8_t* data, size_t size);
    // Whether the picture just read can be handed on: for H.265, not from a
    // lost packet up to the next key picture. The sequence numbers are what
    // tells: this libavcodec's H.265 decoder flags neither a picture with a
    // slice missing nor one whose reference never came, and the loss may
    // have been in any picture since the last one read. (H.264 has its frame
    // numbers, and its decoder flags damaged slices; a Motion-JPEG picture
    // with a fragment missing is dropped by the depacketizer, and the next
    // stands alone.)
    bool Intact(bool key);

    std::string url_, transport_;
    std::unique_ptr<NetLink> knock_;  // a plain connect to the camera's RTSP port
    HANDLE stop_ = nullptr;
    ULONGLONG deadline_ = 0;  // while opening: when the exchange is given up
    AVFormatContext* context_ = nullptr;
    AVPacket* packet_ = nullptr;
    int video_ = -1, sound_ = -1;
    CameraCodec codec_ = CameraCodec::kH264;
    std::vector<uint8_t> head_;
    std::vector<uint8_t> chunk_;      // what Read hands on
    std::vector<uint8_t> lastVideo_;  // the last picture as it came (Annex-B for H.264/H.265)
    bool lastWasVideo_ = false;
    bool pending_ = false;  // chunk_ holds the first picture, not yet handed on
    FrameNumberCheck frames_;
    std::atomic<int64_t> held_{0};
    Losses lost_;
    bool waitForKey_ = false;
};

bool RtspLink::Intact(bool key) {
    if (codec_ != CameraCodec::kH265) return true;
    // The sound's losses are told the same way and hold the pictures too: the
    // log does not say which stream lost a packet.
    if (lost_.lost.exchange(false))
        waitForKey_ = true;  // this picture may be the one the packet belonged to, key or not
    else if (key)
        waitForKey_ = false;
    return !waitForKey_;
}

int RtspLink::NextPacket() {
    for (;;) {
        av_packet_unref(packet_);
        const int r = av_read_frame(context_, packet_);
        if (r < 0) return r;
        if (packet_->stream_index == video_ || (packet_->stream_index == sound_ && sound_ >= 0)) return 0;
    }
}

ReadResult RtspLink::ResultOf(int error, std::string* why) {
    if (WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0) return ReadResult::kStopped;
    if (error == AVERROR_EOF) return ReadResult::kClosed;
    if (error == AVERROR(ETIMEDOUT)) return ReadResult::kQuiet;
    *why = AvError(error);
    return ReadResult::kBroken;
}

void RtspLink::Chunk(bool video, const uint8_t* data, size_t size) {
    chunk_.clear();
    AppendCameraChunk(&chunk_, video, data, size);
}

bool RtspLink::Open(HANDLE stop, DWORD connectMs, std::string* why, int* exitCode) {
    Close();
    stop_ = stop;
    *exitCode = vdplay::kExitNoConnection;
    // The port is tried with a connect of our own first. libavformat waits
    // for its connect with a poll that, on Windows, does not ask for the
    // exception set, where a refused connect shows: a camera that is away
    // would cost its whole timeout per try, not the moment a refusal takes.
    if (!knock_->Open(stop, connectMs, why, exitCode)) return false;
    knock_->Close();
    // The exchange and the first key picture, bounded as a whole.
    deadline_ = GetTickCount64() + connectMs + DWORD(kSocketTimeoutUs / 1000) * 2;
    context_ = avformat_alloc_context();
    packet_ = av_packet_alloc();
    if (!context_ || !packet_) {
        *why = "out of memory";
        return false;
    }
    lost_.lost = false;
    waitForKey_ = false;
    ListenForLosses(context_, &lost_);
    context_->interrupt_callback.callback = &RtspLink::Interrupt;
    context_->interrupt_callback.opaque = this;
    context_->flags |= AVFMT_FLAG_NOBUFFER;
    if (transport_ == "udp") context_->max_delay = int(kReorderUs);
    AVDictionary* options = nullptr;
    av_dict_set(&options, "rtsp_transport", transport_.c_str(), 0);
    av_dict_set_int(&options, "timeout", kSocketTimeoutUs, 0);
    av_dict_set_int(&options, "buffer_size", kReceiveBuffer, 0);
    int r = avformat_open_input(&context_, url_.c_str(), av_find_input_format("rtsp"), &options);
    av_dict_free(&options);
    if (r < 0) {
        context_ = nullptr;  // freed by the failed open
        if (WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0) {
            *why = "stopped while connecting";
        } else if (r == AVERROR_HTTP_UNAUTHORIZED) {
            *why = "the camera refused the user name or password (401)";
        } else if (r == AVERROR_HTTP_NOT_FOUND) {
            *why = "the camera has no such stream (404)";
        } else if (r == AVERROR(ETIMEDOUT) || r == AVERROR_EXIT) {
            *why = "no answer in time";
        } else if (r == AVERROR(ECONNREFUSED)) {
            *why = "connection refused";
        } else {
            *why = AvError(r);
        }
        Close();
        return false;
    }
    video_ = sound_ = -1;
    for (unsigned i = 0; i < context_->nb_streams; ++i) {
        const AVCodecParameters* p = context_->streams[i]->codecpar;
        if (p->codec_type == AVMEDIA_TYPE_VIDEO && video_ < 0 &&
            (p->codec_id == AV_CODEC_ID_H264 || p->codec_id == AV_CODEC_ID_HEVC || p->codec_id == AV_CODEC_ID_MJPEG))
            video_ = int(i);
        else if (p->codec_type == AVMEDIA_TYPE_AUDIO && sound_ < 0 &&
                 (p->codec_id == AV_CODEC_ID_PCM_MULAW || p->codec_id == AV_CODEC_ID_PCM_ALAW ||
                  (p->codec_id == AV_CODEC_ID_AAC && p->extradata_size > 0)))
            sound_ = int(i);
        else
            context_->streams[i]->discard = AVDISCARD_ALL;
    }
    if (video_ < 0) {
        *exitCode = vdplay::kExitUnsupportedFile;
        *why = "the camera sends no H.264, H.265 or Motion-JPEG video";
        Close();
        return false;
    }
    const AVStream* vs = context_->streams[video_];
    codec_ = vs->codecpar->codec_id == AV_CODEC_ID_H264   ? CameraCodec::kH264
             : vs->codecpar->codec_id == AV_CODEC_ID_HEVC ? CameraCodec::kH265
                                                          : CameraCodec::kMjpeg;
    // Pictures from the first key picture on: its size makes the header, and
    // what comes before it cannot be decoded.
    const std::vector<uint8_t> parameterSets(vs->codecpar->extradata,
                                             vs->codecpar->extradata + vs->codecpar->extradata_size);
    for (;;) {
        r = NextPacket();
        if (r < 0) {
            const ReadResult result = ResultOf(r, why);
            *exitCode = result == ReadResult::kQuiet ? vdplay::kExitSilent : vdplay::kExitConnectionLost;
            if (result == ReadResult::kQuiet || (r == AVERROR_EXIT && result != ReadResult::kStopped))
                *why = "sent no key picture in time";
            else if (result == ReadResult::kClosed)
                *why = "ended the session before its first key picture";
            else if (result == ReadResult::kStopped)
                *why = "stopped";
            Close();
            return false;
        }
        if (packet_->stream_index != video_) continue;
        // Every Motion-JPEG picture is a key picture.
        const bool key = codec_ == CameraCodec::kMjpeg || (packet_->flags & AV_PKT_FLAG_KEY);
        if (!Intact(key) || !key) continue;
        // The parameter sets of the session description go ahead of the first picture.
        lastVideo_ = parameterSets;
        if (codec_ == CameraCodec::kMjpeg) lastVideo_.clear();
        lastVideo_.insert(lastVideo_.end(), packet_->data, packet_->data + packet_->size);
        CameraVideo video;
        video.codec = codec_;
        if (!CameraPictureSize(codec_, lastVideo_.data(), lastVideo_.size(), &video.width, &video.height)) continue;
        const AVRational rate = vs->avg_frame_rate.num > 0 ? vs->avg_frame_rate : vs->r_frame_rate;
        if (rate.num > 0 && rate.den > 0 && rate.num / rate.den <= 240) {
            video.rate = uint32_t(rate.num);
            video.scale = uint32_t(rate.den);
        }
        CameraSound sound;
        if (sound_ >= 0) {
            const AVCodecParameters* p = context_->streams[sound_]->codecpar;
            sound.formatTag = p->codec_id == AV_CODEC_ID_PCM_MULAW  ? kWaveMulaw
                              : p->codec_id == AV_CODEC_ID_PCM_ALAW ? kWaveAlaw
                                                                    : kWaveRawAac;
            sound.channels = p->ch_layout.nb_channels > 0 ? p->ch_layout.nb_channels : 1;
            sound.samplesPerSecond = p->sample_rate > 0 ? p->sample_rate : 8000;
            sound.bitsPerSample = sound.formatTag == kWaveRawAac ? 0 : 8;
            if (sound.formatTag == kWaveRawAac) sound.extra.assign(p->extradata, p->extradata + p->extradata_size);
        }
        head_ = CameraStreamHeader(video, sound_ >= 0 ? &sound : nullptr);
        frames_ = FrameNumberCheck();
        if (codec_ == CameraCodec::kH264) frames_.Continues(lastVideo_.data(), lastVideo_.size());
        Chunk(true, lastVideo_.data(), lastVideo_.size());
        pending_ = true;
        break;
    }
    deadline_ = 0;
    return true;
}

ReadResult RtspLink::Read(HANDLE stop, DWORD, const uint8_t** data, size_t* size, std::string* why) {
    stop_ = stop;
    if (!context_) return ReadResult::kClosed;
    while (!pending_) {
        const int r = NextPacket();
        if (r < 0) return ResultOf(r, why);
        lastWasVideo_ = packet_->stream_index == video_;
        // A picture after a lost one is not handed on: the port keeps its
        // last good picture up to the next key picture.
        if (lastWasVideo_ &&
            (!Intact((packet_->flags & AV_PKT_FLAG_KEY) != 0) ||
             (codec_ == CameraCodec::kH264 && !frames_.Continues(packet_->data, size_t(packet_->size))))) {
            ++held_;
            continue;
        }
        if (lastWasVideo_) lastVideo_.assign(packet_->data, packet_->data + packet_->size);
        Chunk(lastWasVideo_, packet_->data, size_t(packet_->size));
        break;
    }
    if (pending_) {
        lastWasVideo_ = true;
    }
    pending_ = false;
    *data = chunk_.data();
    *size = chunk_.size();
    return ReadResult::kData;
}

void RtspLink::Close() {
    StopListening(&lost_);
    if (context_) avformat_close_input(&context_);
    if (packet_) av_packet_free(&packet_);
    context_ = nullptr;
    head_.clear();
    pending_ = false;
    lastWasVideo_ = false;
}

}  // namespace

std::unique_ptr<NetLink> MakeRtspLink(const vdplay::NetAddress& address, const std::string& transport) {
    return std::make_unique<RtspLink>(address, transport);
}

}  // namespace vdplay

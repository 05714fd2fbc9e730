// PlayPort: opening files and streams, stream input, seeking and the queries.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "dll/play_port.h"

namespace demoplay {
namespace {

int ResultOf(AviStatus status) {
    switch (status) {
        case AviStatus::kOk:
            return KV_OK;
        case AviStatus::kNotAvi:
            return KV_ERR_NOT_AVI;
        case AviStatus::kTruncated:
        case AviStatus::kCorrupt:
            return KV_ERR_CORRUPT;
        case AviStatus::kNoVideo:
            return KV_ERR_NO_VIDEO;
    }
    return KV_ERR_CORRUPT;
}

// Picture rates outside this range are taken for mistakes.
bool SaneRate(uint32_t rate, uint32_t scale) {
    return rate > 0 && scale > 0 && uint64_t(rate) * 10 >= scale && uint64_t(rate) <= uint64_t(scale) * 1000;
}

// The codec set-up stored after the 40-byte BITMAPINFOHEADER (parameter
// sets, an avcC/hvcC record). ffmpeg counts the set-up in the header's size
// field and pads the chunk to an even length; the size, where it is larger
// than the header and fits, says where the set-up ends.
std::vector<uint8_t> ExtraCodecData(const VideoStreamInfo& video) {
    if (video.strf.size() <= 40) return {};
    size_t end = ReadLe32(video.strf.data());
    if (end <= 40 || end > video.strf.size()) end = video.strf.size();
    return std::vector<uint8_t>(video.strf.begin() + 40, video.strf.begin() + ptrdiff_t(end));
}

}  // namespace

int PlayPort::PrepareDecoding() {
    const AviHeaders& h = headers();
    if (DescribeVideo(h.video, &layout_) != LayoutStatus::kOk) return KV_ERR_UNSUPPORTED;
    if (layout_.codec != VideoCodec::kNone) {
        codecSetUp_ = ExtraCodecData(h.video);
        decoderLive_ = isStream_;
        decoder_ = VideoDecoder::Create(layout_.codec, codecSetUp_, decoderLive_);
        if (!decoder_) return KV_ERR_UNSUPPORTED;  // the codec libraries are not beside the SDK
        nalLengthSize_ = NalLengthSize(layout_.codec, codecSetUp_.data(), codecSetUp_.size());
        parameterSets_ = std::make_unique<ParameterSets>(layout_.codec, nalLengthSize_);
        recorder_.KeepSinceKey();
    }
    if (layout_.mjpeg)
        mjpeg_ = MjpegDecoder::Create(layout_.width, layout_.height, h.video.compression, ExtraCodecData(h.video));
    mediaWidth_ = layout_.width;
    mediaHeight_ = layout_.height;
    soundFormat_ = h.hasAudio ? DescribeSound(h.audio) : SoundFormat();
    const SoundFormat& s = soundFormat_;
    soundDecoder_ = s.compressed() ? SoundDecoder::Create(s) : nullptr;
    if (soundDecoder_) {
        soundUsable_ =
            resampler_.Configure(s.rate, s.channels, soundDecoder_->bitsPerSample(), soundDecoder_->sampleFormat());
    } else {
        soundUsable_ =
            s.usable() && !s.compressed() &&
            resampler_.Configure(s.rate, s.channels, s.bitsPerSample,
                                 s.codec == SoundCodec::kFloat ? SampleFormat::kFloat : SampleFormat::kInteger);
    }
    if (!soundUsable_) soundFormat_ = SoundFormat();
    return KV_OK;
}

int PlayPort::OpenFile(const char* path) {
    isStream_ = false;
    source_ = std::make_unique<Win32FileSource>();
    if (!source_->Open(path)) return KV_ERR_FILE_NOT_FOUND;
    int r = ResultOf(ParseAviFile(*source_, &file_));
    if (r != KV_OK) return r;
    r = PrepareDecoding();
    if (r != KV_OK) return r;
    audioStartBytes_.clear();
    audioStartBytes_.reserve(file_.audioChunks.size() + 1);
    uint64_t total = 0;
    for (const ChunkRef& c : file_.audioChunks) {
        audioStartBytes_.push_back(total);
        total += soundFormat_.UnitsOf(c.size);
    }
    audioStartBytes_.push_back(total);
    if (!soundUsable_) nextAudio_ = file_.audioChunks.size();
    return KV_OK;
}

int PlayPort::OpenStream(const uint8_t* header, size_t length) {
    isStream_ = true;
    // How long a live picture may be held to even out jitter, when the
    // default (two picture intervals) does not suit the network.
    if (const char* text = std::getenv("DEMOPLAY_PLAYOUT_MS")) {
        char* end = nullptr;
        const long ms = std::strtol(text, &end, 10);
        if (end != text && *end == 0 && ms >= 0 && ms <= 2000) playoutAllowanceUs_ = int64_t(ms) * 1000;
    }
    VideoCodec codec;
    if (DetectAnnexB(header, length, &codec) == AnnexBStatus::kCodec) return OpenAnnexBStream(codec, header, length);
    if (length < 12 || ReadLe32(header) != kFccRiff || ReadLe32(header + 8) != kFccAvi) return KV_ERR_NOT_AVI;
    std::lock_guard<SlimMutex> lock(mutex_);
    headerBytes_.assign(header, header + length);
    int r = AcceptStreamHeaderLocked();
    return r == KV_ERR_NOT_READY ? KV_OK : r;
}

// A raw H.264 or H.265 stream: no headers beyond the stream itself, whose
// first bytes are its first data.
int PlayPort::OpenAnnexBStream(VideoCodec codec, const uint8_t* header, size_t length) {
    annexB_ = true;
    streamHeaders_ = AviHeaders();
    VideoStreamInfo& v = streamHeaders_.video;
    v.number = 0;
    v.compression = codec == VideoCodec::kH264 ? FourCc('H', '2', '6', '4') : FourCc('H', 'E', 'V', 'C');
    v.handler = v.compression;
    v.rate = 25;
    v.scale = 1;
    // The rate for streams without timing of their own, when no call names one.
    if (const char* text = std::getenv("DEMOPLAY_STREAM_FPS")) {
        char* end = nullptr;
        const double fps = std::strtod(text, &end);
        if (end != text && *end == 0 && fps >= 0.1 && fps <= 1000) {
            v.rate = uint32_t(fps * 1000 + 0.5);
            v.scale = 1000;
        }
    }
    layout_ = VideoLayout();
    layout_.codec = codec;
    layout_.kind = kKindI420;
    decoder_ = VideoDecoder::Create(codec, {}, true);
    if (!decoder_) return KV_ERR_UNSUPPORTED;
    // An H.264 picture is taken as whole once the input is quiet after its
    // slice: libavcodec flags a picture decoded from less than all of it, so
    // one that turns out cut is never shown. Its H.265 decoder flags no such
    // picture: H.265 pictures wait for the next one to begin.
    int64_t quietUs = codec == VideoCodec::kH264 ? kRawQuietUs : 0;
    if (const char* text = std::getenv("DEMOPLAY_RAW_QUIET_MS")) {
        char* end = nullptr;
        const long ms = std::strtol(text, &end, 10);
        if (end != text && *end == 0 && ms >= 0 && ms <= 40 && codec == VideoCodec::kH264) quietUs = int64_t(ms) * 1000;
    }
    rawUnits_ = std::make_unique<AnnexBAssembler>(codec, quietUs, kMaxStreamBufferBytes / 2);
    parameterSets_ = std::make_unique<ParameterSets>(codec, 0);
    recorder_.KeepSinceKey();
    std::lock_guard<SlimMutex> lock(mutex_);
    headersReady_ = true;
    QueueStreamBytesLocked(header, length);
    return KV_OK;
}

void PlayPort::QueueStreamBytesLocked(const uint8_t* data, size_t length) {
    if (length == 0) return;
    StreamChunk c;
    c.cls = ChunkClass::kVideo;
    c.data.assign(data, data + length);
    c.arrivedUs = NowUs();
    queuedBytes_ += c.data.capacity();
    queue_.push_back(std::move(c));
    wake_.notify_all();
}

int PlayPort::SetStreamFrameRate(uint32_t rate, uint32_t scale) {
    if (!isStream_ || !annexB_) return KV_ERR_WRONG_PORT_TYPE;
    if (!SaneRate(rate, scale)) return KV_ERR_ARGUMENT;
    std::lock_guard<SlimMutex> lock(mutex_);
    if (!rateFromStream_) {
        streamHeaders_.video.rate = rate;
        streamHeaders_.video.scale = scale;
    }
    return KV_OK;
}

// Tries the stream headers collected so far. KV_ERR_NOT_READY while they are
// incomplete; any other failure is final for the port.
int PlayPort::AcceptStreamHeaderLocked() {
    size_t moviEnd = 0;
    AviStatus s = headerParser_.Continue(headerBytes_.data(), headerBytes_.size(), &streamHeaders_, &moviEnd);
    if (s == AviStatus::kTruncated) {
        if (headerBytes_.size() <= kMaxStreamHeaderBytes) return KV_ERR_NOT_READY;
        s = AviStatus::kCorrupt;
    }
    int r = ResultOf(s);
    if (r == KV_OK) r = PrepareDecoding();
    if (r == KV_OK && !layout_.compressed() && layout_.frameBytes > kMaxRawStreamPictureBytes) r = KV_ERR_UNSUPPORTED;
    if (r != KV_OK) {
        streamError_ = r;
        headerBytes_.clear();
        headerBytes_.shrink_to_fit();
        return r;
    }
    // Room for the largest chunk worth decoding, twice (one queued, the next
    // arriving); larger ones are skipped. A raw picture has one size, which
    // the limit makes room for; a compressed one larger than half the limit
    // is no picture worth holding.
    size_t maxChunk;
    if (layout_.compressed()) {
        maxChunk = std::min(layout_.deliveredBytes + (size_t(1) << 16), kMaxStreamBufferBytes / 2 - kChunkSlack);
    } else {
        maxChunk = layout_.frameBytes + 4096;
        bufferLimit_ = std::max(kMaxStreamBufferBytes, 2 * (maxChunk + kChunkSlack));
    }
    maxChunk = std::max(maxChunk, size_t(1) << 20);
    assembler_ = std::make_unique<StreamAssembler>(streamHeaders_, maxChunk);
    // The movie list's header came with the headers; its size says where the
    // movie data ends.
    const uint32_t moviSize = ReadLe32(headerBytes_.data() + moviEnd - 8);
    if (moviSize >= 4) assembler_->SetMovieBytes(moviSize - 4);
    headersReady_ = true;
    std::vector<uint8_t> rest(headerBytes_.begin() + moviEnd, headerBytes_.end());
    headerBytes_.clear();
    headerBytes_.shrink_to_fit();
    std::vector<StreamChunk> chunks;
    assembler_->Feed(rest.data(), rest.size(), &chunks);
    const int64_t arrived = NowUs();
    for (StreamChunk& c : chunks) {
        c.arrivedUs = arrived;
        queuedBytes_ += c.data.capacity();
        queue_.push_back(std::move(c));
    }
    wake_.notify_all();
    return KV_OK;
}

int PlayPort::InputData(const uint8_t* data, size_t length) {
    if (!isStream_) return KV_ERR_WRONG_PORT_TYPE;
    std::lock_guard<SlimMutex> lock(mutex_);
    if (streamError_ != KV_OK) return streamError_;
    if (annexB_) {
        if (queuedBytes_ + length > bufferLimit_) return KV_ERR_BUFFER_FULL;
        QueueStreamBytesLocked(data, length);
        return KV_OK;
    }
    if (!headersReady_) {
        if (length > kMaxStreamBufferBytes) return KV_ERR_BUFFER_FULL;
        headerBytes_.insert(headerBytes_.end(), data, data + length);
        int r = AcceptStreamHeaderLocked();
        return r == KV_ERR_NOT_READY ? KV_OK : r;
    }
    // The memory held counts, spares included; spares give way to input.
    if (queuedBytes_ + assembler_->heldBytes() + length > bufferLimit_) assembler_->DropSpares();
    if (queuedBytes_ + assembler_->heldBytes() + length > bufferLimit_) return KV_ERR_BUFFER_FULL;
    std::vector<StreamChunk> chunks;
    assembler_->Feed(data, length, &chunks);
    const int64_t arrived = NowUs();
    for (StreamChunk& c : chunks) {
        c.arrivedUs = arrived;
        queuedBytes_ += c.data.capacity();
        queue_.push_back(std::move(c));
    }
    if (!chunks.empty()) wake_.notify_all();
    return KV_OK;
}

int PlayPort::ClearBuffer() {
    std::lock_guard<SlimMutex> lock(mutex_);
    if (!isStream_ || !headersReady_) return KV_OK;
    queue_.clear();
    queuedBytes_ = 0;
    pacer_.Reset();
    if (assembler_) assembler_->Reset();
    decoderResetPending_ = true;  // what follows starts at a key picture
    ++soundEpoch_;                // nor the rest of sound already converted
    return KV_OK;
}

uint32_t PlayPort::VideoStampMs(uint64_t index) const {
    return uint32_t(std::min<uint64_t>(headers().PictureStampMs(index), UINT32_MAX));
}

uint32_t PlayPort::AudioStampMs(uint64_t bytes) const {
    return uint32_t(std::min<uint64_t>(soundFormat_.Ms(bytes), UINT32_MAX));
}

uint32_t PlayPort::DurationMs() const { return VideoStampMs(file_.videoChunks.size()); }

int PlayPort::GetFileTime(int* seconds) {
    *seconds = isStream_ ? 0 : int(DurationMs() / 1000);
    return KV_OK;
}

int PlayPort::GetMediaInfo(void* info) {
    std::lock_guard<SlimMutex> lock(mutex_);
    if (isStream_ && !headersReady_) return streamError_ != KV_OK ? streamError_ : KV_ERR_NOT_READY;
    if (annexB_ && mediaWidth_ == 0) return KV_ERR_NOT_READY;  // no picture decoded yet
    uint8_t block[12] = {0};
    PutLe16(block, uint16_t(mediaWidth_));
    PutLe16(block + 2, uint16_t(mediaHeight_));
    block[4] = uint8_t(headers().FramesPerSecond());
    std::memcpy(info, block, sizeof block);
    return KV_OK;
}

int PlayPort::GetPlayTime(int* seconds) {
    std::lock_guard<SlimMutex> lock(mutex_);
    *seconds = int((isStream_ ? VideoStampMs(streamPictures_) : positionMs_) / 1000);
    return KV_OK;
}

int PlayPort::SetPlayTime(int seconds) {
    if (isStream_) return KV_ERR_NOT_SEEKABLE;
    if (seconds < 0) return KV_ERR_ARGUMENT;
    if (uint64_t(seconds) * 1000 > DurationMs()) return KV_ERR_OUT_OF_RANGE;
    std::lock_guard<SlimMutex> lock(mutex_);
    return SeekLocked(uint32_t(seconds) * 1000);
}

// Positions both cursors through the index: the picture is the first whose
// stamp is not before the target, moved back to a key picture; the sound
// chunk is the one that holds the target time.
int PlayPort::SeekLocked(uint32_t ms) {
    uint64_t index = std::min<uint64_t>(headers().FirstPictureAtOrAfter(ms), file_.videoChunks.size());
    // Pictures from the key picture up to the target are decoded but not
    // handed out; the clock starts at the target.
    positionMs_ = VideoStampMs(index);
    showFromMs_ = layout_.compressed() ? positionMs_ : 0;
    decoderResetPending_ = true;
    while (index > 0 && index < file_.videoChunks.size() && !file_.videoChunks[index].key) --index;
    nextVideo_ = size_t(index);
    uint64_t targetBytes = soundFormat_.UnitsAt(ms);
    // audioStartBytes_ has one entry per chunk and the total at the end.
    auto it = std::upper_bound(audioStartBytes_.begin(), audioStartBytes_.end() - 1, targetBytes);
    nextAudio_ = it == audioStartBytes_.begin() ? 0 : size_t(it - audioStartBytes_.begin() - 1);
    if (!soundUsable_ || targetBytes >= audioStartBytes_.back()) nextAudio_ = file_.audioChunks.size();
    endNotified_ = false;
    seekPending_ = true;
    ++soundEpoch_;
    ++seekGeneration_;
    wake_.notify_all();
    return KV_OK;
}

int PlayPort::StartRecord(const char* path) {
    if (annexB_) {
        // The AVI headers come from the stream's pictures: its size is known
        // once one has been decoded.
        AviHeaders h;
        {
            std::lock_guard<SlimMutex> lock(mutex_);
            if (mediaWidth_ <= 0 || mediaHeight_ <= 0) return streamError_ != KV_OK ? streamError_ : KV_ERR_NOT_READY;
            const VideoStreamInfo& v = streamHeaders_.video;
            h = CompressedVideoHeaders(v.compression, mediaWidth_, mediaHeight_, v.rate, v.scale);
        }
        return recorder_.Start(path, h, false);
    }
    if (isStream_) {
        std::lock_guard<SlimMutex> lock(mutex_);
        if (!headersReady_) return streamError_ != KV_OK ? streamError_ : KV_ERR_NOT_READY;
    }
    return recorder_.Start(path, headers(), soundUsable_);
}

int PlayPort::StopRecord() { return recorder_.Stop(); }

}  // namespace demoplay

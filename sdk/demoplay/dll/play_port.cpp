// PlayPort: the decoding thread, its pacing and the delivery of frames.
#include "dll/play_port.h"

#include <algorithm>
#include <cstring>

#include "core/jpeg_picture.h"

namespace demoplay {

constexpr size_t kMaxReadChunkBytes = size_t(16) << 20;

PlayPort::~PlayPort() { Shutdown(); }

bool PlayPort::OnOwnThread() {
    std::lock_guard<SlimMutex> lock(mutex_);
    return decodingThread_ == std::this_thread::get_id();
}

void PlayPort::Shutdown() {
    Stop();
    if (recorder_.active()) recorder_.Stop();
}

// The decoding loop is given its thread when the port opens, so that Play
// only has to wake it.
void PlayPort::StartLoopEarly() {
    std::lock_guard<std::mutex> control(controlMutex_);
    std::lock_guard<SlimMutex> lock(mutex_);
    if (loop_) return;
    stopRequested_ = false;
    playing_ = false;
    try {
        loop_ = DecodingThreads::Start([this] { Run(); });
    } catch (...) {
    }
    if (!loop_) stopRequested_ = true;  // Play tries again
}

int PlayPort::Play(KV_FrameCallBack callback, void* user) {
    if (!callback) return KV_ERR_ARGUMENT;
    if (OnOwnThread()) return KV_ERR_IN_CALLBACK;
    std::lock_guard<std::mutex> control(controlMutex_);
    {
        std::lock_guard<SlimMutex> lock(mutex_);
        if (isStream_ && streamError_ != KV_OK) return streamError_;
        if (loop_ && !stopRequested_) {
            if (!playing_) {
                BeginLocked(callback, user);  // the loop waiting since the open
                return KV_OK;
            }
            // Already playing: the frames go to the new callback from the next one
            // on. Waiting for the loop here could wait for a consumer that holds
            // its callback.
            callback_ = callback;
            user_ = user;
            if (!isStream_ && endNotified_) SeekLocked(0);
            return KV_OK;
        }
    }
    StopLocked();
    std::lock_guard<SlimMutex> lock(mutex_);
    BeginLocked(callback, user);
    try {
        loop_ = DecodingThreads::Start([this] { Run(); });
    } catch (...) {
    }
    if (!loop_) {
        playing_ = false;
        stopRequested_ = true;
        return KV_ERR_NO_MEMORY;
    }
    return KV_OK;
}

void PlayPort::BeginLocked(KV_FrameCallBack callback, void* user) {
    callback_ = callback;
    user_ = user;
    stopRequested_ = false;
    pacer_.Reset();
    // Playing again after the end starts from the beginning.
    if (!isStream_ && endNotified_) SeekLocked(0);
    seekPending_ = true;  // start the clock at the current position
    playing_ = true;
    wake_.notify_all();
}

int PlayPort::Stop() {
    {
        std::lock_guard<SlimMutex> lock(mutex_);
        stopRequested_ = true;
        wake_.notify_all();
        // From the port's own callback: no further callback starts, and the
        // loop ends when the callback returns. It is waited for later.
        if (decodingThread_ == std::this_thread::get_id()) return KV_OK;
    }
    std::lock_guard<std::mutex> control(controlMutex_);
    StopLocked();
    return KV_OK;
}

// With controlMutex_ held: ends the decoding loop and waits for it.
void PlayPort::StopLocked() {
    std::shared_ptr<JobTicket> loop;
    {
        std::lock_guard<SlimMutex> lock(mutex_);
        stopRequested_ = true;
        wake_.notify_all();
        loop = std::move(loop_);
    }
    if (loop) loop->Wait();
    std::lock_guard<SlimMutex> lock(mutex_);
    decodingThread_ = std::thread::id();
    playing_ = false;
}

// Picks the file's next chunk in time order and waits until it is due.
// False when the thread should look at its state again.
bool PlayPort::NextFileChunkLocked(std::unique_lock<SlimMutex>& lock, Clock::time_point* base, Pending* out) {
    if (seekPending_) {
        seekPending_ = false;
        *base = Clock::now() - std::chrono::milliseconds(positionMs_);
        firstPictureFirst_ = true;
    }
    const bool haveVideo = nextVideo_ < file_.videoChunks.size();
    const bool haveBlock = !laterSound_.empty();
    const bool haveAudio = haveBlock || (soundUsable_ && nextAudio_ < file_.audioChunks.size());
    if (!haveVideo && !haveAudio) {
        if (endNotified_) {
            wake_.wait(lock);
            return false;
        }
        endNotified_ = true;
        out->cls = ChunkClass::kOther;
        out->stampMs = VideoStampMs(file_.videoChunks.size());
        return true;
    }
    uint32_t videoStamp = haveVideo ? VideoStampMs(nextVideo_) : 0;
    uint32_t audioStamp = haveBlock   ? laterSound_.front().stampMs
                          : haveAudio ? AudioStampMs(audioStartBytes_[nextAudio_])
                                      : 0;
    int64_t videoDue = videoStamp;
    int64_t audioDue = int64_t(audioStamp) - kSoundLeadMs;
    // After a start or a seek the first picture to show goes before the sound
    // that leads it, so that it is on screen as soon as it can be.
    bool takeVideo =
        haveVideo && (!haveAudio || videoDue < audioDue || (firstPictureFirst_ && videoStamp <= audioStamp));
    int64_t dueMs = takeVideo ? videoDue : audioDue;
    // Pictures between a key picture and the target of a seek are decoded at
    // once; only those from the target on are shown, each on time.
    const bool catchingUp = takeVideo && videoStamp < showFromMs_;
    Clock::time_point due = *base + std::chrono::milliseconds(dueMs);
    Clock::time_point now = Clock::now();
    if (now < due && !catchingUp) {
        wake_.wait_until(lock, due);
        return false;
    }
    if (now - due > std::chrono::milliseconds(kMaxLatenessMs) && !catchingUp) *base += now - due;
    if (takeVideo) {
        out->cls = ChunkClass::kVideo;
        out->position = nextVideo_;
        out->ref = file_.videoChunks[nextVideo_++];
        out->stampMs = videoStamp;
        if (!catchingUp) {
            positionMs_ = videoStamp;
            firstPictureFirst_ = false;
        }
    } else if (haveBlock) {
        TakeLaterSound(out);
    } else {
        out->cls = ChunkClass::kAudio;
        out->soundByte = audioStartBytes_[nextAudio_];
        out->ref = file_.audioChunks[nextAudio_++];
        out->stampMs = audioStamp;
    }
    return true;
}

void PlayPort::TakeLaterSound(Pending* out) {
    out->cls = ChunkClass::kAudio;
    out->converted = true;
    out->stampMs = laterSound_.front().stampMs;
    out->sound = std::move(laterSound_.front().samples);
    laterSound_.pop_front();
}

bool PlayPort::NextStreamChunkLocked(std::unique_lock<SlimMutex>& lock, Pending* out) {
    if (!laterSound_.empty()) {
        TakeLaterSound(out);
        return true;
    }
    if (queue_.empty()) {
        // A raw stream's picture may be whole before the next one begins.
        const int64_t quietAt = rawUnits_ ? rawUnits_->QuietDeadlineUs() : INT64_MAX;
        if (quietAt == INT64_MAX) {
            wake_.wait(lock);
            return false;
        }
        if (NowUs() < quietAt) {
            wake_.wait_until(lock, Clock::time_point(std::chrono::microseconds(quietAt)));
            return false;
        }
        out->cls = ChunkClass::kVideo;
        out->quiet = true;
        return true;
    }
    // Far behind: the newest key picture rather than the backlog. A recording
    // keeps every chunk, so its port only catches up. The queue is looked
    // through at most once a second: a raw stream's is scanned byte by byte,
    // and a queue of garbage may hold no key picture at all.
    if (queue_.front().cls == ChunkClass::kVideo && FarBehind(queue_.front().arrivedUs, queue_.back().arrivedUs) &&
        !recorder_.active() && NowUs() >= nextSkipCheckUs_) {
        nextSkipCheckUs_ = NowUs() + kFarBehindUs;
        SkipToNewestKeyLocked();
    }
    StreamChunk& c = queue_.front();
    out->cls = c.cls;
    out->arrivedUs = c.arrivedUs;
    out->data = std::move(c.data);
    // The end of an OpenDML file's first movie list is not the end of its
    // movie: its length names all its pictures.
    const VideoStreamInfo& v = headers().video;
    out->movieEnd = c.movieEnd && (v.superIndex.empty() || streamPictures_ >= v.length);
    const bool marker = c.movieEnd;
    queuedBytes_ -= out->data.capacity();
    queue_.pop_front();
    if (marker) return out->movieEnd;
    if (out->cls == ChunkClass::kVideo) {
        // A raw stream's pieces are no pictures: they get their places and
        // stamps once decoded.
        if (!annexB_) {
            out->position = streamPictures_;
            out->stampMs = VideoStampMs(streamPictures_++);
        }
    } else {
        out->stampMs = AudioStampMs(streamSoundBytes_);
        out->soundByte = streamSoundBytes_;
        streamSoundBytes_ += soundFormat_.UnitsOf(out->data.size());
    }
    return true;
}

void PlayPort::Run() {
    std::unique_lock<SlimMutex> lock(mutex_);
    while (!playing_ && !stopRequested_) wake_.wait(lock);
    if (stopRequested_) return;
    decodingThread_ = std::this_thread::get_id();
    Clock::time_point base = Clock::now();
    Pending chunk;
    while (!stopRequested_) {
        if (laterSoundEpoch_ != soundEpoch_) {
            laterSound_.clear();
            resampler_.Reset();
            if (soundDecoder_) soundDecoder_->Reset();
            recorder_.ForgetSound();
            laterSoundEpoch_ = soundEpoch_;
        }
        chunk = Pending();
        bool ready = isStream_ ? NextStreamChunkLocked(lock, &chunk) : NextFileChunkLocked(lock, &base, &chunk);
        if (!ready || stopRequested_) continue;
        chunk.callback = callback_;
        chunk.user = user_;
        chunk.resetDecoder = decoderResetPending_;
        decoderResetPending_ = false;
        chunk.showFromMs = showFromMs_;
        chunk.seekGeneration = seekGeneration_;
        lock.unlock();
        Deliver(chunk);
        lock.lock();
        if (assembler_ && !chunk.data.empty())
            assembler_->Recycle(std::move(chunk.data), queuedBytes_ < bufferLimit_ ? bufferLimit_ - queuedBytes_ : 0);
    }
    // The id may be given to another thread once this one has ended.
    decodingThread_ = std::thread::id();
}

// Whether the frames of a chunk may still be handed over: no seek has come
// since it was taken.
bool PlayPort::StillCurrent(const Pending& chunk) {
    std::lock_guard<SlimMutex> lock(mutex_);
    return chunk.seekGeneration == seekGeneration_ && !stopRequested_;
}

void PlayPort::DeliverSound(Pending& chunk, int fps) {
    if (!StillCurrent(chunk)) return;
    chunk.callback(id_, reinterpret_cast<const unsigned char*>(chunk.sound.data()), int(chunk.sound.size() * 2),
                   mediaWidth_, mediaHeight_, chunk.stampMs, KV_FRAME_SOUND, fps, chunk.user);
}

// Runs on the decoding thread without the port's lock: reads the chunk,
// records it, converts it and calls the callback.
void PlayPort::Deliver(Pending& chunk) {
    const int fps = headers().FramesPerSecond();
    if (decoder_ && chunk.resetDecoder) {
        decoder_->Reset();
        if (rawUnits_) rawUnits_->Reset();
        sinceKey_.clear();  // the group decoded before is no longer the decoder's
        shownSinceKey_.clear();
        sinceKeyUsable_ = false;
        hidden_.clear();
        order_.Reset();
        awaitingKey_ = true;
        carried_.clear();
        recorder_.AwaitKey();
    }
    if (mjpeg_ && chunk.resetDecoder) mjpeg_->Reset();
    if (chunk.movieEnd) {
        if (decoder_) {
            decoder_->Drain([&](const DecodedPicture& p) { DeliverDecoded(chunk, p); });
            order_.Reset();
            awaitingKey_ = true;
        }
        return;
    }
    if (chunk.cls == ChunkClass::kOther) {
        // The pictures the decoder still holds come before the end.
        if (decoder_) decoder_->Drain([&](const DecodedPicture& p) { DeliverDecoded(chunk, p); });
        if (!StillCurrent(chunk)) return;
        chunk.callback(id_, nullptr, 0, mediaWidth_, mediaHeight_, chunk.stampMs, KV_FRAME_NOTIFY, fps, chunk.user);
        return;
    }
    if (chunk.converted) {
        DeliverSound(chunk, fps);
        return;
    }
    const uint8_t* data;
    size_t size;
    if (isStream_) {
        data = chunk.data.data();
        size = chunk.data.size();
    } else {
        // Read only what can be used: one stored picture, a JPEG no larger than
        // its decoded picture, a sound chunk of reasonable length.
        size = chunk.ref.size;
        if (chunk.cls == ChunkClass::kVideo && !layout_.compressed()) {
            if (size < layout_.frameBytes) return;
            size = layout_.frameBytes;
        } else if (size > kMaxReadChunkBytes || (layout_.mjpeg && size > layout_.deliveredBytes + 65536)) {
            return;
        }
        try {
            readBuffer_.resize(size);
        } catch (...) {
            return;
        }
        if (!source_->Read(chunk.ref.offset, readBuffer_.data(), size))
            return;  // a chunk that cannot be read is skipped
        data = readBuffer_.data();
    }
    if (chunk.cls == ChunkClass::kAudio) {
        recorder_.AddSound(data, size, chunk.soundByte);
        if (!soundUsable_) return;
        sound_.clear();
        if (soundDecoder_) {
            decodedSound_.clear();
            soundDecoder_->Decode(data, size, &decodedSound_);
            resampler_.Process(decodedSound_.data(), decodedSound_.size(), &sound_);
        } else {
            resampler_.Process(data, size, &sound_);
        }
        if (sound_.empty()) return;
        // The first block now, the others each at its own time (at once for
        // streams), in the sound's epoch as it was when the chunk was taken.
        for (size_t at = kMaxSoundBlockSamples; at < sound_.size(); at += kMaxSoundBlockSamples) {
            SoundBlock block;
            block.stampMs = chunk.stampMs + uint32_t(uint64_t(at) * 1000 / kOutputRate);
            block.samples.assign(sound_.begin() + at,
                                 sound_.begin() + std::min(sound_.size(), at + kMaxSoundBlockSamples));
            laterSound_.push_back(std::move(block));
        }
        if (sound_.size() > kMaxSoundBlockSamples) sound_.resize(kMaxSoundBlockSamples);
        chunk.sound.swap(sound_);
        DeliverSound(chunk, fps);
        chunk.sound.swap(sound_);
        return;
    }
    if (decoder_) {
        DecodePicture(chunk, data, size);
        return;
    }
    RecordedPicture picture;
    picture.position = chunk.position;
    picture.facts.picture = picture.facts.key = true;  // every picture stands alone
    recorder_.AddPicture(data, size, picture, nullptr);
    if (layout_.mjpeg) {
        DeliverMotionJpeg(chunk, isStream_ ? chunk.data : readBuffer_, fps);
        return;
    }
    if (size < layout_.frameBytes) return;  // a short picture is skipped
    if (layout_.needsConversion()) {
        picture_.resize(layout_.deliveredBytes);
        ConvertStoredRgb(layout_, data, picture_.data());
        data = picture_.data();
    }
    if (!StillCurrent(chunk)) return;
    chunk.callback(id_, data, int(layout_.deliveredBytes), layout_.width, layout_.height, chunk.stampMs, layout_.kind,
                   fps, chunk.user);
}

// libavcodec's picture in the YUV kind that holds its layout; stb_image's in
// RGB32 when there is no libavcodec or no YUV kind for the layout.
void PlayPort::DeliverMotionJpeg(Pending& chunk, std::vector<uint8_t>& bytes, int fps) {
    MjpegPicture p;
    const MjpegDecoder::Result r = mjpeg_ ? mjpeg_->Decode(bytes, &p) : MjpegDecoder::Result::kOtherLayout;
    if (r == MjpegDecoder::Result::kNone) return;
    if (r == MjpegDecoder::Result::kOtherLayout) {
        if (!DecodeMotionJpeg(bytes.data(), bytes.size(), layout_.width, layout_.height, &picture_, &p.width,
                              &p.height))
            return;
        p.data = picture_.data();
        p.size = picture_.size();
        p.kind = KV_FRAME_RGB32;
    }
    if (!StillCurrent(chunk)) return;
    chunk.callback(id_, p.data, int(p.size), p.width, p.height, chunk.stampMs, p.kind, fps, chunk.user);
}

// A compressed picture (or, on a raw stream, a piece of the stream) into the
// decoder; what comes out is handed over in presentation order.
void PlayPort::DecodePicture(Pending& chunk, const uint8_t* data, size_t size) {
    const PictureSink sink = [&](const DecodedPicture& p) { DeliverDecoded(chunk, p); };
    if (!annexB_) {
        DecodeAccessUnit(data, size, chunk.position, sink,
                         DescribeAccessUnit(data, size, nalLengthSize_, layout_.codec));
        return;
    }
    rawOut_.clear();
    if (chunk.quiet) {
        AnnexBAssembler::Unit unit;
        if (rawUnits_->TakeIfQuiet(NowUs(), &unit)) rawOut_.push_back(std::move(unit));
    } else {
        rawUnits_->Feed(data, size, chunk.arrivedUs, &rawOut_);
    }
    for (const AnnexBAssembler::Unit& unit : rawOut_) DecodeRawUnit(chunk, unit, sink);
}

// A raw stream's access unit. One let out early is decoded at once and
// recorded once it is known whole; one that turned out cut is decoded again,
// afresh, when it is whole, in the same place.
void PlayPort::DecodeRawUnit(Pending& chunk, const AnnexBAssembler::Unit& unit, const PictureSink& sink) {
    using Kind = AnnexBAssembler::Kind;
    const uint8_t* data = unit.data.data();
    const size_t size = unit.data.size();
    chunk.arrivedUs = unit.arrivedUs;
    const AccessUnitFacts facts = DescribeAccessUnit(data, size, nalLengthSize_, layout_.codec);
    if (unit.restart) {
        // What the decoder holds may come from a picture that was not whole:
        // it shows nothing more until a key picture.
        decoder_->Reset();
        order_.Reset();
        awaitingKey_ = true;
        if (unit.kind != Kind::kRedone) {
            sinceKey_.clear();  // data was dropped: no group to decode again until the next key picture
            shownSinceKey_.clear();
            sinceKeyUsable_ = false;
        }
    }
    switch (unit.kind) {
        case Kind::kConfirmed:
            RecordAccessUnit(data, size, earlyPosition_, facts);
            return;
        case Kind::kEarly:
            earlyPosition_ = unitsFed_++;
            KeepForReplay(data, size, earlyPosition_, facts);
            DecodeAccessUnit(data, size, earlyPosition_, sink, facts, false);
            return;
        case Kind::kRedone:
            Replay(sink);
            DecodeAccessUnit(data, size, earlyPosition_, sink, facts);
            return;
        case Kind::kWhole: {
            // Units without a picture (parameter sets alone) take no place.
            const uint64_t position = facts.picture ? unitsFed_++ : unitsFed_;
            KeepForReplay(data, size, position, facts);
            DecodeAccessUnit(data, size, position, sink, facts);
            return;
        }
    }
}

// The decoded units of the group a picture let out early belongs to, while
// the quiet rule may still find it cut. 16 MB holds a group of 50 pictures
// of 320 KB; a larger group is not kept, and a cut picture then leaves the
// decoder waiting for the next key picture.
void PlayPort::KeepForReplay(const uint8_t* data, size_t size, uint64_t position, const AccessUnitFacts& facts) {
    constexpr size_t kMostBytes = size_t(16) << 20;
    if (!rawUnits_->quietRuleOn()) return;
    if (facts.key) {
        sinceKey_.clear();
        shownSinceKey_.clear();
        sinceKeyBytes_ = 0;
        sinceKeyUsable_ = true;
    }
    if (!sinceKeyUsable_) return;
    if (sinceKeyBytes_ + size > kMostBytes) {
        sinceKey_.clear();
        sinceKeyUsable_ = false;
        return;
    }
    sinceKeyBytes_ += size;
    sinceKey_.push_back({position, facts.picture, std::vector<uint8_t>(data, data + size)});
}

// The picture let out early was cut, and the decoder holds what was decoded
// from part of it: it starts afresh (the unit was marked to restart) and
// decodes the group again up to that picture, showing none of it twice.
void PlayPort::Replay(const PictureSink& sink) {
    hidden_ = shownSinceKey_;
    if (sinceKeyUsable_) {
        for (const DecodedUnit& u : sinceKey_) {
            if (u.picture && u.position == earlyPosition_) continue;  // the cut one: decoded whole next
            if (u.picture) order_.Fed(u.position);
            decoder_->Decode(u.data.data(), u.data.size(), u.position, sink);
        }
    }
    // The rule is off from now on: nothing more is kept.
    sinceKey_.clear();
    sinceKey_.shrink_to_fit();
    shownSinceKey_.clear();
    sinceKeyBytes_ = 0;
    sinceKeyUsable_ = false;
}

// Remembered for recordings, and recorded: units without a picture go with
// the next picture.
void PlayPort::RecordAccessUnit(const uint8_t* data, size_t size, uint64_t position, const AccessUnitFacts& facts) {
    if (facts.parameterSets) parameterSets_->Remember(data, size);
    if (!facts.picture) {
        // Kept for the next picture, so that a recording holds pictures only.
        if (carried_.size() + size <= (size_t(1) << 20)) carried_.insert(carried_.end(), data, data + size);
        return;
    }
    RecordedPicture recorded;
    recorded.position = position;
    recorded.facts = facts;
    if (carried_.empty()) {
        recorder_.AddPicture(data, size, recorded, parameterSets_.get());
    } else {
        carried_.insert(carried_.end(), data, data + size);
        recorder_.AddPicture(carried_.data(), carried_.size(), recorded, parameterSets_.get());
        carried_.clear();
    }
}

// One access unit: recorded (unless `record` is false), and decoded unless it
// is a leading picture that cannot be decoded where decoding started.
void PlayPort::DecodeAccessUnit(const uint8_t* data, size_t size, uint64_t position, const PictureSink& sink,
                                const AccessUnitFacts& facts, bool record) {
    if (record) RecordAccessUnit(data, size, position, facts);
    if (!facts.picture) {
        decoder_->Decode(data, size, position, sink);
        return;
    }
    if (facts.key && !facts.openKey && isStream_ && !annexB_) ChooseDecoderAtKey(sink);
    if (awaitingKey_ && facts.key) {
        awaitingKey_ = false;
        skippingLeading_ = facts.openKey;
    } else if (skippingLeading_ && !facts.skippableLeading) {
        skippingLeading_ = false;
    }
    order_.Fed(position);
    if (skippingLeading_ && facts.skippableLeading) {
        order_.DropLeading();
        return;
    }
    decoder_->Decode(data, size, position, sink);
}

// An AVI stream pushed faster than it plays (a backlog) is decoded for
// throughput, several pictures at once; one that keeps up, for pictures as
// soon as they are decoded. The decoder changes at a key picture whose
// group refers to nothing before it, after handing over what it holds.
void PlayPort::ChooseDecoderAtKey(const PictureSink& sink) {
    bool backlog;
    {
        std::lock_guard<SlimMutex> lock(mutex_);
        backlog = queue_.size() >= kBacklogChunks;
    }
    if (backlog != decoderLive_) return;
    std::unique_ptr<VideoDecoder> fresh = VideoDecoder::Create(layout_.codec, codecSetUp_, !backlog);
    if (!fresh) return;
    decoder_->Drain(sink);
    decoder_ = std::move(fresh);
    decoderLive_ = !backlog;
}

void PlayPort::DeliverDecoded(Pending& chunk, const DecodedPicture& picture) {
    const uint64_t position = order_.Next(picture.position, picture.key);
    if (!hidden_.empty()) {
        const auto shown = std::find(hidden_.begin(), hidden_.end(), picture.position);
        if (shown != hidden_.end()) {
            hidden_.erase(shown);
            return;
        }
    }
    uint32_t stamp;
    int fps;
    {
        std::lock_guard<SlimMutex> lock(mutex_);
        if (stopRequested_ || chunk.seekGeneration != seekGeneration_) return;
        uint32_t rate, scale;
        if (annexB_ && !rateFromStream_ && decoder_->StreamRate(&rate, &scale) && uint64_t(rate) * 10 >= scale &&
            uint64_t(rate) <= uint64_t(scale) * 1000) {
            streamHeaders_.video.rate = rate;
            streamHeaders_.video.scale = scale;
            rateFromStream_ = true;
        }
        stamp = VideoStampMs(position);
        fps = headers().FramesPerSecond();
        if (stamp < chunk.showFromMs) return;
        mediaWidth_ = picture.width;
        mediaHeight_ = picture.height;
        if (annexB_) streamPictures_ = std::max(streamPictures_, position + 1);
    }
    if (isStream_ && !WaitUntilStreamDue(stamp, chunk.arrivedUs)) return;
    if (sinceKeyUsable_) shownSinceKey_.push_back(picture.position);
    recorder_.Shown(picture.position);
    chunk.callback(id_, picture.data, int(picture.size), picture.width, picture.height, stamp, KV_FRAME_I420, fps,
                   chunk.user);
}

int64_t PlayPort::NowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count();
}

// Hands a stream's pictures over by their arrival: at their stamps while
// they come on time, at once when they have waited the whole allowance.
bool PlayPort::WaitUntilStreamDue(uint32_t stampMs, int64_t arrivedUs) {
    std::unique_lock<SlimMutex> lock(mutex_);
    const VideoStreamInfo& v = headers().video;
    pacer_.SetAllowance(playoutAllowanceUs_ >= 0 ? playoutAllowanceUs_ : PlayoutAllowanceUs(v.rate, v.scale));
    const Clock::time_point due(std::chrono::microseconds(pacer_.Due(int64_t(stampMs) * 1000, arrivedUs)));
    if (Clock::now() < due) wake_.wait_until(lock, due, [&] { return stopRequested_; });
    return !stopRequested_;
}

// Drops the queued chunks before the newest key picture; the stamps go on
// over the pictures and sound dropped, and decoding starts afresh there.
void PlayPort::SkipToNewestKeyLocked() {
    const SkipPlan plan = PlanSkipToNewestKey(queue_, {annexB_, layout_.codec, nalLengthSize_});
    if (!plan.found) return;
    // Queued chunks count by their capacity, which cutting the first one's
    // head leaves as it is.
    for (size_t i = 0; i < plan.chunk; ++i) queuedBytes_ -= queue_[i].data.capacity();
    queue_.erase(queue_.begin(), queue_.begin() + ptrdiff_t(plan.chunk));
    std::vector<uint8_t>& first = queue_.front().data;
    first.erase(first.begin(), first.begin() + ptrdiff_t(plan.offset));
    if (annexB_)
        unitsFed_ += plan.pictures;
    else
        streamPictures_ += plan.pictures;
    streamSoundBytes_ += plan.soundBytes;
    decoderResetPending_ = true;
    if (plan.soundBytes > 0) ++soundEpoch_;
}

}  // namespace demoplay

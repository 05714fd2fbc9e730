#include "dll/recorder.h"

#include "DemoPlaySdk.h"

namespace demoplay {

// Sound held while waiting for the first picture: far more than any
// interleaving of sound ahead of pictures needs; and while not recording.
constexpr size_t kMaxHeldSoundBytes = size_t(16) << 20;
constexpr size_t kMaxKeptSoundBytes = size_t(2) << 20;
// Pictures kept for the next recording: at most 4 MiB and 1024 pictures (a
// key interval of 10 s at 100 a second); the pictures of a longer group keep
// only their places.
constexpr size_t kMaxKeptPictureBytes = size_t(4) << 20;
constexpr size_t kMaxKeptPictures = 1024;

Recorder::Recorder() : kept_(kMaxKeptPictureBytes, kMaxKeptPictures) {}

Recorder::~Recorder() {
    std::lock_guard<std::mutex> lock(mutex_);
    DiscardLocked();
}

bool Recorder::active() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sink_ != nullptr;
}

int Recorder::Start(const std::string& path, const AviHeaders& headers, bool withAudio) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (sink_) return KV_ERR_ALREADY_RECORDING;
    path_ = path;
    temporaryPath_ = path + ".recording";
    auto sink = std::make_unique<Win32FileSink>();
    if (!sink->Create(temporaryPath_)) return KV_ERR_RECORD_FILE;
    writer_ = AviWriter();
    if (!writer_.Begin(sink.get(), headers, withAudio)) {
        sink->Close();
        DeleteFileA(temporaryPath_.c_str());
        return KV_ERR_RECORD_FILE;
    }
    sink_ = std::move(sink);
    headers_ = headers;
    sound_ = DescribeSound(headers.audio);
    withAudio_ = withAudio && headers.hasAudio;
    failed_ = false;
    started_ = false;
    skippingLeading_ = false;
    awaitingKey_ = false;
    leadingSkipped_ = 0;
    soundStarted_ = false;
    if (!withAudio_) ForgetSoundLocked();
    RecordKeptLocked();
    return KV_OK;
}

// A recording starts with the kept pictures from the last key picture at or
// before the one on display (the first kept one when none is shown yet).
void Recorder::RecordKeptLocked() {
    const std::deque<KeptPicture>& kept = kept_.pictures();
    for (size_t i = kept_.StartIndex(shown_.load()); i < kept.size() && !failed_; ++i) {
        const KeptPicture& k = kept[i];
        RecordedPicture picture;
        picture.position = k.position;
        picture.facts = k.facts;
        RecordLocked(k.data.data(), k.data.size(), picture, nullptr);
        if (k.placesAfter == 0) continue;
        // What follows cannot be decoded up to the next key picture.
        awaitingKey_ = true;
        RecordedPicture place;
        place.position = k.position + 1;
        place.facts.picture = true;
        for (uint64_t n = 0; n < k.placesAfter; ++n) RecordLocked(nullptr, 0, place, nullptr);
    }
}

void Recorder::WriteLocked(ChunkClass cls, const uint8_t* data, size_t size, bool key) {
    // A full file (the size limit) keeps what it has; a write error spoils it.
    if (!writer_.AddChunk(cls, data, size, key) && writer_.failed()) failed_ = true;
}

// Where the sound stands when the picture at this place is due.
uint64_t Recorder::SoundByteAtLocked(uint64_t picture) const {
    return sound_.UnitsAt(headers_.PictureStampMs(picture));
}

void Recorder::AddPicture(const uint8_t* data, size_t size, const RecordedPicture& picture, const ParameterSets* sets) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (keepSinceKey_) kept_.Add(data, size, picture.position, picture.facts, shown_.load(), sets);
    if (!sink_ || failed_) return;
    RecordLocked(data, size, picture, sets);
}

void Recorder::RecordLocked(const uint8_t* data, size_t size, const RecordedPicture& picture,
                            const ParameterSets* sets) {
    if (!started_) {
        if (!picture.facts.key) {
            // Not written; neither is the sound before its time, which no later
            // key picture is shown with.
            const uint64_t before = SoundByteAtLocked(picture.position);
            while (!heldSound_.empty() &&
                   heldSound_.front().startByte + sound_.UnitsOf(heldSound_.front().data.size()) <= before) {
                heldSoundBytes_ -= heldSound_.front().data.size();
                heldSound_.pop_front();
            }
            return;
        }
        started_ = true;
        firstPosition_ = picture.position;
        WriteKeyLocked(data, size, picture, sets);
        // After an open key picture the first picture shown comes after the
        // leading pictures dropped, which are known only once they have passed.
        if (!skippingLeading_) StartSoundLocked(SoundByteAtLocked(firstPosition_));
        return;
    }
    if (awaitingKey_) {
        if (picture.facts.key)
            WriteKeyLocked(data, size, picture, sets);
        else
            WriteLocked(ChunkClass::kVideo, nullptr, 0, false);  // its place, for the sound that goes on
        return;
    }
    if (skippingLeading_) {
        if (picture.facts.skippableLeading) {
            ++leadingSkipped_;
            // After a break the sound runs on: the picture keeps its place.
            if (soundStarted_) WriteLocked(ChunkClass::kVideo, nullptr, 0, false);
            return;
        }
        skippingLeading_ = false;
        if (!soundStarted_) StartSoundLocked(SoundByteAtLocked(firstPosition_ + leadingSkipped_));
    }
    WriteLocked(ChunkClass::kVideo, data, size, picture.facts.key);
}

// A key picture that starts the recording, or goes on after a break, with
// the parameter sets it lacks before it.
void Recorder::WriteKeyLocked(const uint8_t* data, size_t size, const RecordedPicture& picture,
                              const ParameterSets* sets) {
    awaitingKey_ = false;
    skippingLeading_ = picture.facts.openKey;
    const std::vector<uint8_t> prefix = sets ? sets->MissingFrom(data, size) : std::vector<uint8_t>();
    if (prefix.empty()) {
        WriteLocked(ChunkClass::kVideo, data, size);
        return;
    }
    std::vector<uint8_t> whole(prefix);
    whole.insert(whole.end(), data, data + size);
    WriteLocked(ChunkClass::kVideo, whole.data(), whole.size());
}

void Recorder::AwaitKey() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (started_) awaitingKey_ = true;
    kept_.Clear();
    shown_.store(0);
}

void Recorder::AddSound(const uint8_t* data, size_t size, uint64_t startByte) {
    std::lock_guard<std::mutex> lock(mutex_);
    AddSoundLocked(data, size, startByte);
}

void Recorder::ForgetSound() {
    std::lock_guard<std::mutex> lock(mutex_);
    ForgetSoundLocked();
}

void Recorder::ForgetSoundLocked() {
    heldSound_.clear();
    heldSoundBytes_ = 0;
}

void Recorder::AddSoundLocked(const uint8_t* data, size_t size, uint64_t startByte) {
    if (size == 0 || (sink_ && (failed_ || !withAudio_))) return;
    // Sound from before the first picture shown is cut off, at a block's
    // start (an AAC chunk, one frame, is kept or left out whole).
    if (sink_ && soundStarted_ && startByte + sound_.UnitsOf(size) > soundFromByte_) {
        size_t skip = startByte < soundFromByte_ && !sound_.perChunk ? size_t(soundFromByte_ - startByte) : 0;
        const size_t align = headers_.audio.blockAlign ? headers_.audio.blockAlign : 1;
        skip = (skip + align - 1) / align * align;
        if (skip < size) WriteLocked(ChunkClass::kAudio, data + skip, size - skip);
    }
    // Held for the recording's first picture; and kept, also while one runs,
    // for the next recording, which may start at a key picture played before.
    heldSound_.push_back(HeldSound{startByte, std::vector<uint8_t>(data, data + size)});
    heldSoundBytes_ += size;
    TrimSoundLocked(sink_ && !soundStarted_ ? kMaxHeldSoundBytes : kMaxKeptSoundBytes);
}

void Recorder::TrimSoundLocked(size_t most) {
    while (heldSoundBytes_ > most) {
        heldSoundBytes_ -= heldSound_.front().data.size();
        heldSound_.pop_front();
    }
}

void Recorder::StartSoundLocked(uint64_t fromByte) {
    soundStarted_ = true;
    soundFromByte_ = fromByte;
    std::deque<HeldSound> held;
    held.swap(heldSound_);
    heldSoundBytes_ = 0;
    for (const HeldSound& s : held) AddSoundLocked(s.data.data(), s.data.size(), s.startByte);
}

int Recorder::Stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!sink_) return KV_ERR_NOT_RECORDING;
    // No picture came that decoding could start at: nothing worth keeping.
    const bool empty = writer_.videoFrames() == 0;
    bool complete = !failed_ && !empty && writer_.Finish();
    sink_->Close();
    sink_.reset();
    TrimSoundLocked(kMaxKeptSoundBytes);
    if (!complete) {
        DeleteFileA(temporaryPath_.c_str());
        return empty && !failed_ ? KV_ERR_NOT_READY : KV_ERR_RECORD_FILE;
    }
    // A complete recording that cannot take its name (the name is held by
    // another program) stays under the temporary name rather than being lost.
    if (!MoveFileExA(temporaryPath_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING)) return KV_ERR_RECORD_FILE;
    return KV_OK;
}

void Recorder::DiscardLocked() {
    if (!sink_) return;
    sink_->Close();
    sink_.reset();
    DeleteFileA(temporaryPath_.c_str());
}

}  // namespace demoplay

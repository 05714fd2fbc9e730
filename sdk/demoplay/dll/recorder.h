// Records the chunks a port plays into an AVI file. The file is written under
// a temporary name next to the final one and renamed when it is complete, so
// that an interrupted recording never leaves a partial file under that name.
//
// A recording starts at a key picture: compressed pictures before it are not
// written (they could not be decoded), nor are the leading pictures of an
// H.265 random-access point that cannot be decoded when decoding starts
// there. The first picture written carries the parameter sets it needs
// in-band. H.264 and H.265 ports keep the pictures since the last key
// picture shown (bounded), so that a recording starts at the last key picture
// at or before the picture on display, not at the next one. Sound starts at the time of the first picture shown.
// After a break the pictures up to the next key picture keep their places as
// empty chunks, so that the sound, which goes on, stays in step.
#ifndef DEMOPLAY_DLL_RECORDER_H
#define DEMOPLAY_DLL_RECORDER_H

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "core/avi_writer.h"
#include "core/kept_pictures.h"
#include "core/nal_units.h"
#include "core/sound_format.h"
#include "dll/win32_file.h"

namespace demoplay {

// What the port knows of a picture it records.
struct RecordedPicture {
    uint64_t position = 0;  // in decoding order, on the port's own count
    AccessUnitFacts facts;  // for pictures that are not compressed: every one is key
};

class Recorder {
public:
    Recorder();
    ~Recorder();
    // KV_OK, or a negative result.
    int Start(const std::string& path, const AviHeaders& headers, bool withAudio);
    int Stop();
    bool active() const;
    // Called on the decoding thread with each picture as it is played; `sets`
    // (may be null) gives the parameter sets to put before the first one.
    void AddPicture(const uint8_t* data, size_t size, const RecordedPicture& picture, const ParameterSets* sets);
    // Called on the decoding thread with each sound chunk as it is played;
    // `startByte` is where it begins in the stream's sound (in SoundFormat
    // units: bytes, or chunks of AAC). The last ones are
    // kept while no recording runs: sound is played ahead of the pictures, so
    // a recording's first picture comes with sound already played.
    void AddSound(const uint8_t* data, size_t size, uint64_t startByte);
    // The sound kept no longer follows on (a seek, cleared stream data).
    void ForgetSound();
    // The pictures played no longer follow on (a seek, cleared stream data):
    // the recording goes on at the next key picture.
    void AwaitKey();
    // Keeps the pictures since the last key picture for the next recording
    // (compressed pictures that depend on the pictures before them).
    void KeepSinceKey() { keepSinceKey_ = true; }
    // The picture at this place (in decoding order) has been handed over.
    void Shown(uint64_t position) { shown_.store(position + 1); }

private:
    struct HeldSound {
        uint64_t startByte;
        std::vector<uint8_t> data;
    };
    void RecordLocked(const uint8_t* data, size_t size, const RecordedPicture& picture, const ParameterSets* sets);
    void RecordKeptLocked();
    void DiscardLocked();
    void WriteLocked(ChunkClass cls, const uint8_t* data, size_t size, bool key = true);
    void WriteKeyLocked(const uint8_t* data, size_t size, const RecordedPicture& picture, const ParameterSets* sets);
    uint64_t SoundByteAtLocked(uint64_t picture) const;
    void StartSoundLocked(uint64_t fromByte);
    void AddSoundLocked(const uint8_t* data, size_t size, uint64_t startByte);
    void ForgetSoundLocked();
    void TrimSoundLocked(size_t most);

    mutable std::mutex mutex_;
    std::unique_ptr<Win32FileSink> sink_;
    AviWriter writer_;
    AviHeaders headers_;
    SoundFormat sound_;  // the timing of headers_'s sound
    bool withAudio_ = false;
    std::string path_, temporaryPath_;
    bool failed_ = false;
    // Before the first picture, and until it is known when the first shown
    // picture is due: the sound since the last picture dropped.
    bool started_ = false;
    bool skippingLeading_ = false;  // the undecodable leading pictures of the first key picture
    bool awaitingKey_ = false;      // after a break in the pictures
    uint64_t firstPosition_ = 0;
    uint64_t leadingSkipped_ = 0;
    bool soundStarted_ = false;
    uint64_t soundFromByte_ = 0;
    std::deque<HeldSound> heldSound_;
    size_t heldSoundBytes_ = 0;
    // The pictures kept for the next recording: from a key picture at or
    // before the one on display on, each group from a key picture on.
    bool keepSinceKey_ = false;
    KeptPictures kept_;
    std::atomic<uint64_t> shown_{0};  // one past the place of the last picture handed over; 0: none
};

}  // namespace demoplay

#endif  // DEMOPLAY_DLL_RECORDER_H

// Records the chunks a port plays into an AVI file. The file is written under
// a temporary name next to the final one and renamed when it is complete, so
// that an interrupted recording never leaves a partial file under that name.
//
// A recording starts at a key picture: compressed pictures before the first
// one after the start are not written (they could not be decoded), nor are
// the leading pictures of an H.265 random-access point that cannot be decoded
// when decoding starts there. The first picture written carries the parameter
// sets it needs in-band. Sound starts at the time of the first picture shown.
#ifndef DEMOPLAY_DLL_RECORDER_H
#define DEMOPLAY_DLL_RECORDER_H

#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "core/avi_writer.h"
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

private:
    struct HeldSound {
        uint64_t startByte;
        std::vector<uint8_t> data;
    };
    void DiscardLocked();
    void WriteLocked(ChunkClass cls, const uint8_t* data, size_t size);
    void WriteKeyLocked(const uint8_t* data, size_t size, const RecordedPicture& picture, const ParameterSets* sets);
    uint64_t SoundByteAtLocked(uint64_t picture) const;
    void StartSoundLocked(uint64_t fromByte);
    void AddSoundLocked(const uint8_t* data, size_t size, uint64_t startByte);
    void ForgetSoundLocked();

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
};

}  // namespace demoplay

#endif  // DEMOPLAY_DLL_RECORDER_H

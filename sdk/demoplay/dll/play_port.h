// One port of the play SDK: a file or a live stream, its decoding thread, its
// pacing, the conversion of its pictures and sound, and its recording.
#ifndef DEMOPLAY_DLL_PLAY_PORT_H
#define DEMOPLAY_DLL_PLAY_PORT_H

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "DemoPlaySdk.h"
#include "codec/mjpeg_decoder.h"
#include "codec/sound_decoder.h"
#include "codec/video_decoder.h"
#include "core/avi_parser.h"
#include "core/frame_layout.h"
#include "core/live_pacing.h"
#include "core/nal_units.h"
#include "core/presentation_order.h"
#include "core/resampler.h"
#include "core/sound_format.h"
#include "core/stream_assembler.h"
#include "dll/decoding_threads.h"
#include "dll/recorder.h"
#include "dll/slim_sync.h"
#include "dll/win32_file.h"

namespace demoplay {

// Memory held for stream data per port (the chunks waiting to be decoded, a
// partly received chunk and the spare chunks kept for reuse); input beyond it
// is refused. A raw stream's port holds at least two of its pictures, which
// may be up to kMaxRawStreamPictureBytes each; larger ones are refused at
// the open.
constexpr size_t kMaxStreamBufferBytes = size_t(48) << 20;
constexpr size_t kMaxRawStreamPictureBytes = size_t(64) << 20;
// Stream header bytes collected before the headers must be complete.
constexpr size_t kMaxStreamHeaderBytes = size_t(2) << 20;
// Sound is handed over this much ahead of its time, pictures on time.
constexpr int64_t kSoundLeadMs = 200;
// A decoding thread held up longer than this (a paused or full consumer)
// carries on from where it is instead of hurrying to catch up.
constexpr int64_t kMaxLatenessMs = 250;
// Sound is handed over in blocks of at most 200 ms (6400 bytes of 16 kHz
// mono 16-bit), each at its own time, however long the stored chunks are.
constexpr size_t kMaxSoundBlockSamples = 3200;
// Chunks waiting on an AVI stream port from which on its pictures are
// decoded for throughput rather than for each to come out at once.
constexpr size_t kBacklogChunks = 16;

class PlayPort {
public:
    explicit PlayPort(int id) : id_(id) {}
    ~PlayPort();
    PlayPort(const PlayPort&) = delete;
    PlayPort& operator=(const PlayPort&) = delete;

    int OpenFile(const char* path);
    int OpenStream(const uint8_t* header, size_t length);

    int id() const { return id_; }
    bool isStream() const { return isStream_; }
    bool OnOwnThread();

    int GetFileTime(int* seconds);
    int GetMediaInfo(void* info);
    // Gives the decoding loop a thread ahead of Play (after a successful open).
    void StartLoopEarly();
    int Play(KV_FrameCallBack callback, void* user);
    int Stop();
    int SetPlayTime(int seconds);
    int GetPlayTime(int* seconds);
    int InputData(const uint8_t* data, size_t length);
    // The picture rate of a raw H.264/H.265 stream without timing of its own.
    int SetStreamFrameRate(uint32_t rate, uint32_t scale);
    int ClearBuffer();
    int StartRecord(const char* path);
    int StopRecord();
    // Stops decoding and completes a recording; before closing.
    void Shutdown();

private:
    using Clock = std::chrono::steady_clock;
    struct Pending {
        ChunkClass cls = ChunkClass::kOther;
        uint32_t stampMs = 0;
        ChunkRef ref;                         // file ports
        std::vector<uint8_t> data;            // stream ports
        bool converted = false;               // a block of sound already converted
        std::vector<int16_t> sound;           // that block
        KV_FrameCallBack callback = nullptr;  // as set when the chunk was taken
        void* user = nullptr;
        uint64_t position = 0;        // a picture's place in decoding order
        uint64_t soundByte = 0;       // where a sound chunk begins in the stream's sound (SoundFormat units)
        bool movieEnd = false;        // a pushed stream's movie data ended: the decoder hands over what it holds
        bool resetDecoder = false;    // decoding starts afresh here (a seek)
        uint32_t showFromMs = 0;      // decoded pictures before this time are not handed out
        uint64_t seekGeneration = 0;  // as it was when the chunk was taken
        int64_t arrivedUs = 0;        // a stream chunk: when its last byte came
        bool quiet = false;           // a raw stream's input went quiet: its picture may be whole
    };
    struct SoundBlock {
        uint32_t stampMs = 0;
        std::vector<int16_t> samples;
    };

    const AviHeaders& headers() const { return isStream_ ? streamHeaders_ : file_.headers; }
    int PrepareDecoding();  // layout and sound of the headers
    uint32_t VideoStampMs(uint64_t index) const;
    uint32_t AudioStampMs(uint64_t bytes) const;
    uint32_t DurationMs() const;
    int SeekLocked(uint32_t ms);
    void StopLocked();
    void BeginLocked(KV_FrameCallBack callback, void* user);
    int AcceptStreamHeaderLocked();
    int OpenAnnexBStream(VideoCodec codec, const uint8_t* header, size_t length);
    void QueueStreamBytesLocked(const uint8_t* data, size_t length);

    // Decoding thread.
    void Run();
    bool NextFileChunkLocked(std::unique_lock<SlimMutex>& lock, Clock::time_point* base, Pending* out);
    bool NextStreamChunkLocked(std::unique_lock<SlimMutex>& lock, Pending* out);
    void TakeLaterSound(Pending* out);
    void Deliver(Pending& chunk);
    bool StillCurrent(const Pending& chunk);
    void DeliverSound(Pending& chunk, int fps);
    void DecodePicture(Pending& chunk, const uint8_t* data, size_t size);
    void DecodeRawUnit(Pending& chunk, const AnnexBAssembler::Unit& unit, const PictureSink& sink);
    // `facts` are DescribeAccessUnit's, worked out once by the caller.
    void DecodeAccessUnit(const uint8_t* data, size_t size, uint64_t position, const PictureSink& sink,
                          const AccessUnitFacts& facts, bool record = true);
    void RecordAccessUnit(const uint8_t* data, size_t size, uint64_t position, const AccessUnitFacts& facts);
    void ChooseDecoderAtKey(const PictureSink& sink);
    void DeliverMotionJpeg(Pending& chunk, std::vector<uint8_t>& bytes, int fps);
    void DeliverDecoded(Pending& chunk, const DecodedPicture& picture);
    bool WaitUntilStreamDue(uint32_t stampMs, int64_t arrivedUs);
    void SkipToNewestKeyLocked();
    static int64_t NowUs();

    const int id_;
    bool isStream_ = false;
    VideoLayout layout_;
    bool soundUsable_ = false;
    std::unique_ptr<VideoDecoder> decoder_;         // H.264 and H.265; used on the decoding thread
    std::vector<uint8_t> codecSetUp_;               // stored with the stream, for a decoder made afresh
    bool decoderLive_ = false;                      // made for live pictures rather than throughput
    int nalLengthSize_ = 0;                         // 0: start codes; else the length before each unit
    std::unique_ptr<ParameterSets> parameterSets_;  // the latest the stream carried; decoding thread
    // Motion-JPEG through libavcodec; without it (no libraries) stb_image
    // decodes to RGB32. Used on the decoding thread.
    std::unique_ptr<MjpegDecoder> mjpeg_;
    // The sound's codec and timing (no codec when it is not played).
    SoundFormat soundFormat_;
    // Cameras' compressed sound, decoded on the decoding thread.
    std::unique_ptr<SoundDecoder> soundDecoder_;
    Recorder recorder_;

    // Serialises starting and ending the decoding loop (Play, Stop,
    // Shutdown), so that every Stop returns only after the loop has ended.
    // Never taken on the decoding thread.
    std::mutex controlMutex_;

    SlimMutex mutex_;  // guards everything below
    SlimConditionVariable wake_;
    std::shared_ptr<JobTicket> loop_;  // the decoding loop started and not yet waited for
    std::thread::id decodingThread_;   // the thread running the played loop, or none
    bool playing_ = false;             // the loop runs (rather than waits for Play)
    bool stopRequested_ = false;
    KV_FrameCallBack callback_ = nullptr;
    void* user_ = nullptr;
    // The size of the pictures delivered last (the header's until then).
    int mediaWidth_ = 0, mediaHeight_ = 0;
    bool decoderResetPending_ = false;
    uint32_t showFromMs_ = 0;
    // Changes with every seek: what a chunk taken before it still brings
    // (it is decoded outside the lock) is not handed over once the seek
    // has returned.
    uint64_t seekGeneration_ = 0;

    // File ports.
    std::unique_ptr<Win32FileSource> source_;
    AviFileInfo file_;
    std::vector<uint64_t> audioStartBytes_;  // per audio chunk, plus the total
    size_t nextVideo_ = 0, nextAudio_ = 0;
    uint32_t positionMs_ = 0;
    bool seekPending_ = false;
    bool firstPictureFirst_ = false;  // the next picture shown goes before its sound
    bool endNotified_ = false;

    // Stream ports.
    bool headersReady_ = false;
    int streamError_ = KV_OK;
    std::vector<uint8_t> headerBytes_;
    StreamHeaderParser headerParser_;  // goes on where the last piece left it
    AviHeaders streamHeaders_;
    std::unique_ptr<StreamAssembler> assembler_;
    std::deque<StreamChunk> queue_;
    size_t queuedBytes_ = 0;  // the memory of the queued chunks
    size_t bufferLimit_ = kMaxStreamBufferBytes;
    uint64_t streamPictures_ = 0, streamSoundBytes_ = 0;
    // Raw Annex-B streams: the bytes go to the decoder as they come; pictures
    // are stamped from the stream's timing, else the rate it was given, else
    // 25 per second.
    bool annexB_ = false;
    // Their access units, assembled on the decoding thread (core/stream_assembler.h).
    std::unique_ptr<AnnexBAssembler> rawUnits_;
    bool rateFromStream_ = false;
    // Stream pictures are handed over by their arrival (core/live_pacing.h).
    LivePacer pacer_;
    int64_t playoutAllowanceUs_ = -1;  // a fixed allowance; -1: from the stream's rate
    int64_t nextSkipCheckUs_ = 0;      // when a port far behind looks for a key picture again

    // Changes when sound converted earlier no longer follows on (a seek,
    // cleared stream data); the thread then starts its sound afresh.
    uint64_t soundEpoch_ = 0;  // guarded by mutex_

    // Decoding thread only.
    Resampler resampler_;
    std::deque<SoundBlock> laterSound_;  // the rest of the last sound chunk
    uint64_t laterSoundEpoch_ = 0;       // the epoch of the resampler and laterSound_
    std::vector<uint8_t> readBuffer_, picture_;
    PresentationOrder order_;
    // Decoding starts (again) at the next key picture; after an open one
    // (H.265 CRA, BLA) its undecodable leading pictures are dropped.
    bool awaitingKey_ = true;
    bool skippingLeading_ = false;
    std::vector<uint8_t> carried_;  // units without a picture, recorded with the next picture
    uint64_t unitsFed_ = 0;         // access units of a raw stream
    uint64_t earlyPosition_ = 0;    // the place of the last raw unit let out early
    std::vector<AnnexBAssembler::Unit> rawOut_;
    // While a raw stream's pictures may be let out early: the units decoded
    // since the last key picture (bounded), and the places of the pictures
    // of them shown, so that a picture that turns out cut is decoded again
    // from its key picture on without showing any picture twice.
    struct DecodedUnit {
        uint64_t position;
        bool picture;
        std::vector<uint8_t> data;
    };
    std::vector<DecodedUnit> sinceKey_;
    size_t sinceKeyBytes_ = 0;
    bool sinceKeyUsable_ = false;  // it begins at a key picture and fits
    std::vector<uint64_t> shownSinceKey_;
    std::vector<uint64_t> hidden_;  // places of pictures decoded again that were shown already
    void KeepForReplay(const uint8_t* data, size_t size, uint64_t position, const AccessUnitFacts& facts);
    void Replay(const PictureSink& sink);
    std::vector<int16_t> sound_;
    std::vector<uint8_t> decodedSound_;
};

}  // namespace demoplay

#endif  // DEMOPLAY_DLL_PLAY_PORT_H

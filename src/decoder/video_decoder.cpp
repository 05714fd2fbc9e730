#include "decoder/video_decoder.h"

#include <cstring>

#include "engine/engine_instance.h"
#include "engine/play_engine.h"

namespace vd {

namespace {

constexpr int kNoPort = -1;

// The guard of the per-port slots that reach the engine: port -1 is a
// successful no-op, an unbound engine refuses, and nothing thrown inside may
// cross the client's boundary. Three per-port slots act outside it: Play
// restarts the position clock first (for port -1 too), OneByOneBack answers
// E_NOTIMPL for every port, and SetDrawCallBack 0 for port -1 and E_NOTIMPL
// for any other.
template <typename Operation>
int ForPort(int port, Operation operation) {
    if (port == kNoPort) return 0;
    PlayEngine* engine = TheEngine();
    if (!engine || !engine->bound()) return E_FAIL;
    try {
        return operation(*engine);
    } catch (...) {
        return E_FAIL;
    }
}

// The same for operations that work on the port's record: a port that is
// not open is refused without touching anything.
template <typename Operation>
int ForRecord(int port, Operation operation) {
    return ForPort(port, [&](PlayEngine& engine) {
        const std::shared_ptr<PortRecord> record = engine.FindPort(port);
        return record ? operation(engine, *record) : E_FAIL;
    });
}

// Operations that open a port have no port to check yet.
template <typename Operation>
int ForEngine(Operation operation) {
    PlayEngine* engine = TheEngine();
    if (!engine || !engine->bound()) return E_FAIL;
    try {
        return operation(*engine);
    } catch (...) {
        return E_FAIL;
    }
}

}  // namespace

int CVideoDecoder::Initialize(int) {
    PlayEngine* engine = TheEngine();
    return engine ? engine->Initialize() : E_FAIL;
}

int CVideoDecoder::Release() {
    PlayEngine* engine = TheEngine();
    return engine ? engine->Release() : E_FAIL;
}

int CVideoDecoder::GetVersion(int* version) {
    if (version) *version = kDecoderVersion;
    return 0;
}

int CVideoDecoder::QuerySupport(const char* functionName, int* supported) {
    // The two operations this plug-in does not implement; everything else,
    // known or not, is answered as supported.
    const bool unsupported = functionName && (std::strcmp(functionName, "KV_SetDrawCallBack") == 0 ||
                                              std::strcmp(functionName, "KV_OneByOneBack") == 0);
    if (supported) *supported = unsupported ? 0 : 1;
    return 0;
}

int CVideoDecoder::OpenFile(const char* fileName, int* port) {
    return ForEngine([&](PlayEngine& engine) { return engine.OpenFile(fileName, port); });
}

int CVideoDecoder::CloseFile(int port) {
    return ForPort(port, [&](PlayEngine& engine) { return engine.CloseFile(port); });
}

int CVideoDecoder::GetFileTime(int port, int* seconds) {
    return ForPort(port, [&](PlayEngine& engine) { return engine.sdk().getFileTime(port, seconds); });
}

int CVideoDecoder::OpenStream(const void* header, int headerLength, int pacedStream, int* port) {
    return ForEngine([&](PlayEngine& engine) { return engine.OpenStream(header, headerLength, pacedStream, port); });
}

int CVideoDecoder::CloseStream(int port) {
    return ForPort(port, [&](PlayEngine& engine) { return engine.CloseStream(port); });
}

int CVideoDecoder::InputData(int port, const void* data, int length) {
    return ForPort(port, [&](PlayEngine& engine) { return engine.sdk().inputData(port, data, length); });
}

int CVideoDecoder::OpenSound(int port) {
    return ForRecord(port, [&](PlayEngine& engine, PortRecord& record) { return engine.OpenSound(record); });
}

int CVideoDecoder::CloseSound(int port) {
    return ForRecord(port, [&](PlayEngine& engine, PortRecord& record) { return engine.CloseSound(record); });
}

int CVideoDecoder::SetVolume(int port, unsigned int volume) {
    return ForRecord(port, [&](PlayEngine& engine, PortRecord& record) { return engine.SetVolume(record, volume); });
}

int CVideoDecoder::Play(int port, HWND window) {
    // The position clock restarts with every Play, port -1 included.
    if (PlayEngine* engine = TheEngine()) engine->clock().Reset();
    return ForRecord(port, [&](PlayEngine& engine, PortRecord& record) { return engine.Play(port, record, window); });
}

int CVideoDecoder::Stop(int port) {
    return ForRecord(port, [&](PlayEngine& engine, PortRecord& record) { return engine.Stop(port, record); });
}

int CVideoDecoder::Pause(int port, int pause) {
    return ForRecord(port, [&](PlayEngine& engine, PortRecord& record) { return engine.Pause(record, pause); });
}

int CVideoDecoder::SetPlayTime(int port, int seconds) {
    return ForRecord(port,
                     [&](PlayEngine& engine, PortRecord& record) { return engine.SetPlayTime(port, record, seconds); });
}

int CVideoDecoder::GetPlayTime(int port, int* seconds) {
    return ForPort(port, [&](PlayEngine& engine) { return engine.GetPlayTime(seconds); });
}

int CVideoDecoder::SetPlayPos(int port, int percent) {
    return ForRecord(port,
                     [&](PlayEngine& engine, PortRecord& record) { return engine.SetPlayPos(port, record, percent); });
}

int CVideoDecoder::GetPlayPos(int port, int* percent) {
    if (port == kNoPort) {
        if (percent) *percent = 0;
        return 0;
    }
    return ForPort(port, [&](PlayEngine& engine) { return engine.GetPlayPos(port, percent); });
}

int CVideoDecoder::SetPlaySpeed(int port, int speed) {
    return ForRecord(port, [&](PlayEngine& engine, PortRecord& record) { return engine.SetPlaySpeed(record, speed); });
}

int CVideoDecoder::GetPlaySpeed(int port, int* speed) {
    return ForRecord(port, [&](PlayEngine& engine, PortRecord& record) { return engine.GetPlaySpeed(record, speed); });
}

int CVideoDecoder::OneByOne(int port) {
    return ForRecord(port, [&](PlayEngine& engine, PortRecord& record) { return engine.OneByOne(record); });
}

int CVideoDecoder::OneByOneBack(int) { return E_NOTIMPL; }

int CVideoDecoder::StartRecord(int port, const char* fileName) {
    return ForPort(port, [&](PlayEngine& engine) { return engine.sdk().startRecord(port, fileName); });
}

int CVideoDecoder::StopRecord(int port) {
    return ForPort(port, [&](PlayEngine& engine) { return engine.sdk().stopRecord(port); });
}

int CVideoDecoder::Snapshot(int port, const char* fileName) {
    return ForRecord(port, [&](PlayEngine& engine, PortRecord& record) { return engine.Snapshot(record, fileName); });
}

int CVideoDecoder::Refresh(int port) {
    return ForRecord(port, [&](PlayEngine& engine, PortRecord& record) { return engine.Refresh(record); });
}

int CVideoDecoder::GetPictureSize(int port, int* width, int* height) {
    return ForPort(port, [&](PlayEngine& engine) { return engine.GetPictureSize(port, width, height); });
}

int CVideoDecoder::SetNotify(int port, int type, int first, int second) {
    return ForRecord(
        port, [&](PlayEngine& engine, PortRecord& record) { return engine.SetNotify(record, type, first, second); });
}

int CVideoDecoder::SetDecodeCallBack(int port, Orvane::DecodeCallBack callback, int context) {
    return ForRecord(port, [&](PlayEngine& engine, PortRecord& record) {
        return engine.SetDecodeCallBack(record, callback, context);
    });
}

int CVideoDecoder::SetDrawCallBack(int port, void*, int) { return port == kNoPort ? 0 : E_NOTIMPL; }

int CVideoDecoder::Reserved(int, int, int) { return E_NOTIMPL; }

}  // namespace vd

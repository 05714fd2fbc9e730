#include "decoder/video_decoder.h"

#include <cstring>

#include "engine/engine_instance.h"
#include "engine/play_engine.h"

namespace vd {

namespace {

constexpr int kNoPort = -1;

// Operations whose port work is not available in this build answer E_NOTIMPL
// for a real port; port -1 is always a successful no-op.
int NotAvailable(int port) { return port == kNoPort ? 0 : E_NOTIMPL; }

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

int CVideoDecoder::OpenFile(const char*, int*) { return E_NOTIMPL; }
int CVideoDecoder::CloseFile(int port) { return NotAvailable(port); }
int CVideoDecoder::GetFileTime(int port, int*) { return NotAvailable(port); }
int CVideoDecoder::OpenStream(const void*, int, int, int*) { return E_NOTIMPL; }
int CVideoDecoder::CloseStream(int port) { return NotAvailable(port); }
int CVideoDecoder::InputData(int port, const void*, int) { return NotAvailable(port); }
int CVideoDecoder::OpenSound(int port) { return NotAvailable(port); }
int CVideoDecoder::CloseSound(int port) { return NotAvailable(port); }
int CVideoDecoder::SetVolume(int port, unsigned int) { return NotAvailable(port); }

int CVideoDecoder::Play(int port, HWND) {
    // The position clock restarts with every Play, port -1 included.
    if (PlayEngine* engine = TheEngine()) engine->ResetPositionClock();
    return NotAvailable(port);
}

int CVideoDecoder::Stop(int port) { return NotAvailable(port); }
int CVideoDecoder::Pause(int port, int) { return NotAvailable(port); }
int CVideoDecoder::SetPlayTime(int port, int) { return NotAvailable(port); }
int CVideoDecoder::GetPlayTime(int port, int*) { return NotAvailable(port); }
int CVideoDecoder::SetPlayPos(int port, int) { return NotAvailable(port); }

int CVideoDecoder::GetPlayPos(int port, int* percent) {
    if (port == kNoPort) {
        if (percent) *percent = 0;
        return 0;
    }
    return E_NOTIMPL;
}

int CVideoDecoder::SetPlaySpeed(int port, int) { return NotAvailable(port); }
int CVideoDecoder::GetPlaySpeed(int port, int*) { return NotAvailable(port); }
int CVideoDecoder::OneByOne(int port) { return NotAvailable(port); }
int CVideoDecoder::OneByOneBack(int) { return E_NOTIMPL; }
int CVideoDecoder::StartRecord(int port, const char*) { return NotAvailable(port); }
int CVideoDecoder::StopRecord(int port) { return NotAvailable(port); }
int CVideoDecoder::Snapshot(int port, const char*) { return NotAvailable(port); }
int CVideoDecoder::Refresh(int port) { return NotAvailable(port); }
int CVideoDecoder::GetPictureSize(int port, int*, int*) { return NotAvailable(port); }
int CVideoDecoder::SetNotify(int port, int, int, int) { return NotAvailable(port); }
int CVideoDecoder::SetDecodeCallBack(int port, Orvane::DecodeCallBack, int) { return NotAvailable(port); }

int CVideoDecoder::SetDrawCallBack(int port, void*, int) { return port == kNoPort ? 0 : E_NOTIMPL; }

int CVideoDecoder::Reserved(int, int, int) { return E_NOTIMPL; }

}  // namespace vd

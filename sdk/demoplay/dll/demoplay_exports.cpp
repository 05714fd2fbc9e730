// The 17 entry points of DemoPlay.dll.
#include <cstring>
#include <memory>
#include <mutex>

#include "DemoPlaySdk.h"
#include "codec/libav_library.h"
#include "dll/decoder_info.h"
#include "dll/port_table.h"

using demoplay::PlayPort;
using demoplay::Ports;

namespace {

template <typename F>
int WithPort(int port, F f) {
    std::shared_ptr<PlayPort> p = Ports().Find(port);
    if (!p) return KV_ERR_BAD_PORT;
    return f(*p);
}

int Close(int port, bool stream) {
    std::shared_ptr<PlayPort> p = Ports().Find(port);
    if (!p) return KV_ERR_BAD_PORT;
    if (p->isStream() != stream) return KV_ERR_WRONG_PORT_TYPE;
    if (p->OnOwnThread()) return KV_ERR_IN_CALLBACK;
    // The thread ends before the number is given up, so that no frame of this
    // port can arrive under the number of a port opened next.
    p->Shutdown();
    Ports().Remove(port, p.get());
    return KV_OK;
}

// The port is made and opened under a reserved number and published only
// when it is open: until then no other call (KV_Free, a call on a guessed
// number) can meet it half made.
template <typename Open>
int OpenPort(int* port, Open open) {
    if (!port) return KV_ERR_ARGUMENT;
    const int id = Ports().Reserve();
    if (id < 0) return KV_ERR_TOO_MANY_PORTS;
    std::shared_ptr<PlayPort> p;
    int r;
    try {
        p = std::make_shared<PlayPort>(id);
        r = open(*p);
    } catch (const std::bad_alloc&) {
        r = KV_ERR_NO_MEMORY;
    }
    if (r != KV_OK) {
        Ports().Unreserve(id);
        return r;
    }
    p->StartLoopEarly();
    Ports().Publish(id, std::move(p));
    *port = id;
    return KV_OK;
}

// The codec libraries are held from KV_Initial to KV_Free, so that opening a
// port does not load them anew when the last port closed. Never freed at
// unload (that would be a FreeLibrary from within the loader's lock).
std::mutex librariesMutex;
std::shared_ptr<const demoplay::LibAv>& HeldLibraries() {
    static auto* held = new std::shared_ptr<const demoplay::LibAv>();
    return *held;
}

}  // namespace

extern "C" {

int KV_CALL KV_Initial(void) {
    std::lock_guard<std::mutex> lock(librariesMutex);
    if (!HeldLibraries()) HeldLibraries() = demoplay::AcquireLibAv();  // null without them: nothing to hold
    return KV_OK;
}

int KV_CALL KV_Free(void) {
    for (int i = 0; i < demoplay::kMaxPorts; ++i) {
        std::shared_ptr<PlayPort> p = Ports().Find(i);
        if (p && p->OnOwnThread()) return KV_ERR_IN_CALLBACK;
    }
    for (int i = 0; i < demoplay::kMaxPorts; ++i) {
        if (std::shared_ptr<PlayPort> p = Ports().Find(i)) {
            p->Shutdown();
            Ports().Remove(i, p.get());
        }
    }
    demoplay::DecodingThreads::EndIdle();
    std::lock_guard<std::mutex> lock(librariesMutex);
    HeldLibraries().reset();
    return KV_OK;
}

int KV_CALL KV_GetDecoderInf(char* text, int size) {
    if (!text || size <= 0) return KV_ERR_ARGUMENT;
    if (size_t(size) < sizeof demoplay::kDecoderInfo) {
        text[0] = 0;
        return KV_ERR_BUFFER_TOO_SMALL;
    }
    std::memcpy(text, demoplay::kDecoderInfo, sizeof demoplay::kDecoderInfo);
    return KV_OK;
}

int KV_CALL KV_OpenFile(const char* fileName, int* port) {
    if (!fileName) return KV_ERR_ARGUMENT;
    return OpenPort(port, [&](PlayPort& p) { return p.OpenFile(fileName); });
}

int KV_CALL KV_CloseFile(int port) { return Close(port, false); }

int KV_CALL KV_GetFileTime(int port, int* seconds) {
    if (!seconds) return KV_ERR_ARGUMENT;
    return WithPort(port, [&](PlayPort& p) { return p.GetFileTime(seconds); });
}

int KV_CALL KV_OpenStream(const void* header, int length, int* port) {
    if (!header || length < 0) return KV_ERR_ARGUMENT;
    if (size_t(length) > demoplay::kMaxStreamBufferBytes + demoplay::kMaxStreamHeaderBytes) return KV_ERR_BUFFER_FULL;
    return OpenPort(port,
                    [&](PlayPort& p) { return p.OpenStream(static_cast<const uint8_t*>(header), size_t(length)); });
}

int KV_CALL KV_CloseStream(int port) { return Close(port, true); }

int KV_CALL KV_InputData(int port, const void* data, int length) {
    if (length < 0 || (!data && length > 0)) return KV_ERR_ARGUMENT;
    return WithPort(port, [&](PlayPort& p) {
        try {
            return p.InputData(static_cast<const uint8_t*>(data), size_t(length));
        } catch (const std::bad_alloc&) {
            return KV_ERR_NO_MEMORY;
        }
    });
}

int KV_CALL KV_SetStreamFrameRate(int port, int rate, int scale) {
    if (rate <= 0 || scale <= 0) return KV_ERR_ARGUMENT;
    return WithPort(port, [&](PlayPort& p) { return p.SetStreamFrameRate(uint32_t(rate), uint32_t(scale)); });
}

int KV_CALL KV_ClearBuffer(int port) {
    return WithPort(port, [&](PlayPort& p) { return p.ClearBuffer(); });
}

int KV_CALL KV_GetMediaInfo(int port, void* mediaInfo) {
    if (!mediaInfo) return KV_ERR_ARGUMENT;
    return WithPort(port, [&](PlayPort& p) { return p.GetMediaInfo(mediaInfo); });
}

int KV_CALL KV_Play(int port, KV_FrameCallBack callback, void* user) {
    return WithPort(port, [&](PlayPort& p) { return p.Play(callback, user); });
}

int KV_CALL KV_Stop(int port) {
    return WithPort(port, [&](PlayPort& p) { return p.Stop(); });
}

int KV_CALL KV_SetPlayTime(int port, int seconds) {
    return WithPort(port, [&](PlayPort& p) { return p.SetPlayTime(seconds); });
}

int KV_CALL KV_GetPlayTime(int port, int* seconds) {
    if (!seconds) return KV_ERR_ARGUMENT;
    return WithPort(port, [&](PlayPort& p) { return p.GetPlayTime(seconds); });
}

int KV_CALL KV_StartRecord(int port, const char* fileName) {
    if (!fileName || !*fileName) return KV_ERR_ARGUMENT;
    return WithPort(port, [&](PlayPort& p) { return p.StartRecord(fileName); });
}

int KV_CALL KV_StopRecord(int port) {
    return WithPort(port, [&](PlayPort& p) { return p.StopRecord(); });
}

}  // extern "C"

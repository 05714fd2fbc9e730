#include "codec/libav_library.h"

#include <windows.h>

#include <mutex>
#include <string>

namespace demoplay {
namespace {

struct Loaded {
    HMODULE avutil = nullptr;
    HMODULE avcodec = nullptr;
    LibAv api{};
    ~Loaded() {
        if (avcodec) FreeLibrary(avcodec);
        if (avutil) FreeLibrary(avutil);
    }
};

std::string OwnFolder() {
    HMODULE self = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&AcquireLibAv), &self))
        return "";
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(self, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return "";
    std::string folder(path, n);
    size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? "" : folder.substr(0, slash + 1);
}

template <typename F>
bool Resolve(HMODULE module, const char* name, F* out) {
    *out = reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    return *out != nullptr;
}

std::shared_ptr<const LibAv> Load() {
    const std::string folder = OwnFolder();
    if (folder.empty()) return nullptr;
    auto loaded = std::make_shared<Loaded>();
    // Full paths, so that no other copy of the libraries on the search path is
    // taken; avcodec finds avutil beside itself.
    loaded->avutil = LoadLibraryExA((folder + "avutil-57.dll").c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!loaded->avutil) return nullptr;
    loaded->avcodec = LoadLibraryExA((folder + "avcodec-59.dll").c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!loaded->avcodec) return nullptr;
    LibAv& a = loaded->api;
    HMODULE c = loaded->avcodec, u = loaded->avutil;
    bool ok =
        Resolve(c, "avcodec_find_decoder", &a.findDecoder) && Resolve(c, "avcodec_alloc_context3", &a.allocContext) &&
        Resolve(c, "avcodec_open2", &a.open) && Resolve(c, "avcodec_send_packet", &a.sendPacket) &&
        Resolve(c, "avcodec_receive_frame", &a.receiveFrame) && Resolve(c, "avcodec_flush_buffers", &a.flushBuffers) &&
        Resolve(c, "avcodec_free_context", &a.freeContext) && Resolve(c, "av_packet_alloc", &a.packetAlloc) &&
        Resolve(c, "av_packet_free", &a.packetFree) && Resolve(c, "av_parser_init", &a.parserInit) &&
        Resolve(c, "av_parser_parse2", &a.parserParse) && Resolve(c, "av_parser_close", &a.parserClose) &&
        Resolve(u, "av_frame_alloc", &a.frameAlloc) && Resolve(u, "av_frame_free", &a.frameFree) &&
        Resolve(u, "av_frame_unref", &a.frameUnref) && Resolve(u, "av_mallocz", &a.mallocz) &&
        Resolve(u, "av_log_set_level", &a.logSetLevel);
    if (!ok) return nullptr;
    // The library's own messages would go to the client's standard error.
    a.logSetLevel(AV_LOG_QUIET);
    return std::shared_ptr<const LibAv>(loaded, &loaded->api);
}

}  // namespace

std::shared_ptr<const LibAv> AcquireLibAv() {
    static std::mutex mutex;
    static std::weak_ptr<const LibAv> current;
    std::lock_guard<std::mutex> lock(mutex);
    std::shared_ptr<const LibAv> api = current.lock();
    if (!api) {
        api = Load();
        current = api;
    }
    return api;
}

}  // namespace demoplay

#include "vdplay/stream_feeder.h"

#include <algorithm>

#include "player/plugin_facts.h"
#include "vdplay/win_paths.h"

namespace vdplay {
namespace {

constexpr size_t kBlockBytes = 256 * 1024;
constexpr int kBufferFull = -10;  // the SDK holds as much as it takes; try again shortly

}  // namespace

StreamFeeder::StreamFeeder(Orvane::IVideoDecoder_M* decoder, std::vector<int> ports, std::string path, uint64_t from,
                           vdplay::StreamTiming timing)
    : decoder_(decoder), ports_(std::move(ports)), path_(std::move(path)), from_(from), timing_(timing) {}

StreamFeeder::~StreamFeeder() { Stop(); }

bool StreamFeeder::Start() {
    file_ = CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                        FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file_ == INVALID_HANDLE_VALUE) {
        error_ = "cannot read " + path_ + ": " + SystemMessage(GetLastError());
        finished_ = true;
        return false;
    }
    LARGE_INTEGER size;
    GetFileSizeEx(file_, &size);
    fileSize_ = uint64_t(size.QuadPart);
    stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = stop_ ? CreateThread(nullptr, 0, &StreamFeeder::ThreadMain, this, 0, nullptr) : nullptr;
    if (!thread_) {
        error_ = "cannot start the stream thread";
        finished_ = true;
        return false;
    }
    return true;
}

void StreamFeeder::Stop() {
    if (thread_) {
        SetEvent(stop_);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    if (stop_) {
        CloseHandle(stop_);
        stop_ = nullptr;
    }
    if (file_ != INVALID_HANDLE_VALUE) {
        CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
    }
}

std::string StreamFeeder::error() const { return finished_.load() ? error_ : std::string(); }

DWORD WINAPI StreamFeeder::ThreadMain(void* self) {
    static_cast<StreamFeeder*>(self)->Run();
    return 0;
}

bool StreamFeeder::ReadAt(uint64_t offset, uint8_t* out, size_t length) {
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(offset);
    if (!SetFilePointerEx(file_, at, nullptr, FILE_BEGIN)) return false;
    size_t have = 0;
    while (have < length) {
        DWORD got = 0;
        if (!ReadFile(file_, out + have, DWORD(length - have), &got, nullptr) || got == 0) return false;
        have += got;
    }
    return true;
}

bool StreamFeeder::WaitUntil(ULONGLONG due) {
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= due) return WaitForSingleObject(stop_, 0) == WAIT_TIMEOUT;
        if (WaitForSingleObject(stop_, DWORD(std::min<ULONGLONG>(due - now, 50))) == WAIT_OBJECT_0) return false;
    }
}

// Gives [offset, offset + length) to every port, in blocks.
bool StreamFeeder::Feed(uint64_t offset, uint64_t length) {
    std::vector<uint8_t> block;
    while (length > 0) {
        const size_t n = size_t(std::min<uint64_t>(length, kBlockBytes));
        block.resize(n);
        if (!ReadAt(offset, block.data(), n)) {
            error_ = "cannot read " + path_ + " at byte " + std::to_string(offset);
            return false;
        }
        for (int port : ports_) {
            for (;;) {
                const int result = decoder_->InputData(port, block.data(), int(n));
                if (result == 0) break;
                if (result != kBufferFull) {
                    error_ = "InputData on port " + std::to_string(port) + " returned " + vdplay::ResultText(result);
                    return false;
                }
                if (WaitForSingleObject(stop_, 10) == WAIT_OBJECT_0) return false;
            }
        }
        bytesFed_ += int64_t(n);
        offset += n;
        length -= n;
    }
    return WaitForSingleObject(stop_, 0) == WAIT_TIMEOUT;
}

void StreamFeeder::Run() {
    // The rest of the headers first, all at once.
    uint64_t pos = std::min<uint64_t>(from_, fileSize_);
    const uint64_t moviData = std::min<uint64_t>(std::max<uint64_t>(timing_.moviData, pos), fileSize_);
    bool ok = Feed(pos, moviData - pos);
    pos = moviData;
    ULONGLONG start = 0;
    int64_t picture = 0;
    while (ok && pos < fileSize_) {
        uint8_t head[12] = {};
        const size_t have = size_t(std::min<uint64_t>(sizeof head, fileSize_ - pos));
        if (!ReadAt(pos, head, have)) {
            error_ = "cannot read " + path_ + " at byte " + std::to_string(pos);
            break;
        }
        const vdplay::Piece piece = vdplay::NextPiece(head, have, fileSize_ - pos);
        if (piece.kind == vdplay::PieceKind::kPicture) {
            if (picture == 0) start = GetTickCount64();
            const ULONGLONG due = start + ULONGLONG(picture) * timing_.microsPerPicture / 1000;
            if (!WaitUntil(due)) break;
        }
        ok = Feed(pos, piece.length);
        if (ok && piece.kind == vdplay::PieceKind::kPicture) picturesFed_ = ++picture;
        pos += piece.length;
    }
    finished_ = true;
}

}  // namespace vdplay

#include "video/ddraw_output.h"

#include <cstring>
#include <utility>

#include "port/frame_layout.h"

namespace vd {

namespace {

// "创建DirectDraw begin\r\n" and "创建DirectDraw 完成\r\n" in code page 936.
const char kCreatingDirectDraw[] =
    "\xB4\xB4\xBD\xA8"
    "DirectDraw begin\r\n";
const char kDirectDrawCreated[] =
    "\xB4\xB4\xBD\xA8"
    "DirectDraw \xCD\xEA\xB3\xC9\r\n";

constexpr DWORD kMagenta = 0x00FF00FF;  // the overlay surface's transparent colour
const DWORD kFourCcYv12 = MAKEFOURCC('Y', 'V', '1', '2');
const DWORD kFourCcI420 = MAKEFOURCC('I', '4', '2', '0');

template <typename T>
void ReleaseCom(T*& object) {
    if (object) object->Release();
    object = nullptr;
}

DWORD FourCcOf(int kind) {
    switch (kind) {
        case kKindYv12:
            return kFourCcYv12;
        case kKindUyvy:
            return MAKEFOURCC('U', 'Y', 'V', 'Y');
        case kKindI420:
            return kFourCcI420;
        default:
            return MAKEFOURCC('Y', 'U', 'Y', '2');
    }
}

void CopyRows(std::uint8_t* destination, LONG destinationPitch, const std::uint8_t* source, int sourceStride,
              int rowBytes, int rows) {
    for (int r = 0; r < rows; ++r) {
        std::memcpy(destination + static_cast<std::ptrdiff_t>(r) * destinationPitch,
                    source + static_cast<std::ptrdiff_t>(r) * sourceStride, static_cast<std::size_t>(rowBytes));
    }
}

}  // namespace

std::unique_ptr<DirectDrawOutput> DirectDrawOutput::Create(HWND window) {
    OutputDebugStringA(kCreatingDirectDraw);
    std::unique_ptr<DirectDrawOutput> output(new DirectDrawOutput(window));
    if (!output->MakeDevice()) return nullptr;
    OutputDebugStringA(kDirectDrawCreated);
    return output;
}

DirectDrawOutput::~DirectDrawOutput() {
    Release();
    ReleaseDevice();
}

bool DirectDrawOutput::MakeDevice() {
    if (FAILED(DirectDrawCreate(nullptr, &directDraw_, nullptr))) {
        directDraw_ = nullptr;
        return false;
    }
    if (FAILED(directDraw_->SetCooperativeLevel(window_, DDSCL_NORMAL | DDSCL_NOWINDOWCHANGES))) return false;
    DDSURFACEDESC primary{};
    primary.dwSize = sizeof primary;
    primary.dwFlags = DDSD_CAPS;
    primary.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    if (FAILED(directDraw_->CreateSurface(&primary, &primary_, nullptr))) {
        primary_ = nullptr;
        return false;
    }
    // Without a clipper the blits would still land, only unclipped.
    if (SUCCEEDED(directDraw_->CreateClipper(0, &clipper_, nullptr))) {
        clipper_->SetHWnd(0, window_);
        primary_->SetClipper(clipper_);
    } else {
        clipper_ = nullptr;
    }
    return true;
}

void DirectDrawOutput::ReleaseDevice() {
    ReleaseCom(primary_);
    ReleaseCom(clipper_);
    ReleaseCom(directDraw_);
}

bool DirectDrawOutput::MakeVideoSurface(DWORD fourCc, int bitCount, int width, int height) {
    DDSURFACEDESC description{};
    description.dwSize = sizeof description;
    description.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
    description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY;
    description.dwWidth = static_cast<DWORD>(width);
    description.dwHeight = static_cast<DWORD>(height);
    description.ddpfPixelFormat.dwSize = sizeof description.ddpfPixelFormat;
    description.ddpfPixelFormat.dwFlags = DDPF_YUV | DDPF_FOURCC;
    description.ddpfPixelFormat.dwFourCC = fourCc;
    description.ddpfPixelFormat.dwYUVBitCount = static_cast<DWORD>(bitCount);
    if (FAILED(directDraw_->CreateSurface(&description, &video_, nullptr))) {
        video_ = nullptr;
        return false;
    }
    return true;
}

bool DirectDrawOutput::MakeOverlaySurface(int width, int height) {
    DDSURFACEDESC description{};
    description.dwSize = sizeof description;
    description.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY;
    description.dwWidth = static_cast<DWORD>(width);
    description.dwHeight = static_cast<DWORD>(height);
    if (FAILED(directDraw_->CreateSurface(&description, &overlay_, nullptr))) {
        overlay_ = nullptr;
        return false;
    }
    DDCOLORKEY magenta{kMagenta, kMagenta};
    overlay_->SetColorKey(DDCKEY_SRCBLT, &magenta);
    return true;
}

bool DirectDrawOutput::Prepare(int kind, int width, int height) {
    if (video_ && overlay_ && kind == kind_ && width == width_ && height == height_) return true;
    Release();
    if (!primary_ || !IsDisplayKind(kind)) return false;
    const int bitCount = IsPlanar420(kind) ? 12 : 16;
    if (!MakeVideoSurface(FourCcOf(kind), bitCount, width, height)) {
        // A display without I420 surfaces mostly has YV12 ones: the same
        // planes, the chroma ones in the other order.
        if (kind != kKindI420 || !MakeVideoSurface(kFourCcYv12, bitCount, width, height)) return false;
        swapChroma_ = true;
    }
    if (!MakeOverlaySurface(width, height)) {
        Release();
        return false;
    }
    kind_ = kind;
    width_ = width;
    height_ = height;
    return true;
}

void DirectDrawOutput::Release() {
    ReleaseCom(video_);
    ReleaseCom(overlay_);
    swapChroma_ = false;
    kind_ = width_ = height_ = 0;
    pictureReady_ = overlayDrawn_ = false;
}

bool DirectDrawOutput::CopyIntoVideo(const QueuedFrame& frame) {
    DDSURFACEDESC locked{};
    locked.dwSize = sizeof locked;
    HRESULT result = video_->Lock(nullptr, &locked, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr);
    if (result == DDERR_SURFACELOST && Recover()) {
        result = video_->Lock(nullptr, &locked, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr);
    }
    if (FAILED(result)) return false;
    if (!locked.lpSurface) {
        video_->Unlock(nullptr);
        return false;
    }
    auto* surface = static_cast<std::uint8_t*>(locked.lpSurface);
    const LONG pitch = locked.lPitch;
    const int w = frame.width;
    const int rows =
        static_cast<int>(locked.dwHeight) < frame.height ? static_cast<int>(locked.dwHeight) : frame.height;
    const std::uint8_t* source = frame.data.get();
    if (IsPlanar420(frame.kind)) {
        // Y, then the two chroma planes in the surface's order.
        CopyRows(surface, pitch, source, w, w, rows);
        std::uint8_t* chroma = surface + static_cast<std::ptrdiff_t>(rows) * pitch;
        const int chromaRows = rows / 2;
        const std::uint8_t* second = source + SecondPlaneOffset(w, frame.height);
        const std::uint8_t* third = source + ThirdPlaneOffset(w, frame.height);
        if (swapChroma_) std::swap(second, third);
        CopyRows(chroma, pitch / 2, second, w / 2, w / 2, chromaRows);
        CopyRows(chroma + static_cast<std::ptrdiff_t>(chromaRows) * (pitch / 2), pitch / 2, third, w / 2, w / 2,
                 chromaRows);
    } else {
        CopyRows(surface, pitch, source, 2 * w, 2 * w, rows);
    }
    video_->Unlock(nullptr);
    return true;
}

bool DirectDrawOutput::DrawPicture(const QueuedFrame& frame) {
    pictureReady_ = overlayDrawn_ = false;
    if (!video_ || !overlay_ || !primary_) return false;
    // The surface was made for this kind and size; a picture that does not
    // match it is not copied.
    if (frame.kind != kind_ || frame.width != width_ || frame.height != height_) return false;
    pictureReady_ = CopyIntoVideo(frame);
    return pictureReady_;
}

HDC DirectDrawOutput::BeginOverlay() {
    if (!pictureReady_ || !overlay_) return nullptr;
    HDC dc = nullptr;
    if (FAILED(overlay_->GetDC(&dc)) || !dc) return nullptr;
    // All transparent, then the items over it.
    const RECT whole{0, 0, width_, height_};
    SetBkColor(dc, kMagenta);
    ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &whole, nullptr, 0, nullptr);
    return dc;
}

void DirectDrawOutput::EndOverlay(HDC dc) {
    if (!dc || !overlay_) return;
    overlay_->ReleaseDC(dc);
    overlayDrawn_ = true;
}

bool DirectDrawOutput::DestinationRect(RECT* destination) const {
    RECT client{};
    if (!GetClientRect(window_, &client)) return false;
    POINT topLeft{client.left, client.top};
    POINT bottomRight{client.right, client.bottom};
    ClientToScreen(window_, &topLeft);
    ClientToScreen(window_, &bottomRight);
    *destination = RECT{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
    return true;
}

ShowResult DirectDrawOutput::Show() {
    if (lost_) return ShowResult::kLost;
    if (!pictureReady_ || !primary_) return ShowResult::kNotShown;
    RECT windowRect{};
    if (!GetWindowRect(window_, &windowRect) || windowRect.right - windowRect.left <= 0 ||
        windowRect.bottom - windowRect.top <= 0) {
        return ShowResult::kNotShown;
    }
    RECT source{0, 0, width_, height_};
    RECT destination{};
    if (!DestinationRect(&destination)) return ShowResult::kNotShown;
    HRESULT result = primary_->Blt(&destination, video_, &source, DDBLT_WAIT, nullptr);
    if (result == DDERR_SURFACELOST) {
        // The surfaces come back empty: this picture is not shown, the next
        // one is.
        pictureReady_ = false;
        return Recover() ? ShowResult::kNotShown : ShowResult::kLost;
    }
    // Any other failure left the window as it was: the picture failed.
    if (FAILED(result)) return ShowResult::kFailed;
    if (overlayDrawn_) {
        result = primary_->Blt(&destination, overlay_, &source, DDBLT_WAIT | DDBLT_KEYSRC, nullptr);
        if (result == DDERR_SURFACELOST) return Recover() ? ShowResult::kNotShown : ShowResult::kLost;
        if (FAILED(result)) return ShowResult::kNotShown;
    }
    return ShowResult::kShown;
}

void DirectDrawOutput::Finish() {
    // Reading one pixel of what the blits wrote waits for them: a display
    // that queues blits (an emulated one renders them on threads of its own)
    // has to carry them out first.
    RECT destination{};
    if (!primary_ || !DestinationRect(&destination) || destination.right <= destination.left ||
        destination.bottom <= destination.top) {
        return;
    }
    RECT pixel{destination.left, destination.top, destination.left + 1, destination.top + 1};
    DDSURFACEDESC locked{};
    locked.dwSize = sizeof locked;
    if (SUCCEEDED(primary_->Lock(&pixel, &locked, DDLOCK_WAIT | DDLOCK_READONLY, nullptr))) primary_->Unlock(nullptr);
}

bool DirectDrawOutput::Recover() {
    const bool restored = primary_ && SUCCEEDED(primary_->Restore()) && (!video_ || SUCCEEDED(video_->Restore())) &&
                          (!overlay_ || SUCCEEDED(overlay_->Restore()));
    if (restored) return true;
    // The device itself is gone (a mode change, another session): make it
    // and the surfaces again.
    const int kind = kind_, width = width_, height = height_;
    Release();
    ReleaseDevice();
    if (MakeDevice() && (kind == 0 || Prepare(kind, width, height))) return true;
    Release();
    ReleaseDevice();
    lost_ = true;
    return false;
}

}  // namespace vd

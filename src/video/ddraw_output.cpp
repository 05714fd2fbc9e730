#include "video/ddraw_output.h"

#include <cstring>

#include "video/frame_layout.h"

namespace vd {

namespace {

template <typename T>
void ReleaseCom(T*& object) {
    if (object) object->Release();
    object = nullptr;
}

DWORD FourCcOf(int kind) {
    switch (kind) {
        case kKindYv12:
            return MAKEFOURCC('Y', 'V', '1', '2');
        case kKindUyvy:
            return MAKEFOURCC('U', 'Y', 'V', 'Y');
        case kKindI420:
            return MAKEFOURCC('I', '4', '2', '0');
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
    std::unique_ptr<DirectDrawOutput> output(new DirectDrawOutput(window));
    if (FAILED(DirectDrawCreate(nullptr, &output->directDraw_, nullptr))) return nullptr;
    if (FAILED(output->directDraw_->SetCooperativeLevel(window, DDSCL_NORMAL | DDSCL_NOWINDOWCHANGES))) {
        return nullptr;
    }
    DDSURFACEDESC primary{};
    primary.dwSize = sizeof primary;
    primary.dwFlags = DDSD_CAPS;
    primary.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    if (FAILED(output->directDraw_->CreateSurface(&primary, &output->primary_, nullptr))) return nullptr;
    // Without a clipper the blits would still land, only unclipped.
    if (SUCCEEDED(output->directDraw_->CreateClipper(0, &output->clipper_, nullptr))) {
        output->clipper_->SetHWnd(0, window);
        output->primary_->SetClipper(output->clipper_);
    }
    return output;
}

DirectDrawOutput::~DirectDrawOutput() {
    ReleaseCom(video_);
    ReleaseCom(overlay_);
    ReleaseCom(primary_);
    ReleaseCom(clipper_);
    ReleaseCom(directDraw_);
}

bool DirectDrawOutput::PrepareVideo(int kind, int width, int height) {
    if (video_ && kind == videoKind_ && width == videoWidth_ && height == videoHeight_) return true;
    ReleaseVideo();
    if (!IsDisplayKind(kind)) return false;
    DDSURFACEDESC description{};
    description.dwSize = sizeof description;
    description.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
    description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY;
    description.dwWidth = static_cast<DWORD>(width);
    description.dwHeight = static_cast<DWORD>(height);
    description.ddpfPixelFormat.dwSize = sizeof description.ddpfPixelFormat;
    description.ddpfPixelFormat.dwFlags = DDPF_YUV | DDPF_FOURCC;
    description.ddpfPixelFormat.dwFourCC = FourCcOf(kind);
    description.ddpfPixelFormat.dwYUVBitCount = IsPlanar420(kind) ? 12 : 16;
    if (FAILED(directDraw_->CreateSurface(&description, &video_, nullptr))) {
        video_ = nullptr;
        return false;
    }
    videoKind_ = kind;
    videoWidth_ = width;
    videoHeight_ = height;
    return true;
}

void DirectDrawOutput::ReleaseVideo() {
    ReleaseCom(video_);
    videoKind_ = videoWidth_ = videoHeight_ = 0;
}

bool DirectDrawOutput::PrepareOverlay(int width, int height) {
    if (overlay_ && width == overlayWidth_ && height == overlayHeight_) return true;
    ReleaseCom(overlay_);
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
    DDCOLORKEY magenta{0x00FF00FF, 0x00FF00FF};
    overlay_->SetColorKey(DDCKEY_SRCBLT, &magenta);
    overlayWidth_ = width;
    overlayHeight_ = height;
    return true;
}

bool DirectDrawOutput::CopyIntoVideo(const QueuedFrame& frame) {
    // The surface was made for this kind and size; a picture that does not
    // match it, or is too short for its size, is not copied.
    if (frame.kind != videoKind_ || frame.width != videoWidth_ || frame.height != videoHeight_) return false;
    if (!PictureFits(frame.kind, frame.width, frame.height, frame.size)) return false;
    DDSURFACEDESC locked{};
    locked.dwSize = sizeof locked;
    if (FAILED(video_->Lock(nullptr, &locked, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr))) return false;
    if (!locked.lpSurface) {
        video_->Unlock(nullptr);
        return false;
    }
    auto* surface = static_cast<std::uint8_t*>(locked.lpSurface);
    const LONG pitch = locked.lPitch;
    const int w = frame.width;
    const int rows = static_cast<int>(locked.dwHeight) < frame.height ? static_cast<int>(locked.dwHeight)
                                                                         : frame.height;
    const std::uint8_t* source = frame.data.get();
    if (IsPlanar420(frame.kind)) {
        // Y, then the two chroma planes in the order they are stored: the
        // surface has the picture's own FourCC.
        CopyRows(surface, pitch, source, w, w, rows);
        std::uint8_t* chroma = surface + static_cast<std::ptrdiff_t>(rows) * pitch;
        const int chromaRows = rows / 2;
        CopyRows(chroma, pitch / 2, source + SecondPlaneOffset(w, frame.height), w / 2, w / 2, chromaRows);
        CopyRows(chroma + static_cast<std::ptrdiff_t>(chromaRows) * (pitch / 2), pitch / 2,
                 source + ThirdPlaneOffset(w, frame.height), w / 2, w / 2, chromaRows);
    } else {
        CopyRows(surface, pitch, source, 2 * w, 2 * w, rows);
    }
    video_->Unlock(nullptr);
    return true;
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

bool DirectDrawOutput::DrawVideo(const QueuedFrame& frame) {
    if (!video_ || !overlay_ || !primary_) return false;
    RECT windowRect{};
    if (!GetWindowRect(window_, &windowRect) || windowRect.right - windowRect.left <= 0 ||
        windowRect.bottom - windowRect.top <= 0) {
        return false;
    }
    if (!CopyIntoVideo(frame)) return false;
    RECT source{0, 0, videoWidth_, videoHeight_};
    RECT destination{};
    if (!DestinationRect(&destination)) return false;
    primary_->Blt(&destination, video_, &source, DDBLT_WAIT, nullptr);
    return true;
}

bool DirectDrawOutput::BlitOverlay() {
    if (!overlay_ || !primary_) return false;
    RECT source{0, 0, overlayWidth_, overlayHeight_};
    RECT destination{};
    if (!DestinationRect(&destination)) return false;
    return SUCCEEDED(primary_->Blt(&destination, overlay_, &source, DDBLT_WAIT | DDBLT_KEYSRC, nullptr));
}

}  // namespace vd

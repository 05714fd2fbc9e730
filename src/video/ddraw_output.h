// Pictures shown through DirectDraw: the picture is copied into an
// off-screen surface of its own pixel format and the display hardware scales
// and converts it while blitting it onto the primary surface, clipped to the
// window. A second off-screen surface in the display's format carries the
// overlay, blitted on top with magenta as the transparent colour.
#ifndef VD_VIDEO_DDRAW_OUTPUT_H
#define VD_VIDEO_DDRAW_OUTPUT_H

#include <windows.h>
#include <ddraw.h>

#include <memory>

#include "port/queued_frame.h"

namespace vd {

class DirectDrawOutput {
public:
    // The display object, the primary surface and a clipper bound to the
    // window; null when DirectDraw cannot be used at all.
    static std::unique_ptr<DirectDrawOutput> Create(HWND window);
    ~DirectDrawOutput();
    DirectDrawOutput(const DirectDrawOutput&) = delete;
    DirectDrawOutput& operator=(const DirectDrawOutput&) = delete;

    // A video surface for pictures of this kind and size; false when the
    // display cannot make one (the caller then draws another way).
    bool PrepareVideo(int kind, int width, int height);
    void ReleaseVideo();
    bool hasVideo() const { return video_ != nullptr; }

    // The overlay surface for pictures of this size; false when it cannot
    // be made.
    bool PrepareOverlay(int width, int height);
    IDirectDrawSurface* overlaySurface() const { return overlay_; }

    // Copies the picture into the video surface and blits it stretched over
    // the window's client area. False when nothing was shown.
    bool DrawVideo(const QueuedFrame& frame);
    // Blits the overlay surface over the same area, magenta transparent.
    bool BlitOverlay();

private:
    explicit DirectDrawOutput(HWND window) : window_(window) {}
    bool CopyIntoVideo(const QueuedFrame& frame);
    bool DestinationRect(RECT* destination) const;

    HWND window_;
    IDirectDraw* directDraw_ = nullptr;
    IDirectDrawSurface* primary_ = nullptr;
    IDirectDrawClipper* clipper_ = nullptr;
    IDirectDrawSurface* video_ = nullptr;
    IDirectDrawSurface* overlay_ = nullptr;
    int videoKind_ = 0;
    int videoWidth_ = 0;
    int videoHeight_ = 0;
    int overlayWidth_ = 0;
    int overlayHeight_ = 0;
};

}  // namespace vd

#endif

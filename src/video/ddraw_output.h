// Pictures shown through DirectDraw: the picture is copied into an
// off-screen surface of a YUV format and the display hardware scales and
// converts it while blitting it onto the primary surface, clipped to the
// window. I420 pictures go on a YV12 surface, chroma planes swapped, where
// the display has no I420 surfaces. A second off-screen surface in the
// display's format carries the overlay, blitted on top with magenta as the
// transparent colour. Surfaces lost to a display change are restored, or the
// whole device made again.
#ifndef VD_VIDEO_DDRAW_OUTPUT_H
#define VD_VIDEO_DDRAW_OUTPUT_H

#include <windows.h>
#include <ddraw.h>

#include <memory>

#include "video/video_output.h"

namespace vd {

class DirectDrawOutput final : public VideoOutput {
public:
    // The display object, the primary surface and a clipper bound to the
    // window; null when DirectDraw cannot be used at all.
    static std::unique_ptr<DirectDrawOutput> Create(HWND window);
    ~DirectDrawOutput() override;

    const char* name() const override { return "ddraw"; }
    // The video surface for the kind and size and the overlay surface for the
    // size; false when the display cannot make either.
    bool Prepare(int kind, int width, int height) override;
    bool DrawPicture(const QueuedFrame& frame) override;
    HDC BeginOverlay() override;
    void EndOverlay(HDC dc) override;
    bool keysMagenta() const override { return true; }
    ShowResult Show() override;
    void Release() override;
    bool lost() const override { return lost_; }
    void Finish() override;

private:
    explicit DirectDrawOutput(HWND window) : window_(window) {}
    bool MakeDevice();
    void ReleaseDevice();
    bool MakeVideoSurface(DWORD fourCc, int bitCount, int width, int height);
    bool MakeOverlaySurface(int width, int height);
    bool CopyIntoVideo(const QueuedFrame& frame);
    bool DestinationRect(RECT* destination) const;
    // After DDERR_SURFACELOST: restores the surfaces, or makes the device and
    // the surfaces again. False when neither worked.
    bool Recover();

    HWND window_;
    IDirectDraw* directDraw_ = nullptr;
    IDirectDrawSurface* primary_ = nullptr;
    IDirectDrawClipper* clipper_ = nullptr;
    IDirectDrawSurface* video_ = nullptr;
    IDirectDrawSurface* overlay_ = nullptr;
    bool swapChroma_ = false;  // the picture's chroma planes are in the other order than the surface's
    int kind_ = 0;
    int width_ = 0;
    int height_ = 0;
    bool pictureReady_ = false;
    bool overlayDrawn_ = false;
    bool lost_ = false;
};

}  // namespace vd

#endif

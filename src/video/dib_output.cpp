#include "video/dib_output.h"

#include <cstring>
#include <new>

#include "pixel/pixel_convert.h"
#include "video/frame_layout.h"

namespace vd {

DibOutput::~DibOutput() { Release(); }

void DibOutput::Release() {
    if (drawDib_) {
        DrawDibEnd(drawDib_);
        DrawDibClose(drawDib_);
    }
    drawDib_ = nullptr;
    if (bitmapDc_) {
        if (previousBitmap_) SelectObject(bitmapDc_, previousBitmap_);
        DeleteDC(bitmapDc_);
    }
    bitmapDc_ = nullptr;
    previousBitmap_ = nullptr;
    if (bitmap_) DeleteObject(bitmap_);
    bitmap_ = nullptr;
    bits_ = nullptr;
    if (windowDc_) ReleaseDC(window_, windowDc_);
    windowDc_ = nullptr;
    width_ = height_ = 0;
    pictureReady_ = false;
}

bool DibOutput::Prepare(int kind, int width, int height) {
    if (!IsDisplayKind(kind)) return false;
    if (bits_ && width == width_ && height == height_) return true;
    Release();
    if (width < 1 || height < 1 || width > kMaxPictureSide || height > kMaxPictureSide) return false;
    const std::size_t stride = (3u * static_cast<std::size_t>(width) + 3u) & ~std::size_t{3};
    try {
        yuvTable_.resize(kYuvTableSize);
        topDown_.assign(3u * static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    BuildYuvTable(yuvTable_.data());
    header_ = BITMAPINFOHEADER{};
    header_.biSize = sizeof header_;
    header_.biWidth = width;
    header_.biHeight = height;  // positive: rows bottom-up
    header_.biPlanes = 1;
    header_.biBitCount = 24;
    header_.biCompression = BI_RGB;
    header_.biSizeImage = static_cast<DWORD>(stride * static_cast<std::size_t>(height));

    void* bits = nullptr;
    bitmap_ = CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&header_), DIB_RGB_COLORS, &bits,
                               nullptr, 0);
    bitmapDc_ = CreateCompatibleDC(nullptr);
    if (!bitmap_ || !bits || !bitmapDc_) {
        Release();
        return false;
    }
    previousBitmap_ = SelectObject(bitmapDc_, bitmap_);
    bits_ = static_cast<std::uint8_t*>(bits);
    stride_ = stride;
    width_ = width;
    height_ = height;

    windowDc_ = GetDC(window_);
    RECT client{};
    GetClientRect(window_, &client);
    drawDib_ = DrawDibOpen();
    if (drawDib_) DrawDibBegin(drawDib_, windowDc_, client.right, client.bottom, &header_, width, height, 0);
    return true;
}

bool DibOutput::DrawPicture(const QueuedFrame& frame) {
    pictureReady_ = false;
    if (!bits_ || frame.width != width_ || frame.height != height_) return false;
    if (!PictureFits(frame.kind, frame.width, frame.height, frame.size)) return false;
    const std::uint8_t* data = frame.data.get();
    if (IsPlanar420(frame.kind)) {
        const std::uint8_t* second = data + SecondPlaneOffset(width_, height_);
        const std::uint8_t* third = data + ThirdPlaneOffset(width_, height_);
        const bool yv12 = frame.kind == kKindYv12;
        ConvertYuv420WithTable(topDown_.data(), width_, yuvTable_.data(), data, yv12 ? third : second,
                               yv12 ? second : third, height_, width_, width_ / 2);
    } else if (frame.kind == kKindYuy2 || frame.kind == kKindUyvy) {
        ConvertPacked422WithTable(topDown_.data(), width_, height_, yuvTable_.data(), data, frame.kind == kKindUyvy);
    } else {
        return false;
    }
    // GDI may still be drawing into the bitmap from the last picture.
    GdiFlush();
    const std::size_t rowBytes = 3u * static_cast<std::size_t>(width_);
    for (int r = 0; r < height_; ++r) {
        std::memcpy(bits_ + static_cast<std::size_t>(height_ - 1 - r) * stride_, &topDown_[r * rowBytes], rowBytes);
    }
    pictureReady_ = true;
    return true;
}

HDC DibOutput::BeginOverlay() { return pictureReady_ ? bitmapDc_ : nullptr; }

void DibOutput::EndOverlay(HDC) { GdiFlush(); }

ShowResult DibOutput::Show() {
    if (!pictureReady_ || !drawDib_) return ShowResult::kNotShown;
    RECT client{};
    GetClientRect(window_, &client);
    const BOOL drawn = DrawDibDraw(drawDib_, windowDc_, 0, 0, client.right, client.bottom, &header_, bits_, 0, 0,
                                   width_, height_, DDF_BACKGROUNDPAL);
    return drawn ? ShowResult::kShown : ShowResult::kNotShown;
}

}  // namespace vd

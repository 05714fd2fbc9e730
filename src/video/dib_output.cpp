#include "video/dib_output.h"

#include <cstring>
#include <new>

#include "pixel/pixel_convert.h"
#include "port/frame_layout.h"

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
    topDown_.clear();
}

bool DibOutput::Prepare(int kind, int width, int height) {
    if (!IsDisplayKind(kind)) return false;
    // The packed kinds need the table and a buffer the planar ones do not.
    if (bits_ && width == width_ && height == height_ && (IsPlanar420(kind) || !topDown_.empty())) return true;
    Release();
    if (width < 1 || height < 1 || width > kMaxPictureSide || height > kMaxPictureSide) return false;
    const std::size_t stride = 4u * static_cast<std::size_t>(width);
    try {
        // The packed kinds are converted through the table first; the planar
        // ones go straight into the bitmap.
        if (!IsPlanar420(kind)) {
            yuvTable_.resize(kYuvTableSize);
            BuildYuvTable(yuvTable_.data());
            topDown_.assign(3u * static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    header_ = BITMAPINFOHEADER{};
    header_.biSize = sizeof header_;
    header_.biWidth = width;
    header_.biHeight = height;  // positive: rows bottom-up
    header_.biPlanes = 1;
    header_.biBitCount = 32;
    header_.biCompression = BI_RGB;
    header_.biSizeImage = static_cast<DWORD>(stride * static_cast<std::size_t>(height));

    void* bits = nullptr;
    bitmap_ =
        CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&header_), DIB_RGB_COLORS, &bits, nullptr, 0);
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
    // A picture shrunk into a smaller window keeps the pixels that land on
    // the window's and leaves the others out. The default mode merges those
    // left out into their neighbours (meant for black-on-white drawings):
    // on a video it darkens fine detail, and it costs a pass over every
    // pixel of the picture.
    if (windowDc_) SetStretchBltMode(windowDc_, COLORONCOLOR);
    RECT client{};
    GetClientRect(window_, &client);
    drawDib_ = DrawDibOpen();
    if (drawDib_) DrawDibBegin(drawDib_, windowDc_, client.right, client.bottom, &header_, width, height, 0);
    return true;
}

bool DibOutput::DrawPicture(const QueuedFrame& frame) {
    pictureReady_ = false;
    if (!bits_ || frame.width != width_ || frame.height != height_) return false;
    const std::uint8_t* data = frame.data.get();
    // GDI may still be drawing into the bitmap from the last picture.
    GdiFlush();
    if (IsPlanar420(frame.kind)) {
        // The same conversion as snapshots, written bottom-up as the bitmap
        // is laid out: the window shows what a snapshot saves.
        const std::uint8_t* second = data + SecondPlaneOffset(width_, height_);
        const std::uint8_t* third = data + ThirdPlaneOffset(width_, height_);
        const bool yv12 = frame.kind == kKindYv12;
        ConvertYuv420ToRgb32(bits_, static_cast<int>(stride_), data, yv12 ? third : second, yv12 ? second : third,
                             width_, width_ / 2, width_, height_, 1);
    } else if ((frame.kind == kKindYuy2 || frame.kind == kKindUyvy) && !topDown_.empty()) {
        ConvertPacked422WithTable(topDown_.data(), width_, height_, yuvTable_.data(), data, frame.kind == kKindUyvy);
        for (int r = 0; r < height_; ++r) {
            const std::uint8_t* in = &topDown_[static_cast<std::size_t>(r) * 3u * static_cast<std::size_t>(width_)];
            std::uint8_t* out = bits_ + static_cast<std::size_t>(height_ - 1 - r) * stride_;
            for (int x = 0; x < width_; ++x, in += 3, out += 4) {
                out[0] = in[0];
                out[1] = in[1];
                out[2] = in[2];
                out[3] = 0;
            }
        }
    } else {
        return false;
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

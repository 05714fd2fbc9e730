#include "video/dib_output.h"

#include <cstring>
#include <new>

#include "video/frame_layout.h"
#include "pixel/pixel_convert.h"

namespace vd {

DibOutput::~DibOutput() { Close(); }

void DibOutput::Close() {
    if (drawDib_) {
        DrawDibEnd(drawDib_);
        DrawDibClose(drawDib_);
    }
    drawDib_ = nullptr;
    if (dc_) ReleaseDC(window_, dc_);
    dc_ = nullptr;
    opened_ = false;
}

bool DibOutput::Prepare(int width, int height) {
    if (opened_ && width == width_ && height == height_) return true;
    Close();
    if (width < 1 || height < 1 || width > kMaxPictureSide || height > kMaxPictureSide) return false;
    const std::size_t stride = (3u * static_cast<std::size_t>(width) + 3u) & ~std::size_t{3};
    try {
        yuvTable_.resize(kYuvTableSize);
        topDown_.assign(3u * static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
        bottomUp_.assign(stride * static_cast<std::size_t>(height), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    BuildYuvTable(yuvTable_.data());
    width_ = width;
    height_ = height;
    header_ = BITMAPINFOHEADER{};
    header_.biSize = sizeof header_;
    header_.biWidth = width;
    header_.biHeight = height;  // positive: rows bottom-up
    header_.biPlanes = 1;
    header_.biBitCount = 24;
    header_.biCompression = BI_RGB;
    header_.biSizeImage = static_cast<DWORD>(stride * static_cast<std::size_t>(height));

    dc_ = GetDC(window_);
    RECT client{};
    GetClientRect(window_, &client);
    drawDib_ = DrawDibOpen();
    if (drawDib_) DrawDibBegin(drawDib_, dc_, client.right, client.bottom, &header_, width, height, 0);
    opened_ = true;
    return true;
}

bool DibOutput::Draw(const QueuedFrame& frame) {
    if (!opened_ || frame.width != width_ || frame.height != height_) return false;
    if (!PictureFits(frame.kind, frame.width, frame.height, frame.size)) return false;
    const std::uint8_t* data = frame.data.get();
    if (IsPlanar420(frame.kind)) {
        const std::uint8_t* second = data + SecondPlaneOffset(width_, height_);
        const std::uint8_t* third = data + ThirdPlaneOffset(width_, height_);
        const bool yv12 = frame.kind == kKindYv12;
        ConvertYuv420WithTable(topDown_.data(), width_, yuvTable_.data(), data, yv12 ? third : second,
                               yv12 ? second : third, height_, width_, width_ / 2);
    } else if (frame.kind == kKindYuy2 || frame.kind == kKindUyvy) {
        ConvertPacked422WithTable(topDown_.data(), width_, height_, yuvTable_.data(), data,
                                  frame.kind == kKindUyvy);
    } else {
        return false;
    }
    const std::size_t rowBytes = 3u * static_cast<std::size_t>(width_);
    const std::size_t stride = bottomUp_.size() / static_cast<std::size_t>(height_);
    for (int r = 0; r < height_; ++r) {
        std::memcpy(&bottomUp_[static_cast<std::size_t>(height_ - 1 - r) * stride], &topDown_[r * rowBytes],
                    rowBytes);
    }
    if (!drawDib_) return false;
    RECT client{};
    GetClientRect(window_, &client);
    return DrawDibDraw(drawDib_, dc_, 0, 0, client.right, client.bottom, &header_, bottomUp_.data(), 0, 0, width_,
                       height_, DDF_BACKGROUNDPAL) != FALSE;
}

}  // namespace vd

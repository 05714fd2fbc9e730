#include "video/snapshot.h"

#include <windows.h>

#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "port/port_record.h"
#include "video/bitmap_file.h"
#include "port/frame_layout.h"
#include "pixel/pixel_convert.h"

namespace vd {

namespace {

// "不支持的图像格式：%d" and "保存抓图文件失败！\n" in code page 936.
const char kUnsupportedFormat[] = "\xB2\xBB\xD6\xA7\xB3\xD6\xB5\xC4\xCD\xBC\xCF\xF1\xB8\xF1\xCA\xBD\xA3\xBA%d";
const char kSaveFailed[] = "\xB1\xA3\xB4\xE6\xD7\xA5\xCD\xBC\xCE\xC4\xBC\xFE\xCA\xA7\xB0\xDC\xA3\xA1\n";

int RefuseKind(PortRecord& record, int kind) {
    char text[32] = {};
    std::snprintf(text, sizeof text, kUnsupportedFormat, kind);
    MessageBoxA(record.videoWindow.load(), text, "", 0);
    return E_FAIL;
}

// Writes the whole file or nothing: a file that cannot be completed is removed.
bool WriteBitmap(const char* fileName, const std::vector<std::uint8_t>& headers, const std::uint8_t* pixels,
                 std::size_t pixelBytes) {
    FILE* file = std::fopen(fileName, "wb");
    if (!file) return false;
    bool complete = std::fwrite(headers.data(), 1, headers.size(), file) == headers.size() &&
                    std::fwrite(pixels, 1, pixelBytes, file) == pixelBytes;
    complete = (std::fclose(file) == 0) && complete;
    if (!complete) std::remove(fileName);
    return complete;
}

}  // namespace

int SaveSnapshot(PortRecord& record, const char* fileName) {
    QueuedFrame copy;
    if (!record.currentFrame.CopyTo(copy)) return E_FAIL;
    const int kind = copy.HasData() ? copy.kind : 0;
    if (!IsPlanar420(kind)) return RefuseKind(record, kind);
    // A queued picture holds its planes whole (checked at intake).
    const int width = copy.width;
    const int height = copy.height;
    if (!fileName) return E_FAIL;

    const std::size_t pixelBytes = 4u * static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::unique_ptr<std::uint8_t[]> image(new (std::nothrow) std::uint8_t[pixelBytes]);
    if (!image) return E_FAIL;
    const std::uint8_t* y = copy.data.get();
    const std::uint8_t* second = y + SecondPlaneOffset(width, height);
    const std::uint8_t* third = y + ThirdPlaneOffset(width, height);
    const std::uint8_t* u = kind == kKindYv12 ? third : second;
    const std::uint8_t* v = kind == kKindYv12 ? second : third;
    ConvertYuv420ToRgb32(image.get(), 4 * width, y, u, v, width, width / 2, width, height, 1);

    if (!WriteBitmap(fileName, BitmapHeaders32(width, height), image.get(), pixelBytes)) {
        OutputDebugStringA(kSaveFailed);
        return E_FAIL;
    }
    return 0;
}

}  // namespace vd

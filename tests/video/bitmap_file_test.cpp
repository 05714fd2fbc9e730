// The 54 header bytes of a snapshot file: a 32-bit bottom-up Windows bitmap.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "video/bitmap_file.h"

namespace vd {
namespace {

std::uint32_t Read32(const std::vector<std::uint8_t>& bytes, int at) {
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

std::uint32_t Read16(const std::vector<std::uint8_t>& bytes, int at) {
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8;
}

TEST(BitmapFile, HeaderFieldsBySize) {
    struct Size {
        int width;
        int height;
    } sizes[] = {{352, 288}, {1, 1}, {3, 5}, {1920, 1080}, {16384, 16384}};
    for (const Size& s : sizes) {
        SCOPED_TRACE(testing::Message() << s.width << "x" << s.height);
        const std::vector<std::uint8_t> h = BitmapHeaders32(s.width, s.height);
        ASSERT_EQ(h.size(), 54u);
        const std::uint32_t image = 4u * static_cast<std::uint32_t>(s.width) * static_cast<std::uint32_t>(s.height);
        struct Field {
            const char* name;
            int offset;
            int bytes;
            std::uint32_t value;
        } fields[] = {
            {"signature", 0, 2, 0x4D42},
            {"file size", 2, 4, 54 + image},
            {"reserved 1", 6, 2, 0},
            {"reserved 2", 8, 2, 0},
            {"pixel offset", 10, 4, 54},
            {"header size", 14, 4, 40},
            {"width", 18, 4, static_cast<std::uint32_t>(s.width)},
            {"height", 22, 4, static_cast<std::uint32_t>(s.height)},
            {"planes", 26, 2, 1},
            {"bits per pixel", 28, 2, 32},
            {"compression", 30, 4, 0},
            {"image size", 34, 4, 0},
            {"x resolution", 38, 4, 0},
            {"y resolution", 42, 4, 0},
            {"colours used", 46, 4, 0},
            {"colours important", 50, 4, 0},
        };
        for (const Field& f : fields) {
            SCOPED_TRACE(f.name);
            EXPECT_EQ(f.bytes == 2 ? Read16(h, f.offset) : Read32(h, f.offset), f.value);
        }
    }
}

TEST(BitmapFile, SignatureIsTheTwoLettersBM) {
    const std::vector<std::uint8_t> h = BitmapHeaders32(2, 2);
    EXPECT_EQ(h[0], 'B');
    EXPECT_EQ(h[1], 'M');
}

}  // namespace
}  // namespace vd

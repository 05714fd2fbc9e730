// The byte counts pictures need, and the check every reader of a picture's
// planes relies on before it reads.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "port/frame_layout.h"
#include "port/queued_frame.h"

namespace vd {
namespace {

struct BytesCase {
    int kind;
    int width;
    int height;
    std::int64_t bytes;  // -1: not a picture
};

TEST(FrameLayout, PictureBytesByKindAndSize) {
    const BytesCase cases[] = {
        {kKindRgb32, 352, 288, 4LL * 352 * 288},
        {kKindYv12, 352, 288, 352 * 288 * 3 / 2},
        {kKindI420, 352, 288, 352 * 288 * 3 / 2},
        {kKindUyvy, 352, 288, 2LL * 352 * 288},
        {kKindYuy2, 352, 288, 2LL * 352 * 288},
        // Odd sizes: each chroma plane is a quarter of the luma, truncated.
        {kKindYv12, 3, 3, 9 + 2 * 2},
        {kKindI420, 5, 1, 5 + 2 * 1},
        {kKindYv12, 1, 1, 1},
        {kKindYuy2, 1, 1, 2},
        // The largest side taken as a picture, and no overflow on the way.
        {kKindRgb32, kMaxPictureSide, kMaxPictureSide, 4LL * kMaxPictureSide * kMaxPictureSide},
        {kKindYv12, kMaxPictureSide, 1, kMaxPictureSide + 2 * (kMaxPictureSide / 4)},
        // Broken sizes.
        {kKindYv12, 0, 288, -1},
        {kKindYv12, 352, 0, -1},
        {kKindYv12, -352, 288, -1},
        {kKindRgb32, 352, -288, -1},
        {kKindYv12, kMaxPictureSide + 1, 2, -1},
        {kKindUyvy, 2, kMaxPictureSide + 1, -1},
        {kKindRgb32, INT_MAX, INT_MAX, -1},
        {kKindYv12, INT_MIN, INT_MIN, -1},
        // Kinds that are not pictures.
        {kKindNotification, 352, 288, -1},
        {kKindSound, 352, 288, -1},
        {7, 352, 288, -1},
        {-1, 352, 288, -1},
    };
    for (const BytesCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " " << c.width << "x" << c.height);
        EXPECT_EQ(PictureBytes(c.kind, c.width, c.height), c.bytes);
    }
}

TEST(FrameLayout, PictureFitsOnlyWhenTheBytesCoverThePlanes) {
    const std::int64_t yv12 = 352 * 288 * 3 / 2;
    struct Case {
        int kind;
        int width;
        int height;
        std::int64_t size;
        bool fits;
    } cases[] = {
        {kKindYv12, 352, 288, yv12, true},
        {kKindYv12, 352, 288, yv12 - 1, false},
        {kKindYv12, 352, 288, yv12 + 100, true},  // padding after the planes is harmless
        {kKindYv12, 352, 288, 0, false},
        {kKindYv12, 352, 288, -1, false},
        {kKindRgb32, 352, 288, 4LL * 352 * 288 - 1, false},
        {kKindUyvy, 352, 288, 2LL * 352 * 288, true},
        {kKindYuy2, 352, 288, 352 * 288, false},  // half a packed picture
        {kKindI420, 0, 0, 0, false},
        {kKindI420, -4, 4, 1000, false},
        {kKindYv12, 100000, 100000, INT64_MAX, false},  // absurd sides, whatever the size says
        {kKindSound, 1, 1, 1000, false},
        {kKindNotification, 1, 1, 1000, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " " << c.width << "x" << c.height << " size "
                                        << c.size);
        EXPECT_EQ(PictureFits(c.kind, c.width, c.height, c.size), c.fits);
    }
}

// A queued picture is made only for a picture's kind and size, and holds
// exactly its planes.
TEST(FrameLayout, AQueuedPictureHoldsExactlyItsPlanes) {
    struct Case {
        FrameKind kind;
        int width;
        int height;
        bool made;
    } cases[] = {
        {kKindYv12, 352, 288, true},   {kKindI420, 3, 3, true},          {kKindYuy2, 64, 48, true},
        {kKindRgb32, 2, 2, true},      {kKindYv12, 0, 288, false},       {kKindUyvy, kMaxPictureSide + 1, 2, false},
        {kKindSound, 352, 288, false}, {kKindNotification, 1, 1, false}, {static_cast<FrameKind>(9), 10, 10, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " " << c.width << "x" << c.height);
        QueuedFrame frame;
        EXPECT_EQ(frame.AllocatePicture(c.kind, c.width, c.height), c.made);
        EXPECT_EQ(frame.HasData(), c.made);
        EXPECT_EQ(frame.size, c.made ? PictureBytes(c.kind, c.width, c.height) : 0);
        if (c.made) {
            EXPECT_TRUE(PictureFits(frame.kind, frame.width, frame.height, frame.size));
        }
    }
}

// The bytes of a picture done with are taken for the next one of exactly
// their size, and left where they are otherwise.
TEST(FrameLayout, AQueuedPictureTakesSpareBytesOfItsSizeOnly) {
    struct Case {
        const char* name;
        int spareBytes;  // 0: no spare bytes
        FrameKind kind;
        int width;
        int height;
        bool made;
        bool taken;
    } cases[] = {
        {"same size", 352 * 288 * 3 / 2, kKindYv12, 352, 288, true, true},
        {"same size, other 4:2:0 kind", 352 * 288 * 3 / 2, kKindI420, 352, 288, true, true},
        {"one byte more", 352 * 288 * 3 / 2 + 1, kKindYv12, 352, 288, true, false},
        {"one byte less", 352 * 288 * 3 / 2 - 1, kKindYv12, 352, 288, true, false},
        {"packed picture of the 4:2:0 size", 32 * 24 * 3 / 2, kKindYuy2, 32, 24, true, false},
        {"no spare bytes", 0, kKindYv12, 16, 16, true, false},
        {"not a picture", 352 * 288 * 3 / 2, kKindYv12, 0, 288, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QueuedFrame spare;
        if (c.spareBytes > 0) {
            ASSERT_TRUE(spare.Allocate(c.spareBytes));
        }
        const std::uint8_t* spareData = spare.data.get();
        QueuedFrame frame;
        EXPECT_EQ(frame.AllocatePicture(c.kind, c.width, c.height, &spare), c.made);
        EXPECT_EQ(frame.size, c.made ? PictureBytes(c.kind, c.width, c.height) : 0);
        EXPECT_EQ(c.taken, c.made && frame.data.get() == spareData);
        // Bytes not taken stay with the spare, whole.
        EXPECT_EQ(spare.HasData(), c.spareBytes > 0 && !c.taken);
        EXPECT_EQ(spare.size, c.taken ? 0 : c.spareBytes);
    }
}

TEST(FrameLayout, PlanesOfA420PictureFollowTheLuma) {
    EXPECT_EQ(SecondPlaneOffset(352, 288), 352 * 288);
    EXPECT_EQ(ThirdPlaneOffset(352, 288), 352 * 288 + 352 * 288 / 4);
    // The third plane ends exactly where the picture does.
    for (const int side : {1, 2, 3, 7, 16, 351}) {
        SCOPED_TRACE(side);
        EXPECT_EQ(ThirdPlaneOffset(side, side) + static_cast<std::int64_t>(side) * side / 4,
                  PictureBytes(kKindYv12, side, side));
    }
    EXPECT_EQ(ThirdPlaneOffset(kMaxPictureSide, kMaxPictureSide),
              static_cast<std::int64_t>(kMaxPictureSide) * kMaxPictureSide * 5 / 4);
}

TEST(FrameLayout, KindClasses) {
    struct Case {
        int kind;
        bool picture;
        bool display;
        bool planar;
    } cases[] = {
        {kKindNotification, false, false, false},
        {kKindSound, false, false, false},
        {kKindRgb32, true, false, false},
        {kKindYv12, true, true, true},
        {kKindUyvy, true, true, false},
        {kKindI420, true, true, true},
        {kKindYuy2, true, true, false},
        {7, false, false, false},
        {-3, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        EXPECT_EQ(IsPictureKind(c.kind), c.picture);
        EXPECT_EQ(IsDisplayKind(c.kind), c.display);
        EXPECT_EQ(IsPlanar420(c.kind), c.planar);
    }
}

}  // namespace
}  // namespace vd

// Snapshots: the picture on display saved as a 32-bit bottom-up bitmap file,
// and the message a client sees for a picture that cannot be saved.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/playback_fixture.h"
#include "engine/playback_helpers.h"

namespace vdtest {
namespace {

constexpr std::uint32_t kRed = 0xFF0000, kBlue = 0x0000FF;

std::uint32_t Read32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// The pixel of the file's row `row` (0 = the first row stored) and column x,
// as 0x00RRGGBB, with its fourth byte.
struct FilePixel {
    std::uint32_t rgb;
    std::uint8_t fourth;
};
FilePixel PixelOf(const std::vector<std::uint8_t>& file, int width, int row, int x) {
    const std::size_t at = 54 + (static_cast<std::size_t>(row) * width + x) * 4;
    return {static_cast<std::uint32_t>(file[at + 2]) << 16 | static_cast<std::uint32_t>(file[at + 1]) << 8 | file[at],
            file[at + 3]};
}

// The top quarter `top`, the rest `bottom` (so that the centre, where the
// tests look at the screen, is far from the edge the display smooths).
RgbPicture TopBand(int width, int height, std::uint32_t top, std::uint32_t bottom) {
    RgbPicture picture = Flat(width, height, top);
    for (int y = height / 4; y < height; ++y) {
        for (int x = 0; x < width; ++x) picture.pixels[static_cast<std::size_t>(y) * width + x] = bottom;
    }
    return picture;
}

class Snapshot : public PlaybackTest {
protected:
    // Plays the port in a window of the picture's size and shows the picture.
    void Show(const SdkFrame& frame, std::uint32_t centre) {
        PlayInWindow({frame.width, frame.height});
        if (!HasFatalFailure()) ShowFirst(Frame(kGrey), kGrey, frame, centre);
    }
    std::string Path(const std::string& name) const { return files_.path() + "\\" + name; }

    ScratchDirectory files_;
};

// A 352 x 288 picture gives a file of 54 + 4 * 352 * 288 bytes whose first
// stored row is the picture's bottom row; white (Y 235, U 128, V 128) is
// saved as 253, 253, 253, 0 and black (Y 16) as 0, 0, 0, 0.
TEST_F(Snapshot, FileOfAYv12Picture) {
    const int width = 352, height = 288;
    SdkFrame frame;
    frame.width = width;
    frame.height = height;
    frame.kind = kYv12;
    frame.bytes.assign(static_cast<std::size_t>(width) * height * 3 / 2, 128);
    for (int y = 0; y < height; ++y) {
        std::fill_n(frame.bytes.begin() + static_cast<std::ptrdiff_t>(y) * width, width, y < height / 2 ? 235 : 16);
    }
    // The centre row belongs to the bottom half.
    ASSERT_NO_FATAL_FAILURE(Show(frame, 0x000000));

    const std::string path = Path("shot.bmp");
    ASSERT_EQ(decoder_->Snapshot(port_, path.c_str()), 0);
    const std::vector<std::uint8_t> file = ReadFileBytes(path);
    ASSERT_EQ(file.size(), 54u + 4u * width * height);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(Read32(file, 2), file.size());
    EXPECT_EQ(Read32(file, 10), 54u);
    EXPECT_EQ(Read32(file, 14), 40u);
    EXPECT_EQ(Read32(file, 18), static_cast<std::uint32_t>(width));
    EXPECT_EQ(Read32(file, 22), static_cast<std::uint32_t>(height));
    EXPECT_EQ(Read32(file, 26), 1u | 32u << 16);  // planes, bits per pixel
    EXPECT_EQ(Read32(file, 30), 0u);              // BI_RGB

    int wrong = 0;
    for (int row = 0; row < height && wrong < 5; ++row) {
        const bool bottomHalf = row < height / 2;  // stored first
        for (int x = 0; x < width && wrong < 5; ++x) {
            const FilePixel pixel = PixelOf(file, width, row, x);
            const std::uint32_t expected = bottomHalf ? 0x000000 : 0xFDFDFD;
            if (pixel.rgb != expected || pixel.fourth != 0) {
                ADD_FAILURE() << "row " << row << " x " << x << ": " << std::hex << pixel.rgb << " fourth "
                              << int(pixel.fourth);
                ++wrong;
            }
        }
    }
}

// Every kind that reaches the display as planar 4:2:0 can be saved: RGB32
// is queued as YV12 on the way, I420 keeps its own plane order.
TEST_F(Snapshot, PicturesDeliveredAsRgb32Yv12AndI420) {
    for (const int kind : {kRgb32, kYv12, kI420}) {
        SCOPED_TRACE(KindName(kind));
        const int width = 64, height = 48;
        SdkFrame frame;
        frame.bytes = Encode(TopBand(width, height, kRed, kBlue), kind);
        frame.width = width;
        frame.height = height;
        frame.kind = kind;
        ASSERT_NO_FATAL_FAILURE(Show(frame, kBlue));
        const std::string path = Path(std::string(KindName(kind)) + ".bmp");
        ASSERT_EQ(decoder_->Snapshot(port_, path.c_str()), 0);
        const std::vector<std::uint8_t> file = ReadFileBytes(path);
        ASSERT_EQ(file.size(), 54u + 4u * width * height);
        for (const int x : {0, width / 2, width - 1}) {
            EXPECT_TRUE(Near(PixelOf(file, width, 0, x).rgb, kBlue, 24)) << std::hex << PixelOf(file, width, 0, x).rgb;
            EXPECT_TRUE(Near(PixelOf(file, width, height - 1, x).rgb, kRed, 24))
                << std::hex << PixelOf(file, width, height - 1, x).rgb;
        }
        EndShownPort();
    }
}

// While paused the picture on display does not change, even with a picture
// waiting inside the callback: two snapshots are identical. After Stop the
// last picture is still there to save.
TEST_F(Snapshot, PausedTwiceIdenticalAndAfterStopStillThere) {
    const int width = 64, height = 48;
    ASSERT_NO_FATAL_FAILURE(Show(FlatFrame(width, height, kWhite), kWhite));
    ASSERT_EQ(decoder_->Pause(port_, 1), 0);
    std::unique_ptr<DeliveryThread> waiting = Deliveries({Frame(kRed)});
    ASSERT_TRUE(waiting->HeldAt(0));

    ASSERT_EQ(decoder_->Snapshot(port_, Path("a.bmp").c_str()), 0);
    ASSERT_EQ(decoder_->Snapshot(port_, Path("b.bmp").c_str()), 0);
    const std::vector<std::uint8_t> a = ReadFileBytes(Path("a.bmp"));
    ASSERT_EQ(a.size(), 54u + 4u * width * height);
    EXPECT_EQ(a, ReadFileBytes(Path("b.bmp")));
    EXPECT_TRUE(Near(PixelOf(a, width, height / 2, width / 2).rgb, kWhite, 8));

    EXPECT_EQ(decoder_->Stop(port_), 0);
    EXPECT_TRUE(waiting->WaitReturned(1));
    ASSERT_EQ(decoder_->Snapshot(port_, Path("c.bmp").c_str()), 0);
    EXPECT_EQ(ReadFileBytes(Path("c.bmp")), a);
}

// A file that cannot be created is a failure, and leaves nothing behind.
TEST_F(Snapshot, UnwritablePathFails) {
    const int width = 64, height = 48;
    ASSERT_NO_FATAL_FAILURE(Show(FlatFrame(width, height, kWhite), kWhite));
    const std::string inMissingFolder = Path("missing\\shot.bmp");
    EXPECT_EQ(decoder_->Snapshot(port_, inMissingFolder.c_str()), E_FAIL);
    EXPECT_FALSE(FileExists(inMissingFolder));
    EXPECT_FALSE(FileExists(Path("missing")));
    // A folder in the way of the file.
    ASSERT_TRUE(CreateDirectoryA(Path("folder.bmp").c_str(), nullptr));
    EXPECT_EQ(decoder_->Snapshot(port_, Path("folder.bmp").c_str()), E_FAIL);
    // And the same port still saves where it can.
    EXPECT_EQ(decoder_->Snapshot(port_, Path("ok.bmp").c_str()), 0);
    EXPECT_EQ(ReadFileBytes(Path("ok.bmp")).size(), 54u + 4u * width * height);
}

// Nothing on display yet, or a packed picture: the message box
// "不支持的图像格式：%d" with the kind, owned by the port's window, and E_FAIL.
TEST_F(Snapshot, UnsupportedPictureShowsTheMessage) {
    const std::string message = "\xB2\xBB\xD6\xA7\xB3\xD6\xB5\xC4\xCD\xBC\xCF\xF1\xB8\xF1\xCA\xBD\xA3\xBA";
    struct Case {
        const char* name;
        bool play;
        int kind;  // of the picture shown; 0 for none
        const char* shownKind;
    } cases[] = {
        {"not played", false, 0, "0"},
        {"played, nothing shown yet", true, 0, "0"},
        {"UYVY shown", true, kUyvy, "4"},
        {"YUY2 shown", true, kYuy2, "6"},
    };
    const int width = 64, height = 48;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(OpenWithWindow({width, height}));
        if (c.play) {
            ASSERT_EQ(decoder_->Play(port_, window_->handle()), 0);
        }
        if (c.kind != 0) {
            ASSERT_NO_FATAL_FAILURE(ShowFirst(kGrey, kWhite, c.kind));
        }
        const std::string path = Path("refused.bmp");
        std::vector<DialogWatcher::Seen> seen;
        {
            DialogWatcher watcher;
            EXPECT_EQ(decoder_->Snapshot(port_, path.c_str()), E_FAIL);
            seen = watcher.seen();
        }
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].text, message + c.shownKind);
        EXPECT_EQ(seen[0].caption, "");
        EXPECT_EQ(seen[0].owner, c.play ? window_->handle() : nullptr);
        EXPECT_FALSE(FileExists(path));
        EndShownPort();
    }
}

}  // namespace
}  // namespace vdtest

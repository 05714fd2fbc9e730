#include "engine/overlay_screen_fixture.h"

#include <fstream>

namespace vdtest {

void OverlayScreenTest::PlayWithSideFile(const std::string& sideFile, const std::string& mediaName,
                                         const std::string& sideName) {
    const std::string directory = deployment_.directory.path();
    for (std::size_t slash = mediaName.find('\\'); slash != std::string::npos; slash = mediaName.find('\\', slash + 1))
        CreateDirectoryA((directory + "\\" + mediaName.substr(0, slash)).c_str(), nullptr);
    {
        std::ofstream out(directory + "\\" + sideName, std::ios::binary);
        out << sideFile;
        EXPECT_TRUE(out.good()) << sideName;
    }
    deployment_.sdk.SetOpenPort(5);
    int port = -1;
    ASSERT_EQ(decoder_->OpenFile((directory + "\\" + mediaName).c_str(), &port), 0) << mediaName;
    PlayInWindow(port, kWidth, kHeight);
}

bool OverlayScreenTest::Shows(unsigned int stamp, const std::vector<Probe>& probes, std::uint32_t video) {
    const std::vector<std::uint8_t> picture = Encode(Flat(kWidth, kHeight, video), kYv12);
    for (int attempt = 0; attempt < 20; ++attempt) {
        Deliver(port_, picture, kWidth, kHeight, kYv12, stamp);
        if (ShowsColours(*window_, probes, 60, 400)) return true;
    }
    return false;
}

bool OverlayScreenTest::ShowsGlyphs(unsigned int stamp, const RECT& area, std::uint32_t colour, int least,
                                    int* others) {
    const std::vector<std::uint8_t> black = Encode(Flat(kWidth, kHeight, kBlack), kYv12);
    bool shown = false;
    for (int attempt = 0; attempt < 20 && !shown; ++attempt) {
        Deliver(port_, black, kWidth, kHeight, kYv12, stamp);
        shown = WaitFor(
            [&] {
                const std::vector<std::uint32_t> pixels = window_->Capture();
                int matching = 0, neither = 0;
                for (int y = area.top; y < area.bottom; ++y)
                    for (int x = area.left; x < area.right; ++x) {
                        const std::uint32_t pixel = pixels[static_cast<std::size_t>(y) * kWidth + x];
                        if (Near(pixel, colour, 60))
                            ++matching;
                        else if (!Near(pixel, kBlack, 40))
                            ++neither;
                    }
                if (others) *others = neither;
                return matching > least;
            },
            400, window_.get());
    }
    return shown;
}

}  // namespace vdtest

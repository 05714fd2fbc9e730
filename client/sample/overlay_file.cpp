#include "sample/overlay_file.h"

#include <algorithm>
#include <cstdio>

#include "sample/test_pattern.h"

namespace vdsample {
namespace {

constexpr int kMargin = 4;

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string Point(int x, int y) { return std::to_string(x) + "," + std::to_string(y); }

void Box(std::string* out, int index, const Rect& square) {
    const int l = square.left - kMargin, t = square.top - kMargin;
    const int r = square.right - 1 + kMargin, b = square.bottom - 1 + kMargin;
    *out += "    <Line ID=\"box" + std::to_string(index) + "\" Color=\"" + kBoxColour + "\">";
    const std::string corners[5] = {Point(l, t), Point(r, t), Point(r, b), Point(l, b), Point(l, t)};
    for (const std::string& p : corners) *out += "<Point>" + p + "</Point>";
    *out += "</Line>\n";
    *out += "    <Text ID=\"tag" + std::to_string(index) + "\" Color=\"" + kTagColour + "\" Pos=\"" + Point(l, t - 18) +
            "\">target</Text>\n";
}

}  // namespace

std::string StampText(uint32_t ms) {
    // Half a millisecond above the wanted value: the reader truncates, and
    // decimal fractions are not exact in binary.
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", (double(ms) + 0.5) / 1000.0);
    return text;
}

std::string OverlayDocument(const OverlayPlan& plan) {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Overlay>\n";
    for (int i = 0; i < plan.pictures; ++i) {
        const uint32_t ms = PictureStampMs(i, plan.fps);
        out += "  <Frame Stamp=\"" + StampText(ms) + "\">\n";
        if (i == 0) {
            const std::string where = Point(std::max(0, plan.width - 80), std::max(0, plan.height - 24));
            out += "    <Text ID=\"caption\" Color=\"" + std::string(kCaptionColour) + "\" Pos=\"" + where + "\">" +
                   Escaped(plan.caption) + "</Text>\n";
        }
        Box(&out, i, SquareRect(plan.width, plan.height, ms));
        out += "  </Frame>\n";
        const uint32_t next = PictureStampMs(i + 1, plan.fps);
        if (i + 1 < plan.pictures && next > ms + 1) {
            out += "  <Frame Stamp=\"" + StampText(next - 1) + "\"><Line ID=\"box" + std::to_string(i) +
                   "\"/><Text ID=\"tag" + std::to_string(i) + "\"/></Frame>\n";
        }
    }
    out += "</Overlay>\n";
    return out;
}

}  // namespace vdsample

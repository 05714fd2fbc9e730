#include "video/overlay_pass.h"

namespace vd {

namespace {
constexpr COLORREF kMagenta = 0x00FF00FF;  // the overlay's transparent colour
}

void DrawOverlayItem(POINT origin, const OverlayItem& item, HDC dc) {
    switch (OverlayKindBits(item.kind)) {
        case kOverlayLine: {
            if (item.points.size() < 2) return;
            HPEN pen = CreatePen(PS_SOLID, 1, item.color);
            HGDIOBJ previous = SelectObject(dc, pen);
            static_assert(sizeof(OverlayPoint) == sizeof(POINT), "overlay points are laid out as POINTs");
            Polyline(dc, reinterpret_cast<const POINT*>(item.points.data()), static_cast<int>(item.points.size()));
            SelectObject(dc, previous);
            DeleteObject(pen);
            return;
        }
        case kOverlayText:
            SetTextColor(dc, item.color);
            SetBkMode(dc, TRANSPARENT);
            TextOutA(dc, item.textPos.x + origin.x, item.textPos.y + origin.y, item.text.data(),
                     static_cast<int>(item.text.size()));
            return;
        default:
            return;
    }
}

void OverlayPass::Draw(PortPresentation& presentation, bool stream, const QueuedFrame& frame, VideoOutput& output) {
    OverlayLockHold hold(presentation.overlayLock);
    SelectOverlayItemsToDraw(presentation.overlayItems, stream, frame.stamp, visible_);
    if (visible_.empty()) return;

    HDC dc = output.BeginOverlay();
    if (!dc) return;
    // The context's own font, but with hard edges: smoothed glyph edges
    // would be blended with the magenta of a keyed surface and show as a
    // pink fringe, and the two outputs are to look alike.
    if (!font_) {
        LOGFONTA description{};
        if (GetObjectA(GetCurrentObject(dc, OBJ_FONT), sizeof description, &description) == sizeof description) {
            description.lfQuality = NONANTIALIASED_QUALITY;
            font_ = CreateFontIndirectA(&description);
        }
    }
    HGDIOBJ previousFont = font_ ? SelectObject(dc, font_) : nullptr;
    // Where the output draws on the picture itself, magenta is not keyed
    // out: such items are left out, as the keyed output would hide them.
    const bool skipMagenta = !output.keysMagenta();
    for (const OverlayItem* item : visible_) {
        if (skipMagenta && item->color == kMagenta) continue;
        DrawOverlayItem(POINT{0, 0}, *item, dc);
    }
    if (previousFont) SelectObject(dc, previousFont);
    output.EndOverlay(dc);
}

OverlayPass::~OverlayPass() {
    if (font_) DeleteObject(font_);
}

}  // namespace vd

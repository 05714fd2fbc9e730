#include "video/overlay_pass.h"

namespace vd {

namespace {
constexpr COLORREF kMagenta = 0x00FF00FF;  // the overlay surface's transparent colour
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

bool OverlayPass::Draw(PortRecord& record, const QueuedFrame& frame, IDirectDrawSurface* overlaySurface) {
    if (!overlaySurface) return false;
    OverlayLockHold hold(record.overlayLock);
    SelectOverlayItemsToDraw(record.overlayItems, record.isStream != 0, frame.stamp, visible_);
    if (visible_.empty()) return false;

    HDC dc = nullptr;
    if (FAILED(overlaySurface->GetDC(&dc)) || !dc) return false;
    const RECT whole{0, 0, frame.width, frame.height};
    SetBkColor(dc, kMagenta);
    ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &whole, nullptr, 0, nullptr);
    // The context's own font, but with hard edges: smoothed glyph edges
    // would be blended with the magenta and show as a pink fringe.
    if (!font_) {
        LOGFONTA description{};
        if (GetObjectA(GetCurrentObject(dc, OBJ_FONT), sizeof description, &description) == sizeof description) {
            description.lfQuality = NONANTIALIASED_QUALITY;
            font_ = CreateFontIndirectA(&description);
        }
    }
    HGDIOBJ previousFont = font_ ? SelectObject(dc, font_) : nullptr;
    for (const OverlayItem* item : visible_) DrawOverlayItem(POINT{0, 0}, *item, dc);
    if (previousFont) SelectObject(dc, previousFont);
    overlaySurface->ReleaseDC(dc);
    return true;
}

OverlayPass::~OverlayPass() {
    if (font_) DeleteObject(font_);
}

}  // namespace vd

#include "overlay/overlay_file.h"

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "overlay/overlay_values.h"
#include "xml/xml_document.h"

namespace vd {
namespace {

class SideFileReader {
public:
    SideFileReader(OverlayLock& lock, XmlDocument& doc, OverlayItemList& items)
        : lock_(lock), doc_(doc), items_(items) {}

    // Walks a well-formed document from the document level.
    void ReadGroups() {
        if (!doc_.NextElement()) return;
        doc_.EnterElement();
        while (doc_.NextElement()) {
            const uint32_t stampMs = ParseOverlayStamp(doc_.AttributeValueView("Stamp", scratches_[3]));
            doc_.EnterElement();
            while (doc_.NextElement()) {
                if (doc_.ElementNameIs("Line"))
                    ReadShape(kOverlayLine, stampMs);
                else if (doc_.ElementNameIs("Text"))
                    ReadShape(kOverlayText, stampMs);
            }
            doc_.LeaveElement();
        }
        // The drawing's index is built here, once, rather than on the first picture.
        OverlayLockHold hold(lock_);
        items_.PrepareSpans();
    }

private:
    // A "Line" or "Text" of a group stamped `stampMs`; the document's current
    // element is that child.
    void ReadShape(uint32_t kind, uint32_t stampMs) {
        // All in one scan of the start tag, each into its own scratch text.
        // ("Pos" only counts for a Text.)
        static constexpr std::string_view kNames[3] = {"ID", "Color", "Pos"};
        std::string_view values[3];
        doc_.AttributeValueViews(kNames, kind == kOverlayText ? 3 : 2, values, scratches_);
        const std::string_view id = values[0], color = values[1];
        bool mentionedBefore;
        {
            OverlayLockHold hold(lock_);
            mentionedBefore = items_.SetEndOfFirst(id, kind, stampMs);
        }
        // A mention without a colour only ends the earlier item.
        if (mentionedBefore && color.empty()) return;

        // Each member is built in place: assigning into an empty string or
        // array costs more than constructing it.
        std::unique_ptr<OverlayItem> item;
        if (kind == kOverlayLine) {
            points_.clear();
            OverlayPoint point;
            while (doc_.NextChildElement())
                if (doc_.ChildElementNameIs("Point") &&
                    ParseOverlayPoint(doc_.ChildElementTextView(scratches_[3]), doc_.Classes(), point))
                    points_.push_back(point);
            item.reset(new OverlayItem{std::string(id), stampMs, kOverlayOpenEnded, kind, ParseOverlayColor(color),
                                       std::vector<OverlayPoint>(points_.begin(), points_.end()), OverlayPoint{},
                                       std::string()});
        } else {
            OverlayPoint textPos;
            ParseOverlayPoint(values[2], doc_.Classes(), textPos);
            item.reset(new OverlayItem{std::string(id), stampMs, kOverlayOpenEnded, kind, ParseOverlayColor(color),
                                       std::vector<OverlayPoint>(), textPos,
                                       std::string(doc_.ElementTextView(scratches_[3]))});
        }
        OverlayLockHold hold(lock_);
        items_.Append(std::move(item));
    }

    OverlayLock& lock_;
    XmlDocument& doc_;
    OverlayItemList& items_;
    std::vector<OverlayPoint> points_;
    std::string scratches_[4];  // one per attribute value, and one for texts
};

}  // namespace

bool LoadOverlayFile(OverlayLock& overlayLock, const char* path, OverlayItemList& overlayItems) {
    XmlDocument doc;
    if (!path || !doc.ReadDocumentFile(path) || !doc.ParseText()) return false;
    SideFileReader(overlayLock, doc, overlayItems).ReadGroups();
    return true;
}

bool LoadOverlayText(OverlayLock& overlayLock, std::string text, OverlayItemList& overlayItems) {
    XmlDocument doc;
    doc.SetText(std::move(text));
    if (!doc.ParseText()) return false;
    SideFileReader(overlayLock, doc, overlayItems).ReadGroups();
    return true;
}

}  // namespace vd

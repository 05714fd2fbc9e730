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
                const std::string_view name = doc_.ElementNameView();
                if (name == "Line")
                    ReadShape(kOverlayLine, stampMs);
                else if (name == "Text")
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

        auto item = std::make_unique<OverlayItem>();
        item->beginMs = stampMs;
        item->kind = kind;
        item->color = ParseOverlayColor(color);
        item->id.assign(id.data(), id.size());
        if (kind == kOverlayLine) {
            // Gathered first so that the item's own array is allocated once.
            points_.clear();
            OverlayPoint point;
            while (doc_.NextChildElement())
                if (doc_.ChildElementNameView() == "Point" &&
                    ParseOverlayPoint(doc_.ChildElementTextView(scratches_[3]), doc_.Classes(), point))
                    points_.push_back(point);
            item->points.assign(points_.begin(), points_.end());
        } else {
            ParseOverlayPoint(values[2], doc_.Classes(), item->textPos);
            const std::string_view text = doc_.ElementTextView(scratches_[3]);
            item->text.assign(text.data(), text.size());
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

#include "overlay/overlay_file.h"

#include <memory>
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
            const uint32_t stampMs = ParseOverlayStamp(doc_.AttributeValue("Stamp"));
            doc_.EnterElement();
            while (doc_.NextElement()) {
                const std::string name = doc_.ElementName();
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
        std::string id = doc_.AttributeValue("ID");
        const std::string color = doc_.AttributeValue("Color");
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
        item->id = std::move(id);
        if (kind == kOverlayLine) {
            // Gathered first so that the item's own array is allocated once.
            points_.clear();
            OverlayPoint point;
            while (doc_.NextChildElement())
                if (doc_.ChildElementName() == "Point" &&
                    ParseOverlayPoint(doc_.ChildElementText(), doc_.Classes(), point))
                    points_.push_back(point);
            item->points.assign(points_.begin(), points_.end());
        } else {
            ParseOverlayPoint(doc_.AttributeValue("Pos"), doc_.Classes(), item->textPos);
            item->text = doc_.ElementText();
        }
        OverlayLockHold hold(lock_);
        items_.Append(std::move(item));
    }

    OverlayLock& lock_;
    XmlDocument& doc_;
    OverlayItemList& items_;
    std::vector<OverlayPoint> points_;
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

#include "overlay/overlay_file.h"

#include <memory>
#include <utility>

#include "overlay/overlay_values.h"
#include "xml/xml_document.h"

namespace vd {
namespace {

// A "Line" or "Text" of a group stamped `stampMs`; the document's current
// element is that child.
void ReadShape(OverlayLock& lock, XmlDocument& doc, uint32_t kind, uint32_t stampMs, OverlayItemList& items) {
    std::string id = doc.AttributeValue("ID");
    const std::string color = doc.AttributeValue("Color");
    bool mentionedBefore;
    {
        OverlayLockHold hold(lock);
        mentionedBefore = items.SetEndOfFirst(id, kind, stampMs);
    }
    // A mention without a colour only ends the earlier item.
    if (mentionedBefore && color.empty()) return;

    auto item = std::make_unique<OverlayItem>();
    item->beginMs = stampMs;
    item->kind = kind;
    item->color = ParseOverlayColor(color);
    item->id = std::move(id);
    if (kind == kOverlayLine) {
        OverlayPoint point;
        while (doc.NextChildElement())
            if (doc.ChildElementName() == "Point" && ParseOverlayPoint(doc.ChildElementText(), doc.Classes(), point))
                item->points.push_back(point);
    } else {
        ParseOverlayPoint(doc.AttributeValue("Pos"), doc.Classes(), item->textPos);
        item->text = doc.ElementText();
    }
    OverlayLockHold hold(lock);
    items.Append(std::move(item));
}

// Walks a well-formed document from the document level.
void ReadGroups(OverlayLock& lock, XmlDocument& doc, OverlayItemList& items) {
    if (!doc.NextElement()) return;
    doc.EnterElement();
    while (doc.NextElement()) {
        const uint32_t stampMs = ParseOverlayStamp(doc.AttributeValue("Stamp"));
        doc.EnterElement();
        while (doc.NextElement()) {
            const std::string name = doc.ElementName();
            if (name == "Line")
                ReadShape(lock, doc, kOverlayLine, stampMs, items);
            else if (name == "Text")
                ReadShape(lock, doc, kOverlayText, stampMs, items);
        }
        doc.LeaveElement();
    }
    // The drawing's index is built here, once, rather than on the first picture.
    OverlayLockHold hold(lock);
    items.PrepareSpans();
}

}  // namespace

bool LoadOverlayFile(OverlayLock& overlayLock, const char* path, OverlayItemList& overlayItems) {
    XmlDocument doc;
    if (!path || !doc.ReadDocumentFile(path) || !doc.ParseText()) return false;
    ReadGroups(overlayLock, doc, overlayItems);
    return true;
}

bool LoadOverlayText(OverlayLock& overlayLock, std::string text, OverlayItemList& overlayItems) {
    XmlDocument doc;
    doc.SetText(std::move(text));
    if (!doc.ParseText()) return false;
    ReadGroups(overlayLock, doc, overlayItems);
    return true;
}

}  // namespace vd

// Reads arbitrary bytes as an overlay side file (from memory, or through a
// file and its encoding detection, by the first byte) and checks the items
// against a plain reading that searches its list from the front, then checks
// the drawing's queries against plain scans.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <list>
#include <string>
#include <vector>

#include "overlay/overlay_file.h"
#include "overlay/overlay_values.h"
#include "xml/xml_document.h"

namespace {

class NoLock final : public vd::OverlayLock {
public:
    void Lock() override {}
    void Unlock() override {}
};

struct ScratchFile {
    std::string path = "/tmp/vd_fuzz_overlay_" + std::to_string(getpid()) + ".lti";
    ~ScratchFile() { std::remove(path.c_str()); }
};

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "overlay fuzz check failed: %s\n", what);
        std::abort();
    }
}

bool Same(const vd::OverlayItem& a, const vd::OverlayItem& b) {
    if (a.id != b.id || a.beginMs != b.beginMs || a.endMs != b.endMs || a.kind != b.kind || a.color != b.color ||
        a.text != b.text || !(a.textPos == b.textPos) || a.points.size() != b.points.size())
        return false;
    for (std::size_t i = 0; i < a.points.size(); ++i)
        if (!(a.points[i] == b.points[i])) return false;
    return true;
}

// The reading as first written: a list searched from the front for every mention.
std::list<vd::OverlayItem> PlainReading(const std::string& text) {
    std::list<vd::OverlayItem> items;
    vd::XmlDocument doc;
    doc.SetText(text);
    if (!doc.ParseText() || !doc.NextElement()) return items;
    doc.EnterElement();
    while (doc.NextElement()) {
        const uint32_t stamp = vd::ParseOverlayStamp(doc.AttributeValue("Stamp"));
        doc.EnterElement();
        while (doc.NextElement()) {
            const std::string name = doc.ElementName();
            const uint32_t kind = name == "Line" ? vd::kOverlayLine : name == "Text" ? vd::kOverlayText : 99;
            if (kind == 99) continue;
            const std::string id = doc.AttributeValue("ID"), color = doc.AttributeValue("Color");
            bool found = false;
            for (vd::OverlayItem& item : items) {
                if (item.id == id && (item.kind & 0xF) == kind) {
                    item.endMs = stamp;
                    found = true;
                    break;
                }
            }
            if (found && color.empty()) continue;
            vd::OverlayItem item;
            item.id = id;
            item.beginMs = stamp;
            item.kind = kind;
            item.color = vd::ParseOverlayColor(color);
            if (kind == vd::kOverlayLine) {
                vd::OverlayPoint point;
                while (doc.NextChildElement())
                    if (doc.ChildElementName() == "Point" &&
                        vd::ParseOverlayPoint(doc.ChildElementText(), doc.Classes(), point))
                        item.points.push_back(point);
            } else {
                vd::ParseOverlayPoint(doc.AttributeValue("Pos"), doc.Classes(), item.textPos);
                item.text = doc.ElementText();
            }
            items.push_back(item);
        }
        doc.LeaveElement();
    }
    return items;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    NoLock lock;
    vd::OverlayItemList items;
    if (data[0] & 1) {
        static const ScratchFile scratch;
        std::FILE* f = std::fopen(scratch.path.c_str(), "wb");
        if (!f) return 0;
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
        vd::LoadOverlayFile(lock, scratch.path.c_str(), items);
        return 0;  // the file's text was converted: no plain reading to compare with
    }
    const bool loaded = vd::LoadOverlayText(lock, text, items);
    std::list<vd::OverlayItem> plain = PlainReading(text);
    Check(loaded || items.Empty(), "a failed reading left items");
    Check(items.Size() == plain.size(), "item count");
    std::size_t i = 0;
    std::vector<uint32_t> stamps = {0, 0xFFFFFFFF, static_cast<uint32_t>(data[0]) * 1000u};
    for (const vd::OverlayItem& item : plain) {
        Check(Same(items[i++], item), "item differs from the plain reading");
        stamps.push_back(item.beginMs);
        stamps.push_back(item.endMs);
        stamps.push_back(item.endMs + 1);
    }
    if (stamps.size() > 64) stamps.resize(64);
    std::vector<const vd::OverlayItem*> covering;
    for (uint32_t stamp : stamps) {
        items.CoveringItems(stamp, covering);
        std::size_t k = 0;
        for (const vd::OverlayItem& item : plain) {
            if (!vd::OverlayItemCovers(item, stamp)) continue;
            Check(k < covering.size() && Same(*covering[k], item), "covering items differ from a scan");
            ++k;
        }
        Check(k == covering.size(), "covering items: too many");
    }
    // A stream port's expiry, then the look-ups again.
    const uint32_t expiry = stamps[data[0] % stamps.size()];
    std::size_t expired = 0;
    for (auto it = plain.begin(); it != plain.end();) {
        if (vd::OverlayItemExpired(*it, expiry)) {
            it = plain.erase(it);
            ++expired;
        } else {
            ++it;
        }
    }
    Check(items.DropExpired(expiry) == expired, "expiry count");
    for (const vd::OverlayItem& item : plain) {
        const vd::OverlayItem* first = items.FindFirst(item.id, item.kind);
        const vd::OverlayItem* expected = nullptr;
        for (const vd::OverlayItem& other : plain)
            if (other.id == item.id && other.kind == item.kind) {
                expected = &other;
                break;
            }
        Check(first && expected && Same(*first, *expected), "first item after expiry");
    }
    return 0;
}

// Shared by the XML fuzz targets: a full walk of a document that reads every
// name, attribute and text, and checks that the element index stays inside
// the text and consistent with itself.
#ifndef VD_FUZZ_XML_FUZZ_WALK_H
#define VD_FUZZ_XML_FUZZ_WALK_H

#include <cstdlib>
#include <string>
#include <vector>

#include "xml/xml_document.h"

namespace vdtest {

inline void Check(bool condition) {
    if (!condition) std::abort();
}

// The attribute names written in the current element's start tag.
inline std::vector<std::string> AttributeNames(const vd::XmlDocument& doc) {
    std::vector<std::string> names;
    const vd::ElementRecord& r = doc.Element(doc.CurrentElement());
    const std::string tag = doc.Text().substr(r.start, r.StartTagLength());
    std::size_t i = 1;
    while (i < tag.size() && names.size() < 8) {
        const std::size_t eq = tag.find('=', i);
        if (eq == std::string::npos) break;
        std::size_t begin = tag.find_last_of(" \t\r\n", eq);
        begin = begin == std::string::npos || begin < i ? i : begin + 1;
        names.push_back(tag.substr(begin, eq - begin));
        i = eq + 1;
    }
    names.push_back("ID");
    return names;
}

inline void CheckIndex(const vd::XmlDocument& doc) {
    const std::string& text = doc.Text();
    Check(doc.Element(0).length == text.size());
    std::vector<uint32_t> pending{0};
    uint32_t visited = 0;
    while (!pending.empty()) {
        const uint32_t e = pending.back();
        pending.pop_back();
        Check(++visited <= doc.ElementCount());
        const vd::ElementRecord& r = doc.Element(e);
        if (e != 0) {
            Check(r.start < text.size() && text[r.start] == '<');
            Check(static_cast<uint64_t>(r.start) + r.length <= text.size());
            Check(r.StartTagLength() <= r.length);
            Check(static_cast<uint64_t>(r.StartTagLength()) + r.EndTagLength() <= r.length);
        }
        uint32_t last = 0;
        for (uint32_t c = r.firstChild; c != 0; c = doc.Element(c).nextSibling) {
            Check(c < doc.ElementCount());
            Check(doc.Element(c).parent == e);
            if (last != 0) Check(doc.Element(c).previousSibling == last);
            last = c;
            pending.push_back(c);
        }
        if (r.firstChild != 0) Check(doc.Element(r.firstChild).previousSibling == last);
    }
}

// Walks every element depth first through the navigation operations.
inline std::size_t Walk(vd::XmlDocument& doc) {
    std::size_t bytes = 0;
    int depth = 0;
    for (;;) {
        if (doc.NextElement()) {
            bytes += doc.ElementName().size();
            bytes += doc.ElementText().size();
            for (const std::string& name : AttributeNames(doc)) bytes += doc.AttributeValue(name).size();
            while (doc.NextChildElement()) bytes += doc.ChildElementName().size() + doc.ChildElementText().size();
            doc.EnterElement();
            ++depth;
            continue;
        }
        if (depth == 0) break;
        doc.LeaveElement();
        --depth;
    }
    return bytes;
}

inline uint32_t CodePageFor(unsigned char selector) {
    static const uint32_t kCodePages[] = {1252, 936, 65001};
    return kCodePages[selector % 3];
}

}  // namespace vdtest

#endif

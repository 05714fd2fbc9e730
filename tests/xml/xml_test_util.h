// Helpers shared by the XML document tests.
#ifndef VD_TESTS_XML_TEST_UTIL_H
#define VD_TESTS_XML_TEST_UTIL_H

#include <string>

#include "xml/xml_document.h"

namespace vdtest {

// The element tree as text: names in document order, children in brackets,
// '!' after an unended element, e.g. "r[a! b]". Also checks that the sibling
// and parent words agree with each other.
inline std::string Outline(const vd::XmlDocument& doc, uint32_t parent = 0) {
    std::string out;
    const uint32_t first = doc.Element(parent).firstChild;
    uint32_t last = 0;
    for (uint32_t e = first; e != 0; e = doc.Element(e).nextSibling) {
        const vd::ElementRecord& r = doc.Element(e);
        if (!out.empty()) out += ' ';
        if (r.parent != parent) out += "<bad parent>";
        if (e != first && doc.Element(r.previousSibling).nextSibling != e) out += "<bad previous>";
        if (((r.levelAndFlags & vd::ElementRecord::kFirstChild) != 0) != (e == first)) out += "<bad first flag>";
        const uint32_t nameEnd = r.start + 1 +
                                 static_cast<uint32_t>(TagNameLength(doc.Text().data(), r.start + 1,
                                                                     r.start + r.StartTagLength(), doc.Classes()));
        out += doc.Text().substr(r.start + 1, nameEnd - r.start - 1);
        if (r.Has(vd::ElementRecord::kUnended)) out += '!';
        const std::string children = Outline(doc, e);
        if (!children.empty()) out += "[" + children + "]";
        last = e;
    }
    if (first != 0 && doc.Element(first).previousSibling != last) out += " <bad last>";
    return out;
}

}  // namespace vdtest

#endif

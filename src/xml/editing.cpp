// Editing in place: adding an element and setting an attribute change the
// text and keep the element index in step with it.
#include <cstdio>
#include <vector>

#include "xml/entities.h"
#include "xml/names.h"
#include "xml/xml_document.h"

namespace vd {
namespace {

// Records taken out of the tree by a replaced content; never shifted again.
constexpr uint32_t kRemoved = 0x40000000;

bool IsPlainName(std::string_view name, const CharClasses& classes) {
    return !name.empty() && TagNameLength(name.data(), 0, name.size(), classes) == name.size();
}

}  // namespace

void XmlDocument::ShiftAfter(std::size_t offset, long long delta, uint32_t exclude) {
    for (uint32_t i = 1; i < used_; ++i) {
        ElementRecord& r = index_[i];
        if (i != exclude && !(r.levelAndFlags & kRemoved) && r.start >= offset)
            r.start = static_cast<uint32_t>(static_cast<long long>(r.start) + delta);
    }
}

void XmlDocument::GrowAncestors(uint32_t element, long long delta) {
    for (;;) {
        ElementRecord& r = index_[element];
        r.length = static_cast<uint32_t>(static_cast<long long>(r.length) + delta);
        if (element == 0) return;
        element = r.parent;
    }
}

void XmlDocument::InsertSibling(uint32_t parent, uint32_t element, uint32_t after) {
    ElementRecord& p = index_[parent];
    ElementRecord& e = index_[element];
    e.parent = parent;
    if (p.firstChild == 0) {
        p.firstChild = element;
        e.previousSibling = element;
        e.nextSibling = 0;
        e.levelAndFlags |= ElementRecord::kFirstChild;
        return;
    }
    ElementRecord& first = index_[p.firstChild];
    if (after == 0) {
        e.nextSibling = p.firstChild;
        e.previousSibling = first.previousSibling;
        first.previousSibling = element;
        first.levelAndFlags &= ~ElementRecord::kFirstChild;
        e.levelAndFlags |= ElementRecord::kFirstChild;
        p.firstChild = element;
        return;
    }
    ElementRecord& a = index_[after];
    e.previousSibling = after;
    e.nextSibling = a.nextSibling;
    if (a.nextSibling != 0)
        index_[a.nextSibling].previousSibling = element;
    else
        first.previousSibling = element;
    a.nextSibling = element;
}

void XmlDocument::RemoveChildren(uint32_t parent) {
    std::vector<uint32_t> pending;
    for (uint32_t c = index_[parent].firstChild; c != 0; c = index_[c].nextSibling) pending.push_back(c);
    while (!pending.empty()) {
        const uint32_t e = pending.back();
        pending.pop_back();
        for (uint32_t c = index_[e].firstChild; c != 0; c = index_[c].nextSibling) pending.push_back(c);
        index_[e].levelAndFlags |= kRemoved;
        index_[e].start = 0;
    }
    index_[parent].firstChild = 0;
}

bool XmlDocument::AddElement(std::string_view name, const char* data, uint32_t flags) {
    if (flags_ & kDocReading) return false;
    if ((flags & kAddStartTagOnly) && data) return false;
    if (!IsPlainName(name, classes_) || !classes_.Is(name[0], kCharNameStart)) return false;
    if (name.size() + 3 > ElementRecord::kMaxEndTag) return false;
    if (used_ == 0) {
        if (text_.empty())
            ClearIndex();
        else
            ParseText();
    }
    const bool asChild = (flags & kAddChild) != 0;
    if (asChild && current_ == 0) return false;
    const uint32_t parent = asChild ? current_ : parent_;
    uint32_t reference = asChild ? child_ : current_;
    if (flags & kAddReplaceContent) reference = 0;
    // The nesting level has 16 bits in the record; deeper is refused, not wrapped.
    const uint32_t level = parent != 0 ? index_[parent].Level() + 1 : 0;
    if (level > ElementRecord::kMaxLevel) return false;

    // The new markup.
    std::string markup = "<";
    markup += name;
    uint32_t startTag, endTag = 0;
    if (data) {
        markup += '>';
        startTag = static_cast<uint32_t>(markup.size());
        markup += (flags & kAddCdata) ? CdataSection(data)
                                      : EscapeText(data, flags & (kEscapeKeepReferences | kEscapeQuotes), classes_);
        markup += "</";
        markup += name;
        markup += '>';
        endTag = static_cast<uint32_t>(name.size() + 3);
    } else if (flags & kAddStartTagOnly) {
        markup += '>';
        startTag = static_cast<uint32_t>(markup.size());
    } else {
        markup += (flags & kAddSpacedEmpty) ? " />" : "/>";
        startTag = static_cast<uint32_t>(markup.size());
    }

    // An empty parent is opened into a start tag and an end tag.
    std::string parentEndTag;
    const bool openParent = parent != 0 && !index_[parent].Has(ElementRecord::kUnended) &&
                            index_[parent].StartTagLength() == index_[parent].length &&
                            text_[index_[parent].start + index_[parent].length - 2] == '/';
    if (openParent) {
        parentEndTag = "</" + NameOf(parent) + ">";
        if (parentEndTag.size() > ElementRecord::kMaxEndTag) return false;
    }
    if (text_.size() + markup.size() + parentEndTag.size() + 4 > kMaxTextLength) return false;
    uint32_t n;
    if (!TakeRecord(n)) return false;

    if (openParent) {
        ElementRecord& p = index_[parent];
        const std::size_t oldEnd = p.start + p.length;
        text_.erase(oldEnd - 2, 1);
        text_.insert(oldEnd - 1, parentEndTag);
        const long long delta = static_cast<long long>(parentEndTag.size()) - 1;
        p.tagLengths = ElementRecord::TagLengths(p.StartTagLength() - 1, static_cast<uint32_t>(parentEndTag.size()));
        ShiftAfter(oldEnd, delta, n);
        GrowAncestors(parent, delta);
    }

    std::size_t contentBegin = 0, contentEnd = text_.size();
    if (parent != 0) {
        const ElementRecord& p = index_[parent];
        contentBegin = p.start + p.StartTagLength();
        contentEnd = p.start + p.length - p.EndTagLength();
    }
    if (flags & kAddReplaceContent) {
        RemoveChildren(parent);
        const long long removed = static_cast<long long>(contentEnd - contentBegin);
        text_.erase(contentBegin, contentEnd - contentBegin);
        ShiftAfter(contentEnd, -removed, n);
        GrowAncestors(parent, -removed);
        contentEnd = contentBegin;
        if (asChild)
            child_ = 0;
        else
            current_ = child_ = 0;
    }
    const bool hadContent = contentEnd > contentBegin;

    std::size_t at;
    if (reference != 0) {
        const ElementRecord& r = index_[reference];
        at = (flags & kAddBefore) ? r.start : r.start + r.length;
    } else {
        at = (flags & (kAddReplaceContent | kAddBefore)) ? contentBegin : contentEnd;
    }
    std::string insertion;
    std::size_t lead = 0;
    if (!(flags & kAddNoLineBreaks)) {
        std::size_t j = at;
        while (j < contentEnd && classes_.IsBlank(text_[j])) ++j;
        if (j < text_.size() && text_[j] == '<') at = j;
        if (!hadContent && parent != 0) {
            insertion = "\r\n";
            lead = 2;
        }
        insertion += markup;
        insertion += "\r\n";
    } else {
        insertion = markup;
    }
    text_.insert(at, insertion);
    ShiftAfter(at, static_cast<long long>(insertion.size()), n);
    GrowAncestors(parent, static_cast<long long>(insertion.size()));

    ElementRecord& e = index_[n];
    e.start = static_cast<uint32_t>(at + lead);
    e.length = static_cast<uint32_t>(markup.size());
    e.tagLengths = ElementRecord::TagLengths(startTag, endTag);
    e.levelAndFlags = (level & ElementRecord::kLevelMask) | ((flags & kAddStartTagOnly) ? ElementRecord::kUnended : 0);

    uint32_t after;
    if (reference != 0) {
        if (flags & kAddBefore)
            after = index_[reference].Has(ElementRecord::kFirstChild) ? 0 : index_[reference].previousSibling;
        else
            after = reference;
    } else if (flags & (kAddReplaceContent | kAddBefore)) {
        after = 0;
    } else {
        after = index_[parent].firstChild != 0 ? index_[index_[parent].firstChild].previousSibling : 0;
    }
    InsertSibling(parent, n, after);

    if (asChild) {
        child_ = n;
    } else {
        current_ = n;
        child_ = 0;
    }
    nodeKind_ = kNodeElement;
    nodeOffset_ = nodeLength_ = 0;
    return true;
}

bool XmlDocument::SetAttribute(std::string_view name, std::string_view value) {
    if ((flags_ & kDocReading) || current_ == 0 || current_ >= used_) return false;
    if (!IsPlainName(name, classes_)) return false;
    const std::string escaped = EscapeText(value, kEscapeQuotes, classes_);
    ElementRecord& r = index_[current_];
    AttributeScan scan;
    ScanAttributes(text_.data(), r.start + 1, r.start + r.StartTagLength(), name, (flags_ & kDocIgnoreCase) != 0,
                   classes_, scan);
    std::size_t at, removed = 0;
    std::string insertion;
    if (scan.found && scan.hasValue) {
        at = scan.valueTokenOffset;
        removed = scan.valueTokenLength;
        insertion = "\"" + escaped + "\"";
    } else if (scan.found) {
        at = scan.valueTokenOffset;
        insertion = "=\"" + escaped + "\"";
    } else {
        at = scan.lastTokenEnd;
        insertion = " ";
        insertion += name;
        insertion += "=\"" + escaped + "\"";
    }
    const long long delta = static_cast<long long>(insertion.size()) - static_cast<long long>(removed);
    if (static_cast<long long>(r.StartTagLength()) + delta > ElementRecord::kMaxStartTag ||
        static_cast<long long>(text_.size()) + delta > static_cast<long long>(kMaxTextLength))
        return false;
    text_.replace(at, removed, insertion);
    r.tagLengths = ElementRecord::TagLengths(static_cast<uint32_t>(r.StartTagLength() + delta), r.EndTagLength());
    ShiftAfter(r.start + 1, delta, current_);
    GrowAncestors(current_, delta);
    return true;
}

bool XmlDocument::SetAttribute(std::string_view name, int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    return SetAttribute(name, std::string_view(text));
}

}  // namespace vd

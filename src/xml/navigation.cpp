// Moving through the element index and cutting names, attributes and texts
// out of the document text.
#include <algorithm>
#include <cstring>

#include "xml/entities.h"
#include "xml/names.h"
#include "xml/xml_document.h"

namespace vd {

bool XmlDocument::NameMatches(uint32_t element, std::string_view name) const {
    if (name.empty()) return true;
    const ElementRecord& r = index_[element];
    const std::size_t nameLength = TagNameLength(text_.data(), r.start + 1, r.start + r.StartTagLength(), classes_);
    return NameSelects(name, std::string_view(text_.data() + r.start + 1, nameLength), (flags_ & kDocIgnoreCase) != 0,
                       classes_);
}

bool XmlDocument::NextElement(std::string_view name) {
    if ((flags_ & kDocWriting) || used_ <= 1) return false;
    if (!name.empty() && !IsValidNameArgument(name, classes_)) return false;
    uint32_t e = current_ == 0 ? index_[parent_].firstChild : index_[current_].nextSibling;
    while (e != 0 && !NameMatches(e, name)) e = index_[e].nextSibling;
    if (e == 0) return false;
    current_ = e;
    child_ = 0;
    nodeKind_ = kNodeElement;
    nodeOffset_ = nodeLength_ = 0;
    return true;
}

bool XmlDocument::NextChildElement(std::string_view name) {
    if (flags_ & (kDocReading | kDocWriting)) return false;
    if (!name.empty() && !IsValidNameArgument(name, classes_)) return false;
    const uint32_t savedCurrent = current_, savedChild = child_;
    const int savedKind = nodeKind_;
    if (current_ == 0 && !NextElement()) return false;
    uint32_t c = child_ == 0 ? index_[current_].firstChild : index_[child_].nextSibling;
    while (c != 0 && !NameMatches(c, name)) c = index_[c].nextSibling;
    if (c == 0) {
        current_ = savedCurrent;
        child_ = savedChild;
        nodeKind_ = savedKind;
        return false;
    }
    child_ = c;
    return true;
}

void XmlDocument::EnterElement() {
    if (nodeKind_ != kNodeElement || current_ == 0) return;
    parent_ = current_;
    current_ = child_;
    child_ = 0;
    nodeOffset_ = nodeLength_ = 0;
    nodeKind_ = current_ != 0 ? kNodeElement : 0;
}

void XmlDocument::LeaveElement() {
    if (parent_ == 0) return;
    child_ = current_;
    current_ = parent_;
    parent_ = index_[current_].parent;
    nodeOffset_ = nodeLength_ = 0;
    nodeKind_ = kNodeElement;
}

std::string_view XmlDocument::NameViewOf(uint32_t element) const {
    if (element == 0 || element >= used_) return std::string_view();
    const ElementRecord& r = index_[element];
    const std::size_t nameLength = TagNameLength(text_.data(), r.start + 1, r.start + r.StartTagLength(), classes_);
    return std::string_view(text_.data() + r.start + 1, nameLength);
}

bool XmlDocument::NameIs(uint32_t element, std::string_view name) const {
    if (element == 0 || element >= used_) return name.empty();
    const ElementRecord& r = index_[element];
    const std::size_t from = r.start + 1, end = r.start + r.StartTagLength();
    // The name is `name` when the text there starts with it and the name
    // ends right after it.
    if (name.empty() || name.size() > end - from || classes_.HasLeadBytes()) return NameViewOf(element) == name;
    const char* s = text_.data() + from;
    for (std::size_t i = 0; i < name.size(); ++i)
        if (s[i] != name[i]) return false;
    for (char c : name)
        if (classes_.Is(c, kCharNameStop)) return NameViewOf(element) == name;
    return name.size() == end - from || classes_.Is(s[name.size()], kCharNameStop);
}

std::string XmlDocument::ElementName() const { return NameOf(current_); }
std::string XmlDocument::ChildElementName() const { return NameOf(child_); }
std::string_view XmlDocument::ElementNameView() const { return NameViewOf(current_); }
std::string_view XmlDocument::ChildElementNameView() const { return NameViewOf(child_); }

namespace {

// The string a view stands for, moving the scratch text out when it holds it.
std::string Owned(std::string_view view, std::string& scratch) {
    if (!scratch.empty() && view.data() == scratch.data()) return std::move(scratch);
    return std::string(view);
}

}  // namespace

std::string_view XmlDocument::AttributeValueView(std::string_view name, std::string& scratch) const {
    if (current_ == 0 || current_ >= used_) return std::string_view();
    const ElementRecord& r = index_[current_];
    AttributeScan scan;
    ScanAttributes(text_.data(), r.start + 1, r.start + r.StartTagLength(), name, (flags_ & kDocIgnoreCase) != 0,
                   classes_, scan);
    if (!scan.found) return std::string_view();
    if (!scan.mayHoldReference) return std::string_view(text_.data() + scan.valueOffset, scan.valueLength);
    return DecodedView(text_.data() + scan.valueOffset, scan.valueLength, classes_, scratch);
}

void XmlDocument::AttributeValueViews(const std::string_view* names, std::size_t count, std::string_view* values,
                                      std::string* scratches) const {
    for (std::size_t k = 0; k < count; ++k) values[k] = std::string_view();
    if (current_ == 0 || current_ >= used_ || count == 0) return;
    const ElementRecord& r = index_[current_];
    constexpr std::size_t kAtOnce = 4;
    AttributeScan scans[kAtOnce];
    for (std::size_t from = 0; from < count; from += kAtOnce) {
        const std::size_t n = std::min(kAtOnce, count - from);
        ScanAttributes(text_.data(), r.start + 1, r.start + r.StartTagLength(), names + from, n,
                       (flags_ & kDocIgnoreCase) != 0, classes_, scans);
        for (std::size_t k = 0; k < n; ++k)
            if (scans[k].found)
                values[from + k] = scans[k].mayHoldReference
                                       ? DecodedView(text_.data() + scans[k].valueOffset, scans[k].valueLength,
                                                     classes_, scratches[from + k])
                                       : std::string_view(text_.data() + scans[k].valueOffset, scans[k].valueLength);
    }
}

std::string XmlDocument::AttributeValue(std::string_view name) const {
    std::string scratch;
    return Owned(AttributeValueView(name, scratch), scratch);
}

std::string_view XmlDocument::TextViewOf(uint32_t element, std::string& scratch) const {
    if (element == 0 || element >= used_) return std::string_view();
    const ElementRecord& r = index_[element];
    if (r.StartTagLength() >= r.length || r.firstChild != 0) return std::string_view();
    const std::size_t begin = r.start + r.StartTagLength();
    const std::size_t end = r.start + r.length - r.EndTagLength();
    if (end <= begin) return std::string_view();
    const char* s = text_.data();
    // Plain text, the usual content, is found in one pass.
    const std::size_t special = classes_.FindEither(s, begin, end, '<', '&');
    if (special >= end) return std::string_view(s + begin, end - begin);
    if (classes_.Find(s, special, end, '<') >= end) return DecodedView(s + begin, end - begin, classes_, scratch);
    // Mixed content: text and CDATA sections count, comments and
    // processing instructions do not.
    scratch.clear();
    XmlToken token;
    std::size_t pos = begin;
    for (;;) {
        ReadToken(s, pos, end, classes_, token);
        if (token.kind == kNodeEndOfText || token.length == 0) break;
        if (token.kind == kNodeText || token.kind == kNodeWhitespace) {
            AppendDecoded(scratch, s + token.offset, token.length, classes_);
        } else if (token.kind == kNodeCdata) {
            const std::size_t tokenEnd = token.offset + token.length;
            const std::size_t from = std::min(token.offset + 9, tokenEnd - 3);
            scratch.append(s + from, tokenEnd - 3 - from);
        }
        pos = token.offset + token.length;
    }
    return scratch;
}

std::string XmlDocument::ElementText() const {
    std::string scratch;
    return Owned(TextViewOf(current_, scratch), scratch);
}

std::string XmlDocument::ChildElementText() const {
    std::string scratch;
    return Owned(TextViewOf(child_, scratch), scratch);
}

std::string_view XmlDocument::ElementTextView(std::string& scratch) const { return TextViewOf(current_, scratch); }
std::string_view XmlDocument::ChildElementTextView(std::string& scratch) const { return TextViewOf(child_, scratch); }

}  // namespace vd

// Construction, the parse pass that builds the element index, the
// well-formed test and the result log.
#include "xml/xml_document.h"

#include <cstdio>
#include <vector>

#include "xml/entities.h"
#include "xml/names.h"
#include "xml/open_name_index.h"

namespace vd {
namespace {

constexpr std::size_t kResultLogLimit = 999;

}  // namespace

XmlDocument::XmlDocument(uint32_t codePage) : classes_(codePage) {}

void XmlDocument::SetText(std::string text) {
    text_ = std::move(text);
    used_ = 0;
    parent_ = current_ = child_ = 0;
    nodeKind_ = 0;
    nodeOffset_ = nodeLength_ = 0;
}

void XmlDocument::AppendResultEntry(std::string& log, const CharClasses& classes, const char* name,
                                    const char* textName, std::string_view text, const char* numberName,
                                    long long number, long long offset2) {
    if (log.size() > kResultLogLimit) return;
    log += '<';
    log += name;
    if (textName) {
        log += ' ';
        log += textName;
        log += "=\"";
        log += EscapeText(text, kEscapeQuotes, classes);
        log += '"';
    }
    char number_text[32];
    if (numberName) {
        std::snprintf(number_text, sizeof number_text, "%d", static_cast<int>(number));
        log += ' ';
        log += numberName;
        log += "=\"";
        log += number_text;
        log += '"';
    }
    if (offset2 >= 0) {
        std::snprintf(number_text, sizeof number_text, "%d", static_cast<int>(offset2));
        log += " offset2=\"";
        log += number_text;
        log += '"';
    }
    log += "/>";
}

void XmlDocument::ClearIndex() {
    index_.Reset(static_cast<uint32_t>(text_.size() / 64 + 8));
    used_ = 1;
    index_[0] = ElementRecord{};
    index_[0].length = static_cast<uint32_t>(text_.size());
    parent_ = current_ = child_ = 0;
    nodeKind_ = 0;
    nodeOffset_ = nodeLength_ = 0;
}

bool XmlDocument::TakeRecord(uint32_t& index) {
    if (used_ >= index_.Capacity() && !index_.Grow(used_)) return false;
    index = used_++;
    index_[index] = ElementRecord{};
    return true;
}

// `firstChild` and `lastChild` are the parent's so far, kept by the caller so
// that appending does not go through the parent's records to find them.
void XmlDocument::AppendChild(uint32_t parent, uint32_t element, uint32_t& firstChild, uint32_t& lastChild) {
    ElementRecord& e = index_[element];
    e.parent = parent;
    e.nextSibling = 0;
    if (firstChild == 0) {
        index_[parent].firstChild = element;
        e.previousSibling = element;
        e.levelAndFlags |= ElementRecord::kFirstChild;
        firstChild = element;
    } else {
        index_[lastChild].nextSibling = element;
        e.previousSibling = lastChild;
        index_[firstChild].previousSibling = element;
    }
    lastChild = element;
}

void XmlDocument::SetSubtreeLevel(uint32_t element, uint32_t level) {
    std::vector<std::pair<uint32_t, uint32_t>> pending{{element, level}};
    while (!pending.empty()) {
        const auto [e, l] = pending.back();
        pending.pop_back();
        ElementRecord& r = index_[e];
        r.levelAndFlags = (r.levelAndFlags & ~ElementRecord::kLevelMask) | (l & ElementRecord::kLevelMask);
        for (uint32_t c = r.firstChild; c != 0; c = index_[c].nextSibling) pending.push_back({c, l + 1});
    }
}

void XmlDocument::MarkError(uint32_t innermost) {
    index_[0].levelAndFlags |= ElementRecord::kNotWellFormed;
    index_[innermost].levelAndFlags |= ElementRecord::kErrorInside;
}

// Elements whose end tag never came: open[k] and every element opened inside
// it. Each keeps only its start tag, and its children move up to follow it
// under the parent of open[k], in document order. Each open element is the
// last child of the one before it, so one pass outward-in splices them all.
void XmlDocument::UnendOpenElements(const std::vector<OpenElement>& open, std::size_t k, std::size_t offset2) {
    bool errorInside = false;
    for (std::size_t j = open.size(); j-- > k;) {
        ElementRecord& r = index_[open[j].index];
        r.levelAndFlags |= ElementRecord::kUnended;
        r.tagLengths = r.StartTagLength();
        r.length = r.StartTagLength();
        if (r.Has(ElementRecord::kErrorInside)) {
            r.levelAndFlags &= ~ElementRecord::kErrorInside;
            errorInside = true;
        }
        Log("unended_start_tag", "tagname", std::string_view(text_.data() + open[j].nameOffset, open[j].nameLength),
            "offset", r.start, static_cast<long long>(offset2));
    }
    index_[0].levelAndFlags |= ElementRecord::kNotWellFormed;
    const uint32_t parent = index_[open[k].index].parent;
    const uint32_t level = index_[open[k].index].Level();
    if (errorInside) index_[parent].levelAndFlags |= ElementRecord::kErrorInside;
    uint32_t last = open[k].index;
    for (std::size_t j = k; j < open.size(); ++j) {
        const uint32_t u = open[j].index;
        const uint32_t next = j + 1 < open.size() ? open[j + 1].index : 0;
        ElementRecord& r = index_[u];
        const uint32_t first = r.firstChild;
        if (first == 0) continue;
        const uint32_t lastChild = index_[first].previousSibling;
        for (uint32_t c = first; c != 0; c = index_[c].nextSibling) {
            index_[c].parent = parent;
            if (c == next)
                index_[c].levelAndFlags = (index_[c].levelAndFlags & ~ElementRecord::kLevelMask) | level;
            else
                SetSubtreeLevel(c, level);
        }
        index_[first].levelAndFlags &= ~ElementRecord::kFirstChild;
        r.firstChild = 0;
        r.nextSibling = first;
        index_[first].previousSibling = u;
        last = lastChild;
    }
    index_[index_[parent].firstChild].previousSibling = last;
}

bool XmlDocument::EndTagMatches(const OpenElement& open, std::size_t nameOffset, std::size_t nameLength) const {
    const std::string_view stacked(text_.data() + open.nameOffset, open.nameLength);
    const std::string_view endName(text_.data() + nameOffset, nameLength);
    // The usual case, an end tag that repeats its start tag's name. Names
    // are short: a plain loop beats a library call.
    if (stacked.size() == endName.size()) {
        std::size_t i = 0;
        while (i < stacked.size() && stacked[i] == endName[i]) ++i;
        if (i == stacked.size()) return true;
    }
    return NameSelects(stacked, endName, (flags_ & kDocIgnoreCase) != 0, classes_);
}

bool XmlDocument::ParseText() {
    ClearIndex();
    const std::size_t size = text_.size();
    if (size > kMaxTextLength) {
        index_[0].length = 0;
        Log("size_limit", "type", "text");
        index_[0].levelAndFlags |= ElementRecord::kNotWellFormed;
        return false;
    }
    if (size == 0) return IsWellFormed();

    const char* s = text_.data();
    std::vector<OpenElement> open;
    OpenNameIndex names(s, (flags_ & kDocIgnoreCase) != 0, classes_);
    bool indexedNames = false;
    XmlToken token;
    std::size_t pos = 0;
    auto innermost = [&]() -> uint32_t { return open.empty() ? 0 : open.back().index; };
    // The first and last top-level elements so far (those of open elements
    // are kept on the stack). Unended elements move their children up only
    // under an element that is closed right after, so these stay right.
    uint32_t topFirst = 0, topLast = 0;
    for (;;) {
        // Text and blanks add nothing to the index: go straight to the next '<'.
        pos = classes_.Find(s, pos, size, '<');
        if (pos >= size) break;
        if (pos + 1 < size && (s[pos + 1] == '/' || classes_.Is(s[pos + 1], kCharNameStart)))
            ReadTagToken(s, pos, size, classes_, token);
        else
            ReadToken(s, pos, size, classes_, token);
        pos = token.offset + token.length;
        switch (token.kind) {
            case kNodeElement: {
                const char* refused = nullptr;
                if (token.length > ElementRecord::kMaxStartTag)
                    refused = "start_tag";
                else if (open.size() > ElementRecord::kMaxLevel)
                    refused = "level";
                uint32_t n = 0;
                if (!refused && !TakeRecord(n)) refused = "index";
                if (refused) {
                    Log("size_limit", "type", refused, "offset", static_cast<long long>(token.offset));
                    MarkError(innermost());
                    break;
                }
                ElementRecord& r = index_[n];
                r.start = static_cast<uint32_t>(token.offset);
                r.length = static_cast<uint32_t>(token.length);
                r.tagLengths = static_cast<uint32_t>(token.length);
                r.levelAndFlags = static_cast<uint32_t>(open.size());
                if (open.empty())
                    AppendChild(0, n, topFirst, topLast);
                else
                    AppendChild(open.back().index, n, open.back().firstChild, open.back().lastChild);
                if (!token.emptyElement) {
                    open.push_back(
                        {n, static_cast<uint32_t>(token.nameOffset), static_cast<uint32_t>(token.nameLength), 0, 0});
                    if (indexedNames) names.Push(token.nameOffset, token.nameLength);
                }
                break;
            }
            case kNodeEndTag: {
                if (token.length > ElementRecord::kMaxEndTag) {
                    Log("size_limit", "type", "end_tag", "offset", static_cast<long long>(token.offset));
                    MarkError(innermost());
                    break;
                }
                // Usually the end tag closes the innermost element; otherwise the
                // name index finds the one it closes (and is kept from then on).
                std::size_t k = open.size();
                if (k == 0 || !EndTagMatches(open[k - 1], token.nameOffset, token.nameLength)) {
                    if (!indexedNames) {
                        for (const OpenElement& e : open) names.Push(e.nameOffset, e.nameLength);
                        indexedNames = true;
                    }
                    const std::size_t q = names.Innermost(token.nameOffset, token.nameLength);
                    if (q == OpenNameIndex::kNone) {
                        k = 0;
                    } else if (EndTagMatches(open[q], token.nameOffset, token.nameLength)) {
                        k = q + 1;
                    } else {
                        // Two names with one hash: compare the slow way.
                        while (k > 0 && !EndTagMatches(open[k - 1], token.nameOffset, token.nameLength)) --k;
                    }
                }
                if (k == 0) {
                    Log("lone_end_tag", "tagname", std::string_view(s + token.nameOffset, token.nameLength), "offset",
                        static_cast<long long>(token.offset));
                    MarkError(innermost());
                    break;
                }
                if (open.size() > k) {
                    UnendOpenElements(open, k, token.offset + 1);
                    open.resize(k);
                }
                ElementRecord& r = index_[open.back().index];
                r.length = static_cast<uint32_t>(token.offset + token.length - r.start);
                r.tagLengths = ElementRecord::TagLengths(r.StartTagLength(), static_cast<uint32_t>(token.length));
                open.pop_back();
                if (indexedNames) names.PopTo(open.size());
                break;
            }
            case kNodeSyntaxError:
                MarkError(innermost());
                Log(token.error, token.errorType ? "type" : nullptr, token.errorType ? token.errorType : "", "offset",
                    static_cast<long long>(token.offset));
                break;
            default:
                break;
        }
    }
    if (!open.empty()) UnendOpenElements(open, 0, size);
    const uint32_t root = index_[0].firstChild;
    if (root == 0)
        Log("no_root_element");
    else if (index_[root].nextSibling != 0)
        Log("root_has_sibling");
    return IsWellFormed();
}

bool XmlDocument::IsWellFormed() const {
    if (flags_ & kDocWriting) return true;
    const bool notWellFormed = used_ > 0 && index_[0].Has(ElementRecord::kNotWellFormed);
    if ((flags_ & kDocReading) || used_ <= 1) return (flags_ & kDocReading) && !notWellFormed;
    const uint32_t root = index_[0].firstChild;
    return !notWellFormed && root != 0 && index_[root].nextSibling == 0;
}

}  // namespace vd

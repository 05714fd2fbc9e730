// XmlDocument: one XML document held as a single multibyte text, with an index
// of its elements built by one parse pass, a navigation position, document
// flags and a result log that records what happened while reading and parsing.
//
// Elements are addressed by their number in the index; names, attributes and
// texts are cut out of the text on demand, with character references decoded.
//
// Typical use:
//     XmlDocument doc;
//     if (doc.ReadDocumentFile(path) && doc.ParseText()) {
//         doc.NextElement();          // the root
//         doc.EnterElement();
//         while (doc.NextElement()) { // each element under the root
//             std::string stamp = doc.AttributeValue("Stamp");
//             ...
//         }
//     }
#ifndef VD_XML_XML_DOCUMENT_H
#define VD_XML_XML_DOCUMENT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "xml/char_class.h"
#include "xml/element_index.h"
#include "xml/tokenizer.h"

namespace vd {

// Document flags.
constexpr uint32_t kDocUtf16 = 0x01;           // the file is UTF-16, little-endian
constexpr uint32_t kDocUtf8Mark = 0x04;        // the file is UTF-8 with a byte-order mark
constexpr uint32_t kDocIgnoreCase = 0x08;      // compare names without regard to ASCII case
constexpr uint32_t kDocReading = 0x10;         // bound to a file being read
constexpr uint32_t kDocWriting = 0x20;         // bound to a file being written
constexpr uint32_t kDocAppend = 0x40;          // writing appends to the file
constexpr uint32_t kDocUtf16BigEndian = 0x80;  // the file is UTF-16, big-endian

// AddElement flags.
constexpr uint32_t kAddCdata = 0x01;  // write the data as CDATA
constexpr uint32_t kAddNoLineBreaks = 0x02;
constexpr uint32_t kAddSpacedEmpty = 0x04;     // an empty element ends with " />"
constexpr uint32_t kAddKeepReferences = 0x08;  // escaping leaves references alone
constexpr uint32_t kAddStartTagOnly = 0x10;    // write a start tag only, unended
constexpr uint32_t kAddEscapeQuotes = 0x100;   // escaping covers both quotes too
constexpr uint32_t kAddReplaceContent = 0x1000;
constexpr uint32_t kAddBefore = 0x2000;
constexpr uint32_t kAddChild = 0x4000;

class XmlDocument {
public:
    // `codePage` is the code page of the text; 0 means the process's ANSI code page.
    explicit XmlDocument(uint32_t codePage = 0);
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    // The text. Replacing it invalidates the index until ParseText runs again.
    const std::string& Text() const { return text_; }
    void SetText(std::string text);
    const std::string& ResultLog() const { return resultLog_; }
    uint32_t Flags() const { return flags_; }
    void SetFlags(uint32_t flags) { flags_ = flags; }
    uint32_t CodePage() const { return classes_.CodePage(); }
    const CharClasses& Classes() const { return classes_; }

    // Builds the element index, puts the position at the document level and
    // returns whether the document is well formed. Errors go to the result log.
    bool ParseText();
    bool IsWellFormed() const;

    // Navigation. A name argument that is empty matches any element; see
    // NameMatches for the rest. Operations that cannot move return false and
    // leave the position as it was.
    bool NextElement(std::string_view name = {});
    bool NextChildElement(std::string_view name = {});
    void EnterElement();
    void LeaveElement();

    std::string ElementName() const;
    std::string ChildElementName() const;
    // The value of the named attribute of the current element, references
    // decoded; "" when absent. An attribute written without a value gives its name.
    std::string AttributeValue(std::string_view name) const;
    std::string ElementText() const;
    std::string ChildElementText() const;

    // The same without copies, for readers that walk large documents: views
    // of the document text, or of `scratch` where references were decoded.
    // A view lasts until the text, the index or `scratch` changes.
    std::string_view ElementNameView() const;
    std::string_view ChildElementNameView() const;
    // Whether ElementName() / ChildElementName() equal `name`, without
    // measuring the name first.
    bool ElementNameIs(std::string_view name) const { return NameIs(current_, name); }
    bool ChildElementNameIs(std::string_view name) const { return NameIs(child_, name); }
    std::string_view AttributeValueView(std::string_view name, std::string& scratch) const;
    // Several attributes in one scan of the start tag: values[k] is what
    // AttributeValueView(names[k], scratches[k]) gives.
    void AttributeValueViews(const std::string_view* names, std::size_t count, std::string_view* values,
                             std::string* scratches) const;
    std::string_view ElementTextView(std::string& scratch) const;
    std::string_view ChildElementTextView(std::string& scratch) const;

    // Editing (see the flags above). Both refuse while a file is being read.
    bool AddElement(std::string_view name, const char* data = nullptr, uint32_t flags = 0);
    bool SetAttribute(std::string_view name, std::string_view value);
    bool SetAttribute(std::string_view name, int value);

    // Reads a whole file into the text, converted into the document's code
    // page, and replaces the result log with what happened. Flags found in
    // the file (byte-order mark) are kept in the document flags.
    bool ReadDocumentFile(const char* path);
    // Writes the text to a file in the encoding the flags name (kDocUtf16,
    // kDocUtf16BigEndian, kDocUtf8Mark; none: the text as it is), appending
    // with kDocAppend.
    bool WriteDocumentFile(const char* path);

    // The position and the index, for callers that look deeper.
    uint32_t ParentElement() const { return parent_; }
    uint32_t CurrentElement() const { return current_; }
    uint32_t ChildElement() const { return child_; }
    int CurrentNodeKind() const { return nodeKind_; }
    uint32_t ElementCount() const { return used_; }  // element 0 included
    const ElementRecord& Element(uint32_t index) const { return index_[index]; }
    std::size_t IndexBytes() const { return index_.BytesReserved(); }

    // Appends one result entry: an empty element named `name` with at most
    // one text attribute, one number attribute and "offset2". Nothing is
    // added once the log is longer than 999 bytes. Besides the parse and file
    // events, "size_limit" (type "start_tag", "end_tag", "level", "index" or
    // "text", and the offset) records a size the record layout cannot hold;
    // such a node is left out and the document is not well formed.
    static void AppendResultEntry(std::string& log, const CharClasses& classes, const char* name,
                                  const char* textName = nullptr, std::string_view text = {},
                                  const char* numberName = nullptr, long long number = 0, long long offset2 = -1);

    // Limits of the record layout; larger sizes are refused.
    static constexpr std::size_t kMaxTextLength = 0x7FFFFFFF;

private:
    struct OpenElement {
        uint32_t index;
        uint32_t nameOffset;
        uint32_t nameLength;
        uint32_t firstChild;  // of this element so far, 0 for none
        uint32_t lastChild;
    };

    void Log(const char* name, const char* textName = nullptr, std::string_view text = {},
             const char* numberName = nullptr, long long number = 0, long long offset2 = -1) {
        AppendResultEntry(resultLog_, classes_, name, textName, text, numberName, number, offset2);
    }
    void ClearIndex();
    bool TakeRecord(uint32_t& index);
    void AppendChild(uint32_t parent, uint32_t element, uint32_t& firstChild, uint32_t& lastChild);
    void UnendOpenElements(const std::vector<OpenElement>& open, std::size_t k, std::size_t offset2);
    void SetSubtreeLevel(uint32_t element, uint32_t level);
    void MarkError(uint32_t innermost);
    bool NameMatches(uint32_t element, std::string_view name) const;
    std::string NameOf(uint32_t element) const { return std::string(NameViewOf(element)); }
    std::string_view NameViewOf(uint32_t element) const;
    bool NameIs(uint32_t element, std::string_view name) const;
    std::string_view TextViewOf(uint32_t element, std::string& scratch) const;
    std::string AttributeOf(std::size_t tagStart, std::size_t tagEnd, std::string_view name) const;
    bool EndTagMatches(const OpenElement& open, std::size_t nameOffset, std::size_t nameLength) const;
    void ShiftAfter(std::size_t offset, long long delta, uint32_t exclude);
    void GrowAncestors(uint32_t element, long long delta);
    void InsertSibling(uint32_t parent, uint32_t element, uint32_t after);
    void RemoveChildren(uint32_t parent);

    std::string text_;
    std::string resultLog_;
    uint32_t parent_ = 0;
    uint32_t current_ = 0;
    uint32_t child_ = 0;
    uint32_t used_ = 0;
    int nodeKind_ = 0;
    uint32_t nodeOffset_ = 0;
    uint32_t nodeLength_ = 0;
    uint32_t flags_ = 0;
    ElementIndex index_;
    CharClasses classes_;
};

}  // namespace vd

#endif

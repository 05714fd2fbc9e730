// Reads one node of XML text at a time: start and end tags, text, blanks,
// CDATA sections, processing instructions, comments and the document type
// declaration, and names the syntax errors it meets.
#ifndef VD_XML_TOKENIZER_H
#define VD_XML_TOKENIZER_H

#include <cstddef>
#include <cstdint>

#include "xml/char_class.h"

namespace vd {

enum NodeKind : int {
    kNodeEndTag = 0,
    kNodeElement = 1,
    kNodeText = 2,
    kNodeWhitespace = 4,
    kNodeCdata = 8,
    kNodeProcessingInstruction = 16,
    kNodeComment = 32,
    kNodeDocumentType = 64,
    kNodeSyntaxError = -1,
    kNodeEndOfText = -2,
};

struct XmlToken {
    int kind = kNodeEndOfText;
    std::size_t offset = 0;
    std::size_t length = 0;
    // The name of a start or end tag, or the target of a processing instruction.
    std::size_t nameOffset = 0;
    std::size_t nameLength = 0;
    bool emptyElement = false;  // a start tag that ends with "/>"
    // For kNodeSyntaxError: the result entry's name, and for
    // "unterminated_tag_syntax" the kind of node that was cut off.
    const char* error = nullptr;
    const char* errorType = nullptr;
};

// Reads the node that starts at `pos`, looking no further than `end`.
void ReadToken(const char* text, std::size_t pos, std::size_t end, const CharClasses& classes, XmlToken& token);

// ReadToken for a start tag or an end tag: `pos` holds '<' and `pos` + 1
// (before `end`) '/' or a byte that may start a name.
void ReadTagToken(const char* text, std::size_t pos, std::size_t end, const CharClasses& classes, XmlToken& token);

// The length of the tag name that starts at `pos`: up to a blank or one of
// < > = \ / ? ! ; ' and the double quote.
inline std::size_t TagNameLength(const char* text, std::size_t pos, std::size_t end, const CharClasses& classes) {
    return classes.SkipUntil(text, pos, end, kCharNameStop) - pos;
}

}  // namespace vd

#endif

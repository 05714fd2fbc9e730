// Character references, escaping and CDATA sections: turning escaped document
// text into plain text and back.
#ifndef VD_XML_ENTITIES_H
#define VD_XML_ENTITIES_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "xml/char_class.h"

namespace vd {

// Escape flags.
constexpr uint32_t kEscapeKeepReferences = 0x08;  // leave '&' alone where it starts a reference
constexpr uint32_t kEscapeQuotes = 0x100;         // escape both quote characters too

// The code point of a named reference as written between '&' and ';', or 0.
// Names are matched without regard to case, except that a name that has a
// capital and a small form (Aacute, aacute) gives the capital form's code
// point exactly when it is written with a capital first letter.
uint32_t EntityCodePoint(std::string_view writtenName);

// Decodes the character references of escaped text into the code page of
// `classes`. Anything that is not a complete, known reference whose character
// the code page can show stays as written.
std::string DecodeEntities(const char* text, std::size_t length, const CharClasses& classes);
void AppendDecoded(std::string& out, const char* text, std::size_t length, const CharClasses& classes);

// DecodeEntities without a copy: the text itself when it holds no '&',
// otherwise the decoded text, held in `scratch`.
std::string_view DecodedView(const char* text, std::size_t length, const CharClasses& classes, std::string& scratch);

// Escapes '<', '&' and '>' (and with kEscapeQuotes the apostrophe and the
// double quote).
std::string EscapeText(std::string_view text, uint32_t flags, const CharClasses& classes);

// The text as CDATA sections: one, or several where the text holds "]]>".
std::string CdataSection(std::string_view text);

}  // namespace vd

#endif

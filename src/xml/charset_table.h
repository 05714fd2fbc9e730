// Charset names and their Windows code pages.
#ifndef VD_XML_CHARSET_TABLE_H
#define VD_XML_CHARSET_TABLE_H

#include <cstdint>
#include <string_view>

namespace vd {

constexpr unsigned kCharsetBuckets = 155;
extern const char* const kCharsetTable[kCharsetBuckets];

// The internal code page of 32-bit Unicode units.
constexpr int32_t kCodePageUtf32Units = 65005;

// The code page of a charset name: 0 for "" (the ANSI code page), 65005 for a
// name that starts with "UTF-32" (exactly so), -1 for a name of 100 bytes or
// more or one the table does not know. Names are matched with 'A'-'Z' folded.
int32_t CharsetCodePage(std::string_view name);

// Whether two charset names denote different code pages; a name that is not
// known counts as the same as any other. `ansiCodePage` stands in for "".
bool EncodingsDiffer(std::string_view a, std::string_view b, uint32_t ansiCodePage);

}  // namespace vd

#endif

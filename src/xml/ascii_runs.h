// Conversions between code pages that agree on ASCII: runs of plain ASCII are
// copied as they are and only the text between them goes through the
// platform's converter. Side files are mostly markup, so this takes nearly the
// whole text off the slow UTF-16 round trip; the output (and the loss flag)
// is exactly what converting the whole text at once gives.
#ifndef VD_XML_ASCII_RUNS_H
#define VD_XML_ASCII_RUNS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vd {

// Whether ConvertKeepingAscii can convert from `origin` to `target`: both are
// code pages the platform has in which a byte 0x00-0x7F standing as a
// character of its own is that ASCII character, with no shift states, and
// reading `origin` never combines a character with the one before it.
// UTF-16 (1200) is such a code page.
bool CanKeepAscii(uint32_t target, uint32_t origin);

// The number of leading bytes below 0x80.
std::size_t AsciiPrefix(const char* bytes, std::size_t length);

// `source` converted from `origin` to `target` (a pair CanKeepAscii accepts);
// UTF-16 text is held as little-endian 2-byte units. `lossy`, when given, is
// set when some character had no equivalent in the target.
std::string ConvertKeepingAscii(uint32_t target, uint32_t origin, std::string_view source, bool* lossy);

}  // namespace vd

#endif

// Text encodings: conversion between any two charset names, the UTF-8 test
// used when a file names no encoding, and the search for the encoding a
// document declares.
#ifndef VD_XML_ENCODING_H
#define VD_XML_ENCODING_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "xml/char_class.h"

namespace vd {

// Converts `source` from the encoding named `from` to the one named `to`
// ("" is the ANSI code page `ansiCodePage`, unknown names count as ""). UTF-16
// text is held as little-endian 2-byte units, 32-bit Unicode units ("UTF-32"
// names) as little-endian 4-byte units. `lossy` is set when some character
// had no equivalent. Conversions never fail: invalid input becomes '?' or the
// platform's replacement.
std::string ConvertText(std::string_view to, std::string_view from, std::string_view source, uint32_t ansiCodePage,
                        bool* lossy);

// ConvertText for a source the caller gives up: text the conversion would
// give back unchanged (plain ASCII between code pages that keep it) is
// returned without a copy. `knownAscii`: how many leading bytes the caller
// already knows to be below 0x80.
std::string ConvertOwnedText(std::string_view to, std::string_view from, std::string&& source, uint32_t ansiCodePage,
                             bool* lossy, std::size_t knownAscii = 0);

enum class Utf8Test { kInvalid, kAscii, kMultibyte };
// Whether the bytes (up to the first zero byte) are UTF-8, and whether they
// hold any multibyte sequence.
Utf8Test TestUtf8(const char* bytes, std::size_t length);

// The encoding the first bytes of a document declare, in an XML declaration
// or an HTML meta element; "" when they declare none.
std::string FindDeclaredEncoding(const char* bytes, std::size_t length, const CharClasses& classes);

}  // namespace vd

#endif

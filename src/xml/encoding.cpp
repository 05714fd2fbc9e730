#include "xml/encoding.h"

#include <vector>

#include "xml/ascii_runs.h"
#include "xml/charset_table.h"
#include "xml/codepage.h"
#include "xml/names.h"
#include "xml/tokenizer.h"
#include "xml/utf8_encode.h"

namespace vd {
namespace {

// Unpaired surrogates and values past Unicode become '?'.
void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        out += '?';
    } else {
        AppendUtf8CodePoint(out, cp);
    }
}

void AppendUnit16(std::string& out, uint32_t unit) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>((unit >> 8) & 0xFF);
}

void AppendUnit32(std::string& out, uint32_t cp) {
    for (int k = 0; k < 4; ++k) out += static_cast<char>((cp >> (8 * k)) & 0xFF);
}

uint32_t Unit16(std::string_view s, std::size_t i) {
    return static_cast<unsigned char>(s[2 * i]) |
           (static_cast<uint32_t>(static_cast<unsigned char>(s[2 * i + 1])) << 8);
}

std::u16string Units16(std::string_view s) {
    std::u16string units(s.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) units[i] = static_cast<char16_t>(Unit16(s, i));
    return units;
}

std::string Bytes16(const std::u16string& units) {
    std::string out;
    out.reserve(units.size() * 2);
    for (char16_t u : units) AppendUnit16(out, u);
    return out;
}

// The number of bytes that follow a UTF-8 lead byte, or -1 for a byte that
// cannot lead.
int FollowingBytes(unsigned char lead) {
    if (lead >= 0xC0 && lead <= 0xDF) return 1;
    if (lead >= 0xE0 && lead <= 0xEF) return 2;
    if (lead >= 0xF0 && lead <= 0xF7) return 3;
    return -1;
}

}  // namespace

Utf8Test TestUtf8(const char* bytes, std::size_t length) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes);
    bool multibyte = false;
    std::size_t i = 0;
    while (i < length && s[i] != 0) {
        if (s[i] < 0x80) {
            ++i;
            continue;
        }
        const int follow = FollowingBytes(s[i]);
        if (follow < 0 || i + static_cast<std::size_t>(follow) >= length) return Utf8Test::kInvalid;
        for (int k = 1; k <= follow; ++k)
            if ((s[i + k] & 0xC0) != 0x80) return Utf8Test::kInvalid;
        multibyte = true;
        i += static_cast<std::size_t>(follow) + 1;
    }
    return multibyte ? Utf8Test::kMultibyte : Utf8Test::kAscii;
}

namespace {

// The code page a charset name stands for; "" and unknown names are the ANSI code page.
uint32_t CodePageOf(std::string_view name, uint32_t ansiCodePage) {
    const int32_t cp = CharsetCodePage(name);
    return cp <= 0 ? ansiCodePage : static_cast<uint32_t>(cp);
}

}  // namespace

std::string ConvertText(std::string_view to, std::string_view from, std::string_view source, uint32_t ansiCodePage,
                        bool* lossy) {
    if (lossy) *lossy = false;
    const uint32_t target = CodePageOf(to, ansiCodePage);
    const uint32_t origin = CodePageOf(from, ansiCodePage);
    std::string out;
    if (target == origin) return std::string(source);

    if (origin == static_cast<uint32_t>(kCodePageUtf32Units)) {
        const std::size_t n = source.size() / 4;
        for (std::size_t i = 0; i < n; ++i) {
            uint32_t cp = 0;
            for (int k = 3; k >= 0; --k) cp = (cp << 8) | static_cast<unsigned char>(source[4 * i + k]);
            if (target == codepage::kUtf8) {
                AppendUtf8(out, cp);
            } else if (target == codepage::kUtf16) {
                if (cp > 0x10FFFF) {
                    AppendUnit16(out, '?');
                } else if (cp >= 0x10000) {
                    AppendUnit16(out, 0xD800 + ((cp - 0x10000) >> 10));
                    AppendUnit16(out, 0xDC00 + ((cp - 0x10000) & 0x3FF));
                } else {
                    AppendUnit16(out, cp);
                }
            }
        }
        return out;
    }

    if (origin == codepage::kUtf16) {
        if (target == static_cast<uint32_t>(kCodePageUtf32Units)) {
            const std::size_t n = source.size() / 2;
            for (std::size_t i = 0; i < n; ++i) {
                const uint32_t u = Unit16(source, i);
                if (u < 0xD800 || u > 0xDFFF) {
                    AppendUnit32(out, u);
                    continue;
                }
                const uint32_t next = i + 1 < n ? Unit16(source, i + 1) : 0;
                if (u <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
                    AppendUnit32(out, 0x10000 + ((u - 0xD800) << 10) + (next - 0xDC00));
                    ++i;
                } else {
                    AppendUnit32(out, '?');
                }
            }
            return out;
        }
        if (CanKeepAscii(target, origin)) return ConvertKeepingAscii(target, origin, source, lossy);
        const std::u16string units = Units16(source);
        codepage::FromWide(target, units.data(), units.size(), out, lossy);
        return out;
    }

    if (target == codepage::kUtf16) {
        if (CanKeepAscii(target, origin)) return ConvertKeepingAscii(target, origin, source, lossy);
        std::u16string units;
        codepage::ToWide(origin, source.data(), source.size(), units);
        return Bytes16(units);
    }
    if (target == static_cast<uint32_t>(kCodePageUtf32Units)) {
        if (origin != codepage::kUtf8) return out;
        const unsigned char* s = reinterpret_cast<const unsigned char*>(source.data());
        std::size_t i = 0;
        while (i < source.size()) {
            if (s[i] < 0x80) {
                AppendUnit32(out, s[i++]);
                continue;
            }
            const int follow = FollowingBytes(s[i]);
            bool valid = follow > 0 && i + static_cast<std::size_t>(follow) < source.size();
            uint32_t cp = valid ? (s[i] & (0x3F >> follow)) : 0;
            for (int k = 1; valid && k <= follow; ++k) {
                if ((s[i + k] & 0xC0) != 0x80) valid = false;
                cp = (cp << 6) | (s[i + k] & 0x3F);
            }
            if (!valid) {
                AppendUnit32(out, '?');
                ++i;
                continue;
            }
            AppendUnit32(out, cp);
            i += static_cast<std::size_t>(follow) + 1;
        }
        return out;
    }
    if (CanKeepAscii(target, origin)) return ConvertKeepingAscii(target, origin, source, lossy);
    std::u16string units;
    codepage::ToWide(origin, source.data(), source.size(), units);
    codepage::FromWide(target, units.data(), units.size(), out, lossy);
    return out;
}

std::string ConvertOwnedText(std::string_view to, std::string_view from, std::string&& source, uint32_t ansiCodePage,
                             bool* lossy, std::size_t knownAscii) {
    if (knownAscii > source.size()) knownAscii = source.size();
    const uint32_t target = CodePageOf(to, ansiCodePage);
    const uint32_t origin = CodePageOf(from, ansiCodePage);
    const bool multibyte = target != codepage::kUtf16 && origin != codepage::kUtf16 &&
                           target != static_cast<uint32_t>(kCodePageUtf32Units) &&
                           origin != static_cast<uint32_t>(kCodePageUtf32Units);
    // Text the conversion would give back unchanged keeps its buffer.
    if (multibyte &&
        (target == origin ||
         (CanKeepAscii(target, origin) &&
          knownAscii + AsciiPrefix(source.data() + knownAscii, source.size() - knownAscii) == source.size()))) {
        if (lossy) *lossy = false;
        return std::move(source);
    }
    return ConvertText(to, from, source, ansiCodePage, lossy);
}

namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

std::string_view AttributeIn(const char* s, const XmlToken& t, std::size_t nameFrom, std::string_view name,
                             const CharClasses& cc) {
    AttributeScan scan;
    ScanAttributes(s, nameFrom, t.offset + t.length, name, true, cc, scan);
    return scan.found ? std::string_view(s + scan.valueOffset, scan.valueLength) : std::string_view();
}

// The word after "charset" and '=' in a meta element's content.
std::string CharsetOfContent(std::string_view content, const CharClasses& cc) {
    for (std::size_t i = 0; i + 7 <= content.size(); ++i) {
        if (!EqualsIgnoringCase(content.substr(i, 7), "charset")) continue;
        std::size_t j = i + 7;
        while (j < content.size() && cc.IsBlank(content[j])) ++j;
        if (j >= content.size() || content[j] != '=') continue;
        ++j;
        while (j < content.size() && cc.IsBlank(content[j])) ++j;
        const std::size_t word = TagNameLength(content.data(), j, content.size(), cc);
        return std::string(content.substr(j, word));
    }
    return std::string();
}

}  // namespace

std::string FindDeclaredEncoding(const char* s, std::size_t length, const CharClasses& cc) {
    bool html = false;
    XmlToken t;
    std::size_t pos = 0;
    for (;;) {
        ReadToken(s, pos, length, cc, t);
        if (t.kind == kNodeEndOfText || t.kind == kNodeSyntaxError || t.length == 0) return std::string();
        const std::string_view name(s + t.nameOffset, t.nameLength);
        if (t.kind == kNodeProcessingInstruction && t.offset == 0 && EqualsIgnoringCase(name, "xml"))
            return std::string(AttributeIn(s, t, t.offset + 2, "encoding", cc));
        if (t.kind == kNodeElement) {
            const std::size_t tagNameLength = TagNameLength(s, t.offset + 1, t.offset + t.length, cc);
            const std::string_view tagName(s + t.offset + 1, tagNameLength);
            if (EqualsIgnoringCase(tagName, "html")) {
                html = true;
            } else if (!html) {
                return std::string();
            } else if (EqualsIgnoringCase(tagName, "meta") &&
                       EqualsIgnoringCase(AttributeIn(s, t, t.offset + 1, "http-equiv", cc), "Content-Type")) {
                return CharsetOfContent(AttributeIn(s, t, t.offset + 1, "content", cc), cc);
            }
        }
        if (t.kind == kNodeEndTag && EqualsIgnoringCase(name, "head")) return std::string();
        pos = t.offset + t.length;
    }
}

}  // namespace vd

#include "xml/entities.h"

#include <cstring>

#include "xml/codepage.h"
#include "xml/entity_table.h"

namespace vd {
namespace {

constexpr std::size_t kMaxReferenceName = 9;

unsigned BucketOf(std::string_view name, unsigned buckets) {
    uint32_t sum = 0;
    for (char c : name) sum += static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
    return sum % buckets;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }
bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool IsSmall(char c) { return c >= 'a' && c <= 'z'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f'); }

// Numeric reference body (after '#', already in lower case): hexadecimal after
// 'x', else decimal, read the way strtol reads it: leading white space, an
// optional sign and, for hexadecimal, an optional "0x" are taken, then the
// digits as far as they reach. Negative values and values past the Unicode
// range give 0.
uint32_t NumericValue(std::string_view body) {
    uint32_t value = 0;
    std::size_t i = 0;
    const bool hex = !body.empty() && body[0] == 'x';
    if (hex) i = 1;
    while (i < body.size() && std::strchr(" \t\n\v\f\r", body[i]) && body[i] != '\0') ++i;
    if (i < body.size() && (body[i] == '+' || body[i] == '-')) {
        if (body[i] == '-') return 0;
        ++i;
    }
    if (hex && i + 2 < body.size() && body[i] == '0' && body[i + 1] == 'x' && IsHexDigit(body[i + 2])) i += 2;
    for (; i < body.size(); ++i) {
        const char c = body[i];
        uint32_t digit;
        if (IsDigit(c))
            digit = static_cast<uint32_t>(c - '0');
        else if (hex && c >= 'a' && c <= 'f')
            digit = static_cast<uint32_t>(c - 'a' + 10);
        else
            break;
        value = value * (hex ? 16 : 10) + digit;
        if (value > 0x10FFFF) return 0;
    }
    return value;
}

// Appends the character `value` in the code page; false when the code page
// cannot show it.
bool AppendCharacter(std::string& out, uint32_t value, const CharClasses& classes) {
    if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    if (value < 0x80) {
        out += static_cast<char>(value);
        return true;
    }
    char16_t units[2];
    std::size_t n = 1;
    if (value >= 0x10000) {
        units[0] = static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10));
        units[1] = static_cast<char16_t>(0xDC00 + ((value - 0x10000) & 0x3FF));
        n = 2;
    } else {
        units[0] = static_cast<char16_t>(value);
    }
    std::string bytes;
    bool lossy = false;
    if (!codepage::FromWide(classes.CodePage(), units, n, bytes, &lossy) || lossy || bytes.empty() || bytes.size() > 5)
        return false;
    out += bytes;
    return true;
}

}  // namespace

uint32_t EntityCodePoint(std::string_view writtenName) {
    if (writtenName.size() < 2 || writtenName.size() > 8) return 0;
    char lowered[8];
    for (std::size_t i = 0; i < writtenName.size(); ++i) lowered[i] = Lower(writtenName[i]);
    const std::string_view name(lowered, writtenName.size());
    const char* p = kEntityTable[BucketOf(name, kEntityBuckets)];
    uint32_t found = 0;
    while (*p) {
        const std::size_t length = static_cast<std::size_t>(p[0] - '0');
        const uint32_t codePoint =
            static_cast<uint32_t>((p[1] - '0') * 1000 + (p[2] - '0') * 100 + (p[3] - '0') * 10 + (p[4] - '0'));
        const char* entryName = p + 5;
        if (length == name.size() && std::memcmp(entryName, name.data(), length) == 0) {
            // The capital form comes first. A name written with a capital
            // first letter, or with the capital where the capital form has it
            // (the second letter of the double arrows dArr, hArr, lArr, rArr,
            // uArr), takes it; otherwise the small form, when there is one.
            if (found == 0) {
                found = codePoint;
                const bool doubleArrow = name.size() == 4 && name.substr(1) == "arr";
                const bool capital = !IsSmall(writtenName[0]) || (doubleArrow && IsUpper(writtenName[1]));
                if (capital) return found;
            } else {
                return codePoint;
            }
        }
        p = entryName + length;
    }
    return found;
}

void AppendDecoded(std::string& out, const char* text, std::size_t length, const CharClasses& classes) {
    std::size_t i = 0;
    while (i < length) {
        const std::size_t amp = classes.Find(text, i, length, '&');
        out.append(text + i, amp - i);
        if (amp >= length) return;
        i = amp;
        // Collect the name up to ';', at most nine bytes, all below 0x80.
        char name[kMaxReferenceName];
        std::size_t n = 0;
        std::size_t j = i + 1;
        bool complete = false;
        while (j < length && n <= kMaxReferenceName) {
            const char c = text[j];
            if (c == ';') {
                complete = true;
                break;
            }
            if (static_cast<unsigned char>(c) >= 0x80 || n == kMaxReferenceName) break;
            name[n++] = c;
            ++j;
        }
        bool decoded = false;
        if (complete && n > 0) {
            uint32_t value;
            if (name[0] == '#') {
                for (std::size_t k = 1; k < n; ++k) name[k] = Lower(name[k]);
                value = NumericValue(std::string_view(name + 1, n - 1));
            } else {
                value = EntityCodePoint(std::string_view(name, n));
            }
            decoded = AppendCharacter(out, value, classes);
        }
        if (decoded) {
            i = j + 1;
        } else {
            out += '&';
            ++i;
        }
    }
}

std::string DecodeEntities(const char* text, std::size_t length, const CharClasses& classes) {
    if (classes.Find(text, 0, length, '&') >= length) return std::string(text, length);
    std::string out;
    out.reserve(length);
    AppendDecoded(out, text, length, classes);
    return out;
}

std::string_view DecodedView(const char* text, std::size_t length, const CharClasses& classes, std::string& scratch) {
    if (classes.Find(text, 0, length, '&') >= length) return std::string_view(text, length);
    scratch.clear();
    AppendDecoded(scratch, text, length, classes);
    return scratch;
}

std::string EscapeText(std::string_view text, uint32_t flags, const CharClasses& classes) {
    std::string out;
    out.reserve(text.size() + text.size() / 10 + 7);
    const bool quotes = (flags & kEscapeQuotes) != 0;
    std::size_t i = 0;
    const std::size_t end = text.size();
    while (i < end) {
        const char c = text[i];
        if (classes.IsLead(c)) {
            const std::size_t next = classes.Next(text.data(), i, end);
            out.append(text.data() + i, next - i);
            i = next;
            continue;
        }
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '\'':
                out += quotes ? "&apos;" : "'";
                break;
            case '"':
                out += quotes ? "&quot;" : "\"";
                break;
            case '&': {
                std::size_t j = i + 1;
                bool reference = false;
                if ((flags & kEscapeKeepReferences) && j < end) {
                    const char f = text[j];
                    if (IsLetter(f) || f == '#' || f == ':' || f == '_' || static_cast<unsigned char>(f) >= 0x80) {
                        ++j;
                        while (j < end) {
                            const char r = text[j];
                            if (IsLetter(r) || IsDigit(r) || r == '-' || r == '.' || r == ':' || r == '_' ||
                                static_cast<unsigned char>(r) >= 0x80)
                                ++j;
                            else
                                break;
                        }
                        reference = j < end && text[j] == ';';
                    }
                }
                if (reference) {
                    out.append(text.data() + i, j + 1 - i);
                    i = j + 1;
                    continue;
                }
                out += "&amp;";
                break;
            }
            default:
                out += c;
                break;
        }
        ++i;
    }
    return out;
}

std::string CdataSection(std::string_view text) {
    std::string out = "<![CDATA[";
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = text.find("]]>", from);
        if (at == std::string_view::npos) break;
        out.append(text.data() + from, at - from);
        out += "]]]]><![CDATA[>";
        from = at + 3;
    }
    out.append(text.data() + from, text.size() - from);
    out += "]]>";
    return out;
}

}  // namespace vd

#include "overlay/overlay_values.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace vd {
namespace {

// The text as the C library sees it: up to the first NUL.
std::string_view UpToNul(std::string_view value) {
    const std::size_t nul = value.find('\0');
    return nul == std::string_view::npos ? value : value.substr(0, nul);
}

// The "C" locale's isspace.
bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// atoi, but a number beyond the 32-bit range stops at its limit instead of
// being undefined.
int32_t ReadInteger(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && IsCSpace(s[i])) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    int64_t value = 0;
    const int64_t limit = negative ? int64_t{1} << 31 : (int64_t{1} << 31) - 1;
    for (; i < s.size() && IsDigit(s[i]); ++i) {
        value = value * 10 + (s[i] - '0');
        if (value >= limit) {
            value = limit;
            break;
        }
    }
    return static_cast<int32_t>(negative ? -value : value);
}

}  // namespace

uint32_t ParseOverlayColor(std::string_view value) {
    value = UpToNul(value);
    if (value.size() != 6) return 0;
    uint32_t color = 0;
    for (int pair = 0; pair < 3; ++pair) {
        const int high = HexDigit(value[pair * 2]), low = HexDigit(value[pair * 2 + 1]);
        if (high < 0 || low < 0) return 0;
        color |= static_cast<uint32_t>(high * 16 + low) << (pair * 8);
    }
    return color;
}

uint32_t ParseOverlayStamp(std::string_view value) {
    value = UpToNul(value);
    std::size_t i = 0;
    while (i < value.size() && IsCSpace(value[i])) ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
    // The longest prefix that is a decimal number: digits, a point, digits,
    // and an exponent only when it has digits.
    const std::size_t start = i;
    std::size_t digits = 0;
    while (i < value.size() && IsDigit(value[i])) ++i, ++digits;
    if (i < value.size() && value[i] == '.') {
        ++i;
        while (i < value.size() && IsDigit(value[i])) ++i, ++digits;
    }
    if (digits == 0) return 0;
    if (i < value.size() && (value[i] == 'e' || value[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < value.size() && (value[j] == '+' || value[j] == '-')) ++j;
        if (j < value.size() && IsDigit(value[j])) {
            while (j < value.size() && IsDigit(value[j])) ++j;
            i = j;
        }
    }
    double seconds = 0;
    const std::from_chars_result read =
        std::from_chars(value.data() + start, value.data() + i, seconds, std::chars_format::general);
    // Out of range either way: an infinite product (no 64-bit value) or one
    // that truncates to 0.
    if (read.ec != std::errc()) return 0;
    // Stored to memory so that the product is rounded to a double even where
    // the arithmetic is carried out in wider registers (x87): 4294967.295 s
    // must give 4294967295 ms there too.
    volatile double product = (negative ? -seconds : seconds) * 1000.0;
    const double ms = product;
    // Beyond 64 bits the processor's conversion gives 0x8000000000000000,
    // whose low half is 0; say so rather than convert out of range.
    if (!(std::fabs(ms) < 9223372036854775808.0)) return 0;
    return static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(ms)));
}

bool ParseOverlayPoint(std::string_view value, const CharClasses& classes, OverlayPoint& point) {
    const char* s = value.data();
    std::size_t comma, end;
    if (classes.HasLeadBytes()) {
        value = UpToNul(value);
        end = value.size();
        comma = classes.Find(s, 0, end, ',');
    } else {
        // The comma and the end the C library sees, in one pass.
        comma = 0;
        while (comma < value.size() && s[comma] != ',' && s[comma] != '\0') ++comma;
        if (comma >= value.size() || s[comma] != ',') return false;
        end = comma + 1;
        while (end < value.size() && s[end] != '\0') ++end;
    }
    if (end == 0 || comma >= end - 1) return false;  // no comma, or nothing after it
    // Each side must hold more than blanks; the number reader passes over
    // leading blanks and stops at trailing ones.
    std::size_t left = 0, right = comma + 1;
    while (left < comma && s[left] == ' ') ++left;
    while (right < end && s[right] == ' ') ++right;
    if (left == comma || right == end) return false;
    point.x = ReadInteger(std::string_view(s + left, comma - left));
    point.y = ReadInteger(std::string_view(s + right, end - right));
    return true;
}

}  // namespace vd

#include "xml/names.h"

#include <cstdint>
#include <cstring>

namespace vd {
namespace {

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

bool IsNameByte(char c) { return c != '\0' && !std::strchr("/[]@='\" \t\r\n", c); }

// Length of the name at `i` (at least one byte for success).
std::size_t NameRun(std::string_view s, std::size_t i, const CharClasses& cc) {
    std::size_t j = i;
    while (j < s.size() && IsNameByte(s[j])) j = cc.Next(s.data(), j, s.size());
    return j - i;
}

// '@' name ['=' (quoted | bare)] inside a predicate; `i` is at '@'.
bool AttributeTest(std::string_view s, std::size_t& i, const CharClasses& cc) {
    ++i;
    const std::size_t n = NameRun(s, i, cc);
    if (n == 0) return false;
    i += n;
    if (i < s.size() && s[i] == '=') {
        ++i;
        if (i < s.size() && (s[i] == '"' || s[i] == '\'')) {
            const std::size_t close = cc.Find(s.data(), i + 1, s.size(), s[i]);
            if (close >= s.size()) return false;
            i = close + 1;
        } else {
            const std::size_t start = i;
            while (i < s.size() && s[i] != ']') i = cc.Next(s.data(), i, s.size());
            if (i == start) return false;
        }
    }
    return true;
}

bool Predicate(std::string_view s, std::size_t& i, const CharClasses& cc) {
    ++i;  // '['
    if (i >= s.size()) return false;
    if (s[i] >= '0' && s[i] <= '9') {
        bool positive = false;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            if (s[i] != '0') positive = true;
            ++i;
        }
        if (!positive) return false;
    } else if (s[i] == '@') {
        if (!AttributeTest(s, i, cc)) return false;
    } else {
        const std::size_t n = NameRun(s, i, cc);
        if (n == 0) return false;
        i += n;
    }
    if (i >= s.size() || s[i] != ']') return false;
    ++i;
    return true;
}

}  // namespace

bool IsValidNameArgument(std::string_view s, const CharClasses& cc) {
    std::size_t i = 0;
    for (;;) {
        const std::size_t n = NameRun(s, i, cc);
        if (n == 0) return false;
        i += n;
        if (i < s.size() && s[i] == '[' && !Predicate(s, i, cc)) return false;
        if (i == s.size()) return true;
        if (s[i] != '/') return false;
        ++i;
        if (i < s.size() && s[i] == '@') {
            ++i;
            const std::size_t a = NameRun(s, i, cc);
            return a > 0 && i + a == s.size();
        }
    }
}

bool NameSelectsSlowly(std::string_view name, std::string_view actual, bool ignoreCase, const CharClasses& cc) {
    if (name.size() < actual.size()) return false;
    if (!ignoreCase) {
        // Names are short: a plain loop beats a library call.
        for (std::size_t i = 0; i < actual.size(); ++i)
            if (name[i] != actual[i]) return false;
    } else {
        // Fold single-byte characters only; double-byte characters compare exactly.
        std::size_t i = 0;
        while (i < actual.size()) {
            if (cc.IsLead(actual[i]) && i + 1 < actual.size()) {
                if (name[i] != actual[i] || name[i + 1] != actual[i + 1]) return false;
                i += 2;
            } else {
                if (Fold(name[i]) != Fold(actual[i])) return false;
                ++i;
            }
        }
    }
    const char next = name.size() == actual.size() ? '\0' : name[actual.size()];
    return name.size() == actual.size() || (next != '\0' && std::strchr(" =/[]", next) != nullptr);
}

namespace {

struct Token {
    std::size_t offset, length;          // with quotes
    std::size_t valueOffset, valueLength;  // without
};

inline Token ReadAttributeToken(const char* s, std::size_t i, std::size_t end, uint16_t stops, const CharClasses& cc) {
    Token t{i, 0, i, 0};
    if (i < end && (s[i] == '"' || s[i] == '\'')) {
        const std::size_t close = cc.Find(s, i + 1, end, s[i]);
        t.valueOffset = i + 1;
        t.valueLength = close - (i + 1);
        t.length = (close < end ? close + 1 : end) - i;
        return t;
    }
    std::size_t j = i;
    j = cc.SkipUntil(s, j, end, stops);
    t.length = t.valueLength = j - i;
    return t;
}

constexpr uint16_t kNameStops = kCharAttributeNameStop;
constexpr uint16_t kValueStops = kCharValueStop;

}  // namespace

void ScanAttributes(const char* s, std::size_t from, std::size_t end, std::string_view name, bool ignoreCase,
                    const CharClasses& cc, AttributeScan& scan) {
    ScanAttributes(s, from, end, &name, 1, ignoreCase, cc, &scan);
}

void ScanAttributes(const char* s, std::size_t from, std::size_t end, const std::string_view* names,
                    std::size_t count, bool ignoreCase, const CharClasses& cc, AttributeScan* scans) {
    for (std::size_t k = 0; k < count; ++k) scans[k] = AttributeScan();
    std::size_t missing = count;
    const Token tagName = ReadAttributeToken(s, from, end, kNameStops, cc);
    std::size_t p = from + tagName.length;
    std::size_t lastTokenEnd = p;
    auto skipBlanks = [&](std::size_t& i) {
        while (i < end && cc.IsBlank(s[i])) ++i;
    };
    auto finish = [&]() {
        for (std::size_t k = 0; k < count; ++k)
            if (!scans[k].found) scans[k].lastTokenEnd = lastTokenEnd;
    };
    for (;;) {
        skipBlanks(p);
        if (p >= end) return finish();
        const char c = s[p];
        if (c == '/' || c == '>' || c == '?') return finish();
        if (c == '=') {
            // A value without a name.
            ++p;
            skipBlanks(p);
            const Token v = ReadAttributeToken(s, p, end, kValueStops, cc);
            p += v.length;
            if (v.length) lastTokenEnd = p;
            continue;
        }
        const Token n = ReadAttributeToken(s, p, end, kNameStops, cc);
        p += n.length;
        lastTokenEnd = p;
        const std::string_view written(s + n.valueOffset, n.valueLength);
        std::size_t q = p;
        skipBlanks(q);
        const bool hasValue = q < end && s[q] == '=';
        Token v{};
        if (hasValue) {
            ++q;
            skipBlanks(q);
            v = ReadAttributeToken(s, q, end, kValueStops, cc);
            p = q + v.length;
            if (v.length) lastTokenEnd = p;
        }
        for (std::size_t k = 0; k < count; ++k) {
            AttributeScan& scan = scans[k];
            if (scan.found || !NameSelects(names[k], written, ignoreCase, cc)) continue;
            scan.found = true;
            scan.hasValue = hasValue;
            scan.nameOffset = n.valueOffset;
            scan.nameLength = n.valueLength;
            if (hasValue) {
                scan.valueOffset = v.valueOffset;
                scan.valueLength = v.valueLength;
                scan.valueTokenOffset = v.offset;
                scan.valueTokenLength = v.length;
            } else {
                scan.valueOffset = n.valueOffset;
                scan.valueLength = n.valueLength;
                scan.valueTokenOffset = n.offset + n.length;
            }
            scan.lastTokenEnd = lastTokenEnd;
            if (--missing == 0) return;
        }
    }
}

}  // namespace vd

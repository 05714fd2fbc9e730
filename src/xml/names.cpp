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

constexpr uint16_t kNameStops = kCharAttributeNameStop;
constexpr uint16_t kValueStops = kCharValueStop;

// The scanning steps of a start tag. Code pages without double-byte
// characters get plain byte loops over a local copy of the class table, which
// the compiler keeps in a register.
template <bool kDoubleByte>
class TagScanner {
public:
    TagScanner(const char* s, std::size_t end, const CharClasses& cc) : s_(s), end_(end), cc_(cc), table_(cc.Table()) {}

    bool IsBlank(std::size_t i) const { return (table_[static_cast<unsigned char>(s_[i])] & kCharBlank) != 0; }
    std::size_t SkipBlanks(std::size_t i) const {
        while (i < end_ && IsBlank(i)) ++i;
        return i;
    }

    // Where the token at `i` ends: a string in quotes (its value, without
    // them, runs to the matching quote or to the end of the text) or a bare
    // word that ends at a byte of `stops`. Sets the value's range.
    // `ampersand` is set when the token may hold an '&'.
    std::size_t TokenEnd(std::size_t i, uint16_t stops, std::size_t& valueOffset, std::size_t& valueLength,
                         bool& ampersand) const {
        if (i < end_ && (s_[i] == '"' || s_[i] == '\'')) {
            std::size_t close;
            if (kDoubleByte) {
                close = cc_.Find(s_, i + 1, end_, s_[i]);
                ampersand = true;
            } else {
                bool seen = false;
                close = i + 1;
                for (; close < end_ && s_[close] != s_[i]; ++close) seen |= s_[close] == '&';
                ampersand = seen;
            }
            valueOffset = i + 1;
            valueLength = close - (i + 1);
            return close < end_ ? close + 1 : end_;
        }
        std::size_t j = i;
        if (kDoubleByte) {
            j = cc_.SkipUntil(s_, i, end_, stops);
            ampersand = true;
        } else {
            bool seen = false;
            for (; j < end_ && !(table_[static_cast<unsigned char>(s_[j])] & stops); ++j) seen |= s_[j] == '&';
            ampersand = seen;
        }
        valueOffset = i;
        valueLength = j - i;
        return j;
    }

private:
    const char* s_;
    std::size_t end_;
    const CharClasses& cc_;
    const uint16_t* table_;
};

template <bool kDoubleByte>
void Scan(const char* s, std::size_t from, std::size_t end, const std::string_view* names, std::size_t count,
          bool ignoreCase, const CharClasses& cc, AttributeScan* scans) {
    const TagScanner<kDoubleByte> tag(s, end, cc);
    std::size_t missing = count;
    std::size_t nameOffset, nameLength, valueOffset = 0, valueLength = 0;
    bool nameAmpersand = true, valueAmpersand = true;
    std::size_t p = tag.TokenEnd(from, kNameStops, nameOffset, nameLength, nameAmpersand);  // the tag name
    std::size_t lastTokenEnd = p;
    for (;;) {
        p = tag.SkipBlanks(p);
        if (p >= end || s[p] == '/' || s[p] == '>' || s[p] == '?') break;
        if (s[p] == '=') {
            // A value without a name.
            p = tag.SkipBlanks(p + 1);
            const std::size_t valueEnd = tag.TokenEnd(p, kValueStops, valueOffset, valueLength, valueAmpersand);
            if (valueEnd != p) lastTokenEnd = valueEnd;
            p = valueEnd;
            continue;
        }
        p = tag.TokenEnd(p, kNameStops, nameOffset, nameLength, nameAmpersand);
        lastTokenEnd = p;
        std::size_t q = tag.SkipBlanks(p);
        const bool hasValue = q < end && s[q] == '=';
        std::size_t valueStart = 0, valueEnd = 0;
        if (hasValue) {
            valueStart = q = tag.SkipBlanks(q + 1);
            valueEnd = tag.TokenEnd(q, kValueStops, valueOffset, valueLength, valueAmpersand);
            p = valueEnd;
            if (valueEnd != valueStart) lastTokenEnd = p;
        }
        const std::string_view written(s + nameOffset, nameLength);
        for (std::size_t k = 0; k < count; ++k) {
            AttributeScan& scan = scans[k];
            if (scan.found || !NameSelects(names[k], written, ignoreCase, cc)) continue;
            scan.found = true;
            scan.hasValue = hasValue;
            scan.nameOffset = nameOffset;
            scan.nameLength = nameLength;
            if (hasValue) {
                scan.valueOffset = valueOffset;
                scan.valueLength = valueLength;
                scan.valueTokenOffset = valueStart;
                scan.valueTokenLength = valueEnd - valueStart;
                scan.mayHoldReference = valueAmpersand;
            } else {
                scan.valueOffset = nameOffset;
                scan.valueLength = nameLength;
                scan.valueTokenOffset = p;
                scan.mayHoldReference = nameAmpersand;
            }
            scan.lastTokenEnd = lastTokenEnd;
            if (--missing == 0) return;
        }
    }
    for (std::size_t k = 0; k < count; ++k)
        if (!scans[k].found) scans[k].lastTokenEnd = lastTokenEnd;
}

}  // namespace

void ScanAttributes(const char* s, std::size_t from, std::size_t end, std::string_view name, bool ignoreCase,
                    const CharClasses& cc, AttributeScan& scan) {
    ScanAttributes(s, from, end, &name, 1, ignoreCase, cc, &scan);
}

void ScanAttributes(const char* s, std::size_t from, std::size_t end, const std::string_view* names, std::size_t count,
                    bool ignoreCase, const CharClasses& cc, AttributeScan* scans) {
    for (std::size_t k = 0; k < count; ++k) {
        // Field by field, not through a temporary on the stack.
        AttributeScan& scan = scans[k];
        scan.found = scan.hasValue = false;
        scan.nameOffset = scan.nameLength = 0;
        scan.valueOffset = scan.valueLength = 0;
        scan.valueTokenOffset = scan.valueTokenLength = 0;
        scan.lastTokenEnd = 0;
        scan.mayHoldReference = true;
    }
    if (cc.HasLeadBytes())
        Scan<true>(s, from, end, names, count, ignoreCase, cc, scans);
    else
        Scan<false>(s, from, end, names, count, ignoreCase, cc, scans);
}

}  // namespace vd

// A 256-entry class table per code page, built once, that drives every scan
// of the document text: which bytes lead a double-byte character, which are
// blanks, which end a tag name. Scanners step over a double-byte character as
// one unit, so its trail byte is never taken for '<', '\\', '"' or ']'.
#ifndef VD_XML_CHAR_CLASS_H
#define VD_XML_CHAR_CLASS_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vd {

enum CharClass : uint16_t {
    kCharLead = 0x01,               // starts a double-byte character
    kCharBlank = 0x02,              // ' ', '\t', '\n', '\r'
    kCharNameStop = 0x04,           // ends a tag name: blanks and < > = \ / ? ! ; ' "
    kCharNameStart = 0x08,          // may follow '<' in a start tag: ':', letters, '_', 0x7B and up
    kCharTextStop = 0x10,           // ends a run of text: '<' and lead bytes
    kCharTagStop = 0x20,            // needs a look inside a start tag: '>', '=' and lead bytes
    kCharAttributeNameStop = 0x40,  // ends a bare attribute name: blanks and = > / ?
    kCharValueStop = 0x80,          // ends a bare attribute value: blanks and >
    kCharStartNameStop = 0x100,     // ends the name of a start or end tag: blanks, / and >
};

class CharClasses {
public:
    // The table of `codePage`; 0 means the process's ANSI code page.
    explicit CharClasses(uint32_t codePage = 0);

    uint32_t CodePage() const { return codePage_; }
    bool HasLeadBytes() const { return hasLeadBytes_; }
    uint16_t operator[](unsigned char byte) const { return table_[byte]; }
    const uint16_t* Table() const { return table_; }
    bool Is(char byte, uint16_t classes) const { return (table_[static_cast<unsigned char>(byte)] & classes) != 0; }
    bool IsLead(char byte) const { return Is(byte, kCharLead); }
    bool IsBlank(char byte) const { return Is(byte, kCharBlank); }

    // The offset of the character after the one at `i` (never past `end`).
    std::size_t Next(const char* text, std::size_t i, std::size_t end) const {
        const std::size_t n = i + ((table_[static_cast<unsigned char>(text[i])] & kCharLead) ? 2 : 1);
        return n < end ? n : end;
    }

    // The end of the run at `i` of bytes none of which has one of `classes`,
    // stepping over double-byte characters.
    std::size_t SkipUntil(const char* text, std::size_t i, std::size_t end, uint16_t classes) const {
        if (!hasLeadBytes_) {
            // Four at a time: names and values are a few bytes long, and the
            // loop's own test then costs less than the bytes.
            while (i + 4 <= end) {
                if (table_[static_cast<unsigned char>(text[i])] & classes) return i;
                if (table_[static_cast<unsigned char>(text[i + 1])] & classes) return i + 1;
                if (table_[static_cast<unsigned char>(text[i + 2])] & classes) return i + 2;
                if (table_[static_cast<unsigned char>(text[i + 3])] & classes) return i + 3;
                i += 4;
            }
            while (i < end && !(table_[static_cast<unsigned char>(text[i])] & classes)) ++i;
            return i;
        }
        while (i < end && !(table_[static_cast<unsigned char>(text[i])] & classes)) i = Next(text, i, end);
        return i;
    }

    // The first `byte` at or after `i` that is a character of its own, or `end`.
    std::size_t Find(const char* text, std::size_t i, std::size_t end, char byte) const {
        if (i >= end) return end;
        // In markup the byte sought is often the very next one.
        if (text[i] == byte) return i;
        if (!hasLeadBytes_) {
            if (end - i <= kShortRange) {
                while (++i < end)
                    if (text[i] == byte) return i;
                return end;
            }
            const void* p = std::memchr(text + i, byte, end - i);
            return p ? static_cast<std::size_t>(static_cast<const char*>(p) - text) : end;
        }
        return FindStepping(text, i, end, byte);
    }
    // The first of two bytes, likewise.
    std::size_t FindEither(const char* text, std::size_t i, std::size_t end, char a, char b) const {
        if (!hasLeadBytes_) {
            while (i < end && text[i] != a && text[i] != b) ++i;
            return i;
        }
        return FindEitherStepping(text, i, end, a, b);
    }
    // The start of the first occurrence of `seq` (whose first byte is never a
    // trail byte), or `end`.
    std::size_t FindSequence(const char* text, std::size_t i, std::size_t end, const char* seq,
                             std::size_t seqLength) const;

private:
    // Shorter ranges are searched byte by byte rather than by a library call.
    static constexpr std::size_t kShortRange = 8;

    std::size_t FindStepping(const char* text, std::size_t i, std::size_t end, char byte) const;
    std::size_t FindEitherStepping(const char* text, std::size_t i, std::size_t end, char a, char b) const;

    uint32_t codePage_;
    bool hasLeadBytes_ = false;
    uint16_t table_[256];
};

}  // namespace vd

#endif

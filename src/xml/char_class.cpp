#include "xml/char_class.h"

#include <cstring>

#include "xml/codepage.h"

namespace vd {

CharClasses::CharClasses(uint32_t codePage) : codePage_(codePage ? codePage : codepage::AnsiCodePage()) {
    bool lead[256];
    codepage::LeadBytes(codePage_, lead);
    for (int b = 0; b < 256; ++b) {
        uint16_t c = 0;
        if (lead[b]) {
            c |= kCharLead | kCharTextStop | kCharTagStop;
            hasLeadBytes_ = true;
        }
        if (b == ' ' || b == '\t' || b == '\n' || b == '\r') c |= kCharBlank | kCharNameStop;
        if (std::strchr("<>=\\/?!;'\"", b) && b != 0) c |= kCharNameStop;
        if (b == ':' || b == '_' || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b >= 0x7B) c |= kCharNameStart;
        if (b == '<') c |= kCharTextStop;
        if (b == '>' || b == '=') c |= kCharTagStop;
        if (b == ' ' || b == '\t' || b == '\n' || b == '\r' || b == '>') c |= kCharValueStop | kCharAttributeNameStop;
        if (b == '=' || b == '/' || b == '?') c |= kCharAttributeNameStop;
        if (b == ' ' || b == '\t' || b == '\n' || b == '\r' || b == '/' || b == '>') c |= kCharStartNameStop;
        table_[b] = c;
    }
}

std::size_t CharClasses::FindStepping(const char* text, std::size_t i, std::size_t end, char byte) const {
    while (i < end) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        if (b == static_cast<unsigned char>(byte)) return i;
        i += (table_[b] & kCharLead) ? 2 : 1;
    }
    return end;
}

std::size_t CharClasses::FindEitherStepping(const char* text, std::size_t i, std::size_t end, char a, char b) const {
    while (i < end) {
        const char c = text[i];
        if (c == a || c == b) return i;
        i += (table_[static_cast<unsigned char>(c)] & kCharLead) ? 2 : 1;
    }
    return end;
}

std::size_t CharClasses::FindSequence(const char* text, std::size_t i, std::size_t end, const char* seq,
                                      std::size_t seqLength) const {
    while (i < end) {
        i = Find(text, i, end, seq[0]);
        if (i >= end || end - i < seqLength) return end;
        if (std::memcmp(text + i, seq, seqLength) == 0) return i;
        ++i;  // seq[0] is a character of its own, so the next one starts after it
    }
    return end;
}

}  // namespace vd

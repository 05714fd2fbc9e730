// The code-page layer of the native test build. The ANSI code page is 1252.
// UTF-8, UTF-16 and 1252 are converted here, as Windows converts them; other
// code pages (936 among them) go through iconv.
#include "xml/codepage.h"
#include "xml/utf8_encode.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vd {
namespace codepage {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

// 0x80..0x9F of code page 1252; the rest of the code page is Latin-1.
const char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                  0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string IconvName(uint32_t codePage) {
    switch (codePage) {
        case 20127:
            return "ASCII";
        case 20866:
            return "KOI8-R";
        case 21866:
            return "KOI8-U";
        case 20932:
        case 51932:
            return "EUC-JP";
        case 51936:
            return "EUC-CN";
        case 51949:
            return "EUC-KR";
        case 54936:
            return "GB18030";
        case 1361:
            return "JOHAB";
        case 10000:
            return "MACINTOSH";
        default:
            break;
    }
    if (codePage >= 28591 && codePage <= 28605) return "ISO-8859-" + std::to_string(codePage - 28590);
    return "CP" + std::to_string(codePage);
}

bool IconvKnows(uint32_t codePage) {
    iconv_t cd = iconv_open("UTF-16LE", IconvName(codePage).c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    iconv_close(cd);
    return true;
}

void AppendUtf16(std::u16string& out, uint32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
        out += static_cast<char16_t>(cp);
    }
}

void Utf8ToWide(const unsigned char* s, std::size_t n, std::u16string& out) {
    std::size_t i = 0;
    while (i < n) {
        const unsigned b = s[i];
        if (b < 0x80) {
            out += static_cast<char16_t>(b);
            ++i;
            continue;
        }
        int follow = 0;
        uint32_t cp = 0, min = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            follow = 1;
            cp = b & 0x1F;
            min = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            follow = 2;
            cp = b & 0x0F;
            min = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            follow = 3;
            cp = b & 0x07;
            min = 0x10000;
        } else {
            out += kReplacement;
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        int got = 0;
        while (got < follow && j < n && (s[j] & 0xC0) == 0x80) {
            cp = (cp << 6) | (s[j] & 0x3F);
            ++j;
            ++got;
        }
        if (got < follow || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out += kReplacement;
            i = (got == 0) ? i + 1 : j;
            continue;
        }
        AppendUtf16(out, cp);
        i = j;
    }
}

void WideToUtf8(const char16_t* u, std::size_t n, std::string& out) {
    for (std::size_t i = 0; i < n; ++i) {
        uint32_t cp = u[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && u[i + 1] >= 0xDC00 && u[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (u[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        AppendUtf8CodePoint(out, cp);
    }
}

bool IconvToWide(uint32_t codePage, const char* text, std::size_t length, std::u16string& out) {
    iconv_t cd = iconv_open("UTF-16LE", IconvName(codePage).c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    char* in = const_cast<char*>(text);
    std::size_t inLeft = length;
    char buffer[512];
    while (inLeft > 0) {
        char* o = buffer;
        std::size_t oLeft = sizeof buffer;
        const std::size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        for (char* p = buffer; p + 1 < o; p += 2)
            out += static_cast<char16_t>(static_cast<unsigned char>(p[0]) | (static_cast<unsigned char>(p[1]) << 8));
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // An invalid or cut-off character: one replacement, then go on
            // after its first byte.
            out += kReplacement;
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return true;
}

bool IconvFromWide(uint32_t codePage, const char16_t* units, std::size_t length, std::string& out, bool* lossy) {
    iconv_t cd = iconv_open(IconvName(codePage).c_str(), "UTF-16LE");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string bytes;
    bytes.reserve(length * 2);
    for (std::size_t i = 0; i < length; ++i) {
        bytes += static_cast<char>(units[i] & 0xFF);
        bytes += static_cast<char>(units[i] >> 8);
    }
    char* in = &bytes[0];
    std::size_t inLeft = bytes.size();
    char buffer[512];
    while (inLeft > 0) {
        char* o = buffer;
        std::size_t oLeft = sizeof buffer;
        const std::size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        out.append(buffer, static_cast<std::size_t>(o - buffer));
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // No equivalent: the default character, as Windows does, for
            // each unit (so a surrogate pair gives two), and on after it.
            out += '?';
            if (lossy) *lossy = true;
            const std::size_t skip = inLeft < 2 ? inLeft : 2;
            in += skip;
            inLeft -= skip;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return true;
}

}  // namespace

uint32_t AnsiCodePage() { return 1252; }

bool HasCodePage(uint32_t codePage) {
    switch (codePage) {
        case 1252:
        case kUtf8:
            return true;
        case kUtf16:
        case kUtf16BigEndian:
            return false;
        default:
            return IconvKnows(codePage);
    }
}

bool LeadBytes(uint32_t codePage, bool leadBytes[256]) {
    for (int i = 0; i < 256; ++i) leadBytes[i] = false;
    auto mark = [&](int from, int to) {
        for (int b = from; b <= to; ++b) leadBytes[b] = true;
    };
    switch (codePage) {
        case 932:
            mark(0x81, 0x9F);
            mark(0xE0, 0xFC);
            return true;
        case 936:
        case 949:
        case 950:
            mark(0x81, 0xFE);
            return true;
        case 1252:
        case kUtf8:
            return true;
        default:
            return IconvKnows(codePage);
    }
}

bool ToWide(uint32_t codePage, const char* text, std::size_t length, std::u16string& out) {
    out.clear();
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    switch (codePage) {
        case kUtf8:
            Utf8ToWide(s, length, out);
            return true;
        case 1252:
            out.reserve(length);
            for (std::size_t i = 0; i < length; ++i)
                out += (s[i] >= 0x80 && s[i] < 0xA0) ? kCp1252High[s[i] - 0x80] : static_cast<char16_t>(s[i]);
            return true;
        case kUtf16:
        case kUtf16BigEndian:
            return false;  // not a multibyte code page
        default:
            return IconvToWide(codePage, text, length, out);
    }
}

bool FromWide(uint32_t codePage, const char16_t* units, std::size_t length, std::string& out, bool* lossy) {
    out.clear();
    if (lossy) *lossy = false;
    if (CannotReportLoss(codePage)) lossy = nullptr;
    switch (codePage) {
        case kUtf8:
            WideToUtf8(units, length, out);
            return true;
        case 1252:
            out.reserve(length);
            for (std::size_t i = 0; i < length; ++i) {
                const char16_t u = units[i];
                if (u < 0x80 || (u >= 0xA0 && u < 0x100)) {
                    out += static_cast<char>(u);
                    continue;
                }
                int found = -1;
                for (int k = 0; k < 32; ++k)
                    if (kCp1252High[k] == u) found = 0x80 + k;
                if (found < 0) {
                    out += '?';
                    if (lossy) *lossy = true;
                } else {
                    out += static_cast<char>(found);
                }
            }
            return true;
        case kUtf16:
        case kUtf16BigEndian:
            return false;
        default:
            return IconvFromWide(codePage, units, length, out, lossy);
    }
}

uint32_t LastFileError() { return static_cast<uint32_t>(errno); }

uint32_t OutOfMemoryError() { return ENOMEM; }

std::string SystemMessage(uint32_t error) {
    std::string message = std::strerror(static_cast<int>(error));
    if (message.size() > 100) message.resize(100);
    return message;
}

}  // namespace codepage
}  // namespace vd
